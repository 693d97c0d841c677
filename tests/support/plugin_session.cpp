#include "support/plugin_session.h"

#include <cstdlib>
#include <filesystem>

namespace vle::test {

namespace {
int g_hostWindow;  // any address serves as the host's window handle
}  // namespace

void PluginSession::SetUp() {
  // Each test process keeps its settings file in a folder of its own (tests run in parallel).
  namespace fs = std::filesystem;
  settingsDir_ = (fs::temp_directory_path() /
                  ("vle-session-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                   "-" + std::to_string(reinterpret_cast<uintptr_t>(this) & 0xFFFFFF)))
                     .string();
  fs::remove_all(settingsDir_);
  // The host makes its own folder; the plug-in creates only the last level, Plugins.
  fs::create_directories(fs::path(settingsDir_) / "Quorsana");
#ifdef _WIN32
  _putenv_s("XDG_CONFIG_HOME", settingsDir_.c_str());
  _putenv_s("QUORSANA_STORE_IN_USERS_FOLDER", "1");
#else
  setenv("XDG_CONFIG_HOME", settingsDir_.c_str(), 1);
  setenv("QUORSANA_STORE_IN_USERS_FOLDER", "1", 1);
#endif

  plugin::PluginUnload();  // no window, no buffers from an earlier test
  // Where the host's folder holds the settings (Windows), an earlier test may have left a file.
  module().ini.Locate();
  std::error_code ignored;
  fs::remove(fs::u8path(module().ini.fullPath()), ignored);
  auto& d = desktop();
  d.colourChooser = nullptr;
  d.saveChooser = nullptr;
  d.aboutBox = nullptr;
  d.processorMessages.clear();
  d.flashes = d.focusCount = d.aboutBoxes = d.colourChoosers = d.saveChoosers = 0;
  d.SetScreenSize(1024, 768);
  d.SetHostWindowRect(Rect{100, 100, 740, 580});
  d.SetDialogSize(294, 240);
  module().state.activeSettings.Store(kDefaultSettings);
  module().dialog.dlgWndPosX = -100;
  module().dialog.dlgWndPosY = -100;
  module().settleCountdown = 0;
  Announce(0, 0, 0);
}

void PluginSession::TearDown() {
  plugin::PluginUnload();
  std::error_code ec;
  std::filesystem::remove_all(settingsDir_, ec);
}

void PluginSession::Announce(int32_t w, int32_t h, int32_t format, int32_t cpuClass) {
  FrameFormat f{w, h, 0, format, cpuClass};
  ASSERT_EQ(Quorsana_Plugin_PR()->setFormat(&f), 1);
}

void PluginSession::Configure() {
  PluginConfigureArgs args{&g_hostWindow};
  Quorsana_Plugin_PR()->configure(&args);
  desktop().Pump();
}

int32_t PluginSession::Process(HostFrame& frame) {
  VideoFrame record = frame.Record();
  return Quorsana_Plugin_PR()->processFrame(&record);
}

void PluginSession::Settle(HostFrame& frame) {
  for (int i = 0; i < 25; ++i) ASSERT_EQ(Process(frame), 0) << "frame " << i + 1;
}

}  // namespace vle::test
