// The modal windows of the plug-in: about box, colour chooser, save chooser and the processor
// message. Each is answered from inside its modal loop by a thread timer, with a fallback close.
#include <gtest/gtest.h>

#include <windows.h>

#include <colordlg.h>
#include <dlgs.h>

#include <cstdio>
#include <cwchar>
#include <iterator>
#include <memory>
#include <string>
#include <utility>

#include "ui/control_ids.h"
#include "win32ui/plugin_host.h"

namespace vle::wintest {
namespace {

class ModalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveSettingsFile();
    host_ = std::make_unique<PluginHost>();
    ASSERT_TRUE(host_->loaded());
    host_->Load();
  }
  void TearDown() override { host_.reset(); }

  HWND Open() {
    host_->SetFormat(720, 576, 0);
    host_->Configure();
    return host_->SettingsWindow();
  }
  // Clicks `id` of the settings window and answers the modal window it opens.
  void ClickAndAnswer(int id, std::function<void(HWND)> answer) {
    ModalAnswer modal(std::move(answer));
    host_->Click(id);
    EXPECT_TRUE(modal.answered()) << "no modal window opened for " << id;
    EXPECT_FALSE(modal.fellBack()) << "the modal window of " << id << " had to be closed by force";
  }
  uint32_t KeyButtonColor() {
    Picture p = Capture(GetDlgItem(host_->SettingsWindow(), IDC_COLOR_KEY));
    return p.pixels.empty() ? 0xFFFFFFFF : p.at(p.width / 2, p.height / 2);
  }

  std::unique_ptr<PluginHost> host_;
};

TEST_F(ModalTest, AboutBoxShowsVersionNameAndPictureAndClosesWithOk) {
  HWND settings = Open();
  ASSERT_NE(settings, nullptr);
  bool checked = false;
  ClickAndAnswer(IDC_ABOUT, [&](HWND about) {
    EXPECT_EQ(GetWindow(about, GW_OWNER), settings);
    EXPECT_EQ(TextOf(about), L"");
    EXPECT_FALSE(IsWindowEnabled(settings)) << "the about box is modal to the settings window";
    EXPECT_NE(ChildWithText(about, L"Ver.1.02"), nullptr);
    EXPECT_NE(ChildWithText(about, L"Vorlane_LogoExtractor плагин"), nullptr);
    HWND ok = GetDlgItem(about, IDOK);
    EXPECT_EQ(TextOf(ok), L"OK");
    HWND picture = nullptr;
    for (HWND c : Children(about)) {
      if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP && ClassOf(c) == L"Static") picture = c;
    }
    ASSERT_NE(picture, nullptr);
    auto shown = reinterpret_cast<HBITMAP>(SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
    BITMAP b{};
    ASSERT_NE(GetObjectW(shown, sizeof b, &b), 0);
    EXPECT_EQ(b.bmWidth, 32);
    EXPECT_EQ(b.bmHeight, 32);
    SaveScreenshot(about, L"about-box");
    checked = true;
    PostClick(about, IDOK);
  });
  EXPECT_TRUE(checked);
  EXPECT_TRUE(IsWindowEnabled(settings));
  EXPECT_EQ(ThreadWindows().size(), 2u) << "only the host and the settings window are left";
}

// The picture is stored as a 32 x 32 bitmap of 24 bits per pixel.
TEST(PluginResources, AboutPictureIs32By32With24Bits) {
  PluginHost host;
  ASSERT_TRUE(host.loaded());
  HRSRC found = FindResourceW(host.module(), MAKEINTRESOURCEW(IDB_ABOUT), MAKEINTRESOURCEW(2));  // RT_BITMAP
  ASSERT_NE(found, nullptr);
  const auto* info = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(host.module(), found)));
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->biWidth, 32);
  EXPECT_EQ(info->biHeight, 32);
  EXPECT_EQ(info->biBitCount, 24);
  EXPECT_EQ(info->biCompression, DWORD(BI_RGB));
}

