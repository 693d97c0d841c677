#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "platform/system.h"
#include "settings/ini_document.h"
#include "settings/plugin_settings.h"
#include "settings/settings_table.h"
#include "support/settings_files.h"

namespace vle {
namespace {

const char kDefaultFile[] =
    "[PluginSettings]\r\nDlgWndPosX=-100\r\nDlgWndPosY=-100\r\nLogoPosX=20\r\nLogoPosY=20\r\n"
    "LogoSizeX=200\r\nLogoSizeY=200\r\nInverseSelection=0\r\nThreshold=50\r\nBlackLevel=0\r\n"
    "ColorKey=16744448\r\n";

bool SameBlock(const SettingsBlock& a, const SettingsBlock& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(PluginSettingsFile, MissingFileIsCreatedEmptyAndSavedAsTheDefaultFile) {
  test::SettingsFolder folder;
  IniDocument ini;
  SettingsBlock block{};
  int32_t x = 0, y = 0;
  LoadPluginSettings(ini, &block, &x, &y, folder.system);
  EXPECT_TRUE(SameBlock(block, kDefaultSettings));
  EXPECT_EQ(x, -100);
  EXPECT_EQ(y, -100);
  EXPECT_EQ(folder.Take(), "");
  ASSERT_TRUE(SavePluginSettings(ini, block, x, y));
  EXPECT_EQ(folder.Take(), kDefaultFile);
  EXPECT_EQ(folder.EntryCount(), 1u);  // no temporary file left behind
}

struct LoadCase {
  const char* name;
  const char* content;
  SettingsBlock expected;
  int32_t x, y;
};

class PluginSettingsLoad : public ::testing::TestWithParam<LoadCase> {};

// Loading then saving gives the section alone, in table order, whatever else the file held.
TEST_P(PluginSettingsLoad, ReadsValuesAndSavesOnlyTheSection) {
  const LoadCase& k = GetParam();
  test::SettingsFolder folder;
  folder.Put(k.content);
  IniDocument ini;
  SettingsBlock block{};
  int32_t x = 0, y = 0;
  LoadPluginSettings(ini, &block, &x, &y, folder.system);
  EXPECT_TRUE(SameBlock(block, k.expected));
  EXPECT_EQ(x, k.x);
  EXPECT_EQ(y, k.y);

  ASSERT_TRUE(SavePluginSettings(ini, block, x, y));
  const std::string saved = *folder.Take();
  EXPECT_EQ(saved.find("[Other]"), std::string::npos);
  EXPECT_EQ(saved.rfind('['), 0u);
  SettingsBlock again{};
  int32_t x2 = 0, y2 = 0;
  LoadPluginSettings(ini, &again, &x2, &y2, folder.system);
  EXPECT_TRUE(SameBlock(again, k.expected));
  EXPECT_EQ(x2, k.x);
  EXPECT_EQ(y2, k.y);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PluginSettingsLoad,
    ::testing::Values(
        LoadCase{"OnlyColorKey", "[PluginSettings]\r\nColorKey=255\r\n", {20, 20, 200, 200, 255, 0, 50, 0}, -100, -100},
        LoadCase{"OtherOrderAndSections",
                 "[Other]\r\nLogoPosX=999\r\n[PluginSettings]\r\nColorKey=1\r\nBlackLevel=2\r\nThreshold=3\r\n"
                 "InverseSelection=1\r\nLogoSizeY=5\r\nLogoSizeX=6\r\nLogoPosY=7\r\nLogoPosX=8\r\n"
                 "DlgWndPosY=9\r\nDlgWndPosX=10\r\n[Tail]\r\nA=1\r\n",
                 {8, 7, 6, 5, 1, 1, 3, 2}, 10, 9},
        LoadCase{"NoSection", "[Other]\r\nLogoPosX=1\r\n", kDefaultSettings, -100, -100},
        LoadCase{"Utf8Mark", "\xEF\xBB\xBF[PluginSettings]\r\nLogoPosX=7\r\nDlgWndPosY=3\r\n",
                 {7, 20, 200, 200, 0xFF8000, 0, 50, 0}, -100, 3},
        LoadCase{"OutOfRangeKept", "[PluginSettings]\nLogoPosX=-5000\nThreshold=99999\nDlgWndPosX=-32000\n",
                 {-5000, 20, 200, 200, 0xFF8000, 0, 99999, 0}, -32000, -100}),
    [](const ::testing::TestParamInfo<LoadCase>& info) { return std::string(info.param.name); });

TEST(PluginSettingsFile, RandomBlocksRoundTrip) {
  test::SettingsFolder folder;
  std::mt19937 rng(1234);
  IniDocument ini;
  SettingsBlock block{};
  int32_t x = 0, y = 0;
  LoadPluginSettings(ini, &block, &x, &y, folder.system);
  for (int i = 0; i < 40; ++i) {
    uint32_t words[10];
    for (uint32_t& w : words) w = rng() >> (rng() % 32);
    std::memcpy(&block, words, sizeof block);
    x = static_cast<int32_t>(words[8]);
    y = -static_cast<int32_t>(words[9] >> 1);
    ASSERT_TRUE(SavePluginSettings(ini, block, x, y));
    SettingsBlock back{};
    int32_t bx = 0, by = 0;
    LoadPluginSettings(ini, &back, &bx, &by, folder.system);
    ASSERT_TRUE(SameBlock(back, block)) << "iteration " << i;
    ASSERT_EQ(bx, x);
    ASSERT_EQ(by, y);
  }
}

// Every line of a save may fail: the previous file stays whole, the caller hears of it, and no
// temporary file is left.
class PluginSettingsWriteFailure : public ::testing::TestWithParam<int> {};

TEST_P(PluginSettingsWriteFailure, LeavesThePreviousFile) {
  test::SettingsFolder folder;
  const std::string previous = "[PluginSettings]\r\nLogoPosX=321\r\n[Keep]\r\nA=1\r\n";
  folder.Put(previous);
  IniDocument ini;
  SettingsBlock block{};
  int32_t x = 0, y = 0;
  LoadPluginSettings(ini, &block, &x, &y, folder.system);
  platform::FailFileWrites(GetParam(), 1);
  const bool saved = SavePluginSettings(ini, block, x, y);
  platform::FailFileWrites(0, 0);
  EXPECT_FALSE(saved);
  EXPECT_EQ(folder.Take(), previous);
  EXPECT_EQ(folder.EntryCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(EveryLine, PluginSettingsWriteFailure, ::testing::Range(0, 11));

// Type codes 0..12 each read and write at their own width; every other code is skipped both ways.
struct TypeCase {
  int32_t type;
  const char* written;  // the line for the bits 0xFFFFFFFFFFFFFFFE (text: "text")
  int width;            // bytes of the target that reading stores; 0: the entry is skipped
};

class SettingsTableTypes : public ::testing::TestWithParam<TypeCase> {};

TEST_P(SettingsTableTypes, WidthAndSignFollowTheCode) {
  const TypeCase& k = GetParam();
  constexpr uint64_t kValue = 0xFFFFFFFFFFFFFFFEull;
  constexpr uint64_t kDefault = 0x1234567890ABCDEFull;
  constexpr uint64_t kOld = 0x5555555555555555ull;
  const uint64_t mask = k.width == 8 ? ~0ull : (1ull << (8 * k.width)) - 1;
  const bool isText = k.type == 12;
  static const char kDefaultText[] = "fallback";
  uint64_t bits = kValue;
  std::string text = "text";
  const SettingsTableEntry table[] = {
      {k.type, "K", isText ? static_cast<void*>(&text) : static_cast<void*>(&bits),
       isText ? reinterpret_cast<uintptr_t>(kDefaultText) : kDefault}};

  test::SettingsFolder folder;
  IniDocument ini;
  ini.Locate(folder.system);
  ASSERT_TRUE(ini.OpenForWrite());
  ini.WriteSection("S");
  ini.WriteTable(table, 1);
  ASSERT_TRUE(ini.Close());
  EXPECT_EQ(folder.Take(), std::string("[S]\r\n") + k.written);

  bits = kOld;
  text = "old";
  ASSERT_TRUE(ini.Open(false));
  ini.ReadTable("S", table, 1);
  ini.Close();
  if (isText) {
    EXPECT_EQ(text, "text");
  } else {
    EXPECT_EQ(bits, (kOld & ~mask) | (kValue & mask));
  }

  // From an empty section: the default at the entry's width.
  bits = kOld;
  folder.Put("[S]\r\n");
  ASSERT_TRUE(ini.Open(false));
  ini.ReadTable("S", table, 1);
  ini.Close();
  if (isText) {
    EXPECT_EQ(text, kDefaultText);
  } else {
    EXPECT_EQ(bits, (kOld & ~mask) | (kDefault & mask));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, SettingsTableTypes,
    ::testing::Values(TypeCase{0, "K=254\r\n", 1}, TypeCase{1, "K=-2\r\n", 2}, TypeCase{2, "K=65534\r\n", 2},
                      TypeCase{3, "K=65534\r\n", 2}, TypeCase{4, "K=4294967294\r\n", 4},
                      TypeCase{5, "K=4294967294\r\n", 4}, TypeCase{6, "K=-2\r\n", 4},
                      TypeCase{7, "K=4294967294\r\n", 4}, TypeCase{8, "K=-2\r\n", 4},
                      TypeCase{9, "K=4294967294\r\n", 4}, TypeCase{10, "K=-2\r\n", 8},
                      TypeCase{11, "K=18446744073709551614\r\n", 8}, TypeCase{12, "K=text\r\n", 0},
                      TypeCase{-1, "", 0}, TypeCase{13, "", 0}, TypeCase{INT32_MIN, "", 0}));

}  // namespace
}  // namespace vle
