// The Save command end to end through the settings window: chooser, region, export size, file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/cp1251.h"
#include "support/plugin_session.h"
#include "ui/control_ids.h"

namespace vle::test {
namespace {

namespace fs = std::filesystem;

struct BitmapInfo {
  size_t fileSize = 0;
  int32_t width = -1, height = -1;
  std::vector<uint8_t> bytes;
};

BitmapInfo ReadBitmap(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  BitmapInfo info;
  info.bytes.assign(std::istreambuf_iterator<char>(in), {});
  info.fileSize = info.bytes.size();
  if (info.fileSize >= 58) {
    std::memcpy(&info.width, info.bytes.data() + 18, 4);
    std::memcpy(&info.height, info.bytes.data() + 22, 4);
  }
  return info;
}

class SaveCommandTest : public PluginSession {
 protected:
  // Opens the window on frames of w x h, captures a few frames and stops: the Holding state.
  void Hold(int32_t w, int32_t h, int32_t format = 0) {
    Announce(w, h, format);
    Configure();
    desktop().Click(IDC_START);
    HostFrame frame(w, h, format);
    for (size_t i = 0; i < frame.bytes.size(); ++i) frame.bytes[i] = static_cast<uint8_t>(i * 7);
    Settle(frame);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(Process(frame), 1);
    desktop().Click(IDC_STOP);
    ASSERT_TRUE(desktop().Enabled(IDC_SAVE));
  }
  std::string Target(const char* name) { return (fs::path(settingsDir_) / name).string(); }
  // Answers the chooser with `path`; records what it was offered.
  void Answer(const std::string& path) {
    desktop().saveChooser = [this, path](const ui::SaveFileRequest& request, std::string* chosen) {
      offered_ = request;
      *chosen = path;
      return true;
    };
  }
  ui::SaveFileRequest offered_;
};

TEST_F(SaveCommandTest, CancelledChooserTouchesNothing) {
  Hold(64, 48);
  const std::string target = Target("never.bmp");
  desktop().saveChooser = [](const ui::SaveFileRequest&, std::string* chosen) {
    *chosen = "ignored";
    return false;
  };
  desktop().Click(IDC_SAVE);
  EXPECT_EQ(desktop().saveChoosers, 1);
  EXPECT_FALSE(fs::exists(target));
  EXPECT_TRUE(desktop().HasWindow());
  EXPECT_EQ(module().dialog.captureState(), ui::CaptureState::kHolding);
}

TEST_F(SaveCommandTest, ChooserAsksForBitmapsAndRemembersThePath) {
  Hold(64, 48);
  const std::string first = Target("first.bmp");
  Answer(first);
  desktop().Click(IDC_SAVE);
  EXPECT_EQ(offered_.initialPath, "");
  EXPECT_EQ(offered_.defaultExtension, "bmp");
  EXPECT_EQ(offered_.flags, 6u);  // OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY
  EXPECT_EQ(offered_.filter, Cp1251("Файлы логотипа (*.bmp)") + std::string("\0*.bmp\0\0", 8));
  Answer(Target("second.bmp"));
  desktop().Click(IDC_SAVE);
  EXPECT_EQ(offered_.initialPath, first);
  EXPECT_TRUE(fs::exists(first));
  EXPECT_TRUE(fs::exists(Target("second.bmp")));
}

struct ExportSizeCase {
  const char* name;
  int32_t frameW, frameH, sizeX, sizeY;
  int32_t width, height;
  size_t fileSize;
};

class ExportSizeTable : public SaveCommandTest, public ::testing::WithParamInterface<ExportSizeCase> {};

TEST_P(ExportSizeTable, TheBitmapHasTheRegionsSizeInA768By576Frame) {
  const ExportSizeCase& c = GetParam();
  SettingsBlock s = kDefaultSettings;
  s.logoPosX = s.logoPosY = 0;
  s.logoSizeX = c.sizeX;
  s.logoSizeY = c.sizeY;
  module().state.activeSettings.Store(s);
  Hold(c.frameW, c.frameH);
  const std::string target = Target("logo.bmp");
  Answer(target);
  desktop().Click(IDC_SAVE);
  const BitmapInfo bmp = ReadBitmap(target);
  EXPECT_EQ(bmp.width, c.width);
  EXPECT_EQ(bmp.height, c.height);
  EXPECT_EQ(bmp.fileSize, c.fileSize);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExportSizeTable,
    ::testing::Values(ExportSizeCase{"Default720", 720, 576, 200, 200, 154, 115, 53418},
                      ExportSizeCase{"Default1920", 1920, 1080, 200, 200, 154, 115, 53418},
                      ExportSizeCase{"Default64", 64, 48, 200, 200, 154, 115, 53418},
                      ExportSizeCase{"WholeFrame", 320, 240, 1000, 1000, 768, 576, 58 + 2304 * 576},
                      ExportSizeCase{"Exact480", 320, 240, 625, 100, 480, 58, 58 + 1440 * 58},
                      ExportSizeCase{"OneColumn", 320, 240, 1, 1000, 1, 576, 58 + 4 * 576},
                      ExportSizeCase{"ZeroWidth", 320, 240, 0, 200, 0, 115, 58}),
    [](const auto& info) { return std::string(info.param.name); });

// The whole frame, saved at the frame's own size, is the template pixel for pixel: a 768 x 576
// Bgr24 frame with size 1000 x 1000 makes the exporter copy exactly.
TEST_F(SaveCommandTest, AWholeReferenceFrameIsSavedPixelForPixel) {
  SettingsBlock s = kDefaultSettings;
  s.logoPosX = s.logoPosY = 0;
  s.logoSizeX = s.logoSizeY = 1000;
  module().state.activeSettings.Store(s);
  Hold(768, 576, 1);
  const std::string target = Target("whole.bmp");
  Answer(target);
  desktop().Click(IDC_SAVE);
  const BitmapInfo bmp = ReadBitmap(target);
  ASSERT_EQ(bmp.fileSize, 58u + 2304u * 576u);
  const ImageBuffer& t = *module().state.templateBuffer;
  for (int y : {0, 1, 300, 575})
    for (int x : {0, 1, 400, 767}) {
      const uint8_t* p = bmp.bytes.data() + 58 + size_t(575 - y) * 2304 + 3 * x;
      const uint32_t want = *t.PixelAt(x, y) & 0xFFFFFF;
      EXPECT_EQ(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16, want) << x << "," << y;
    }
}

TEST_F(SaveCommandTest, NothingIsWrittenOnceTheWindowClosedUnderTheChooser) {
  Hold(64, 48);
  const std::string target = Target("gone.bmp");
  desktop().saveChooser = [&](const ui::SaveFileRequest&, std::string* chosen) {
    plugin::PluginUnload();  // the window and its buffers go while the chooser is open
    *chosen = target;
    return true;
  };
  desktop().Click(IDC_SAVE);
  EXPECT_FALSE(fs::exists(target));
}

TEST_F(SaveCommandTest, AnExportThatCannotBeAllocatedWritesNothing) {
  SettingsBlock s = kDefaultSettings;
  s.logoSizeX = s.logoSizeY = 2000000000;  // a hand-edited file: far beyond any memory
  module().state.activeSettings.Store(s);
  Hold(64, 48);
  const std::string target = Target("huge.bmp");
  Answer(target);
  desktop().Click(IDC_SAVE);
  EXPECT_FALSE(fs::exists(target));
  EXPECT_TRUE(desktop().HasWindow());
}

}  // namespace
}  // namespace vle::test
