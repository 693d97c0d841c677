// The whole-pipeline cases shared by the plug-in's benchmark, its memcpy floor and the OpenCV
// peer: frame sizes, formats, the region the default settings give, and the traffic floor.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/geometry.h"
#include "core/settings_block.h"
#include "frame/frame_adapter.h"

namespace vle::bench {

struct PipelineCase {
  int32_t width;
  int32_t height;
  int32_t format;  // 0 Yuy2, 1 Bgr24

  std::string formatName() const { return format == kYuy2 ? "yuy2" : "bgr24"; }
  std::string sizeName() const { return std::to_string(width) + "x" + std::to_string(height); }
  int32_t bytesPerPixel() const { return format == kYuy2 ? 2 : 3; }
  int64_t pixels() const { return int64_t{width} * height; }

  // The region the frame driver overlays and outlines with the default settings.
  Rect region() const {
    FrameAdapter adapter;
    adapter.SetFormat(width, height, format);
    const int32_t position[2] = {kDefaultSettings.logoPosX, kDefaultSettings.logoPosY};
    const int32_t size[2] = {kDefaultSettings.logoSizeX, kDefaultSettings.logoSizeY};
    return adapter.ComputeRegion(position, size);
  }

  // Bytes a Capturing frame must move at least (read + written):
  //   the frame read once                                   bytesPerPixel per pixel
  //   MaxBuffer and MinBuffer read and written             16 per pixel
  //   TemplateBuffer written                                4 per pixel
  //   the overlay: the template's region read, the frame's region read and written
  // The frame converted into BgrLuma32 is not counted: it only ever lives in registers.
  // The outline (a few thousand bytes) is not counted either.
  int64_t trafficBytes() const {
    const Rect r = region();
    const int64_t regionPixels = int64_t{r.right - r.left} * (r.bottom - r.top);
    return pixels() * (bytesPerPixel() + 16 + 4) + regionPixels * (4 + 2 * bytesPerPixel());
  }
};

inline std::vector<PipelineCase> PipelineCases() {
  std::vector<PipelineCase> cases;
  for (int32_t format : {kYuy2, kBgr24}) {
    cases.push_back({720, 576, format});
    cases.push_back({1920, 1080, format});
  }
  return cases;
}

// Distinct random frames handed over in turn: a picture that changes everywhere on every frame.
constexpr int kFramePool = 4;

// The pool of a case, made once per process (Google Benchmark runs each benchmark several times).
const std::vector<std::vector<uint8_t>>& FramePool(const PipelineCase& c);

}  // namespace vle::bench
