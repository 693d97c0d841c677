// The plug-in linked into the benchmark program, driven as a host and its user drive it (the
// shared in-process host): format announced, settings window opened, Start clicked, the picture
// settled. Frames then go through the descriptor's processFrame exactly as a host hands them over.
#pragma once

#include <cstdint>

#include "fill_random.h"
#include "support/host_harness.h"

namespace vle::bench {

using test::HostFrameBytes;

// The plug-in is one module per process: every benchmark shares one host (SharedHost()).
class PluginHost : public test::InProcessHost {
 public:
  PluginHost() : InProcessHost("bench") {}

  // What the Clear command does to the accumulators (under the buffer lock).
  void ResetAccumulators();
  // The template as the driver left it: BgrLuma32 pixel (x, y), y from the top.
  uint32_t TemplatePixel(int32_t x, int32_t y);
};

PluginHost& SharedHost();

}  // namespace vle::bench
