// The per-frame driver as the host calls it: gates, settling, and the work while the settings
// window is open.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <random>
#include <thread>

#include "frame/frame_adapter.h"
#include "support/plugin_session.h"
#include "ui/control_ids.h"

namespace vle::test {
namespace {

using FrameDriverTest = PluginSession;

TEST_F(FrameDriverTest, NullPixelsChangeNothingNotEvenTheSettleCount) {
  Announce(32, 16, 0);
  HostFrame frame(32, 16, 0);
  Process(frame);  // starts a pause
  const int32_t countdown = module().settleCountdown;
  VideoFrame record = frame.Record();
  record.pixels = nullptr;
  EXPECT_EQ(Quorsana_Plugin_PR()->processFrame(&record), 0);
  EXPECT_EQ(module().settleCountdown, countdown);
  record = frame.Record();
  record.frameSize = nullptr;  // a frame that cannot be placed is left alone
  EXPECT_EQ(Quorsana_Plugin_PR()->processFrame(&record), 0);
  EXPECT_EQ(module().settleCountdown, countdown);
}

TEST_F(FrameDriverTest, TheTwentySixthFrameAfterASizeChangeIsTheFirstProcessed) {
  Announce(720, 576, 0);
  HostFrame frame(720, 576, 0);
  for (int i = 1; i <= 25; ++i) ASSERT_EQ(Process(frame), 0) << "frame " << i;
  EXPECT_EQ(Process(frame), 1);
  EXPECT_EQ(Process(frame), 1);
}

TEST_F(FrameDriverTest, AnotherSizeWhileSettlingRestartsThePauseAndTheAccumulation) {
  Announce(16, 8, 1);
  Configure();
  desktop().Click(IDC_START);
  HostFrame a(16, 8, 1), b(8, 8, 1);
  for (int i = 0; i < 10; ++i) Process(a);
  module().state.maxBuffer->Fill(9, 9, 9, 9);
  EXPECT_EQ(Process(b), 0);
  EXPECT_EQ(*module().state.maxBuffer->PixelAt(0, 0), 0u);  // reset by the change
  for (int i = 2; i <= 25; ++i) ASSERT_EQ(Process(b), 0) << "frame " << i;
  EXPECT_EQ(Process(b), 1);
}

TEST_F(FrameDriverTest, WindowClosedFramesPassUntouched) {
  Announce(64, 32, 0);
  HostFrame frame(64, 32, 0);
  frame.Randomise(1);
  Settle(frame);
  const auto before = frame.bytes;
  EXPECT_EQ(Process(frame), 1);
  EXPECT_EQ(frame.bytes, before);
}

TEST_F(FrameDriverTest, OldProcessorsGetEveryFrameBackUntouched) {
  for (int32_t cpu : {1, 2}) {
    Announce(64, 32, 1, cpu);
    HostFrame frame(64, 32, 1);
    frame.Randomise(2);
    const auto before = frame.bytes;
    for (int i = 0; i < 40; ++i) ASSERT_EQ(Process(frame), 0);
    EXPECT_EQ(frame.bytes, before);
  }
}

// With the window open and both flags clear, the frame gets exactly the outline.
TEST_F(FrameDriverTest, IdleWindowDrawsOnlyTheOutline) {
  for (int32_t format : {0, 1}) {
    Announce(720, 576, format);
    Configure();
    HostFrame frame(720, 576, format);
    frame.Randomise(3);
    Settle(frame);
    auto expected = frame.bytes;
    FrameAdapter reference;
    reference.SetFormat(720, 576, format);
    reference.DrawFrameRect(expected.data(), Rect{14, 12, 158, 127}, -2, 0xC0C0C0, 100);
    EXPECT_EQ(Process(frame), 1);
    EXPECT_EQ(frame.bytes, expected) << "format " << format;
    plugin::PluginUnload();
  }
}

TEST_F(FrameDriverTest, FramesOfAnotherSizeThanAnnouncedAreNeitherCapturedNorDrawn) {
  Announce(64, 32, 0);
  Configure();
  desktop().Click(IDC_START);
  HostFrame small(32, 32, 0);
  small.Randomise(4);
  Settle(small);
  const auto before = small.bytes;
  EXPECT_EQ(Process(small), 1);
  EXPECT_EQ(small.bytes, before);
  EXPECT_EQ(*module().state.maxBuffer->PixelAt(0, 0), 0u);
}

// A synthetic broadcast: a static logo over a picture that changes every frame. The template must
// keep the logo's colours and key everything else, and it is what the region shows.
TEST_F(FrameDriverTest, CaptureBuildsTheTemplateAndShowsItInTheRegion) {
  const int32_t w = 100, h = 50;
  SettingsBlock s = kDefaultSettings;
  s.logoPosX = 100;  // region (10, 5) .. (60, 30)
  s.logoPosY = 100;
  s.logoSizeX = 500;
  s.logoSizeY = 500;
  s.colorKey = 0x00FF00FF;  // magenta
  module().state.activeSettings.Store(s);
  Announce(w, h, 1);
  Configure();
  desktop().Click(IDC_START);
  HostFrame frame(w, h, 1);
  auto inLogo = [](int x, int y) { return x >= 20 && x < 40 && y >= 10 && y < 20; };
  auto paint = [&](int n) {
    std::mt19937 rng(100 + n);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint8_t* p = frame.bytes.data() + 3 * (size_t(h - 1 - y) * w + x);  // bottom-up rows
        if (inLogo(x, y)) {
          p[0] = 40, p[1] = 200, p[2] = 220;  // the logo: B 40, G 200, R 220
        } else {
          // Alternating black and white: every background position swings far beyond 50.
          const uint8_t v = ((x + y + n) & 1) ? 255 : 0;
          p[0] = p[1] = p[2] = static_cast<uint8_t>(v ^ (rng() & 7));
        }
      }
  };
  paint(0);
  Settle(frame);
  for (int n = 0; n < 8; ++n) {
    paint(n);
    ASSERT_EQ(Process(frame), 1);
  }
  desktop().Click(IDC_STOP);
  paint(99);
  const auto painted = frame.bytes;
  ASSERT_EQ(Process(frame), 1);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const size_t at = 3 * (size_t(h - 1 - y) * w + x);
      const uint8_t* p = frame.bytes.data() + at;
      const std::array<int, 3> got{p[0], p[1], p[2]};
      if (x >= 10 && x < 60 && y >= 5 && y < 30) {
        const std::array<int, 3> want = inLogo(x, y) ? std::array<int, 3>{40, 200, 220}
                                                     : std::array<int, 3>{255, 0, 255};
        EXPECT_EQ(got, want) << x << "," << y;
      } else if (x < 8 || x >= 62 || y < 3 || y >= 32) {
        // Beyond the region and its two-pixel outline the frame is as the host painted it.
        EXPECT_EQ(got, (std::array<int, 3>{painted[at], painted[at + 1], painted[at + 2]})) << x << "," << y;
      } else {
        EXPECT_EQ(got, (std::array<int, 3>{192, 192, 192})) << x << "," << y;
      }
    }
}

