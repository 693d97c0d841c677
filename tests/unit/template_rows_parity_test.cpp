// The template rows at every CPU level this machine (and this build) has, against the scalar
// reference: random rows of every length up to past two of the widest steps, shifted (unaligned)
// sources and destinations, and guard elements around every destination. Sources end exactly at
// their allocation, so the native-asan tree also catches a read past a row's end.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/image_buffer.h"
#include "core/template_kernels.h"
#include "core/template_rows.h"
#include "platform/cpu.h"
#include "support/cpu_levels.h"
#include "support/guarded.h"

namespace vle {
namespace {

using platform::kCpuAvx2;
using platform::kCpuSse2;
using test::ExactBlock;
using test::GuardedBuffer;

// The widest step of any variant, in pixels (AVX2: 16).
constexpr int kWidestStep = 16;
constexpr int kLongestRow = 2 * kWidestStep + 1;

class Parity : public test::AtCpuLevel {
 protected:
  bool Built(const test::CpuLevel& level) const override {
    if (level.mask & kCpuAvx2) return KernelRowsAvx2() != nullptr;
    if (level.mask & kCpuSse2) return KernelRowsSse2() != nullptr;
    return true;
  }
};

// Pixels whose lumas come from a handful of values, so that ties are common.
void FillPixels(uint32_t* p, int count, std::mt19937& rng) {
  static const uint32_t kLumas[] = {0, 1, 16, 17, 100, 127, 128, 200, 254, 255};
  for (int i = 0; i < count; ++i) p[i] = kLumas[rng() % 10] << 24 | (rng() & 0xFFFFFF);
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

// Whole calls through the public operations: this level against the scalar level.
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
  const KernelRows* kernels = level == "Scalar" ? &KernelRowsC()
                              : level == "SSE2" ? KernelRowsSse2()
                                                : KernelRowsAvx2();
  const int features = platform::CpuFeatures();
  EXPECT_EQ(SelectKernelRows(features).buildTemplate, kernels->buildTemplate);
  if (level != "Scalar") {
    EXPECT_NE(kernels->buildTemplate, KernelRowsC().buildTemplate);
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, Parity, ::testing::ValuesIn(test::kCpuLevels),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vle
