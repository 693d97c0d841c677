// What logo-extract writes, and how: every output goes to a temporary file beside its final name
// and is renamed into place only when the whole run has succeeded, so a failed or interrupted run
// leaves earlier files as they were.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "broadcast.h"

namespace vle::extract {

class OutputFile {
 public:
  // Creates the temporary file at once, so that an unwritable place fails before any work.
  // Throws RunError. An empty path makes an inactive output.
  explicit OutputFile(const std::string& path);
  ~OutputFile();  // removes the temporary file unless committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool active() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  const std::string& temporaryPath() const { return temporary_; }

  // Appends to the temporary file (kept open from construction). Throws RunError.
  void Write(const uint8_t* data, size_t size);
  // Closes the stream, e.g. before another writer replaces the temporary file. Throws RunError.
  void CloseStream();
  // Renames the temporary file over `path`. Throws RunError.
  void Commit();

 private:
  std::string path_;
  std::string temporary_;
  std::FILE* stream_ = nullptr;
  bool committed_ = false;
};

// Writes top-down RGB as an 8-bit PNG at `path`. Throws RunError naming the file `shownName`.
void WritePng(const std::string& path, const std::string& shownName, const std::vector<uint8_t>& rgb,
              int width, int height);

}  // namespace vle::extract
