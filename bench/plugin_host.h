// The plug-in linked into the benchmark program, driven as a host and its user drive it (the
// shared in-process host): format announced, settings window opened, Start clicked, the picture
// settled. Frames then go through the descriptor's processFrame exactly as a host hands them over.
#pragma once

#include <cstdint>

#include "core/settings_block.h"
#include "fill_random.h"
#include "support/host_harness.h"

namespace vle::bench {

using test::HostFrameBytes;

// The plug-in is one module per process: every benchmark shares one host (SharedHost()).
class PluginHost : public test::InProcessHost {
 public:
  PluginHost() : InProcessHost("bench") {}

  // Closes the window, announces the format, opens the settings window with `settings` in effect,
  // clicks Start and hands over `frame` until the driver works (the 26th frame is the first one
  // processed). False if the driver does not reach the Capturing state.
  bool StartCapturing(int32_t width, int32_t height, int32_t format, const SettingsBlock& settings,
                      uint8_t* frame);
  // One frame of the started size through the descriptor; the driver's result.
  int32_t Process(uint8_t* pixels) { return InProcessHost::Process(pixels, width_, height_); }
  // What the Clear command does to the accumulators (under the buffer lock).
  void ResetAccumulators();
  // The template as the driver left it: BgrLuma32 pixel (x, y), y from the top.
  uint32_t TemplatePixel(int32_t x, int32_t y);

 private:
  int32_t width_ = 0, height_ = 0;
};

PluginHost& SharedHost();

}  // namespace vle::bench
