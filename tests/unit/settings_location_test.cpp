#include <gtest/gtest.h>

#include <filesystem>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "settings/ini_document.h"
#include "settings/plugin_settings.h"
#include "support/settings_files.h"

namespace vle {
namespace {

struct LocationCase {
  const char* name;
  std::function<void(test::FakeSystem&)> setUp;
  const char* directory;  // "" when nothing is located
  const char* instance;
};

class SettingsLocation : public ::testing::TestWithParam<LocationCase> {};

TEST_P(SettingsLocation, FolderFromSystemSwitchesAndCommandLine) {
  const LocationCase& k = GetParam();
  test::FakeSystem system;
  k.setUp(system);
  IniDocument ini;
  ini.Locate(system);
  EXPECT_EQ(ini.directory(), k.directory);
  EXPECT_EQ(ini.instanceName(), k.instance);
  if (*k.directory == '\0') {
    EXPECT_EQ(ini.fullPath(), "");
    EXPECT_TRUE(system.created.empty());
  } else {
    EXPECT_EQ(ini.fileName(), "Vorlane_LogoExtractor.ini");
    EXPECT_EQ(ini.fullPath(), std::string(k.directory) + "Vorlane_LogoExtractor.ini");
    EXPECT_EQ(system.created, std::vector<std::string>{k.directory});  // the last level only
  }

  // A second call on a document located elsewhere before keeps nothing of the first.
  test::FakeSystem other;
  other.storeInUsersFolder = 1;
  other.commandLine = "x /inst:9";
  other.moduleName = "Other";
  IniDocument again;
  again.Locate(other);
  again.Locate(system);
  EXPECT_EQ(again.directory(), ini.directory());
  EXPECT_EQ(again.instanceName(), ini.instanceName());
  EXPECT_EQ(again.moduleName(), ini.moduleName());
  EXPECT_EQ(again.fullPath(), ini.fullPath());
}

const char kHost[] = "C:\\Viewer\\Plugins\\";
const char kUser[] = "C:\\Users\\u\\AppData\\Roaming\\Quorsana\\Plugins\\";

void Args(test::FakeSystem& s, const char* args) { s.commandLine = std::string("\"C:\\Viewer\\host.exe\" ") + args; }

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsLocation,
    ::testing::Values(
        LocationCase{"HostFolder", [](test::FakeSystem&) {}, kHost, ""},
        LocationCase{"Instance", [](auto& s) { Args(s, "/Inst:3"); }, "C:\\Viewer\\Instances\\3\\Plugins\\", "3"},
        LocationCase{"UpperCaseInstance", [](auto& s) { Args(s, "/INST:B"); }, "C:\\Viewer\\Instances\\b\\Plugins\\", "b"},
        LocationCase{"DashInstance", [](auto& s) { Args(s, "-inst:7"); }, "C:\\Viewer\\Instances\\7\\Plugins\\", "7"},
        LocationCase{"SlashWinsAfterDash", [](auto& s) { Args(s, "-inst:1 /inst:2"); }, "C:\\Viewer\\Instances\\2\\Plugins\\", "2"},
        LocationCase{"SlashWinsBeforeDash", [](auto& s) { Args(s, "/inst:2 -inst:1"); }, "C:\\Viewer\\Instances\\2\\Plugins\\", "2"},
        LocationCase{"FirstSlashCounts", [](auto& s) { Args(s, "/inst:a /inst:b"); }, "C:\\Viewer\\Instances\\a\\Plugins\\", "a"},
        LocationCase{"OneCharacterOnly", [](auto& s) { Args(s, "/inst:12"); }, "C:\\Viewer\\Instances\\1\\Plugins\\", "1"},
        LocationCase{"PrefixEndsLine", [](auto& s) { Args(s, "/inst:"); }, kHost, ""},
        LocationCase{"EmptySlashClearsDash", [](auto& s) { Args(s, "-inst:5 /inst:"); }, kHost, ""},
        LocationCase{"PrefixInsideProgramPath",
                     [](auto& s) { s.commandLine = "\"C:\\Viewer-Inst:X\\host.exe\" /other"; },
                     "C:\\Viewer\\Instances\\x\\Plugins\\", "x"},
        LocationCase{"UserFolder", [](auto& s) { s.storeInUsersFolder = 1; }, kUser, ""},
        LocationCase{"UserFolderAnyBits", [](auto& s) { s.storeInUsersFolder = 0x80000000u; }, kUser, ""},
        LocationCase{"UserFolderInstance",
                     [](auto& s) { s.storeInUsersFolder = 1; Args(s, "/inst:3"); },
                     "C:\\Users\\u\\AppData\\Roaming\\Quorsana\\Instances\\3\\Plugins\\", "3"},
        LocationCase{"SwitchIgnoredBeforeNt",
                     [](auto& s) { s.storeInUsersFolder = 1; s.ntFamily = false; }, kHost, ""},
        LocationCase{"NoAppDataFolderFallsBackToHost",
                     [](auto& s) { s.storeInUsersFolder = 1; s.appData.reset(); }, kHost, ""},
        LocationCase{"UnknownVersion", [](auto& s) { s.ntFamily.reset(); Args(s, "/inst:3"); }, "", ""},
        LocationCase{"SlashSeparator",
                     [](auto& s) { s.separator = '/'; s.hostFolder = "/opt/viewer/"; s.commandLine = "viewer -inst:2"; },
                     "/opt/viewer/Instances/2/Plugins/", "2"}),
    [](const ::testing::TestParamInfo<LocationCase>& info) { return std::string(info.param.name); });

// A system that cannot tell its version has no settings file: a file where the host's folder
// would put it is not read, and nothing is saved.
TEST(SettingsLocationFailure, UnknownVersionLoadsDefaultsAndSavesNothing) {
  test::SettingsFolder folder;
  folder.Put("[PluginSettings]\r\nLogoPosX=1\r\nDlgWndPosX=5\r\n");
  folder.system.ntFamily.reset();
  IniDocument ini;
  SettingsBlock block{};
  int32_t x = 0, y = 0;
  LoadPluginSettings(ini, &block, &x, &y, folder.system);
  EXPECT_EQ(block.logoPosX, kDefaultSettings.logoPosX);
  EXPECT_EQ(x, -100);
  EXPECT_FALSE(SavePluginSettings(ini, block, x, y));
  EXPECT_EQ(folder.Take(), "[PluginSettings]\r\nLogoPosX=1\r\nDlgWndPosX=5\r\n");
}

// An instance folder that was never set up: its Plugins folder cannot be created, so defaults are
// read and nothing is saved.
TEST(SettingsLocationFailure, MissingInstanceFolderLoadsDefaultsAndSavesNothing) {
  test::SettingsFolder folder;
  folder.system.commandLine = "host /inst:4";
  IniDocument ini;
  SettingsBlock block{};
  int32_t x = 0, y = 0;
  LoadPluginSettings(ini, &block, &x, &y, folder.system);
  EXPECT_EQ(std::memcmp(&block, &kDefaultSettings, sizeof block), 0);
  EXPECT_FALSE(SavePluginSettings(ini, block, x, y));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(ini.directory())));
}

