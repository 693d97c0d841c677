// Saving the settings file against other writers: a second process saving at the same moment, a
// link planted where the temporary file used to go, and a file that could not be read as settings.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "settings/ini_document.h"
#include "settings/plugin_settings.h"
#include "support/settings_files.h"
#include "support/settings_text.h"

namespace vle {
namespace {

std::string Lines(const char* section, int count, const char* key) {
  std::string text = std::string("[") + section + "]\r\n";
  for (int i = 0; i < count; ++i) text += std::string(key) + std::to_string(i) + "=" + std::to_string(i * 7) + "\r\n";
  return text;
}

void WriteLines(IniDocument& ini, const char* section, int count, const char* key) {
  ini.WriteSection(section);
  for (int i = 0; i < count; ++i) ini.WriteEntry(key + std::to_string(i), std::to_string(i * 7));
}

// Two saves open at once each write a file of their own; the one that closes last is the file,
// whole, however the lines interleaved.
TEST(SettingsSaving, OverlappingSavesEachReplaceTheFileWhole) {
  test::SettingsFolder folder;
  folder.Put("[PluginSettings]\r\n");
  IniDocument first, second;
  first.Locate(folder.system);
  second.Locate(folder.system);
  ASSERT_TRUE(first.OpenForWrite());
  ASSERT_TRUE(second.OpenForWrite());
  WriteLines(first, "Long", 40, "FirstKey");
  WriteLines(second, "Short", 3, "K");
  EXPECT_TRUE(first.Close());
  EXPECT_EQ(folder.Take(), Lines("Long", 40, "FirstKey"));
  EXPECT_TRUE(second.Close());
  EXPECT_EQ(folder.Take(), Lines("Short", 3, "K"));
  EXPECT_EQ(folder.EntryCount(), 1u);
}

// Hosts in two threads save over and over; after every round the file is one save's text whole.
TEST(SettingsSaving, ConcurrentSavesLeaveOneWholeFile) {
  test::SettingsFolder folder;
  folder.Put("");
  const SettingsBlock blocks[2] = {{1, 2, 3, 4, 5, 1, 7, 8}, {900, 800, 100, 200, 0xFFFFFF, 0, 255, 255}};
  for (int round = 0; round < 4; ++round) {
    // Each host has located its file before the race; the fake system is not the race's subject.
    IniDocument inis[2];
    for (IniDocument& ini : inis) ini.Locate(folder.system);
    std::vector<std::thread> savers;
    for (int k = 0; k < 2; ++k) {
      savers.emplace_back([&ini = inis[k], &block = blocks[k]] {
        for (int i = 0; i < 25; ++i) SavePluginSettings(ini, block, kNoWindowPosition, kNoWindowPosition);
      });
    }
    for (std::thread& t : savers) t.join();
    const std::string text = *folder.Take();
    EXPECT_TRUE(text == test::SettingsFileText(blocks[0]) || text == test::SettingsFileText(blocks[1])) << "round " << round << ":\n" << text;
    EXPECT_EQ(folder.EntryCount(), 1u);
  }
}

#ifndef _WIN32
// A link at the name every save once used never leads the save to write elsewhere.
TEST(SettingsSaving, PlantedLinkIsNotWrittenThrough) {
  test::SettingsFolder folder;
  folder.Put("[PluginSettings]\r\n");
  const std::filesystem::path victim = folder.plugins() / "victim";
  std::ofstream(victim, std::ios::binary) << "precious";
  std::filesystem::create_symlink(victim, folder.file().string() + ".tmp");
  test::SettingsTrip trip(folder);
  ASSERT_TRUE(trip.Save());
  std::ifstream in(victim, std::ios::binary);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), "precious");
  EXPECT_EQ(folder.Take(), test::SettingsFileText(kDefaultSettings));
}
#endif

std::string Utf16(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

std::optional<std::string> Backup(const test::SettingsFolder& folder) {
  std::ifstream in(folder.file().string() + ".bak", std::ios::binary);
  if (!in) return std::nullopt;
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct UnreadableCase {
  const char* name;
  std::string content;
  bool keepsCopy;
};

class SettingsUnreadable : public ::testing::TestWithParam<UnreadableCase> {};

// A file without the section is kept as ".bak" before the defaults replace it, once; a file the
// plug-in could read, or an empty one, is not copied.
TEST_P(SettingsUnreadable, KeepsACopyBeforeWritingDefaults) {
  const UnreadableCase& k = GetParam();
  test::SettingsFolder folder;
  folder.Put(k.content);
  test::SettingsTrip trip(folder);
  ASSERT_TRUE(trip.Save());
  EXPECT_EQ(Backup(folder), k.keepsCopy ? std::optional<std::string>(k.content) : std::nullopt);
  EXPECT_EQ(folder.EntryCount(), k.keepsCopy ? 2u : 1u);

  // The next save replaces the plug-in's own file: the copy stays as it was.
  ASSERT_TRUE(trip.Save());
  trip.Load();
  ASSERT_TRUE(trip.Save());
  EXPECT_EQ(Backup(folder), k.keepsCopy ? std::optional<std::string>(k.content) : std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Files, SettingsUnreadable,
    ::testing::Values(UnreadableCase{"Utf16", Utf16("[PluginSettings]\r\nLogoPosX=7\r\n"), true},
                      UnreadableCase{"OtherProgram", "[Window]\r\nWidth=3\r\n", true},
                      UnreadableCase{"Readable", "[PluginSettings]\r\nLogoPosX=7\r\n", false},
                      UnreadableCase{"Empty", "", false}),
    [](const ::testing::TestParamInfo<UnreadableCase>& info) { return std::string(info.param.name); });

// When the copy cannot be made, the unread file is not replaced either.
TEST(SettingsSaving, NoCopyNoReplace) {
  test::SettingsFolder folder;
  const std::string unread = Utf16("[PluginSettings]\r\n");
  folder.Put(unread);
  std::filesystem::create_directory(folder.file().string() + ".bak");
  test::SettingsTrip trip(folder);
  EXPECT_FALSE(trip.Save());
  EXPECT_EQ(folder.Take(), unread);
  EXPECT_EQ(folder.EntryCount(), 2u);  // the file and the folder in the way; no temporary file
}

}  // namespace
}  // namespace vle
