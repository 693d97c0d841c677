// The frame driver against the plain sequence of public operations it is built from (import, both
// accumulators, template, overlay, outline, run at the scalar level on copies): the frame the host
// gets back and every buffer a later operation reads are identical, frame after frame, while
// capturing, holding, after Clear and after settings changes, for both layouts and odd sizes, at
// every CPU level.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/image_buffer.h"
#include "core/template_kernels.h"
#include "frame/frame_adapter.h"
#include "support/cpu_levels.h"
#include "support/plugin_session.h"
#include "ui/control_ids.h"

namespace vle::test {
namespace {

// The driver's work as the public operations do it, one by one, on buffers of its own.
class Reference {
 public:
  Reference(int32_t w, int32_t h, int32_t format)
      : capture_(w, h), max_(w, h), min_(w, h), template_(w, h) {
    adapter_.SetFormat(w, h, format);
    ResetAccumulators(&max_, &min_);
  }

  void Frame(uint8_t* pixels, const SettingsBlock& s, bool capturing, bool showing) {
    const int level = platform::CpuFeatures();
    platform::MaskCpuFeatures(0);
    const int32_t position[2] = {s.logoPosX, s.logoPosY};
    const int32_t size[2] = {s.logoSizeX, s.logoSizeY};
    const Rect region = adapter_.ComputeRegion(position, size);
    if (capturing) {
      adapter_.ImportRegion(pixels, Point{0, 0}, capture_.bits, capture_.size(), capture_.rect,
                            kBgrLuma32);
      AccumulateMax(capture_, max_);
      AccumulateMin(capture_, min_);
    }
    if (showing) {
      BuildTemplate(max_, min_, template_, s.colorKey, s.threshold, s.blackLevel,
                    s.inverseSelection);
      adapter_.DrawImage(pixels, Point{region.left, region.top}, template_.bits, template_.size(),
                         region, kBgr32, 100);
    }
    adapter_.DrawFrameRect(pixels, region, -2, 0xC0C0C0, 100);
    platform::MaskCpuFeatures(level);
  }
  void Clear() { ResetAccumulators(&max_, &min_); }

  const ImageBuffer& max() const { return max_; }
  const ImageBuffer& min() const { return min_; }
  const ImageBuffer& output() const { return template_; }

 private:
  FrameAdapter adapter_;
  ImageBuffer capture_, max_, min_, template_;
};

::testing::AssertionResult SamePixels(const ImageBuffer* got, const ImageBuffer& want) {
  if (got == nullptr || got->bits == nullptr) return ::testing::AssertionFailure() << "no buffer";
  const size_t n = size_t(want.allocWidth) * size_t(want.allocHeight);
  for (size_t i = 0; i < n; ++i) {
    if (got->bits[i] != want.bits[i]) {
      return ::testing::AssertionFailure() << "pixel word " << i << ": " << std::hex << got->bits[i]
                                           << " instead of " << want.bits[i];
    }
  }
  return ::testing::AssertionSuccess();
}

struct DriverCase {
  const char* name;
  int32_t width, height, format;
};

const DriverCase kDriverCases[] = {{"Yuy2 720 x 576", 720, 576, kYuy2},
                                   {"Yuy2 odd size", 67, 9, kYuy2},
                                   {"Bgr24 odd size", 67, 9, kBgr24},
                                   {"Bgr24 100 x 50", 100, 50, kBgr24}};

class DriverParity : public PluginSession, public ::testing::WithParamInterface<CpuLevel> {
 protected:
  void SetUp() override {
    PluginSession::SetUp();
    const CpuLevel& level = GetParam();
    if ((platform::CpuFeatures() & level.mask) != level.mask) GTEST_SKIP() << "not on this CPU";
    platform::MaskCpuFeatures(level.mask);
  }
  void TearDown() override {
    platform::MaskCpuFeatures(-1);
    PluginSession::TearDown();
  }

  // A picture whose left half stays (with a little noise) and whose right half changes wholesale.
  static void Paint(HostFrame& f, int n) {
    std::mt19937 steady(1), moving(100 + n);
    for (size_t i = 0; i < f.bytes.size(); ++i) {
      const size_t rowBytes = f.bytes.size() / size_t(f.height);
      const bool left = i % rowBytes < rowBytes / 2;
      const uint8_t s = uint8_t(steady() >> 24), m = uint8_t(moving() >> 24);
      f.bytes[i] = left ? uint8_t(s ^ (m & 7)) : m;
    }
  }
};

TEST_P(DriverParity, FramesAndBuffersEqualThoseOfTheOperationsOneByOne) {
  for (const DriverCase& c : kDriverCases) {
    SCOPED_TRACE(c.name);
    SettingsBlock s = kDefaultSettings;
    module().state.activeSettings.Store(s);
    Announce(c.width, c.height, c.format);
    Configure();
    desktop().Click(IDC_START);
    HostFrame frame(c.width, c.height, c.format);
    Settle(frame);
    Reference reference(c.width, c.height, c.format);
    // What the user does between frames, and the flags it leaves.
    struct Step {
      int click;  // 0: none
      void (*change)(SettingsBlock&);
      bool capturing, showing, clears;
    };
    const Step steps[] = {
        {0, nullptr, true, true, false},
        {0, nullptr, true, true, false},
        {0, [](SettingsBlock& b) { b.threshold = 10, b.blackLevel = 40; }, true, true, false},
        {0, [](SettingsBlock& b) { b.logoPosX = 333, b.logoSizeX = 667, b.inverseSelection = 1; },
         true, true, false},
        {IDC_STOP, nullptr, false, true, false},
        {0, [](SettingsBlock& b) { b.colorKey = 0x00112233, b.inverseSelection = 0; }, false, true,
         false},
        {IDC_CLEAR, nullptr, false, false, true},
        {IDC_START, nullptr, true, true, false},
        {0, nullptr, true, true, false},
    };
    int n = 0;
    for (const Step& step : steps) {
      SCOPED_TRACE(::testing::Message() << "frame " << n);
      if (step.change != nullptr) {
        step.change(s);
        module().state.activeSettings.Store(s);
      }
      if (step.click != 0) desktop().Click(step.click);
      if (step.clears) reference.Clear();
      Paint(frame, n++);
      std::vector<uint8_t> expected = frame.bytes;
      ASSERT_EQ(Process(frame), 1);
      reference.Frame(expected.data(), s, step.capturing, step.showing);
      ASSERT_EQ(frame.bytes, expected);
      ASSERT_TRUE(SamePixels(module().state.maxBuffer, reference.max()));
      ASSERT_TRUE(SamePixels(module().state.minBuffer, reference.min()));
      if (step.showing) {
        ASSERT_TRUE(SamePixels(module().state.templateBuffer, reference.output()));
      }
    }
    plugin::PluginUnload();
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, DriverParity, ::testing::ValuesIn(kCpuLevels),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vle::test
