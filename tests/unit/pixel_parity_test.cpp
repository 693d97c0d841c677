// Every SIMD variant against the scalar reference, at every CPU level this machine (and this
// build) has: random rows of every length up to past two of the widest steps, both Yuy2 start
// parities, shifted (unaligned) sources and destinations, and guard elements around every
// destination. Sources end exactly at their allocation, so the native-asan tree also catches a
// read past a row's end.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/image_buffer.h"
#include "core/template_kernels.h"
#include "core/template_rows.h"
#include "frame/frame_adapter.h"
#include "frame/import_rows.h"
#include "platform/cpu.h"
#include "support/guarded.h"

namespace vle {
namespace {

using platform::kCpuAvx2;
using platform::kCpuSse2;
using test::ExactBlock;
using test::FillRandom;
using test::GuardedBuffer;

// The widest step of any variant, in pixels (AVX2 Yuy2 and Bgr24 rows: 16).
constexpr int kWidestStep = 16;
constexpr int kLongestRow = 2 * kWidestStep + 1;

struct Level {
  const char* name;
  int mask;  // features left on
  bool (*built)();
};

void PrintTo(const Level& level, std::ostream* os) { *os << level.name; }

const Level kLevels[] = {
    {"Scalar", 0, [] { return true; }},
    {"SSE2", kCpuSse2, [] { return ImportRowsSse2() != nullptr && KernelRowsSse2() != nullptr; }},
    {"AVX2", kCpuSse2 | kCpuAvx2,
     [] { return ImportRowsAvx2() != nullptr && KernelRowsAvx2() != nullptr; }},
};

class Parity : public ::testing::TestWithParam<Level> {
 protected:
  void SetUp() override {
    const Level& level = GetParam();
    if ((platform::CpuFeatures() & level.mask) != level.mask) GTEST_SKIP() << "not on this CPU";
    if (!level.built()) GTEST_SKIP() << "not in this build";
    platform::MaskCpuFeatures(level.mask);
  }
  void TearDown() override { platform::MaskCpuFeatures(-1); }
};

// Frame bytes a Yuy2 row of `count` pixels spans: whole pairs, the split pair included.
size_t Yuy2RowBytes(int count, bool split) {
  const int pixels = count + (split ? 1 : 0);
  return size_t(4) * ((pixels + 1) / 2);
}

const int32_t kCodes[] = {kBgrLuma32, kBgrAlpha32, kYuvAlpha32, kYuvLuma32};

TEST_P(Parity, ImportRows) {
  std::mt19937 rng(1);
  const int features = platform::CpuFeatures();
  for (int32_t frameFormat : {kYuy2, kBgr24}) {
    for (int32_t code : kCodes) {
      const ImportRows reference = SelectImportRows(frameFormat, code, 0);
      const ImportRows variant = SelectImportRows(frameFormat, code, features);
      ASSERT_NE(variant.evenStart, nullptr);
      for (bool split : {false, true}) {
        if (split && frameFormat != kYuy2) continue;
        const ImportRowFn ref = split ? reference.splitStart : reference.evenStart;
        const ImportRowFn fn = split ? variant.splitStart : variant.evenStart;
        for (int count = 1; count <= kLongestRow; ++count) {
          const size_t bytes =
              frameFormat == kYuy2 ? Yuy2RowBytes(count, split) : size_t(3) * count;
          for (size_t srcShift = 0; srcShift < 4; ++srcShift) {
            ExactBlock<uint8_t> src(bytes, srcShift);
            FillRandom(src.data(), bytes, rng);
            GuardedBuffer<uint32_t> want(static_cast<size_t>(count));
            ref(src.data(), want.data(), count);
            for (size_t dstShift = 0; dstShift < 4; ++dstShift) {
              GuardedBuffer<uint32_t> got(static_cast<size_t>(count), dstShift);
              fn(src.data(), got.data(), count);
              SCOPED_TRACE(::testing::Message()
                           << "format " << frameFormat << " code " << code << " split " << split
                           << " count " << count << " shifts " << srcShift << "/" << dstShift);
              ASSERT_TRUE(got.GuardsIntact());
              for (int i = 0; i < count; ++i) ASSERT_EQ(got[i], want[i]) << "pixel " << i;
            }
            ASSERT_TRUE(want.GuardsIntact());
          }
        }
      }
    }
  }
}

// Pixels whose lumas come from a handful of values, so that ties are common.
void FillPixels(uint32_t* p, int count, std::mt19937& rng) {
  static const uint32_t kLumas[] = {0, 1, 16, 17, 100, 127, 128, 200, 254, 255};
  for (int i = 0; i < count; ++i) p[i] = kLumas[rng() % 10] << 24 | (rng() & 0xFFFFFF);
}

TEST_P(Parity, AccumulateRows) {
  std::mt19937 rng(2);
  const KernelRows reference = SelectKernelRows(0);
  const KernelRows variant = SelectKernelRows(platform::CpuFeatures());
  for (bool keepMax : {true, false}) {
    const AccumulateRowFn ref = keepMax ? reference.accumulateMax : reference.accumulateMin;
    const AccumulateRowFn fn = keepMax ? variant.accumulateMax : variant.accumulateMin;
    for (int count = 1; count <= kLongestRow; ++count) {
      for (size_t shift = 0; shift < 4; ++shift) {
        ExactBlock<uint32_t> src(static_cast<size_t>(count), shift);
        FillPixels(src.data(), count, rng);
        GuardedBuffer<uint32_t> want(static_cast<size_t>(count)),
            got(static_cast<size_t>(count), (shift + 1) % 4);
        FillPixels(want.data(), count, rng);
        for (int i = 0; i < count; ++i) got[i] = want[i];
        ref(src.data(), want.data(), count);
        fn(src.data(), got.data(), count);
        SCOPED_TRACE(::testing::Message()
                     << "max " << keepMax << " count " << count << " shift " << shift);
        ASSERT_TRUE(got.GuardsIntact());
        for (int i = 0; i < count; ++i) ASSERT_EQ(got[i], want[i]) << "pixel " << i;
      }
    }
  }
}

// Thresholds and black levels across the whole int32 range, including values where a lane
// narrower than 32 bits would wrap.
// clang-format off
const int32_t kLimits[] = {INT32_MIN, INT32_MIN + 1, -65536, -32769, -32768, -256, -255, -1, 0,
                           1, 16, 50, 127, 128, 255, 256, 32767, 32768, 65535, 65536,
                           INT32_MAX - 1, INT32_MAX};
// clang-format on

TEST_P(Parity, TemplateRows) {
  std::mt19937 rng(3);
  const TemplateRowFn ref = SelectKernelRows(0).buildTemplate;
  const TemplateRowFn fn = SelectKernelRows(platform::CpuFeatures()).buildTemplate;
  for (int32_t threshold : kLimits) {
    for (int32_t black : kLimits) {
      for (uint32_t inverse : {0u, ~0u}) {
        const TemplateParams params{0xA5123456u, threshold, black, inverse};
        for (int count : {1, 2, 3, 7, 8, 9, 15, 16, 17, kLongestRow}) {
          const size_t shift = size_t(count) % 4;
          ExactBlock<uint32_t> mx(static_cast<size_t>(count), shift),
              mn(static_cast<size_t>(count), 3 - shift);
          FillPixels(mx.data(), count, rng);
          FillPixels(mn.data(), count, rng);
          GuardedBuffer<uint32_t> want(static_cast<size_t>(count)),
              got(static_cast<size_t>(count), shift);
          ref(mx.data(), mn.data(), want.data(), count, params);
          fn(mx.data(), mn.data(), got.data(), count, params);
          SCOPED_TRACE(::testing::Message() << "threshold " << threshold << " black " << black
                                            << " inverse " << inverse << " count " << count);
          ASSERT_TRUE(got.GuardsIntact());
          for (int i = 0; i < count; ++i) ASSERT_EQ(got[i], want[i]) << "pixel " << i;
        }
      }
    }
  }
  // Every length, at the settings window's range.
  for (int count = 1; count <= kLongestRow; ++count) {
    const TemplateParams params{0x000080FFu, 50, 16, 0};
    ExactBlock<uint32_t> mx(static_cast<size_t>(count)), mn(static_cast<size_t>(count));
    FillPixels(mx.data(), count, rng);
    FillPixels(mn.data(), count, rng);
    GuardedBuffer<uint32_t> want(static_cast<size_t>(count)), got(static_cast<size_t>(count), 1);
    ref(mx.data(), mn.data(), want.data(), count, params);
    fn(mx.data(), mn.data(), got.data(), count, params);
    ASSERT_TRUE(got.GuardsIntact());
    for (int i = 0; i < count; ++i)
      ASSERT_EQ(got[i], want[i]) << "count " << count << " pixel " << i;
  }
}

// Whole calls through the public operations: this level against the scalar level, on odd frame
// sizes and blocks with odd starts.
TEST_P(Parity, ImportRegionWholeCalls) {
  const int level = platform::CpuFeatures();
  std::mt19937 rng(4);
  struct Block {
    int32_t frameWidth, frameHeight;
    Point point;
    Rect rect;
  };
  const Block blocks[] = {{720, 4, {0, 0}, {0, 0, 720, 4}},
                          {67, 5, {0, 0}, {0, 0, 67, 5}},
                          {66, 5, {3, 1}, {2, 0, 60, 5}},
                          {66, 3, {-5, 0}, {0, 0, 70, 3}},
                          {41, 3, {17, 0}, {1, 1, 40, 3}}};
  for (int32_t frameFormat : {kYuy2, kBgr24}) {
    for (int32_t code : kCodes) {
      for (const Block& b : blocks) {
        std::vector<uint8_t> frame(size_t(b.frameWidth) * b.frameHeight * 3);
        FillRandom(frame.data(), frame.size(), rng);
        FrameAdapter adapter;
        adapter.SetFormat(b.frameWidth, b.frameHeight, frameFormat);
        const Size imageSize{b.rect.right + 1, b.rect.bottom + 1};
        std::vector<uint32_t> want(size_t(imageSize.width) * imageSize.height, 0x5A5A5A5Au);
        std::vector<uint32_t> got = want;
        platform::MaskCpuFeatures(0);
        adapter.ImportRegion(frame.data(), b.point, want.data(), imageSize, b.rect, code);
        platform::MaskCpuFeatures(level);
        adapter.ImportRegion(frame.data(), b.point, got.data(), imageSize, b.rect, code);
        EXPECT_EQ(got, want) << "format " << frameFormat << " code " << code << " frame width "
                             << b.frameWidth;
      }
    }
  }
}

TEST_P(Parity, KernelWholeCalls) {
  const int level = platform::CpuFeatures();
  std::mt19937 rng(5);
  for (int32_t w : {1, 5, 16, 33, 720}) {
    const int32_t h = 3;
    ImageBuffer capture(w, h), max[2] = {{w, h}, {w, h}}, min[2] = {{w, h}, {w, h}},
                               out[2] = {{w, h}, {w, h}};
    for (int i = 0; i < 2; ++i) ResetAccumulators(&max[i], &min[i]);
    for (int frame = 0; frame < 3; ++frame) {
      FillPixels(capture.bits, w * h, rng);
      for (int i = 0; i < 2; ++i) {
        platform::MaskCpuFeatures(i == 0 ? 0 : level);
        AccumulateMax(capture, max[i]);
        AccumulateMin(capture, min[i]);
        BuildTemplate(max[i], min[i], out[i], 0x00FF8000u, 60, 17, uint32_t(frame & 1));
      }
      const size_t n = size_t(w) * h;
      ASSERT_EQ(std::vector<uint32_t>(max[1].bits, max[1].bits + n),
                std::vector<uint32_t>(max[0].bits, max[0].bits + n));
      ASSERT_EQ(std::vector<uint32_t>(min[1].bits, min[1].bits + n),
                std::vector<uint32_t>(min[0].bits, min[0].bits + n));
      ASSERT_EQ(std::vector<uint32_t>(out[1].bits, out[1].bits + n),
                std::vector<uint32_t>(out[0].bits, out[0].bits + n));
    }
  }
}

// Each level really runs its own routines, or the comparisons above would compare a variant with
// itself.
TEST_P(Parity, EachLevelGetsItsOwnRoutines) {
  const std::string level = GetParam().name;
  const ImportRowSet* imports = level == "Scalar" ? &ImportRowsC()
                                : level == "SSE2" ? ImportRowsSse2()
                                                  : ImportRowsAvx2();
  const KernelRows* kernels = level == "Scalar" ? &KernelRowsC()
                              : level == "SSE2" ? KernelRowsSse2()
                                                : KernelRowsAvx2();
  const int features = platform::CpuFeatures();
  for (int slot = 0; slot < 4; ++slot) {
    const int32_t code = kCodes[slot];
    EXPECT_EQ(SelectImportRows(kYuy2, code, features).evenStart, imports->yuy2[slot].evenStart);
    EXPECT_EQ(SelectImportRows(kYuy2, code, features).splitStart, imports->yuy2[slot].splitStart);
    EXPECT_EQ(SelectImportRows(kBgr24, code, features).evenStart, imports->bgr24[slot].evenStart);
  }
  EXPECT_EQ(SelectKernelRows(features).accumulateMax, kernels->accumulateMax);
  EXPECT_EQ(SelectKernelRows(features).buildTemplate, kernels->buildTemplate);
  if (level != "Scalar") {
    EXPECT_NE(imports->yuy2[0].evenStart, ImportRowsC().yuy2[0].evenStart);
    EXPECT_NE(kernels->accumulateMin, KernelRowsC().accumulateMin);
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, Parity, ::testing::ValuesIn(kLevels),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vle
