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

// Each reader parses at 32 bits (64 for the wide ones) and keeps its own width; each writer's text
// reads back as the same bits.
struct WidthCase {
  int type;  // 0 u8, 1 i16, 2 u16, 3 i32, 4 u32, 5 i64, 6 u64
  const char* text;
  uint64_t expected;  // the target's bits
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
  uint64_t bits = 0;
  uint8_t u8 = 0;
  uint16_t u16 = 0;
  int16_t i16 = 0;
  int32_t i32 = 0;
  uint32_t u32 = 0;
  int64_t i64 = 0;
  uint64_t u64 = 0;
  switch (k.type) {
    case 0: ini.ReadUInt8("S", "K", &u8, 1); bits = u8; break;
    case 1: ini.ReadInt16("S", "K", &i16, 1); bits = static_cast<uint16_t>(i16); break;
    case 2: ini.ReadUInt16("S", "K", &u16, 1); bits = u16; break;
    case 3: ini.ReadInt32("S", "K", &i32, 1); bits = static_cast<uint32_t>(i32); break;
    case 4: ini.ReadUInt32("S", "K", &u32, 1); bits = u32; break;
    case 5: ini.ReadInt64("S", "K", &i64, 1); bits = static_cast<uint64_t>(i64); break;
    default: ini.ReadUInt64("S", "K", &u64, 1); bits = u64; break;
  }
  EXPECT_EQ(bits, k.expected);
  ini.Close();

  ASSERT_TRUE(ini.OpenForWrite());
  switch (k.type) {
    case 0: ini.WriteUInt8("K", u8); break;
    case 1: ini.WriteInt16("K", i16); break;
    case 2: ini.WriteUInt16("K", u16); break;
    case 3: ini.WriteInt32("K", i32); break;
    case 4: ini.WriteUInt32("K", u32); break;
    case 5: ini.WriteInt64("K", i64); break;
    default: ini.WriteUInt64("K", u64); break;
  }
  ASSERT_TRUE(ini.Close());
  EXPECT_EQ(folder.Take(), "K="s + k.written + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniWidths,
    ::testing::Values(WidthCase{0, "300", 44, "44"}, WidthCase{0, "-1", 0xFF, "255"},
                      WidthCase{1, "40000", 40000, "-25536"}, WidthCase{1, "-32768", 0x8000, "-32768"},
                      WidthCase{2, "-1", 0xFFFF, "65535"}, WidthCase{3, "2147483648", 0x80000000u, "-2147483648"},
                      WidthCase{3, "-100", 0xFFFFFF9Cu, "-100"}, WidthCase{4, "4294967295", 0xFFFFFFFFu, "4294967295"},
                      WidthCase{4, "99999999999", 1215752191u, "1215752191"},
                      WidthCase{5, "-9223372036854775808", 0x8000000000000000u, "-9223372036854775808"},
                      WidthCase{5, "4294967296", 0x100000000u, "4294967296"},
                      WidthCase{6, "18446744073709551615", ~0ull, "18446744073709551615"},
                      WidthCase{6, "18446744073709551617", 1, "1"}, WidthCase{6, "-2", ~1ull, "18446744073709551614"}));

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
