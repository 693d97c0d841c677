// A fixture that plays host and user of the plug-in linked into the test: every test starts from a
// freshly reset module with its settings file in a folder of its own (see InProcessHost), and
// failures of the set-up steps are test failures.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "support/host_harness.h"

namespace vle::test {

class PluginSession : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  plugin::Module& module() { return host_->module(); }
  ui::headless::HeadlessDesktop& desktop() { return host_->desktop(); }
  SettingsBlock settings() { return module().state.activeSettings.Load(); }

  // PluginSetFormat with the given frame; cpuClass 3 unless said otherwise.
  void Announce(int32_t w, int32_t h, int32_t format, int32_t cpuClass = 3);
  // PluginConfigure with a host window handle, then pumps the posted refreshes.
  void Configure() { host_->Configure(); }
  int32_t Process(HostFrame& frame) { return host_->Process(frame); }
  // Hands over the kSettleFrames frames a size change asks for, each of which must be answered 0;
  // the next frame is the first the driver works on.
  void Settle(HostFrame& frame);

  std::unique_ptr<InProcessHost> host_;
  std::string settingsDir_;  // the host's folder, free for the test's own files too
};

}  // namespace vle::test
