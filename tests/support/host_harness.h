// The plug-in linked into this program, driven in-process as a host and its user drive it: the
// settings file in a temporary folder of its own, the module and the headless desktop reset to a
// freshly loaded plug-in on a 1024 x 768 screen, the settings window opened with a host window,
// Start clicked, the picture settled. The tests, the benchmarks and the fuzzers share it, so no
// test framework here: failures are answers for the caller to judge.
//
// The plug-in is one module per process and the headless desktop one per process: one host at a
// time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/settings_block.h"
#include "plugin/host_records.h"
#include "plugin/module.h"
#include "plugin/plugin.h"
#include "support/read_file.h"
#include "ui/headless/headless_desktop.h"

namespace vle::test {

// Frames the driver answers 0 to after a new size: that frame and the 24 after it. The next one is
// the first it works on.
constexpr int kSettleFrames = 25;

// Bytes of a host frame of the given format (0 Yuy2, 1 Bgr24).
inline size_t HostFrameBytes(int32_t width, int32_t height, int32_t format) {
  return size_t(width) * size_t(height) * (format == 1 ? 3 : 2);
}

// A host frame with its size record, as a host hands it over.
struct HostFrame {
  HostFrame(int32_t w, int32_t h, int32_t format)
      : width(w), height(h), bytes(HostFrameBytes(w, h, format)) {
    size[0] = w;
    size[1] = h;
  }
  VideoFrame Record() {
    VideoFrame f{};
    f.pixels = bytes.data();
    f.frameSize = size;
    return f;
  }
  // Reproducible random bytes, one per draw of a generator seeded with `seed`.
  void Randomise(uint32_t seed);

  int32_t width, height;
  int32_t size[2];
  std::vector<uint8_t> bytes;
};

// A folder of this process under the temporary folder, made as the user's folder of a host whose
// own folder (Quorsana) exists: the plug-in creates only the last level, Plugins. The environment
// points the plug-in there. Removed with everything in it at destruction.
class SettingsHome {
 public:
  explicit SettingsHome(const std::string& tag);
  ~SettingsHome();
  SettingsHome(const SettingsHome&) = delete;
  SettingsHome& operator=(const SettingsHome&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

class InProcessHost {
 public:
  // Makes the settings folder (named after `tag`) and resets the module (Reset()).
  explicit InProcessHost(const std::string& tag);
  // Unloads the plug-in (its settings file is written into the folder), then removes the folder.
  ~InProcessHost();
  InProcessHost(const InProcessHost&) = delete;
  InProcessHost& operator=(const InProcessHost&) = delete;

  // The module as a fresh load with no settings file leaves it: no window and no buffers (closed
  // without writing anything), the default settings, no window position, no format announced and
  // no settling under way; the file where the plug-in keeps its settings removed. The desktop: no
  // chooser or about-box answers, no counts, a 1024 x 768 screen with the host window at
  // (100, 100)-(740, 580) and a 294 x 240 settings window.
  void Reset();

  plugin::Module& module();
  ui::headless::HeadlessDesktop& desktop();
  const std::filesystem::path& folder() const { return home_.path(); }

  // setFormat with the given frame; its answer. The size is the one Process(pixels) reports.
  int32_t Announce(int32_t width, int32_t height, int32_t format, int32_t cpuClass = 3);
  // configure with a host window handle, then the posted refreshes pumped.
  void Configure();
  // Announce, Configure and a click on Start; false when Start could not be clicked.
  bool Start(int32_t width, int32_t height, int32_t format);
  // One frame through the descriptor, of its own size or of the announced one; the driver's answer.
  int32_t Process(HostFrame& frame);
  int32_t Process(uint8_t* pixels);
  // Hands over kSettleFrames frames; how many were answered 0 before the first that was not
  // (kSettleFrames when the picture settled as it must).
  int Settle(HostFrame& frame);
  int Settle(uint8_t* pixels);
  // Closes an open settings window as its user would (the buffers go with it).
  void Close();
  // Closes the window, puts `settings` in effect, starts and settles with `pixels` (a frame of the
  // given size): true when the next frame is processed with the capture and the template running.
  bool StartCapturing(int32_t width, int32_t height, int32_t format, const SettingsBlock& settings,
                      uint8_t* pixels);

 private:
  template <typename Frame>
  int SettleWith(Frame& frame);

  SettingsHome home_;
  int32_t size_[2] = {0, 0};
};

}  // namespace vle::test
