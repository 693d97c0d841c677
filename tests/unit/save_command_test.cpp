// The Save command end to end through the settings window: chooser, region, export size, file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/cpu.h"
#include "support/cp1251.h"
#include "support/cpu_levels.h"
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
  // The path is remembered for the module's lifetime: an earlier test of this process may have set it.
  const std::string remembered = module().dialog.lastSavePath();
  const std::string first = Target("first.bmp");
  Answer(first);
  desktop().Click(IDC_SAVE);
  EXPECT_EQ(offered_.initialPath, remembered);
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


// The saved file is the plug-in's result and leaves the machine: the same frames give the same bytes
// on every build (Linux, the Windows DLL under Wine) and at every CPU level. The digests below were
// taken once from a build whose output was checked by eye, and are checked everywhere the unit
// tests run.
struct PinCase {
  const char* name;
  int32_t format;
  CpuLevel level;
  uint64_t digest;
};

void PrintTo(const PinCase& c, std::ostream* os) { *os << c.name; }

class SavedBitmapPin : public SaveCommandTest, public ::testing::WithParamInterface<PinCase> {};

uint64_t Fnv1a64(const std::vector<uint8_t>& bytes) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (uint8_t b : bytes) h = (h ^ b) * 0x100000001b3ull;
  return h;
}

// A moving, textured picture with a steady bright block, a steady dark block below the black level
// and a steady mid-grey ring: logo, background and key all show in the region.
void BroadcastFrame(HostFrame& frame, int32_t format, int i) {
  const size_t bpp = format == 1 ? 3 : 2;
  for (int32_t y = 0; y < frame.height; ++y)
    for (int32_t x = 0; x < frame.width; ++x)
      for (size_t c = 0; c < bpp; ++c) {
        uint8_t v = static_cast<uint8_t>((x * 13 + y * 7 + int(c) * 51 + i * 37) ^ (x * y + i));
        if (x >= 540 && x < 580 && y >= 60 && y < 90) v = static_cast<uint8_t>(200 + c * 17);
        if (x >= 590 && x < 620 && y >= 60 && y < 90) v = 8;
        if (x >= 540 && x < 620 && y >= 100 && y < 130 && ((x + y) & 4)) v = 128;
        const int32_t row = format == 1 ? frame.height - 1 - y : y;  // Bgr24 rows are bottom-up
        frame.bytes[(size_t(row) * size_t(frame.width) + size_t(x)) * bpp + c] = v;
      }
}

TEST_P(SavedBitmapPin, SameFramesGiveTheSameFile) {
  const PinCase& c = GetParam();
  if ((platform::CpuFeatures() & c.level.mask) != c.level.mask) GTEST_SKIP() << "not on this CPU";
  const CpuMaskScope mask(c.level.mask);
  SettingsBlock s = kDefaultSettings;
  s.logoPosX = 820;  // the region 524,48 102 x 96 of 640 x 480 is saved as 123 x 115:
  s.logoPosY = 100;  // both passes of the exporter interpolate
  s.logoSizeX = 160;
  s.logoSizeY = 200;
  s.blackLevel = 16;  // the dark block is keyed
  module().state.activeSettings.Store(s);
  Announce(640, 480, c.format);
  Configure();
  HostFrame frame(640, 480, c.format);
  BroadcastFrame(frame, c.format, 0);
  Settle(frame);
  desktop().Click(IDC_START);
  for (int i = 0; i < 12; ++i) {
    BroadcastFrame(frame, c.format, i);
    ASSERT_EQ(Process(frame), 1);
  }
  desktop().Click(IDC_STOP);
  const std::string target = Target("pinned.bmp");
  Answer(target);
  desktop().Click(IDC_SAVE);
  const BitmapInfo bmp = ReadBitmap(target);
  ASSERT_GT(bmp.fileSize, 58u);
  EXPECT_EQ(Fnv1a64(bmp.bytes), c.digest) << std::hex << Fnv1a64(bmp.bytes);
}

constexpr uint64_t kYuy2Digest = 0x3b7d3b32758daca0ull;
constexpr uint64_t kBgr24Digest = 0x52ec3fbb98932d6aull;
INSTANTIATE_TEST_SUITE_P(
    Builds, SavedBitmapPin,
    ::testing::Values(PinCase{"Yuy2Scalar", 0, kCpuLevels[0], kYuy2Digest},
                      PinCase{"Yuy2Sse2", 0, kCpuLevels[1], kYuy2Digest},
                      PinCase{"Yuy2Avx2", 0, kCpuLevels[2], kYuy2Digest},
                      PinCase{"Bgr24Scalar", 1, kCpuLevels[0], kBgr24Digest},
                      PinCase{"Bgr24Sse2", 1, kCpuLevels[1], kBgr24Digest},
                      PinCase{"Bgr24Avx2", 1, kCpuLevels[2], kBgr24Digest}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vle::test
