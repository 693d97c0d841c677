// CaptureFrame against the sequence it replaces in the frame driver (ImportRegion into the capture
// picture, AccumulateMax, AccumulateMin, BuildTemplate) run at the scalar level: whole frames of
// both layouts, odd widths (the Yuy2 half pair), with and without the template, at every CPU
// level; and what it does where that sequence would fold a capture picture the frame never wrote.
// The sequence's capture picture is the test's own: CaptureFrame has none.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/image_buffer.h"
#include "core/template_kernels.h"
#include "frame/capture_frame.h"
#include "frame/capture_rows.h"
#include "frame/frame_adapter.h"
#include "platform/memory.h"
#include "support/cpu_levels.h"

namespace vle {
namespace {

struct Settings {
  uint32_t colorKey;
  int32_t threshold, blackLevel;
  uint32_t inverse;
  TemplateParams params() const { return MakeTemplateParams(colorKey, threshold, blackLevel, inverse); }
};
const Settings kSettings[] = {{0x00FF8000u, 50, 0, 0}, {0x00123456u, 20, 40, 1}, {0x0000FF00u, -3, 17, 0}};

std::vector<uint32_t> Pixels(const ImageBuffer& b) {
  return std::vector<uint32_t>(b.bits, b.bits + size_t(b.allocWidth) * size_t(b.allocHeight));
}

// Frame bytes whose lumas are often equal, so that ties between frames are common.
std::vector<uint8_t> RandomFrame(int32_t w, int32_t h, int32_t format, std::mt19937& rng) {
  static const uint8_t kLumas[] = {0, 16, 17, 100, 128, 200, 255};
  std::vector<uint8_t> frame(size_t(w) * size_t(h) * (format == kYuy2 ? 2 : 3));
  for (uint8_t& b : frame) b = uint8_t(rng() >> 24);
  for (size_t i = 0; i < frame.size(); i += format == kYuy2 ? 2 : 3) {
    if (rng() & 1) continue;
    const uint8_t v = kLumas[rng() % 7];
    frame[i] = v;
    if (format == kBgr24) frame[i + 1] = frame[i + 2] = v;  // a grey: its luma is v
  }
  return frame;
}

void RandomPixels(ImageBuffer& b, std::mt19937& rng) {
  for (size_t i = 0; i < size_t(b.allocWidth) * size_t(b.allocHeight); ++i) {
    b.bits[i] = uint32_t(rng() % 5 * 60) << 24 | (rng() & 0xFFFFFF);
  }
}

// The driver's former sequence, at the scalar level.
void Sequence(const FrameAdapter& adapter, const uint8_t* frame, ImageBuffer& capture,
              ImageBuffer& max, ImageBuffer& min, ImageBuffer* out, const Settings& s) {
  const int level = platform::CpuFeatures();
  platform::MaskCpuFeatures(0);
  adapter.ImportRegion(frame, Point{0, 0}, capture.bits, capture.size(), capture.rect, kBgrLuma32);
  AccumulateMax(capture, max);
  AccumulateMin(capture, min);
  if (out != nullptr) BuildTemplate(max, min, *out, s.colorKey, s.threshold, s.blackLevel, s.inverse);
  platform::MaskCpuFeatures(level);
}

// The accumulators and the template made two ways from the same start: [0] by the former
// sequence, [1] by the fused capture.
struct TwoWays {
  TwoWays(int32_t w, int32_t h) : capture(w, h), max{{w, h}, {w, h}}, min{{w, h}, {w, h}}, out{{w, h}, {w, h}} {
    for (int i = 0; i < 2; ++i) {
      ResetAccumulators(&max[i], &min[i]);
      out[i].Fill(0x5A, 0x5A, 0x5A, 0x5A);
    }
  }
  // Folds `frame` both ways; fails naming the first buffer in which they differ.
  ::testing::AssertionResult Fold(const FrameAdapter& adapter, const uint8_t* frame, bool withTemplate,
                                  const Settings& s) {
    Sequence(adapter, frame, capture, max[0], min[0], withTemplate ? &out[0] : nullptr, s);
    CaptureFrame(adapter, frame, max[1], min[1], withTemplate ? &out[1] : nullptr, s.params());
    if (Pixels(max[1]) != Pixels(max[0])) return ::testing::AssertionFailure() << "the maximum differs";
    if (Pixels(min[1]) != Pixels(min[0])) return ::testing::AssertionFailure() << "the minimum differs";
    if (Pixels(out[1]) != Pixels(out[0])) return ::testing::AssertionFailure() << "the template differs";
    return ::testing::AssertionSuccess();
  }
  ImageBuffer capture, max[2], min[2], out[2];
};

class CaptureFrameTest : public test::AtCpuLevel {
 protected:
  bool Built(const test::CpuLevel& level) const override {
    if (level.mask & platform::kCpuAvx2) return CaptureRowsAvx2() != nullptr;
    return true;
  }
};

struct FrameCase {
  const char* name;
  int32_t width, height, format;
  bool withTemplate;
};

const FrameCase kFrames[] = {
    {"Yuy2 64 x 5", 64, 5, kYuy2, true},
    {"Yuy2 odd width", 67, 5, kYuy2, true},
    {"Yuy2 one column", 1, 3, kYuy2, true},
    {"Yuy2 720 x 4", 720, 4, kYuy2, true},
    {"Yuy2 without template", 67, 5, kYuy2, false},
    {"Bgr24 odd width", 33, 4, kBgr24, true},
    {"Bgr24 720 x 3", 720, 3, kBgr24, true},
    {"Bgr24 without template", 33, 4, kBgr24, false},
    {"Yuy2 1920 x 2", 1920, 2, kYuy2, true},
    {"Bgr24 odd width 1917 x 2", 1917, 2, kBgr24, true},
};

TEST_P(CaptureFrameTest, LeavesTheBuffersAsTheSequenceDoes) {
  const uint32_t seed = 11;
  std::mt19937 rng(seed);
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  for (const FrameCase& c : kFrames) {
    SCOPED_TRACE(c.name);
    FrameAdapter adapter;
    adapter.SetFormat(c.width, c.height, c.format);
    const int32_t w = c.width, h = c.height;
    TwoWays buffers(w, h);
    for (const Settings& s : kSettings) {  // three frames, each with other template settings
      const std::vector<uint8_t> frame = RandomFrame(w, h, c.format, rng);
      ASSERT_TRUE(buffers.Fold(adapter, frame.data(), c.withTemplate, s));
    }
  }
}

// A 32-bit host's frame comes from msvcrt's heap, whose blocks are only 8-byte aligned, and a host
// may hand over any address: the capture must read a frame at every byte offset as it reads an
// aligned one.
TEST_P(CaptureFrameTest, FramesAtAnyAddressLeaveTheBuffersAsAnAlignedOneDoes) {
  const uint32_t seed = 15;
  std::mt19937 rng(seed);
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  for (const FrameCase& c : {kFrames[1], kFrames[5]}) {  // both layouts, odd widths
    const int32_t w = c.width, h = c.height;
    FrameAdapter adapter;
    adapter.SetFormat(w, h, c.format);
    const std::vector<uint8_t> frame = RandomFrame(w, h, c.format, rng);
    const TemplateParams params = kSettings[1].params();
    ImageBuffer wantMax(w, h), wantMin(w, h), wantOut(w, h);
    ResetAccumulators(&wantMax, &wantMin);
    const std::unique_ptr<void, void (*)(void*)> block(platform::AlignedAlloc(frame.size() + 16),
                                                       platform::AlignedFree);
    ASSERT_NE(block, nullptr);
    uint8_t* const aligned = static_cast<uint8_t*>(block.get());
    std::copy(frame.begin(), frame.end(), aligned);
    CaptureFrame(adapter, aligned, wantMax, wantMin, &wantOut, params);
    for (size_t offset = 1; offset < 16; ++offset) {
      SCOPED_TRACE(::testing::Message() << c.name << ", frame at 16n + " << offset);
      std::copy(frame.begin(), frame.end(), aligned + offset);
      ImageBuffer max(w, h), min(w, h), out(w, h);
      ResetAccumulators(&max, &min);
      CaptureFrame(adapter, aligned + offset, max, min, &out, params);
      ASSERT_EQ(Pixels(max), Pixels(wantMax));
      ASSERT_EQ(Pixels(min), Pixels(wantMin));
      ASSERT_EQ(Pixels(out), Pixels(wantOut));
    }
  }
}

// Sets pixel (x, y) of the frame to luma `v` (a Bgr24 pixel to the grey of that value).
void SetLuma(std::vector<uint8_t>& frame, int32_t w, int32_t x, int32_t y, int32_t format, uint8_t v) {
  const size_t at = (size_t(y) * size_t(w) + size_t(x)) * (format == kYuy2 ? 2 : 3);
  frame[at] = v;
  if (format == kBgr24) frame[at + 1] = frame[at + 2] = v;
}

// What most frames of a long capture are: a frame the accumulators have seen, where nothing moves
// and only new settings change the template; and a frame where a few scattered pixels move.
struct Repeat {
  const char* name;
  int settings;   // into kSettings
  int moved;      // pixels pushed to a luma of 255 or 0 before the frame is folded
};
const Repeat kRepeats[] = {{"first frame", 0, 0},        {"the same frame", 0, 0},
                           {"the same frame, other settings", 1, 0},
                           {"a few pixels move", 1, 5}, {"one pixel moves", 2, 1},
                           {"the same frame again", 2, 0}};

TEST_P(CaptureFrameTest, RepeatedFramesAndFewMovingPixelsLeaveTheBuffersAsTheSequenceDoes) {
  std::mt19937 rng(14);
  for (const FrameCase& c : kFrames) {
    const int32_t w = c.width, h = c.height;
    FrameAdapter adapter;
    adapter.SetFormat(w, h, c.format);
    TwoWays buffers(w, h);
    std::vector<uint8_t> frame = RandomFrame(w, h, c.format, rng);
    for (const Repeat& r : kRepeats) {
      SCOPED_TRACE(::testing::Message() << c.name << ", " << r.name);
      for (int m = 0; m < r.moved; ++m) {
        SetLuma(frame, w, int32_t(rng() % uint32_t(w)), int32_t(rng() % uint32_t(h)), c.format,
                m % 2 ? 0 : 255);
      }
      ASSERT_TRUE(buffers.Fold(adapter, frame.data(), c.withTemplate, kSettings[r.settings]));
    }
  }
}

// Buffers made for an earlier, larger format: the frame covers their top-left part. Only that part
// is folded; the rest keeps its accumulators, and the template still covers everything.
TEST_P(CaptureFrameTest, FoldsOnlyWhatTheFrameCovers) {
  std::mt19937 rng(12);
  const int32_t bw = 32, bh = 10;
  for (int32_t format : {kYuy2, kBgr24}) {
    for (const auto& frameSize : {Size{20, 6}, Size{19, 10}, Size{32, 3}}) {
      SCOPED_TRACE(::testing::Message() << "format " << format << ", frame " << frameSize.width
                                        << " x " << frameSize.height);
      FrameAdapter adapter;
      adapter.SetFormat(frameSize.width, frameSize.height, format);
      const std::vector<uint8_t> frame =
          RandomFrame(frameSize.width, frameSize.height, format, rng);
      ImageBuffer max(bw, bh), min(bw, bh), out(bw, bh);
      RandomPixels(max, rng);
      RandomPixels(min, rng);
      ImageBuffer wantMax(bw, bh), wantMin(bw, bh), wantOut(bw, bh), scratch(bw, bh);
      std::copy(max.bits, max.bits + bw * bh, wantMax.bits);
      std::copy(min.bits, min.bits + bw * bh, wantMin.bits);
      // The sequence over the covered part alone: the same allocations with the frame's rect.
      for (ImageBuffer* b : {&scratch, &wantMax, &wantMin}) b->Resize(frameSize.width, frameSize.height, 0, 100);
      Sequence(adapter, frame.data(), scratch, wantMax, wantMin, nullptr, kSettings[0]);
      for (ImageBuffer* b : {&wantMax, &wantMin}) b->Resize(bw, bh, 0, 100);
      BuildTemplate(wantMax, wantMin, wantOut, kSettings[0].colorKey, kSettings[0].threshold,
                    kSettings[0].blackLevel, kSettings[0].inverse);

      CaptureFrame(adapter, frame.data(), max, min, &out, kSettings[0].params());
      EXPECT_EQ(Pixels(max), Pixels(wantMax));
      EXPECT_EQ(Pixels(min), Pixels(wantMin));
      EXPECT_EQ(Pixels(out), Pixels(wantOut));
    }
  }
}

// Where the sequence imports nothing, CaptureFrame folds nothing: it would otherwise fold a
// capture picture no frame wrote. The template is built all the same.
struct NothingCaptured {
  const char* name;
  int32_t frameFormat;  // announced to the adapter
  bool framePixels;     // the frame has pixels
};

TEST_P(CaptureFrameTest, WithoutAFrameToImportNothingIsFolded) {
  const NothingCaptured cases[] = {{"unknown frame format", 7, true},
                                   {"frame without pixels", kBgr24, false}};
  std::mt19937 rng(13);
  for (const NothingCaptured& c : cases) {
    SCOPED_TRACE(c.name);
    const int32_t w = 18, h = 4;
    FrameAdapter adapter;
    adapter.SetFormat(w, h, kYuy2);
    adapter.SetFormat(w, h, c.frameFormat);
    const std::vector<uint8_t> frame = RandomFrame(w, h, kBgr24, rng);
    ImageBuffer max(w, h), min(w, h), out(w, h), wantOut(w, h);
    RandomPixels(max, rng);
    RandomPixels(min, rng);
    const std::vector<uint32_t> maxBefore = Pixels(max), minBefore = Pixels(min);
    const Settings& s = kSettings[1];
    BuildTemplate(max, min, wantOut, s.colorKey, s.threshold, s.blackLevel, s.inverse);
    CaptureFrame(adapter, c.framePixels ? frame.data() : nullptr, max, min, &out, s.params());
    EXPECT_EQ(Pixels(max), maxBefore);
    EXPECT_EQ(Pixels(min), minBefore);
    EXPECT_EQ(Pixels(out), Pixels(wantOut));
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, CaptureFrameTest, ::testing::ValuesIn(test::kCpuLevels),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vle
