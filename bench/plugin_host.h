// The plug-in linked into the benchmark program, driven as a host and its user drive it: format
// announced, settings window opened through the headless desktop, Start clicked, the picture
// settled. Frames then go through the descriptor's processFrame exactly as a host hands them over.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/settings_block.h"
#include "plugin/host_records.h"

namespace vle::bench {

// Bytes of a host frame of the given format (0 Yuy2, 1 Bgr24).
inline size_t FrameBytes(int32_t width, int32_t height, int32_t format) {
  return size_t(width) * size_t(height) * (format == 1 ? 3 : 2);
}

// Reproducible random bytes.
void FillRandom(void* data, size_t bytes, uint32_t seed);

// The plug-in is one module per process: every benchmark shares one host (SharedHost()).
class PluginHost {
 public:
  // Keeps the settings file the plug-in writes at unload in a temporary folder of its own.
  PluginHost();
  ~PluginHost();
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  // Announces the format, opens the settings window with `settings` in effect, clicks Start and
  // hands over `frame` until the driver works (the 26th frame is the first one processed).
  // False if the driver does not reach the Capturing state.
  bool StartCapturing(int32_t width, int32_t height, int32_t format, const SettingsBlock& settings,
                      uint8_t* frame);
  // One frame through the descriptor; the driver's result.
  int32_t Process(uint8_t* pixels);
  // What the Clear command does to the accumulators (under the buffer lock).
  void ResetAccumulators();
  // The template as the driver left it: BgrLuma32 pixel (x, y), y from the top.
  uint32_t TemplatePixel(int32_t x, int32_t y) const;
  // Closes the settings window (the buffers go with it).
  void Stop();

 private:
  std::string folder_;
  int32_t size_[2] = {0, 0};
};

PluginHost& SharedHost();

}  // namespace vle::bench
