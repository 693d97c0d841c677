// The records exchanged with the host, laid out as the host lays them out. On i686 the offsets are
// the host's; on 64-bit builds the same declarations take natural alignment.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

struct FrameFormat {
  int32_t width;
  int32_t height;
  int32_t reserved;     // the host's; copied, never used
  int32_t pixelFormat;  // 0 Yuy2, 1 Bgr24
  int32_t cpuClass;     // 1 and 2: older than Pentium III
};

struct VideoFrame {
  uint8_t* pixels;            // null: no picture
  uint8_t unread[40];         // the host's; never read
  const int32_t* frameSize;   // this frame's width, then height
};

struct PluginConfigureArgs {
  void* hostWindow;  // HWND of the window that owns the settings window
};

// Eight pointer-sized slots; the order is part of the host interface.
struct PluginDescriptor {
  const char* name;         // Windows-1251
  const char* description;  // Windows-1251
  void (*load)();
  int32_t (*setFormat)(const FrameFormat*);
  int32_t (*processFrame)(VideoFrame*);
  void (*idle)();
  void (*configure)(const PluginConfigureArgs*);
  void (*unload)();
};

}  // extern "C"

static_assert(offsetof(FrameFormat, pixelFormat) == 12 && offsetof(FrameFormat, cpuClass) == 16 &&
                  sizeof(FrameFormat) == 20,
              "FrameFormat offsets");
#if defined(__i386__) || defined(_M_IX86)
static_assert(offsetof(VideoFrame, frameSize) == 44, "VideoFrame::frameSize at offset 44");
static_assert(sizeof(PluginDescriptor) == 32, "eight 32-bit slots");
static_assert(sizeof(PluginConfigureArgs) == 4, "hostWindow at offset 0");
#endif
