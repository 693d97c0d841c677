// What the plug-in does when the machine lets it down: allocations that fail, a settings file that
// cannot be opened or written, a settings folder that cannot be made. In every case the documented
// fallback holds, nothing the user set is lost, and the window and the frames keep working.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "export/template_exporter.h"
#include "frame/frame_adapter.h"
#include "platform/memory.h"
#include "platform/system.h"
#include "support/plugin_session.h"
#include "support/settings_text.h"
#include "ui/control_ids.h"
#include "ui/headless/headless_desktop.h"
#include "ui/settings_dialog.h"
#include "ui/shared_state.h"

namespace vle::test {
namespace {

namespace fs = std::filesystem;

class FaultInjectionTest : public PluginSession {
 protected:
  void TearDown() override {
    platform::FailAllocations(0, 0);
    platform::FailFileWrites(0, 0);
    PluginSession::TearDown();
  }
  // Answers the save chooser with `path`.
  void SaveTo(const fs::path& path) {
    desktop().saveChooser = [path](const ui::SaveFileRequest&, std::string* chosen) {
      *chosen = path.string();
      return true;
    };
    desktop().SendCommand(IDC_SAVE);
  }
};

// ---- The three image buffers of the settings window ----

struct BufferCase {
  const char* name;
  int skip;  // allocations that succeed first: the window makes max, min, template
};

class WindowBufferFailure : public FaultInjectionTest, public ::testing::WithParamInterface<BufferCase> {};

// A pipeline that lacks one buffer cannot capture, build or show a template: the window runs
// without any, frames get their outline and nothing else, and a save writes nothing.
TEST_P(WindowBufferFailure, FramesGetOnlyTheOutlineAndNothingIsSaved) {
  const int32_t w = 64, h = 32;
  Announce(w, h, 1);
  platform::FailAllocations(GetParam().skip, 1);
  Configure();
  platform::FailAllocations(0, 0);
  ASSERT_TRUE(desktop().HasWindow());
  const SharedState& s = module().state;
  EXPECT_EQ(s.maxBuffer, nullptr);
  EXPECT_EQ(s.minBuffer, nullptr);
  EXPECT_EQ(s.templateBuffer, nullptr);

  HostFrame frame(w, h, 1);
  frame.Randomise(7);
  Settle(frame);
  FrameAdapter reference;
  reference.SetFormat(w, h, 1);
  const int32_t position[2] = {kDefaultSettings.logoPosX, kDefaultSettings.logoPosY};
  const int32_t size[2] = {kDefaultSettings.logoSizeX, kDefaultSettings.logoSizeY};
  auto outlined = frame.bytes;
  reference.DrawFrameRect(outlined.data(), reference.ComputeRegion(position, size), -2, 0xC0C0C0, 100);

  desktop().Click(IDC_START);
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(Process(frame), 1);
    EXPECT_TRUE(frame.bytes == outlined) << "frame " << i;
  }
  desktop().Click(IDC_STOP);
  ASSERT_EQ(Process(frame), 1);
  EXPECT_TRUE(frame.bytes == outlined);
  desktop().Click(IDC_CLEAR);
  const fs::path target = fs::path(settingsDir_) / "logo.bmp";
  SaveTo(target);
  EXPECT_FALSE(fs::exists(target));

  // The next window has its buffers again.
  desktop().SendClose();
  Configure();
  ASSERT_NE(s.templateBuffer, nullptr);
  EXPECT_NE(s.maxBuffer->bits, nullptr);
  EXPECT_NE(s.minBuffer->bits, nullptr);
  EXPECT_NE(s.templateBuffer->bits, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Each, WindowBufferFailure,
                         ::testing::Values(BufferCase{"Max", 0}, BufferCase{"Min", 1},
                                           BufferCase{"Template", 2}),
                         [](const auto& info) { return std::string(info.param.name); });

// Start and Stop before any frame arrived: the template held is the one of no frames at all (every
// position steady, so all of it the darkest observation: white), never the heap's leftovers.
TEST_F(FaultInjectionTest, ASaveBeforeAnyFrameWritesTheTemplateOfNoFrames) {
  Announce(64, 48, 0);
  Configure();
  desktop().Click(IDC_START);
  desktop().Click(IDC_STOP);
  ASSERT_TRUE(desktop().Enabled(IDC_SAVE));
  const fs::path target = fs::path(settingsDir_) / "early.bmp";
  SaveTo(target);
  const std::string bytes = ReadFile(target);
  ASSERT_EQ(bytes.size(), 58u + 464u * 115u);  // 154 x 115, rows padded to 464 bytes
  for (std::size_t row = 0; row < 115; ++row)
    for (std::size_t i = 0; i < 154 * 3; ++i)
      ASSERT_EQ(uint8_t(bytes[58 + row * 464 + i]), 255) << "row " << row << " byte " << i;
}

// ---- The Save command's allocations ----

// A settings window of its own with a fresh exporter, so that the Save command's allocations come
// in a known order: export buffer, the exporter's line buffer, column table and row table, then
// the bitmap writer's scratch area.
struct SaveWorld {
  SaveWorld() {
    state.currentFormat.width.store(96);
    state.currentFormat.height.store(72);
    adapter.SetFormat(96, 72, 0);
    exporter.SetSlack(25, 25);
    SettingsBlock s = kDefaultSettings;
    s.logoPosX = 100;
    s.logoPosY = 50;
    s.logoSizeX = 500;
    s.logoSizeY = 400;
    state.activeSettings.Store(s);
    dialog.Open(nullptr);
    desktop.Click(IDC_START);
    desktop.Click(IDC_STOP);
    // A template with a picture in it: the key colour on the left, a gradient elsewhere.
    ImageBuffer& t = *state.templateBuffer;
    const uint32_t key = KeyPixel(s.colorKey);
    for (int32_t y = 0; y < t.allocHeight; ++y)
      for (int32_t x = 0; x < t.allocWidth; ++x)
        *t.PixelAt(x, y) = x < 30 ? key : 0xFF000000u | uint32_t(x * 2) << 16 | uint32_t(y * 3) << 8 | 77;
  }
  ~SaveWorld() { dialog.Destroy(); }
  bool Save(const fs::path& path) {
    desktop.saveChooser = [path](const ui::SaveFileRequest&, std::string* chosen) {
      *chosen = path.string();
      return true;
    };
    return desktop.Click(IDC_SAVE);
  }

