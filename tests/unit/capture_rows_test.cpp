// The capture rows at every CPU level against the composition of scalar references that defines
// them (import into a capture row, both accumulators, the template): random rows of every length up
// to past two of the widest steps and across the scalar composition's stretches, both Yuy2 start
// parities, unaligned rows, guard elements around every buffer row, and frame bytes in exact-size
// blocks so that the native-asan tree catches a read past a row's end; and steps where a single
// luma moves among steady ones, under template settings past the 16-bit range.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/template_rows.h"
#include "frame/capture_rows.h"
#include "frame/import_rows.h"
#include "support/cpu_levels.h"
#include "support/guarded.h"

namespace vle {
namespace {

using test::ExactBlock;
using test::GuardedBuffer;

struct RowKind {
  const char* name;
  int32_t frameFormat;
  bool split;
  CaptureRowFn (*routine)(const CaptureRows& level);  // the routine a level's table gives
};

// A capture never starts inside a pair, so the split-start row is scalar at every level: it is
// checked against the composition as the level tables' routines are.
const RowKind kKinds[] = {
    {"Yuy2", kYuy2, false, [](const CaptureRows& r) { return r.yuy2; }},
    {"Yuy2 split start", kYuy2, true,
     [](const CaptureRows&) -> CaptureRowFn { return CaptureYuy2SplitRow_C; }},
    {"Bgr24", kBgr24, false, [](const CaptureRows& r) { return r.bgr24; }}};

std::vector<int> Lengths() {
  std::vector<int> lengths;
  for (int n = 1; n <= 2 * 16 + 1; ++n) lengths.push_back(n);
  for (int n : {63, 64, 65, 66, 127, 128, 129, 200}) lengths.push_back(n);
  return lengths;
}

size_t FrameBytes(const RowKind& k, int count) {
  if (k.frameFormat == kBgr24) return size_t(3) * count;
  return size_t(4) * ((count + (k.split ? 1 : 0) + 1) / 2);
}

// Lumas from a handful of values, so that ties between capture and accumulators are common.
const uint32_t kLumas[] = {0, 1, 16, 17, 100, 127, 128, 200, 254, 255};

void FillPixels(uint32_t* p, size_t count, std::mt19937& rng) {
  for (size_t i = 0; i < count; ++i) p[i] = kLumas[rng() % 10] << 24 | (rng() & 0xFFFFFF);
}

// Random frame bytes; half the Yuy2 lumas and half the Bgr24 pixels (as greys, whose luma is their
// value) from the same handful.
void FillFrame(const RowKind& k, uint8_t* p, size_t bytes, std::mt19937& rng) {
  for (size_t i = 0; i < bytes; ++i) p[i] = uint8_t(rng() >> 24);
  if (k.frameFormat == kYuy2) {
    for (size_t i = 0; i < bytes; i += 2) {
      if (rng() & 1) p[i] = uint8_t(kLumas[rng() % 10]);
    }
  } else {
    for (size_t i = 0; i + 3 <= bytes; i += 3) {
      if (rng() & 1) p[i] = p[i + 1] = p[i + 2] = uint8_t(kLumas[rng() % 10]);
    }
  }
}

// The definition: the scalar import into a capture row, then the scalar kernels.
void Compose(const RowKind& k, const uint8_t* src, uint32_t* max, uint32_t* min, uint32_t* out,
             int count, const TemplateParams* params) {
  const ImportRows import = SelectImportRows(k.frameFormat, kBgrLuma32);
  std::vector<uint32_t> capture(static_cast<size_t>(count));
  (k.split ? import.splitStart : import.evenStart)(src, capture.data(), count);
  AccumulateMaxRow_C(capture.data(), max, count);
  AccumulateMinRow_C(capture.data(), min, count);
  if (params != nullptr) BuildTemplateRow_C(max, min, out, count, *params);
}

class CaptureRowParity : public test::AtCpuLevel {
 protected:
  bool Built(const test::CpuLevel& level) const override {
    if (level.mask & platform::kCpuAvx2) return CaptureRowsAvx2() != nullptr;
    if (level.mask & platform::kCpuSse2) return CaptureRowsSse2() != nullptr;
    return true;
  }
};

// Three passes over the same rows: a first frame; the same frame again with other template
// settings (the accumulators keep every pixel, the template changes); a second frame.
TEST_P(CaptureRowParity, EqualsTheScalarCompositionAndStaysInsideItsRows) {
  const CaptureRows rows = SelectCaptureRows(platform::CpuFeatures());
  const TemplateParams settings[] = {{0x000080FFu, 50, 16, 0}, {0xA5123456u, -1, 130, ~0u}};
  std::mt19937 rng(7);
  for (const RowKind& k : kKinds) {
    const CaptureRowFn fn = k.routine(rows);
    for (int count : Lengths()) {
      const size_t n = static_cast<size_t>(count);
      for (bool withTemplate : {false, true}) {
        for (size_t shift = 0; shift < 4; ++shift) {
          SCOPED_TRACE(::testing::Message() << k.name << " count " << count << " template "
                                            << withTemplate << " shift " << shift);
          ExactBlock<uint8_t> frames[2] = {{FrameBytes(k, count), shift},
                                           {FrameBytes(k, count), (shift + 1) % 4}};
          for (auto& f : frames) FillFrame(k, f.data(), f.size(), rng);
          GuardedBuffer<uint32_t> max(n, shift), min(n, (shift + 1) % 4), out(n, (shift + 2) % 4);
          FillPixels(max.data(), n, rng);
          FillPixels(min.data(), n, rng);
          FillPixels(out.data(), n, rng);
          std::vector<uint32_t> wantMax(max.data(), max.data() + n);
          std::vector<uint32_t> wantMin(min.data(), min.data() + n);
          std::vector<uint32_t> wantOut(out.data(), out.data() + n);
          const int passes[3][2] = {{0, 0}, {0, 1}, {1, 1}};  // frame, settings
          for (const auto& pass : passes) {
            const TemplateParams* params = withTemplate ? &settings[pass[1]] : nullptr;
            const uint8_t* src = frames[pass[0]].data();
            Compose(k, src, wantMax.data(), wantMin.data(), wantOut.data(), count, params);
            fn(src, max.data(), min.data(), out.data(), count, params);
            ASSERT_TRUE(max.GuardsIntact());
            ASSERT_TRUE(min.GuardsIntact());
            ASSERT_TRUE(out.GuardsIntact());
            for (size_t i = 0; i < n; ++i) {
              ASSERT_EQ(max[i], wantMax[i]) << "max, pixel " << i << ", pass " << pass[0] << pass[1];
              ASSERT_EQ(min[i], wantMin[i]) << "min, pixel " << i << ", pass " << pass[0] << pass[1];
              ASSERT_EQ(out[i], wantOut[i]) << "out, pixel " << i << ", pass " << pass[0] << pass[1];
            }
          }
        }
      }
    }
  }
}

// Template settings whose thresholds and black levels lie past the 16-bit range, where a narrower
// comparison that wrapped them instead of holding them to the range would key other pixels; and
// settings at the edges of the luma swing.
struct EdgeSettings {
  const char* name;
  TemplateParams params;
};

const EdgeSettings kEdgeSettings[] = {
    {"plain", {0x000080FFu, 50, 16, 0}},
    {"inverted, swing edge", {0xA5123456u, 252, 255, ~0u}},
    {"negative swing edge", {0x00010203u, -254, 1, 0}},
    {"threshold past 16 bits", {0x00010203u, 65536 + 50, 16, 0}},
    {"threshold below 16 bits", {0x00102030u, -65536 - 10, 0, 0}},
    {"threshold 32768", {0x00FFFFFFu, 32768, 0, ~0u}},
    {"threshold int32 max", {0x00FFFFFFu, INT32_MAX, 0, 0}},
    {"threshold int32 min", {0x00ABCDEFu, INT32_MIN, 300, ~0u}},
    {"black level past 16 bits", {0x00112233u, 100, 65536 + 100, 0}},
    {"black level below 16 bits", {0x00332211u, 100, -65536 + 100, 0}},
    {"black level int32 max", {0x00FF00FFu, 60000, INT32_MAX, ~0u}},
    {"black level int32 min", {0x0000FF00u, 40, INT32_MIN, 0}},
};

// Lumas 1..254, so that a luma of 255 or 0 always moves an accumulator.
void FillInnerPixels(uint32_t* p, size_t count, std::mt19937& rng) {
  for (size_t i = 0; i < count; ++i) p[i] = (1 + rng() % 254) << 24 | (rng() & 0xFFFFFF);
}

void FillInnerFrame(const RowKind& k, uint8_t* p, size_t bytes, std::mt19937& rng) {
  for (size_t i = 0; i < bytes; ++i) p[i] = uint8_t(rng() >> 24);
  // Bgr24 channels of 1..254 give lumas of 1..254.
  const size_t step = k.frameFormat == kYuy2 ? 2 : 1;
  for (size_t i = 0; i < bytes; i += step) p[i] = uint8_t(1 + rng() % 254);
}

// Sets the luma of pixel `i` of the row to `luma` (a Bgr24 pixel becomes a grey, whose luma is
// its value) and returns the bytes it overwrote.
std::vector<uint8_t> SetLuma(const RowKind& k, uint8_t* src, int i, uint8_t luma) {
  if (k.frameFormat == kYuy2) {
    uint8_t* y = src + 2 * (i + (k.split ? 1 : 0));
    const std::vector<uint8_t> old{*y};
    *y = luma;
    return old;
  }
  uint8_t* bgr = src + 3 * i;
  const std::vector<uint8_t> old(bgr, bgr + 3);
  bgr[0] = bgr[1] = bgr[2] = luma;
  return old;
}

void RestoreLuma(const RowKind& k, uint8_t* src, int i, const std::vector<uint8_t>& old) {
  uint8_t* p = k.frameFormat == kYuy2 ? src + 2 * (i + (k.split ? 1 : 0)) : src + 3 * i;
  for (size_t b = 0; b < old.size(); ++b) p[b] = old[b];
}

// A frame folded in, the same frame again under other settings and then under the same ones (no
// accumulator moves: only the template may change), then that frame with one pixel's luma raised
// to 255 and then lowered to 0, at every position in turn: steps where one luma moves and the
// others stay, at every lane, under every setting of the table.
TEST_P(CaptureRowParity, OneMovingLumaAmongSteadyOnesAndEdgeSettings) {
  const CaptureRows rows = SelectCaptureRows(platform::CpuFeatures());
  std::mt19937 rng(8);
  std::vector<int> counts;
  for (int n = 1; n <= 2 * 16 + 1; ++n) counts.push_back(n);
  for (int n : {47, 64, 65}) counts.push_back(n);
  const size_t settingsCount = sizeof(kEdgeSettings) / sizeof(kEdgeSettings[0]);
  for (const RowKind& k : kKinds) {
    const CaptureRowFn fn = k.routine(rows);
    for (size_t s = 0; s < settingsCount; ++s) {
      const TemplateParams& params = kEdgeSettings[s].params;
      const TemplateParams& before = kEdgeSettings[(s + 1) % settingsCount].params;
      for (int count : counts) {
        const size_t n = static_cast<size_t>(count);
        const size_t shift = static_cast<size_t>(count + int(s)) % 4;
        SCOPED_TRACE(::testing::Message() << k.name << ", " << kEdgeSettings[s].name << ", count "
                                          << count << ", shift " << shift);
        ExactBlock<uint8_t> frame(FrameBytes(k, count), shift);
        FillInnerFrame(k, frame.data(), frame.size(), rng);
        GuardedBuffer<uint32_t> max(n, shift), min(n, (shift + 1) % 4), out(n, (shift + 2) % 4);
        FillInnerPixels(max.data(), n, rng);
        FillInnerPixels(min.data(), n, rng);
        FillInnerPixels(out.data(), n, rng);
        std::vector<uint32_t> wantMax(max.data(), max.data() + n);
        std::vector<uint32_t> wantMin(min.data(), min.data() + n);
        std::vector<uint32_t> wantOut(out.data(), out.data() + n);
        const auto fold = [&](const TemplateParams* p, const char* what) {
          Compose(k, frame.data(), wantMax.data(), wantMin.data(), wantOut.data(), count, p);
          fn(frame.data(), max.data(), min.data(), out.data(), count, p);
          ASSERT_TRUE(max.GuardsIntact() && min.GuardsIntact() && out.GuardsIntact()) << what;
          for (size_t i = 0; i < n; ++i) {
            ASSERT_EQ(max[i], wantMax[i]) << what << ": max, pixel " << i;
            ASSERT_EQ(min[i], wantMin[i]) << what << ": min, pixel " << i;
            ASSERT_EQ(out[i], wantOut[i]) << what << ": out, pixel " << i;
          }
        };
        ASSERT_NO_FATAL_FAILURE(fold(&before, "first frame"));
        ASSERT_NO_FATAL_FAILURE(fold(&params, "steady, other settings"));
        ASSERT_NO_FATAL_FAILURE(fold(&params, "steady, same settings"));
        ASSERT_NO_FATAL_FAILURE(fold(nullptr, "steady, no template"));
        for (int i = 0; i < count; ++i) {
          for (uint8_t luma : {uint8_t(255), uint8_t(0)}) {
            const std::vector<uint8_t> old = SetLuma(k, frame.data(), i, luma);
            const std::string what = std::string(luma ? "raised" : "lowered") + " luma at " +
                                     std::to_string(i);
            // Without the template every other time, so that both bodies see one moving lane.
            ASSERT_NO_FATAL_FAILURE(fold(i % 2 ? nullptr : &params, what.c_str()));
            RestoreLuma(k, frame.data(), i, old);
          }
        }
      }
    }
  }
}

// Each level really runs its own routines, or the comparison above would compare a routine with
// itself.
TEST_P(CaptureRowParity, EachLevelGetsItsOwnRoutines) {
  const std::string level = GetParam().name;
  const CaptureRows* own = level == "Scalar" ? &CaptureRowsC()
                           : level == "SSE2" ? CaptureRowsSse2()
                                             : CaptureRowsAvx2();
  const CaptureRows selected = SelectCaptureRows(platform::CpuFeatures());
  for (const RowKind& k : kKinds) {
    if (k.split) continue;
    EXPECT_EQ(k.routine(selected), k.routine(*own)) << k.name;
    if (level != "Scalar") {
      EXPECT_NE(k.routine(*own), k.routine(CaptureRowsC())) << k.name;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, CaptureRowParity, ::testing::ValuesIn(test::kCpuLevels),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vle
