// A fixture that plays host and user of the plug-in linked into the test: it resets the module's
// state between tests, keeps the settings file in a folder of its own, and makes frames.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/module.h"
#include "plugin/plugin.h"
#include "ui/headless/headless_desktop.h"

namespace vle::test {

// A host frame with its size record, as a host hands it over.
struct HostFrame {
  HostFrame(int32_t w, int32_t h, int32_t format)
      : width(w), height(h), bytes(size_t(w) * size_t(h) * (format == 1 ? 3 : 2)) {
    size[0] = w;
    size[1] = h;
  }
  VideoFrame Record() {
    VideoFrame f{};
    f.pixels = bytes.data();
    f.frameSize = size;
    return f;
  }
  int32_t width, height;
  int32_t size[2];
  std::vector<uint8_t> bytes;
};

class PluginSession : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  plugin::Module& module() { return plugin::TheModule(); }
  ui::headless::HeadlessDesktop& desktop() { return ui::headless::Desktop(); }
  SettingsBlock settings() { return module().state.activeSettings.Load(); }

  // PluginSetFormat with the given frame; cpuClass 3 unless said otherwise.
  void Announce(int32_t w, int32_t h, int32_t format, int32_t cpuClass = 3);
  // PluginConfigure with a host window handle, then pumps the posted refreshes.
  void Configure();
  int32_t Process(HostFrame& frame);
  // Hands over frames until the driver works again after a size change (26 frames).
  void Settle(HostFrame& frame);

  std::string settingsDir_;
};

}  // namespace vle::test
