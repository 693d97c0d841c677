#include "outputs.h"

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "frame_source.h"

namespace vle::extract {
namespace {

std::string Why() { return std::strerror(errno); }

}  // namespace

OutputFile::OutputFile(const std::string& path) : path_(path) {
  if (path.empty()) return;
  // A hidden name in the same folder: the rename stays on one file system.
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty()) throw RunError("'" + path + "' names a folder, not a file");
  temporary_ = folder + "." + base + "." + std::to_string(getpid()) + ".partial";
  stream_ = std::fopen(temporary_.c_str(), "wb");
  if (stream_ == nullptr) throw RunError("cannot write '" + path + "': " + Why());
}

OutputFile::~OutputFile() {
  if (stream_ != nullptr) std::fclose(stream_);
  if (!temporary_.empty() && !committed_) std::remove(temporary_.c_str());
}

void OutputFile::Write(const uint8_t* data, size_t size) {
  if (stream_ == nullptr || std::fwrite(data, 1, size, stream_) != size) {
    throw RunError("cannot write '" + path_ + "': " + Why());
  }
}

void OutputFile::CloseStream() {
  if (stream_ == nullptr) return;
  const bool ok = std::fclose(stream_) == 0;
  stream_ = nullptr;
  if (!ok) throw RunError("cannot write '" + path_ + "': " + Why());
}

void OutputFile::Commit() {
  if (!active()) return;
  CloseStream();
  if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
    throw RunError("cannot put '" + path_ + "' in place: " + Why());
  }
  committed_ = true;
}

void WritePng(const std::string& path, const std::string& shownName, const std::vector<uint8_t>& rgb,
              int width, int height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;
  if (!png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 3 * width, nullptr)) {
    const std::string why = image.message[0] ? image.message : "unknown error";
    png_image_free(&image);
    throw RunError("cannot write the preview '" + shownName + "': " + why);
  }
}

}  // namespace vle::extract
