// The user works the settings window while the video thread keeps handing over frames: every
// edit, the colour chooser and the Save command run against a frame driver that holds the buffer
// lock for each frame (run under ThreadSanitizer too).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "core/muldiv.h"
#include "support/plugin_session.h"
#include "ui/control_ids.h"

namespace vle::test {
namespace {

namespace fs = std::filesystem;

class ConcurrencyTest : public PluginSession {};

TEST_F(ConcurrencyTest, SavesAndSettingsEditsWhileVideoRuns) {
  const int32_t w = 96, h = 48;
  Announce(w, h, 1);
  Configure();
  desktop().Click(IDC_START);
  std::atomic<bool> stop{false};
  std::atomic<int> processed{0};
  std::thread video([&] {
    HostFrame frame(w, h, 1);
    uint8_t v = 0;
    while (!stop.load()) {
      for (auto& b : frame.bytes) b = v;
      v = static_cast<uint8_t>(v + 41);
      if (Process(frame) == 1) processed.fetch_add(1);
    }
  });
  // Past the settling, so that every save below reads a template the driver keeps rebuilding. The
  // deadline only keeps a broken driver from hanging the run.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (processed.load() < 3 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  if (processed.load() < 3) {
    stop.store(true);
    video.join();
    FAIL() << "the video thread never got past the settling";
  }

  uint32_t color = 0x00123456;
  desktop().colorChooser = [&color](uint32_t, uint32_t* chosen) {
    *chosen = color;
    return true;
  };
  const fs::path target = fs::path(settingsDir_) / "logo.bmp";
  desktop().saveChooser = [&target](const ui::SaveFileRequest&, std::string* chosen) {
    *chosen = target.string();
    return true;
  };
  int saved = 0;
  for (int round = 0; round < 40; ++round) {
    desktop().ScrollTo(IDC_THRESHOLD_SPIN, round * 7 % 256);
    desktop().ScrollTo(IDC_BLACK_SPIN, round * 3 % 64);
    desktop().Click(IDC_INVERSE);
    desktop().ScrollTo(IDC_SIZEX_SPIN, 100 + round * 23 % 900);
    desktop().ScrollTo(IDC_POSX_SPIN, round * 31 % 1001);
    desktop().ScrollTo(IDC_SIZEY_SPIN, 50 + round * 17 % 950);
    desktop().ScrollTo(IDC_POSY_SPIN, round * 13 % 1001);
    color = color * 2654435761u & 0x00FFFFFF;
    desktop().Click(IDC_COLOR_KEY);
    desktop().Click(IDC_STOP);
    std::error_code ec;
    fs::remove(target, ec);
    EXPECT_TRUE(desktop().Click(IDC_SAVE));
    // Whole, at the export size of the settings in effect.
    const SettingsBlock s = settings();
    const uint64_t width = uint64_t(MulDiv(s.logoSizeX, 768, 1000));
    const uint64_t height = uint64_t(MulDiv(s.logoSizeY, 576, 1000));
    EXPECT_EQ(fs::file_size(target, ec), 58 + ((width * 3 + 3) & ~uint64_t{3}) * height) << "round " << round;
    saved += fs::exists(target) ? 1 : 0;
    desktop().Click(round % 2 ? IDC_START : IDC_CLEAR);
    if (round % 2 == 0) desktop().Click(IDC_START);
  }
  stop.store(true);
  video.join();
  EXPECT_GE(processed.load(), 3);
  EXPECT_EQ(saved, 40);
  EXPECT_EQ(settings().colorKey, color);
}

}  // namespace
}  // namespace vle::test
