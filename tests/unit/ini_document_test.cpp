#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "settings/ini_document.h"
#include "support/settings_files.h"

namespace vle {
namespace {

using namespace std::string_literals;

constexpr uint32_t kUnset = 0xDEADBEEFu;

struct ReadCase {
  const char* name;
  std::string content;
  uint32_t expected;  // LogoPosX of PluginSettings as ReadUInt32 gives it; kUnset: the default
};

class IniReading : public ::testing::TestWithParam<ReadCase> {};

TEST_P(IniReading, FindsTheFirstKeyOfTheFirstHeader) {
  test::SettingsFolder folder;
  folder.Put(GetParam().content);
  IniDocument ini;
  ini.Locate(folder.system);
  ASSERT_TRUE(ini.Open(false));
  uint32_t value = 0;
  ini.ReadUInt32("PluginSettings", "LogoPosX", &value, kUnset);
  EXPECT_EQ(value, GetParam().expected);
  // Reading leaves the file alone.
  ini.Close();
  EXPECT_EQ(folder.Take(), GetParam().content);
}

const std::string kLongLine(1 << 20, 'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, IniReading,
    ::testing::Values(
        ReadCase{"Plain", "[PluginSettings]\r\nLogoPosX=35\r\n", 35},
        ReadCase{"BlanksAroundKeyAndEquals", "[PluginSettings]\r\n \t LogoPosX \t=  35\r\n", 35},
        ReadCase{"BlanksAroundHeader", "  [PluginSettings]\t\r\nLogoPosX=35\r\n", 35},
        ReadCase{"BlanksInsideBrackets", "[ PluginSettings ]\r\nLogoPosX=35\r\n", kUnset},
        ReadCase{"LowerCaseHeader", "[pluginsettings]\r\nLogoPosX=35\r\n", kUnset},
        ReadCase{"LowerCaseKey", "[PluginSettings]\r\nlogoposx=35\r\n", kUnset},
        ReadCase{"EmptyValue", "[PluginSettings]\r\nLogoPosX=\r\n", kUnset},
        ReadCase{"EmptyValueHidesLaterOne", "[PluginSettings]\r\nLogoPosX=\r\nLogoPosX=5\r\n", kUnset},
        ReadCase{"FirstKeyWins", "[PluginSettings]\r\nLogoPosX=1\r\nLogoPosX=2\r\n", 1},
        ReadCase{"LineWithoutEqualsSkipped", "[PluginSettings]\r\nnonsense\r\n\r\nLogoPosX=7\r\n", 7},
        ReadCase{"SemicolonIsPartOfKey", "[PluginSettings]\r\n;LogoPosX=7\r\nLogoPosX=8\r\n", 8},
        ReadCase{"FirstHeaderWins", "[PluginSettings]\r\nA=1\r\n[PluginSettings]\r\nLogoPosX=9\r\n", kUnset},
        ReadCase{"NextHeaderEndsSection", "[PluginSettings]\r\nA=1\r\n  [Other]\r\nLogoPosX=9\r\n", kUnset},
        ReadCase{"HeaderOnLastLine", "LogoPosX=4\r\n[PluginSettings]", kUnset},
        ReadCase{"HeaderOnLastLineWithLineEnd", "LogoPosX=4\r\n[PluginSettings]\r\n", kUnset},
        ReadCase{"KeyBeforeAnyHeader", "LogoPosX=4\r\n[PluginSettings]\r\nA=1\r\n", kUnset},
        ReadCase{"SectionAfterAnother", "[Other]\r\nLogoPosX=1\r\n[PluginSettings]\r\nLogoPosX=2\r\n", 2},
        ReadCase{"EmptyFile", "", kUnset},
        ReadCase{"DigitsThenLetters", "[PluginSettings]\r\nLogoPosX=12abc\r\n", 12},
        ReadCase{"NoDigitsIsZero", "[PluginSettings]\r\nLogoPosX=abc\r\n", 0},
        ReadCase{"SecondEqualsIsValue", "[PluginSettings]\r\nLogoPosX==5\r\n", 0},
        ReadCase{"MinusOneIsAllBits", "[PluginSettings]\r\nLogoPosX=-1\r\n", 0xFFFFFFFFu},
        ReadCase{"LargestUnsigned", "[PluginSettings]\r\nLogoPosX=4294967295\r\n", 0xFFFFFFFFu},
        ReadCase{"WrapsModulo2To32", "[PluginSettings]\r\nLogoPosX=4294967298\r\n", 2},
        ReadCase{"PlusSignAndTab", "[PluginSettings]\r\nLogoPosX=\t+17\r\n", 17},
        ReadCase{"SignThenBlank", "[PluginSettings]\r\nLogoPosX=- 5\r\n", 0},
        ReadCase{"BareLineFeeds", "[Other]\nA=1\n[PluginSettings]\nLogoPosX=11\n", 11},
        ReadCase{"NoFinalLineEnd", "[PluginSettings]\r\nLogoPosX=15", 15},
        ReadCase{"NulBytes", "\0\0[Other]\r\nA\0=1\r\n[PluginSettings]\r\nLogoPosX=12\0 9\r\n"s, 12},
        ReadCase{"NulBytesNoSection", "\0\0[Other]\0\r\n\0"s, kUnset},
        ReadCase{"EndOfFileMarks", "\x1a\r\n[PluginSettings]\r\n\x1a\r\nLogoPosX=13\x1a\r\n\x1a", 13},
        ReadCase{"EndOfFileMarksNoSection", "[Other]\r\nA=1\x1a\x1a", kUnset},
        ReadCase{"VeryLongLines", kLongLine + "\r\n[PluginSettings]\r\n" + kLongLine + "\r\nLogoPosX=14", 14},
        ReadCase{"VeryLongLineNoSection", kLongLine, kUnset},
        ReadCase{"OnlyLineEnds", "\n\r\n\n", kUnset}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

// Lookups in turn in several sections: each starts where the last header was found and must still
// see every line, whichever way it has to wrap.
TEST(IniSectionSearch, AlternatingLookupsFindEveryKey) {
  test::SettingsFolder folder;
  folder.Put("[A]\r\na=1\r\n[B]\r\nb=2\r\n[C]\r\nc=3\r\n[D]\r\n");
  IniDocument ini;
  ini.Locate(folder.system);
  ASSERT_TRUE(ini.Open(false));
  const struct {
    const char* section;
    const char* key;
    int32_t expected;
  } lookups[] = {{"C", "c", 3}, {"A", "a", 1}, {"C", "c", 3}, {"B", "b", 2}, {"B", "b", 2},
                 {"A", "late", -1}, {"D", "a", -1}, {"E", "a", -1}, {"A", "a", 1}, {"C", "a", -1}, {"B", "b", 2}};
  for (const auto& l : lookups) {
    int32_t value = 0;
    ini.ReadInt32(l.section, l.key, &value, -1);
    EXPECT_EQ(value, l.expected) << l.section << "." << l.key;
  }
}

// Both readers parse at 32 bits and keep the sign they are named for; each writer's text reads
// back as the same bits.
struct WidthCase {
  bool isSigned;
  const char* text;
  uint32_t expected;  // the target's bits
  const char* written;  // the writer's line for the expected value
};

class IniWidths : public ::testing::TestWithParam<WidthCase> {};

TEST_P(IniWidths, ReadAtWidthAndWriteBack) {
  const WidthCase& k = GetParam();
  test::SettingsFolder folder;
  folder.Put("[S]\r\nK="s + k.text + "\r\n");
  IniDocument ini;
  ini.Locate(folder.system);
  ASSERT_TRUE(ini.Open(false));
  int32_t i32 = 0;
  uint32_t u32 = 0;
  if (k.isSigned) {
    ini.ReadInt32("S", "K", &i32, 1);
    EXPECT_EQ(static_cast<uint32_t>(i32), k.expected);
  } else {
    ini.ReadUInt32("S", "K", &u32, 1);
    EXPECT_EQ(u32, k.expected);
  }
  ini.Close();

  ASSERT_TRUE(ini.OpenForWrite());
  if (k.isSigned) {
    ini.WriteInt32("K", i32);
  } else {
    ini.WriteUInt32("K", u32);
  }
  ASSERT_TRUE(ini.Close());
  EXPECT_EQ(folder.Take(), "K="s + k.written + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniWidths,
    ::testing::Values(WidthCase{true, "2147483648", 0x80000000u, "-2147483648"},
                      WidthCase{true, "-100", 0xFFFFFF9Cu, "-100"}, WidthCase{true, "+7x", 7, "7"},
                      WidthCase{false, "4294967295", 0xFFFFFFFFu, "4294967295"},
                      WidthCase{false, "99999999999", 1215752191u, "1215752191"},
                      WidthCase{false, "-1", 0xFFFFFFFFu, "4294967295"}));

// The parse accumulates modulo 2^64 and applies the sign last.
TEST(IniNumbers, WideParseWrapsAndNegatesLast) {
  EXPECT_EQ(IniDocument::ParseNumber64("-9223372036854775808"), 0x8000000000000000u);
  EXPECT_EQ(IniDocument::ParseNumber64("18446744073709551617"), 1u);
  EXPECT_EQ(IniDocument::ParseNumber64(" \t-2"), ~1ull);
  EXPECT_EQ(IniDocument::ParseNumber64("--2"), 0u);
}

TEST(IniWriting, LineEndsAreCrLfAndNamesAreStripped) {
  test::SettingsFolder folder;
  IniDocument ini;
  ini.Locate(folder.system);
  ASSERT_TRUE(ini.OpenForWrite());
  ini.WriteSection("  Sec\t");
  ini.WriteEntry(" Key ", " a=b ");
  ini.WriteEntry("Two", "x\ny");
  ASSERT_TRUE(ini.Close());
  EXPECT_EQ(folder.Take(), "[Sec]\r\nKey= a=b \r\nTwo=x\r\ny\r\n");
}

TEST(IniWriting, WritesOutsideAWriteAreReported) {
  test::SettingsFolder folder;
  folder.Put("[S]\r\nK=1\r\n");
  IniDocument ini;
  ini.Locate(folder.system);
  ASSERT_TRUE(ini.Open(false));
  ini.WriteEntry("K", "2");
  EXPECT_FALSE(ini.Close());
  EXPECT_EQ(folder.Take(), "[S]\r\nK=1\r\n");
}

}  // namespace
}  // namespace vle
