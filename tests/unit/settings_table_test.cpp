#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "platform/system.h"
#include "settings/ini_document.h"
#include "settings/plugin_settings.h"
#include "support/settings_files.h"
#include "support/settings_text.h"

namespace vle {
namespace {

const char kDefaultFile[] =
    "[PluginSettings]\r\nDlgWndPosX=-100\r\nDlgWndPosY=-100\r\nLogoPosX=20\r\nLogoPosY=20\r\n"
    "LogoSizeX=200\r\nLogoSizeY=200\r\nInverseSelection=0\r\nThreshold=50\r\nBlackLevel=0\r\n"
    "ColorKey=16744448\r\n";

bool SameBlock(const SettingsBlock& a, const SettingsBlock& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(PluginSettingsFile, MissingFileIsCreatedEmptyAndSavedAsTheDefaultFile) {
  test::SettingsFolder folder;
  test::SettingsTrip trip(folder);
  EXPECT_TRUE(SameBlock(trip.block, kDefaultSettings));
  EXPECT_EQ(trip.x, -100);
  EXPECT_EQ(trip.y, -100);
  EXPECT_EQ(folder.Take(), "");
  ASSERT_TRUE(trip.Save());
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
  test::SettingsTrip trip(folder);
  // The load, the save and a second load all see the same values.
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_TRUE(SameBlock(trip.block, k.expected)) << "pass " << pass;
    EXPECT_EQ(trip.x, k.x) << "pass " << pass;
    EXPECT_EQ(trip.y, k.y) << "pass " << pass;
    ASSERT_TRUE(trip.Save());
    EXPECT_EQ(folder.Take(), test::SettingsFileText(k.expected, k.x, k.y));
    trip.block = SettingsBlock{};
    trip.x = trip.y = 0;
    trip.Load();
  }
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
        // Values the window could never set are held to its up-downs' ranges; the window position,
        // the colour and the inversion are taken as they are.
        LoadCase{"OutOfRangeHeld", "[PluginSettings]\nLogoPosX=-5000\nThreshold=99999\nDlgWndPosX=-32000\n",
                 {0, 20, 200, 200, 0xFF8000, 0, 255, 0}, -32000, -100},
        LoadCase{"HandEdited",
                 "[PluginSettings]\nLogoSizeX=-1\nLogoSizeY=20000\nThreshold=-9\nBlackLevel=999\n"
                 "LogoPosY=4294967295\nLogoPosX=1001\nColorKey=4294967295\nInverseSelection=7\n",
                 {1000, 0, 0, 1000, 0xFFFFFFFFu, 7, 0, 255}, -100, -100},
        LoadCase{"RangeEnds",
                 "[PluginSettings]\nLogoPosX=1000\nLogoPosY=0\nLogoSizeX=0\nLogoSizeY=1000\nThreshold=255\n"
                 "BlackLevel=0\n",
                 {1000, 0, 0, 1000, 0xFF8000, 0, 255, 0}, -100, -100}),
    [](const ::testing::TestParamInfo<LoadCase>& info) { return std::string(info.param.name); });

// The ranges of the settings window's up-downs.
SettingsBlock Held(SettingsBlock b) {
  for (int32_t* v : {&b.logoPosX, &b.logoPosY, &b.logoSizeX, &b.logoSizeY}) *v = std::clamp(*v, 0, 1000);
  for (int32_t* v : {&b.threshold, &b.blackLevel}) *v = std::clamp(*v, 0, 255);
  return b;
}

// Any block saved reads back held to the ranges, and a block inside them reads back unchanged.
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
    if (i % 2 == 0) block = Held(block);
    ASSERT_TRUE(SavePluginSettings(ini, block, x, y));
    SettingsBlock back{};
    int32_t bx = 0, by = 0;
    LoadPluginSettings(ini, &back, &bx, &by, folder.system);
    ASSERT_TRUE(SameBlock(back, Held(block))) << "iteration " << i;
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

}  // namespace
}  // namespace vle