// What the system's file properties show agrees with the project's version: the four fixed
// numbers, the file version text, and the product version text "minor.patch" (two digits) that the
// About box shows as well.
TEST(PluginResources, VersionMatchesTheProject) {
  unsigned v[4] = {};
  ASSERT_EQ(std::sscanf(VLE_PROJECT_VERSION, "%u.%u.%u.%u", &v[0], &v[1], &v[2], &v[3]), 4);
  wchar_t productText[16];
  swprintf(productText, 16, L"%u.%02u", v[1], v[3]);
  const std::wstring fileText(std::begin(VLE_PROJECT_VERSION_W), std::end(VLE_PROJECT_VERSION_W) - 1);
  const std::wstring dll = ProgramFolder() + L"Vorlane_LogoExtractor.dll";
  DWORD ignored = 0;
  std::vector<uint8_t> block(GetFileVersionInfoSizeW(dll.c_str(), &ignored));
  ASSERT_FALSE(block.empty());
  ASSERT_TRUE(GetFileVersionInfoW(dll.c_str(), 0, DWORD(block.size()), block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, (v[0] << 16) | v[1]);
  EXPECT_EQ(fixed->dwFileVersionLS, (v[2] << 16) | v[3]);
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
  struct Translation {
    WORD language, codePage;
  }* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                             &length));
  wchar_t key[64];
  swprintf(key, 64, L"\\StringFileInfo\\%04x%04x\\", translation->language, translation->codePage);
  for (const auto& [name, value] : {std::pair<const wchar_t*, std::wstring>{L"ProductVersion", productText},
                                    {L"FileVersion", fileText}}) {
    wchar_t* text = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), (std::wstring(key) + name).c_str(), reinterpret_cast<void**>(&text),
                               &length)) << name;
    EXPECT_EQ(std::wstring(text), value);
  }
}

struct ColorCase {
  const char* name;
  int red, green, blue;
};
void PrintTo(const ColorCase& c, std::ostream* out) { *out << c.name; }

class ColorChooserTest : public ModalTest, public testing::WithParamInterface<ColorCase> {};

std::wstring EditText(HWND dialog, int id) { return TextOf(GetDlgItem(dialog, id)); }

TEST_P(ColorChooserTest, ChosenColorPaintsTheButtonAndIsSaved) {
  const ColorCase& c = GetParam();
  HWND settings = Open();
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(KeyButtonColor(), Rgb(0, 128, 255));

  ClickAndAnswer(IDC_COLOR_KEY, [&](HWND chooser) {
    EXPECT_EQ(GetWindow(chooser, GW_OWNER), settings);
    // Opened in full, with the current key colour preselected.
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(chooser, COLOR_RED)));
    EXPECT_EQ(EditText(chooser, COLOR_RED), L"0");
    EXPECT_EQ(EditText(chooser, COLOR_GREEN), L"128");
    EXPECT_EQ(EditText(chooser, COLOR_BLUE), L"255");
    SetWindowTextW(GetDlgItem(chooser, COLOR_RED), std::to_wstring(c.red).c_str());
    SetWindowTextW(GetDlgItem(chooser, COLOR_GREEN), std::to_wstring(c.green).c_str());
    SetWindowTextW(GetDlgItem(chooser, COLOR_BLUE), std::to_wstring(c.blue).c_str());
    PostClick(chooser, IDOK);
  });
  EXPECT_EQ(KeyButtonColor(), Rgb(c.red, c.green, c.blue));

  // The next chooser starts from the new colour; cancelling it changes nothing.
  ClickAndAnswer(IDC_COLOR_KEY, [&](HWND chooser) {
    EXPECT_EQ(EditText(chooser, COLOR_RED), std::to_wstring(c.red));
    EXPECT_EQ(EditText(chooser, COLOR_GREEN), std::to_wstring(c.green));
    EXPECT_EQ(EditText(chooser, COLOR_BLUE), std::to_wstring(c.blue));
    SetWindowTextW(GetDlgItem(chooser, COLOR_RED), L"17");
    PostClick(chooser, IDCANCEL);
  });
  EXPECT_EQ(KeyButtonColor(), Rgb(c.red, c.green, c.blue));

  host_->Click(IDC_OK);
  host_->Unload();
  EXPECT_EQ(uint32_t(SettingValue("ColorKey")), uint32_t(c.blue << 16 | c.green << 8 | c.red));
}

