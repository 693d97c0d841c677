// A whole session as host and user play it: load, format, configure, capture, unload, and the
// settings that survive into the next load.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/module_scope.h"
#include "support/plugin_session.h"
#include "support/settings_text.h"
#include "ui/control_ids.h"

namespace vle::test {
namespace {

namespace fs = std::filesystem;

class PluginLifecycleTest : public PluginSession {
 protected:
  // Where the plug-in keeps its settings is its own decision (tested with the location rules);
  // here it is the file the last load located.
  fs::path SettingsFile() { return fs::u8path(module().ini.fullPath()); }
  std::string ReadSettingsFile() { return ReadFile(SettingsFile()); }
};

TEST_F(PluginLifecycleTest, SettingsAndWindowPositionSurviveAnUnloadAndReload) {
  const PluginDescriptor* d = Quorsana_Plugin_PR();
  d->load();
  const SettingsBlock loaded = settings();
  EXPECT_EQ(std::memcmp(&kDefaultSettings, &loaded, sizeof loaded), 0);
  Announce(720, 576, 0);
  Configure();
  desktop().ScrollTo(IDC_THRESHOLD_SPIN, 33);
  desktop().ScrollTo(IDC_POSX_SPIN, 100);
  desktop().Click(IDC_INVERSE);
  desktop().MoveWindow(40, 30);
  desktop().Click(IDC_START);
  HostFrame frame(720, 576, 0);
  Settle(frame);
  EXPECT_EQ(Process(frame), 1);
  desktop().Click(IDC_STOP);
  d->unload();  // the window goes, its edits stand and are written

  SettingsBlock edited = kDefaultSettings;
  edited.logoPosX = 100;
  edited.inverseSelection = 1;
  edited.threshold = 33;
  EXPECT_EQ(ReadSettingsFile(), SettingsFileText(edited, 40, 30));

  module().state.activeSettings.Store(kDefaultSettings);
  module().dialog.dlgWndPosX = module().dialog.dlgWndPosY = 0;
  d->load();
  const SettingsBlock s = settings();
  EXPECT_EQ(s.threshold, 33);
  EXPECT_EQ(s.logoPosX, 100);
  EXPECT_EQ(s.inverseSelection, 1u);
  EXPECT_EQ(module().dialog.dlgWndPosX, 40);
  Configure();
  EXPECT_EQ(desktop().WindowRect().left, 40);
  EXPECT_EQ(desktop().WindowRect().top, 30);
  EXPECT_EQ(desktop().Text(IDC_THRESHOLD_EDIT), "33");
}

TEST_F(PluginLifecycleTest, AnUnloadWithoutEverOpeningTheWindowWritesWhatWasLoaded) {
  Quorsana_Plugin_PR()->load();
  Quorsana_Plugin_PR()->unload();
  EXPECT_EQ(ReadSettingsFile(), SettingsFileText(kDefaultSettings));
}

TEST_F(PluginLifecycleTest, CallbacksKeepTheCallersModuleContext) {
  // Every callback switches to the plug-in's context and gives the caller's back.
  EXPECT_EQ(platform::CurrentModule(), nullptr);
  Quorsana_Plugin_PR()->load();
  Announce(16, 16, 0);
  Configure();
  HostFrame frame(16, 16, 0);
  Process(frame);
  Quorsana_Plugin_PR()->idle();
  Quorsana_Plugin_PR()->unload();
  EXPECT_EQ(platform::CurrentModule(), nullptr);
  platform::ModuleScope outer;
  EXPECT_EQ(platform::CurrentModule(), platform::PluginModule());
}

}  // namespace
}  // namespace vle::test
