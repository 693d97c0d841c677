// The plug-in's module-global objects, constructed when the library loads and destroyed in reverse
// order when it unloads.
#pragma once

#include <cstdint>

#include "core/geometry.h"
#include "frame/frame_adapter.h"
#include "ui/shared_state.h"

namespace vle::plugin {

struct Module {
  SharedState state;
  FrameAdapter adapter;
  // Frame driver only (video thread).
  Size lastFrameSize{0, 0};
  int32_t settleCountdown = 0;
};

Module& TheModule();

}  // namespace vle::plugin