INSTANTIATE_TEST_SUITE_P(Colors, ColorChooserTest,
                         testing::Values(ColorCase{"Crimson", 200, 30, 60}, ColorCase{"Black", 0, 0, 0}),
                         [](const testing::TestParamInfo<ColorCase>& info) { return info.param.name; });

// A frame of the announced PAL size, the same every time: a fixed picture holds still, so after
// capture the template is the picture itself.
std::vector<uint8_t> StillYuy2Frame(int width, int height) {
  std::vector<uint8_t> bytes(size_t(width) * size_t(height) * 2);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = &bytes[(size_t(y) * size_t(width) + size_t(x)) * 2];
      p[0] = uint8_t(16 + (x + y) % 200);
      p[1] = uint8_t(x % 2 == 0 ? 90 : 160);
    }
  }
  return bytes;
}

class SaveChooserTest : public ModalTest {
 protected:
  void SetUp() override {
    ModalTest::SetUp();
    folder_ = ProgramFolder() + L"saved\\";
    CreateDirectoryW(folder_.c_str(), nullptr);
    for (const std::wstring& name : Files()) DeleteFileW((folder_ + name).c_str());
  }
  // Opens the window, captures a few frames and stops: the template is held and can be saved.
  void HoldTemplate() {
    ASSERT_NE(Open(), nullptr);
    host_->Click(IDC_START);
    std::vector<uint8_t> frame = StillYuy2Frame(720, 576);
    int32_t size[2] = {720, 576};
    for (int i = 0; i < 30; ++i) {
      VideoFrame record{};
      record.pixels = frame.data();
      record.frameSize = size;
      host_->plugin().processFrame(&record);
    }
    host_->Click(IDC_STOP);
    ASSERT_TRUE(host_->Enabled(IDC_SAVE));
  }
  std::vector<std::wstring> Files() {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder_ + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
  }
  // The chooser's file name box: an edit field or the edit of a combo box, by dialog style.
  static HWND FileNameBox(HWND chooser) {
    HWND box = GetDlgItem(chooser, cmb13);
    return box != nullptr ? box : GetDlgItem(chooser, edt1);
  }

  std::wstring folder_;
};

uint32_t Le32(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
         uint32_t(uint8_t(b[at + 3])) << 24;
}

TEST_F(SaveChooserTest, WritesTheTemplateBitmapUnderTheChosenRussianName) {
  HoldTemplate();
  HWND settings = host_->SettingsWindow();
  ClickAndAnswer(IDC_SAVE, [&](HWND chooser) {
    EXPECT_EQ(GetWindow(chooser, GW_OWNER), settings);
    HWND types = GetDlgItem(chooser, cmb1);
    EXPECT_EQ(TextOf(types), L"Файлы логотипа (*.bmp)");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(chooser, chx1))) << "no read-only check box";
    // No extension typed: the chooser adds "bmp".
    SetWindowTextW(FileNameBox(chooser), (folder_ + L"логотип").c_str());
    PostClick(chooser, IDOK);
  });
  const std::wstring saved = folder_ + L"логотип.bmp";
  ASSERT_EQ(Files(), std::vector<std::wstring>{L"логотип.bmp"});
  const std::string bitmap = ReadFile(saved);
  // Default region 200 x 200 per mille, at the 768 x 576 reference size: 154 x 115 pixels.
  const uint32_t rowBytes = (154 * 3 + 3) & ~3u;
  ASSERT_EQ(bitmap.size(), 58 + rowBytes * 115);
  EXPECT_EQ(bitmap.substr(0, 2), "BM");
  EXPECT_EQ(Le32(bitmap, 2), bitmap.size());
  EXPECT_EQ(Le32(bitmap, 10), 58u);
  EXPECT_EQ(Le32(bitmap, 18), 154u);
  EXPECT_EQ(Le32(bitmap, 22), 115u);
  EXPECT_EQ(uint8_t(bitmap[28]), 24);

  // The next chooser opens with the last path filled in: accepted as it is, it names the same
  // file again.
  ASSERT_TRUE(DeleteFileW(saved.c_str()));
  ClickAndAnswer(IDC_SAVE, [&](HWND chooser) {
    EXPECT_EQ(TextOf(FileNameBox(chooser)), L"логотип.bmp");
    PostClick(chooser, IDOK);
  });
  EXPECT_EQ(ReadFile(saved), bitmap);

  // An existing file: the chooser asks before it is replaced; "No", then cancelling the chooser,
  // leaves it alone.
  ModalAnswer overwrite({[&](HWND chooser) { PostClick(chooser, IDOK); },
                         [&](HWND question) {
                           HWND chooser = GetWindow(question, GW_OWNER);
                           EXPECT_NE(chooser, host_->SettingsWindow());
                           PostClick(question, IDNO);
                           PostClick(chooser, IDCANCEL);
                         }});
  host_->Click(IDC_SAVE);
  EXPECT_TRUE(overwrite.answered());
  EXPECT_FALSE(overwrite.fellBack());
  EXPECT_EQ(Files(), std::vector<std::wstring>{L"логотип.bmp"});
  EXPECT_EQ(ReadFile(saved), bitmap);
}

