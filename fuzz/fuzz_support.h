// Helpers shared by the libFuzzer targets: failing loudly, picking hostile numbers, exactly sized
// heap blocks (so that AddressSanitizer reports the first byte outside), a private folder, and the
// tests' file reader.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "support/read_file.h"

namespace vle::fuzz {

using test::ReadFile;

// A broken invariant is a finding: abort so that libFuzzer keeps the input.
inline void Check(bool ok, const char* target, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "%s: %s\n", target, what);
    std::abort();
  }
}

// Numbers the way a hostile caller picks them: mostly near the surfaces, where the clipping
// decisions are, sometimes anywhere in int32, sometimes at the edges of the range.
inline int32_t HostileInt(FuzzedDataProvider& in, int32_t nearLo, int32_t nearHi) {
  static constexpr int32_t kEdges[] = {INT32_MIN, INT32_MIN + 1, -65536, -1, 0, 1,
                                       65536,     1 << 30,       INT32_MAX - 1, INT32_MAX};
  switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 6:
      return in.ConsumeIntegral<int32_t>();
    case 7:
      return kEdges[in.ConsumeIntegralInRange<std::size_t>(0, sizeof kEdges / sizeof kEdges[0] - 1)];
    default:
      return in.ConsumeIntegralInRange<int32_t>(nearLo, nearHi);
  }
}

// A heap block of exactly `bytes` bytes (a unique non-null address even for 0), filled from the
// input so that every run sees other pixels.
class ExactBlock {
 public:
  ExactBlock(std::size_t bytes, FuzzedDataProvider& in) : size_(bytes), data_(new uint8_t[bytes]) {
    const uint8_t seed = in.ConsumeIntegral<uint8_t>();
    const uint8_t step = in.ConsumeIntegral<uint8_t>() | 1;
    for (std::size_t i = 0; i < bytes; ++i) data_[i] = static_cast<uint8_t>(seed + step * i * i);
  }
  uint8_t* data() { return data_.get(); }
  const uint8_t* data() const { return data_.get(); }
  std::size_t size() const { return size_; }
  std::string Snapshot() const { return std::string(reinterpret_cast<const char*>(data()), size_); }

 private:
  std::size_t size_;
  std::unique_ptr<uint8_t[]> data_;
};

// A folder of this process under the temporary folder (TMPDIR), removed at exit.
inline const std::filesystem::path& PrivateFolder(const char* target) {
  static const std::filesystem::path folder = [target] {
    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       (std::string("vle-") + target + "-" + std::to_string(getpid()));
    std::filesystem::create_directories(path);
    return path;
  }();
  static const bool registered = [] {
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(folder, ec);
    });
    return true;
  }();
  (void)registered;
  return folder;
}

}  // namespace vle::fuzz