  SharedState state;
  FrameAdapter adapter;
  TemplateExporter exporter;
  ui::headless::HeadlessDesktop desktop;
  ui::SettingsDialog dialog{state, adapter, exporter, desktop};
};

// Whichever allocation of a save fails, counted in the order the save makes them until one is
// left untouched, no file is written at all (not a bitmap of nothing but key colour); the template
// stays, and the next save writes what an undisturbed one writes.
TEST_F(FaultInjectionTest, EveryAllocationOfASaveMayFail) {
  const fs::path expectedPath = fs::path(settingsDir_) / "expected.bmp";
  {
    SaveWorld undisturbed;
    ASSERT_TRUE(undisturbed.Save(expectedPath));
  }
  const std::string expected = ReadFile(expectedPath);
  ASSERT_EQ(expected.size(), 58u + 1152u * 230u);  // 384 x 230 pixels

  int failed = 0;
  for (int skip = 0; skip < 64; ++skip) {
    SaveWorld world;
    const fs::path target = fs::path(settingsDir_) / "logo.bmp";
    platform::FailAllocations(skip, 1);
    ASSERT_TRUE(world.Save(target));
    // The injected failure still waiting means the save made fewer than skip + 1 allocations.
    void* probe = platform::AlignedAlloc(16);
    platform::FailAllocations(0, 0);
    if (probe == nullptr) {
      EXPECT_TRUE(fs::exists(target)) << "a save without a failure wrote nothing";
      fs::remove(target);
      break;
    }
    platform::AlignedFree(probe);
    ++failed;
    EXPECT_FALSE(fs::exists(target)) << "allocation " << skip;
    EXPECT_TRUE(world.desktop.HasWindow());
    EXPECT_EQ(world.dialog.captureState(), ui::CaptureState::kHolding);
    ASSERT_TRUE(world.Save(target));
    EXPECT_TRUE(ReadFile(target) == expected) << "allocation " << skip;
    fs::remove(target);
  }
  // The picture, the exporter's tables and line buffer, and the bitmap's scratch area at least.
  EXPECT_GE(failed, 4);
  EXPECT_LT(failed, 64);
}

// ---- The settings file ----

struct FileCase {
  const char* name;
  // Puts the obstacle in place; `file` is the settings file, which holds the previous settings.
  void (*obstruct)(const fs::path& file);
  int failingWrite;  // the write of the unload that fails (counted from 0), -1 for none
  bool read;         // the previous file is read at load
  bool saved;        // the first unload writes the file in spite of the obstacle
};

void FileIsAFolder(const fs::path& file) {
  fs::remove(file);
  fs::create_directory(file);
}
// Saves once all went through one temporary name; each now makes a name of its own.
void FolderAtTheOldTemporaryName(const fs::path& file) { fs::create_directory(file.string() + ".tmp"); }
void FolderIsAFile(const fs::path& file) {
  fs::remove_all(file.parent_path());
  std::ofstream(file.parent_path(), std::ios::binary) << "not a folder";
}
void Nothing(const fs::path&) {}

// Takes every obstacle away again and makes the folder, as the user would after fixing it.
void Clear(const fs::path& file) {
  std::error_code ec;
  if (fs::is_directory(file)) fs::remove_all(file, ec);
  fs::remove_all(file.string() + ".tmp", ec);
  if (fs::exists(file.parent_path()) && !fs::is_directory(file.parent_path())) fs::remove(file.parent_path(), ec);
  fs::create_directories(file.parent_path(), ec);
}

class SettingsFileFailure : public FaultInjectionTest, public ::testing::WithParamInterface<FileCase> {
 protected:
  void TearDown() override {
    if (!file_.empty()) Clear(file_);
    FaultInjectionTest::TearDown();
  }
  // The file as an unload must write it.
  std::string Expected() {
    return test::SettingsFileText(settings(), module().dialog.dlgWndPosX, module().dialog.dlgWndPosY);
  }
  fs::path file_;
};

TEST_P(SettingsFileFailure, DefaultsOrThePreviousFileAndNothingLost) {
  const FileCase& c = GetParam();
  const PluginDescriptor* d = Quorsana_Plugin_PR();
  d->load();  // tells where the file lives
  file_ = module().ini.fullPath();
  ASSERT_FALSE(file_.empty());
  const std::string previous = "[PluginSettings]\r\nDlgWndPosX=40\r\nDlgWndPosY=30\r\nThreshold=77\r\n";
  std::ofstream(file_, std::ios::binary) << previous;
  const bool regularBefore = [&] {
    c.obstruct(file_);
    return fs::is_regular_file(file_);
  }();

  module().state.activeSettings.Store(kDefaultSettings);
  module().dialog.dlgWndPosX = module().dialog.dlgWndPosY = 0;
  d->load();
  EXPECT_EQ(settings().threshold, c.read ? 77 : 50);
  EXPECT_EQ(module().dialog.dlgWndPosX, c.read ? 40 : -100);
  EXPECT_EQ(module().dialog.dlgWndPosY, c.read ? 30 : -100);

  // The window and the frames work whatever became of the file.
  Announce(64, 32, 1);
  Configure();
  desktop().ScrollTo(IDC_THRESHOLD_SPIN, 33);
  desktop().Click(IDC_START);
  HostFrame frame(64, 32, 1);
  frame.Randomise(3);
  Settle(frame);
  EXPECT_EQ(Process(frame), 1);
  desktop().Click(IDC_STOP);
  const fs::path bitmap = fs::path(settingsDir_) / "logo.bmp";
  SaveTo(bitmap);
  EXPECT_TRUE(fs::exists(bitmap));

  if (c.failingWrite >= 0) platform::FailFileWrites(c.failingWrite, 1);
  d->unload();
  platform::FailFileWrites(0, 0);
  if (c.saved) {
    EXPECT_EQ(ReadFile(file_), Expected());
  } else if (regularBefore) {
    EXPECT_EQ(ReadFile(file_), previous) << "the previous file was damaged";
  }
  if (fs::is_directory(file_.parent_path())) {
    for (const fs::directory_entry& entry : fs::directory_iterator(file_.parent_path())) {
      EXPECT_FALSE(entry.is_regular_file() && entry.path().filename().string().find(".tmp") != std::string::npos)
          << "a temporary file was left behind: " << entry.path();
    }
  }

  // Once the obstacle is gone, the next unload writes every edit: nothing was lost.
  Clear(file_);
  d->unload();
  EXPECT_EQ(ReadFile(file_), Expected());
  EXPECT_EQ(settings().threshold, 33);
}

INSTANTIATE_TEST_SUITE_P(
    Each, SettingsFileFailure,
    ::testing::Values(FileCase{"FileIsAFolder", FileIsAFolder, -1, false, false},
                      FileCase{"FolderAtTheOldTemporaryName", FolderAtTheOldTemporaryName, -1, true, true},
                      FileCase{"FolderIsAFile", FolderIsAFile, -1, false, false},
                      FileCase{"FirstWriteFails", Nothing, 0, true, false},
                      FileCase{"LastWriteFails", Nothing, 10, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A settings folder whose parent is missing (an instance folder that was never set up) is not
// made: the settings keep their defaults, nothing is written, and no folder appears.
TEST_F(FaultInjectionTest, AFolderThatCannotBeMadeMeansDefaultsAndNoFile) {
  const PluginDescriptor* d = Quorsana_Plugin_PR();
  d->load();
  const fs::path file = module().ini.fullPath();
  const fs::path base = file.parent_path().parent_path();
  // Only the user's folder is ours to take away; the host's folder is the test program's.
  if (base.string().rfind(settingsDir_, 0) != 0) GTEST_SKIP() << "the settings live beside the host";
  std::ofstream(file, std::ios::binary) << "[PluginSettings]\r\nThreshold=77\r\n";
  fs::remove_all(base);

  d->load();
  EXPECT_EQ(settings().threshold, 50);
  Announce(32, 16, 0);
  Configure();
  desktop().ScrollTo(IDC_THRESHOLD_SPIN, 33);
  d->unload();
  EXPECT_FALSE(fs::exists(base));
  EXPECT_EQ(settings().threshold, 33);
}

}  // namespace
}  // namespace vle::test
