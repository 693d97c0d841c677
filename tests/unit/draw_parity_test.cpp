// Every drawing row routine with SIMD variants (code 0, and code 3 onto Bgr24, which shares its
// routine) at every CPU level against the scalar definition: random rows of every
// length up to past two of the widest blocks, both start parities, unaligned source and
// destination, guard zones around each destination row. Sources are exact-size heap blocks so that
// sanitizer builds also catch reads past a row.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "frame/draw_rows.h"
#include "frame/formats.h"
#include "platform/cpu.h"
#include "support/cpu_levels.h"
#include "support/draw_guard.h"

namespace vle {
namespace {

using test::GuardedBytes;

using test::CpuMaskScope;

struct RowCase {
  const char* name;
  int32_t code;
  int32_t frameFormat;
  bool splitStart;
  bool blends;
};

// Bytes a row of `count` pixels spans in the frame, from `dst` on.
std::size_t RowBytes(const RowCase& c, int count) {
  if (c.frameFormat == kBgr24) return 3 * std::size_t(count);
  return 4 * std::size_t((count + (c.splitStart ? 1 : 0) + 1) / 2);
}

// Random pixels with the alpha bytes of the layout often at the edges of the weighting.
std::vector<uint32_t> RandomPixels(std::mt19937& rng, const RowCase& c, int count, int offset) {
  static const uint32_t kAlphas[] = {0, 1, 127, 128, 254, 255};
  std::vector<uint32_t> pixels(std::size_t(offset) + count);
  const int alphaShift = c.code == kYuvAlpha32 ? 16 : 24;
  for (uint32_t& p : pixels) {
    p = rng();
    if (c.blends && rng() % 2 == 0) {
      p = (p & ~(0xFFu << alphaShift)) | kAlphas[rng() % 6] << alphaShift;
    }
  }
  return pixels;
}

class RowParity : public ::testing::TestWithParam<RowCase> {};
class HalfPairs : public ::testing::TestWithParam<RowCase> {};

TEST_P(RowParity, EveryLevelMatchesTheScalarRoutineByteForByte) {
  const RowCase& c = GetParam();
  DrawRowFn reference;
  {
    CpuMaskScope scalar(0);
    reference = SelectDrawRow(c.code, c.frameFormat, c.splitStart);
  }
  ASSERT_NE(reference, nullptr);

  const int levels[] = {platform::kCpuSse2,
                        platform::kCpuSse2 | platform::kCpuSsse3 | platform::kCpuSse41, -1};
  const std::vector<int> opacities =
      c.blends ? std::vector<int>{0, 2, 128, 253, 256} : std::vector<int>{256, 0};
  std::mt19937 rng(1234);
  std::vector<DrawRowFn> tested{reference};
  for (int level : levels) {
    DrawRowFn routine;
    {
      CpuMaskScope mask(level);
      routine = SelectDrawRow(c.code, c.frameFormat, c.splitStart);
    }
    ASSERT_NE(routine, nullptr);
    // Levels the processor or the build lacks fall back to a routine already compared.
    if (std::find(tested.begin(), tested.end(), routine) != tested.end()) continue;
    tested.push_back(routine);
    // Widest block is 32 pixels: every length to past two blocks, and a few longer rows.
    std::vector<int> lengths;
    for (int n = 1; n <= 2 * 32 + 3; ++n) lengths.push_back(n);
    for (int n : {95, 96, 97, 720, 1023}) lengths.push_back(n);
    for (int count : lengths) {
      for (int srcOffset : {0, 1, 3}) {
        for (std::size_t misalign : {0u, 1u, 6u}) {
          for (int opacity : opacities) {
            const std::vector<uint32_t> src = RandomPixels(rng, c, count, srcOffset);
            GuardedBytes expected(RowBytes(c, count), misalign),
                actual(RowBytes(c, count), misalign);
            expected.FillRandom(rng);
            const std::vector<uint8_t> before = expected.Bytes();
            std::copy(before.begin(), before.end(), actual.data());
            reference(src.data() + srcOffset, expected.data(), count, opacity);
            routine(src.data() + srcOffset, actual.data(), count, opacity);
            ASSERT_TRUE(expected.GuardsIntact()) << "scalar, count " << count;
            ASSERT_TRUE(actual.GuardsIntact()) << "level " << level << ", count " << count;
            ASSERT_EQ(actual.Bytes(), expected.Bytes())
                << "level " << level << ", count " << count << ", opacity " << opacity
                << ", source offset " << srcOffset << ", misalign " << misalign;
          }
        }
      }
    }
  }
  // A processor with SSE2 must be served by a vector routine, not the scalar one.
  if (platform::CpuFeatures() & platform::kCpuSse2) {
    EXPECT_GT(tested.size(), 1u) << "dispatch never left the scalar routine";
  }
}

// The bytes of a half-covered Yuy2 pair that the row does not draw keep their values.
TEST_P(HalfPairs, HalfCoveredPairsKeepTheirOtherBytes) {
  const RowCase& c = GetParam();
  std::mt19937 rng(99);
  for (int level : {0, -1}) {
    CpuMaskScope mask(level);
    const DrawRowFn routine = SelectDrawRow(c.code, c.frameFormat, c.splitStart);
    for (int count = 1; count <= 40; ++count) {
      const std::vector<uint32_t> src = RandomPixels(rng, c, count, 0);
      GuardedBytes row(RowBytes(c, count));
      row.FillRandom(rng);
      const std::vector<uint8_t> before = row.Bytes();
      routine(src.data(), row.data(), count, 256);
      const std::vector<uint8_t> after = row.Bytes();
      if (c.splitStart) {
        EXPECT_EQ(after[0], before[0]) << count;  // first luma
        EXPECT_EQ(after[1], before[1]) << count;  // Cb
        EXPECT_EQ(after[3], before[3]) << count;  // Cr
      }
      if ((count + (c.splitStart ? 1 : 0)) % 2 == 1) {
        EXPECT_EQ(after[after.size() - 2], before[before.size() - 2])
            << "second luma of the last pair, count " << count;
      }
    }
  }
}

// Yuy2 pairings first: the half-pair test takes the first kYuy2Cases.
constexpr int kYuy2Cases = 10;
const RowCase kRowCases[] = {
    {"Bgr32Yuy2", kBgr32, kYuy2, false, false},
    {"Bgr32Yuy2Split", kBgr32, kYuy2, true, false},
    {"BgrLuma32Yuy2", kBgrLuma32, kYuy2, false, false},
    {"BgrLuma32Yuy2Split", kBgrLuma32, kYuy2, true, false},
    {"BgrAlpha32Yuy2", kBgrAlpha32, kYuy2, false, true},
    {"BgrAlpha32Yuy2Split", kBgrAlpha32, kYuy2, true, true},
    {"YuvAlpha32Yuy2", kYuvAlpha32, kYuy2, false, true},
    {"YuvAlpha32Yuy2Split", kYuvAlpha32, kYuy2, true, true},
    {"YuvLuma32Yuy2", kYuvLuma32, kYuy2, false, false},
    {"YuvLuma32Yuy2Split", kYuvLuma32, kYuy2, true, false},
    {"Bgr32Bgr24", kBgr32, kBgr24, false, false},
    {"BgrLuma32Bgr24", kBgrLuma32, kBgr24, false, false},
    {"BgrAlpha32Bgr24", kBgrAlpha32, kBgr24, false, true},
};

// The pairings whose rows have SIMD variants.
const RowCase kSimdRowCases[] = {kRowCases[0], kRowCases[1], kRowCases[10], kRowCases[11]};

INSTANTIATE_TEST_SUITE_P(Routines, RowParity, ::testing::ValuesIn(kSimdRowCases),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Yuy2Routines, HalfPairs,
                         ::testing::ValuesIn(kRowCases, kRowCases + kYuy2Cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SelectDrawRow, PairingsWithoutARowFindNothing) {
  for (int level : {0, -1}) {
    CpuMaskScope mask(level);
    EXPECT_EQ(SelectDrawRow(kYuvAlpha32, kBgr24, false), nullptr);
    EXPECT_EQ(SelectDrawRow(kYuvLuma32, kBgr24, false), nullptr);
    for (int32_t code : {1, 2, 5, 6, 7, 8, 10, 12, -1}) {
      EXPECT_EQ(SelectDrawRow(code, kYuy2, false), nullptr) << code;
      EXPECT_EQ(SelectDrawRow(code, kBgr24, false), nullptr) << code;
    }
    EXPECT_EQ(SelectDrawRow(kBgr32, 2, false), nullptr);
    EXPECT_EQ(SelectDrawRow(kBgr32, -1, false), nullptr);
  }
}

}  // namespace
}  // namespace vle
