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

int32_t FloorDiv4096(int32_t v) { return v >= 0 ? v / 4096 : -((-v + 4095) / 4096); }

uint8_t Clamp(int32_t v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

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

std::vector<uint8_t> FrameToRgb(const uint8_t* frame, int width, int height, broadcast::Layout layout) {
  std::vector<uint8_t> rgb(3 * size_t(width) * size_t(height));
  for (int y = 0; y < height; ++y) {
    uint8_t* out = rgb.data() + 3 * size_t(y) * size_t(width);
    if (layout == broadcast::Layout::kBgr24) {
      const uint8_t* in = frame + 3 * size_t(height - 1 - y) * size_t(width);
      for (int x = 0; x < width; ++x) {
        out[3 * x] = in[3 * x + 2];
        out[3 * x + 1] = in[3 * x + 1];
        out[3 * x + 2] = in[3 * x];
      }
      continue;
    }
    const uint8_t* in = frame + 2 * size_t(y) * size_t(width);
    for (int x = 0; x < width; ++x) {
      const uint8_t* pair = in + 4 * (x / 2);
      const int32_t luma = in[2 * x];
      const int32_t u = pair[1] - 128, v = pair[3] - 128;
      out[3 * x] = Clamp(luma + FloorDiv4096(5743 * v));
      out[3 * x + 1] = Clamp(luma + FloorDiv4096(-1410 * u) + FloorDiv4096(-2925 * v));
      out[3 * x + 2] = Clamp(luma + FloorDiv4096(7258 * u));
    }
  }
  return rgb;
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