// The real machine (Wine in the Windows tree): without the user-folder switch the file lies in
// the Plugins folder beside the running program, named after the module that holds this code.
TEST(SettingsLocationReal, HostFolderWithoutSwitch) {
  platform::SystemQueries& system = platform::RealSystem();
  if (system.StoreInUsersFolder() != 0) GTEST_SKIP() << "the user-folder switch is set on this machine";
  ASSERT_EQ(system.NtFamily(), std::optional<bool>(true));
  const std::string host = system.HostFolder();
  ASSERT_FALSE(host.empty());
  EXPECT_EQ(host.back(), system.Separator());
  EXPECT_EQ(system.ModuleName(), "vle_unit");
  EXPECT_TRUE(std::filesystem::exists(host + "vle_unit.exe") || std::filesystem::exists(host + "vle_unit"));

  const bool existed = std::filesystem::exists(host + "Plugins");
  IniDocument ini;
  ini.Locate();
  EXPECT_EQ(ini.directory(), host + "Plugins" + system.Separator());
  EXPECT_EQ(ini.fileName(), "vle_unit.ini");
  EXPECT_TRUE(std::filesystem::is_directory(ini.directory()));
  if (!existed) std::filesystem::remove(host + "Plugins");
}

}  // namespace
}  // namespace vle