// The chosen file is written through the ANSI file functions: a name that the ANSI code page
// cannot spell (a Latin accent under the Cyrillic code page) is refused rather than written to a mangled
// name.
TEST_F(SaveChooserTest, NameOutsideTheAnsiCodePageWritesNothing) {
  HoldTemplate();
  ClickAndAnswer(IDC_SAVE, [&](HWND chooser) {
    SetWindowTextW(FileNameBox(chooser), (folder_ + L"café.bmp").c_str());
    PostClick(chooser, IDOK);
  });
  EXPECT_TRUE(Files().empty());
  ASSERT_NE(host_->SettingsWindow(), nullptr);
  EXPECT_TRUE(host_->Enabled(IDC_SAVE));
}

// The chooser belongs to the settings window: a host that unloads the plug-in while the chooser
// is open takes the chooser down with the window, and nothing is written from buffers that are
// gone.
TEST_F(SaveChooserTest, UnloadWhileTheChooserIsOpenWritesNothing) {
  HoldTemplate();
  ClickAndAnswer(IDC_SAVE, [&](HWND chooser) {
    SetWindowTextW(FileNameBox(chooser), (folder_ + L"late.bmp").c_str());
    host_->Unload();
    EXPECT_FALSE(IsWindow(chooser));
  });
  EXPECT_EQ(host_->SettingsWindow(), nullptr);
  EXPECT_TRUE(Files().empty());
}

TEST_F(ModalTest, OldProcessorGetsTheMessageAndNoWindow) {
  host_->SetFormat(720, 576, 0, 2);
  bool checked = false;
  ModalAnswer modal([&](HWND box) {
    EXPECT_EQ(TextOf(box), L"Vorlane_LogoExtractor");
    EXPECT_NE(ChildWithText(box, L"      Настройки плагина недоступны. \nТребуется процессор Pentium III или старше."),
              nullptr);
    int icons = 0, buttons = 0;
    for (HWND c : Children(box)) {
      if (!IsWindowVisible(c)) continue;
      icons += ClassOf(c) == L"Static" && (GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
      buttons += ClassOf(c) == L"Button";
    }
    EXPECT_EQ(icons, 1);
    EXPECT_EQ(buttons, 1);
    SaveScreenshot(box, L"processor-message");
    checked = true;
    PostClick(box, IDOK);
  });
  host_->Configure();
  EXPECT_TRUE(modal.answered());
  EXPECT_FALSE(modal.fellBack());
  EXPECT_TRUE(checked);
  EXPECT_EQ(host_->SettingsWindow(), nullptr);
}

}  // namespace
}  // namespace vle::wintest