TEST_F(FrameDriverTest, Yuy2CaptureKeysTheMovingPictureAndKeepsTheLogo) {
  // Default settings on 64 x 32: region (1, 1) .. (14, 7).
  const int32_t w = 64, h = 32;
  Announce(w, h, 0);
  Configure();
  desktop().Click(IDC_START);
  HostFrame frame(w, h, 0);
  auto isLogo = [](int x, int y) { return x >= 4 && x < 8 && y >= 2 && y < 5; };
  auto paint = [&](int n) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; x += 2) {
        uint8_t* p = frame.bytes.data() + 2 * (size_t(y) * w + x);
        const bool logo = isLogo(x, y);
        const uint8_t luma = logo ? 180 : (((x / 2 + y + n) & 1) ? 235 : 16);
        p[0] = p[2] = luma;
        p[1] = logo ? 100 : 128;
        p[3] = logo ? 150 : 128;
      }
  };
  paint(0);
  Settle(frame);
  for (int n = 0; n < 6; ++n) {
    paint(n);
    ASSERT_EQ(Process(frame), 1);
  }
  desktop().Click(IDC_STOP);
  paint(0);
  ASSERT_EQ(Process(frame), 1);
  // The default key colour (blue 255, green 128, red 0) as a Yuy2 pair, worked out by hand from
  // the JFIF weights: Y' 104, Cb' 213, Cr' 53.
  const uint32_t key = 104u | 213u << 8 | 104u << 16 | 53u << 24;
  for (int y = 1; y < 7; ++y)
    for (int x = 2; x < 14; x += 2) {
      const uint8_t* p = frame.bytes.data() + 2 * (size_t(y) * w + x);
      if (isLogo(x, y)) {
        // The logo comes back through RGB and YCbCr: equal to within the conversions' rounding.
        EXPECT_NEAR(p[0], 180, 2) << x << "," << y;
        EXPECT_NEAR(p[1], 100, 2) << x << "," << y;
        EXPECT_NEAR(p[2], 180, 2) << x << "," << y;
        EXPECT_NEAR(p[3], 150, 2) << x << "," << y;
      } else {
        uint32_t got = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        EXPECT_EQ(got, key) << x << "," << y;
      }
    }
}

// The video thread processes frames while the user-interface thread opens and closes the window
// and works its buttons; nothing may be touched after it is deleted (run under ThreadSanitizer too).
TEST_F(FrameDriverTest, ThreadStressVideoAgainstWindowCommands) {
  const int32_t w = 96, h = 48;
  Announce(w, h, 0);
  std::atomic<bool> stop{false};
  std::atomic<int> processed{0};
  std::thread video([&] {
    HostFrame frame(w, h, 0);
    uint8_t v = 0;
    while (!stop.load()) {
      for (auto& b : frame.bytes) b = v;
      v = static_cast<uint8_t>(v + 37);
      if (Process(frame) == 1) processed.fetch_add(1);
    }
  });
  for (int round = 0; round < 300; ++round) {
    Configure();
    desktop().Click(IDC_START);
    desktop().Click(IDC_CLEAR);
    desktop().ScrollTo(IDC_SIZEX_SPIN, (round * 37) % 1001);
    desktop().Click(IDC_STOP);
    desktop().Click(round % 2 ? IDC_CLEAR : IDC_START);
    if (round % 3 == 0) desktop().SendClose();
    else plugin::PluginUnload();
  }
  // Keep going until the video thread has done real work at least a few times.
  Configure();
  desktop().Click(IDC_START);
  for (int i = 0; i < 2000 && processed.load() < 50; ++i) std::this_thread::yield();
  stop.store(true);
  video.join();
  EXPECT_GE(processed.load(), 1);
}

}  // namespace
}  // namespace vle::test
