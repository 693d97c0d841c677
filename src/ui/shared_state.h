// The module-global state that the settings window (user-interface thread) and the frame driver
// (video thread) share.
//
// Flags, settings and the announced format are relaxed atomic 32-bit values written without the
// lock: a change takes effect from the next frame that reads it. The three buffer pointers change
// only on the user-interface thread, and only while `bufferLock` is held once the window exists;
// the frame driver reads them, and touches their pixels, only under `bufferLock`.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/image_buffer.h"
#include "core/settings_block.h"
#include "platform/lock.h"

namespace vle {

// FrameFormat as last announced by the host.
struct SharedFrameFormat {
  std::atomic<int32_t> width{0};
  std::atomic<int32_t> height{0};
  std::atomic<int32_t> reserved{0};
  std::atomic<int32_t> pixelFormat{0};
  std::atomic<int32_t> cpuClass{0};
};

// cpuClass 1 and 2 are processors older than Pentium III: no settings window, frames untouched.
inline bool IsUnsupportedCpuClass(int32_t cpuClass) { return cpuClass == 1 || cpuClass == 2; }

struct SharedState {
  SharedFrameFormat currentFormat;
  SharedSettings activeSettings;
  std::atomic<int32_t> captureActive{0};
  std::atomic<int32_t> templateActive{0};
  // True while the settings window exists (between its creation and its final destruction).
  std::atomic<bool> windowExists{false};

  ImageBuffer* maxBuffer = nullptr;
  ImageBuffer* minBuffer = nullptr;
  ImageBuffer* templateBuffer = nullptr;

  platform::Lock bufferLock;
};

}  // namespace vle
