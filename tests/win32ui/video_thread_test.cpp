// Frames handed to the DLL on a video thread, while its real settings window is open and the
// user-interface thread pumps its messages, come out byte for byte as the same plug-in code
// computes them in this process with the headless window system.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "plugin/plugin.h"
#include "ui/control_ids.h"
#include "ui/headless/headless_desktop.h"
#include "win32ui/plugin_host.h"

namespace vle::wintest {
namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kFrames = 70;  // 25 to settle, the rest worked on

// Broadcast-like frames: noise that changes every frame, and a logo that does not.
std::vector<uint8_t> MakeFrame(int index, int32_t pixelFormat) {
  const int bytesPerPixel = pixelFormat == 1 ? 3 : 2;
  std::vector<uint8_t> bytes(size_t(kWidth) * kHeight * size_t(bytesPerPixel));
  uint32_t seed = 0x9E3779B9u * uint32_t(index + 1);
  for (uint8_t& b : bytes) {
    seed = seed * 1664525u + 1013904223u;
    b = uint8_t(seed >> 24);
  }
  for (int y = 20; y < 50; ++y) {
    for (int x = 250; x < 300; ++x) {
      uint8_t* p = &bytes[(size_t(y) * kWidth + size_t(x)) * size_t(bytesPerPixel)];
      for (int i = 0; i < bytesPerPixel; ++i) p[i] = uint8_t(200 + (x + i) % 40);
    }
  }
  return bytes;
}

struct FrameRun {
  std::vector<std::vector<uint8_t>> frames;
  std::vector<int32_t> results;
};

FrameRun Process(const PluginDescriptor& plugin, int32_t pixelFormat) {
  FrameRun run;
  int32_t size[2] = {kWidth, kHeight};
  for (int i = 0; i < kFrames; ++i) {
    std::vector<uint8_t> frame = MakeFrame(i, pixelFormat);
    VideoFrame record{};
    record.pixels = frame.data();
    record.frameSize = size;
    run.results.push_back(plugin.processFrame(&record));
    run.frames.push_back(std::move(frame));
  }
  return run;
}

struct VideoCase {
  const char* name;
  int32_t pixelFormat;
  int posX;  // a region position set through the window before capturing; -1 leaves the default
};
void PrintTo(const VideoCase& c, std::ostream* out) { *out << c.name; }

// The plug-in code linked into this program keeps its settings file under this program's name.
std::wstring InProcessSettingsFile() {
  wchar_t path[MAX_PATH * 4] = {};
  GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
  std::wstring name(path);
  name = name.substr(name.find_last_of(L'\\') + 1);
  return ProgramFolder() + L"Plugins\\" + name.substr(0, name.rfind(L'.')) + L".ini";
}

// Both copies of the plug-in start from their defaults.
class VideoThreadTest : public testing::TestWithParam<VideoCase> {
 protected:
  void SetUp() override {
    RemoveSettingsFile();
    DeleteFileW(InProcessSettingsFile().c_str());
  }
  void TearDown() override { DeleteFileW(InProcessSettingsFile().c_str()); }
};

TEST_P(VideoThreadTest, FramesMatchTheInProcessComputation) {
  const VideoCase& c = GetParam();
  PluginHost host;
  ASSERT_TRUE(host.loaded());
  host.Load();
  host.SetFormat(kWidth, kHeight, c.pixelFormat);
  host.Configure();
  HWND window = host.SettingsWindow();
  ASSERT_NE(window, nullptr);
  if (c.posX >= 0) {
    HWND upDown = GetDlgItem(window, IDC_POSX_SPIN);
    SendMessageW(upDown, UDM_SETPOS, 0, MAKELPARAM(c.posX, 0));
    SendMessageW(window, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, c.posX), reinterpret_cast<LPARAM>(upDown));
    Pump(20);
  }
  host.Click(IDC_START);

  std::atomic<bool> done{false};
  FrameRun real;
  std::thread video([&] {
    real = Process(host.plugin(), c.pixelFormat);
    done = true;
  });
  // The window stays responsive meanwhile: its messages run here.
  const bool finished = PumpUntil([&] { return done.load(); }, 60000);
  video.join();
  ASSERT_TRUE(finished);

  // The same plug-in code, linked into this program, with the headless window system.
  const PluginDescriptor& local = *Quorsana_Plugin_PR();
  local.load();
  FrameFormat format{kWidth, kHeight, 0, c.pixelFormat, 3};
  local.setFormat(&format);
  int hostWindow = 0;
  PluginConfigureArgs args{&hostWindow};
  local.configure(&args);
  auto& desktop = ui::headless::Desktop();
  desktop.Pump();
  if (c.posX >= 0) {
    ASSERT_TRUE(desktop.ScrollTo(IDC_POSX_SPIN, c.posX));
  }
  ASSERT_TRUE(desktop.Click(IDC_START));
  const FrameRun expected = Process(local, c.pixelFormat);
  local.unload();

  ASSERT_EQ(real.results, expected.results);
  EXPECT_EQ(std::count(real.results.begin(), real.results.end(), 1), kFrames - 25);
  for (int i = 0; i < kFrames; ++i) {
    ASSERT_TRUE(real.frames[size_t(i)] == expected.frames[size_t(i)]) << "frame " << i << " differs";
  }
  EXPECT_NE(real.frames.back(), MakeFrame(kFrames - 1, c.pixelFormat)) << "the plug-in drew nothing";
}

INSTANTIATE_TEST_SUITE_P(Formats, VideoThreadTest,
                         testing::Values(VideoCase{"Yuy2", 0, -1}, VideoCase{"Bgr24", 1, -1},
                                         VideoCase{"Yuy2MovedRegion", 0, 600},
                                         VideoCase{"Bgr24MovedRegion", 1, 750}),
                         [](const testing::TestParamInfo<VideoCase>& info) { return info.param.name; });

}  // namespace
}  // namespace vle::wintest
