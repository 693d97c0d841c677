// The whole of a file as bytes. No test framework here: the fuzzers and the benchmarks read with it
// too.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace vle::test {

// Empty when the file cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace vle::test
