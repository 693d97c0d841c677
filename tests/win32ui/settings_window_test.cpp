// The real settings window, opened by the DLL in a host window and worked as a user works it.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <set>

#include "ui/control_ids.h"
#include "win32ui/plugin_host.h"

namespace vle::wintest {
namespace {

class SettingsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveSettingsFile();
    host_ = std::make_unique<PluginHost>();
    ASSERT_TRUE(host_->loaded());
  }
  void TearDown() override { host_.reset(); }

  // Loads the settings file as it is, announces a PAL frame and opens the window.
  HWND Open() {
    host_->Load();
    host_->SetFormat(720, 576, 0);
    host_->Configure();
    return host_->SettingsWindow();
  }
  HWND Item(int id) { return GetDlgItem(host_->SettingsWindow(), id); }
  // What an up-down control reports for its thumb position, as the real control sends it.
  void Scroll(int upDownId, int position) {
    HWND upDown = Item(upDownId);
    SendMessageW(upDown, UDM_SETPOS, 0, MAKELPARAM(position, 0));
    const UINT message = (GetWindowLongW(upDown, GWL_STYLE) & UDS_HORZ) ? WM_HSCROLL : WM_VSCROLL;
    SendMessageW(host_->SettingsWindow(), message, MAKEWPARAM(SB_THUMBPOSITION, position),
                 reinterpret_cast<LPARAM>(upDown));
    SendMessageW(host_->SettingsWindow(), message, MAKEWPARAM(SB_ENDSCROLL, position),
                 reinterpret_cast<LPARAM>(upDown));
    Pump(30);
  }
  bool Closed() { return host_->SettingsWindow() == nullptr; }

  std::unique_ptr<PluginHost> host_;
};

// Template 5000 as the system built it: every control in template order, with its class, id,
// caption, rectangle (dialog units) and the style bits that make its kind.
struct TemplateControl {
  const wchar_t* cls;
  int id;
  const wchar_t* text;  // edits: what the default settings show
  int x, y, width, height;
  DWORD style, mask;
  // An edit box that its up-down control narrows, or that up-down control, which places itself
  // against the edit's right edge.
  bool alignedByUpDown;
};

constexpr DWORD kButtonKind = BS_TYPEMASK | BS_LEFTTEXT | BS_CENTER;
constexpr DWORD kStaticKind = SS_TYPEMASK | SS_SUNKEN;
constexpr DWORD kEditKind = ES_READONLY | ES_AUTOHSCROLL | ES_MULTILINE;
constexpr DWORD kUpDownKind = UDS_ALIGNRIGHT | UDS_ALIGNLEFT | UDS_ARROWKEYS | UDS_HORZ | UDS_SETBUDDYINT | UDS_WRAP;
constexpr DWORD kEdit = ES_READONLY | ES_AUTOHSCROLL;
constexpr DWORD kUpDown = UDS_ALIGNRIGHT | UDS_ARROWKEYS;

const TemplateControl kSettingsTemplate[] = {
    {L"Button", IDC_OK, L"ОК", 111, 117, 37, 13, BS_PUSHBUTTON, kButtonKind, false},
    {L"Button", IDC_CANCEL, L"Отмена", 151, 117, 37, 13, BS_DEFPUSHBUTTON, kButtonKind, false},
    {L"Button", IDC_ABOUT, L"О плагине", 1, 117, 43, 13, BS_PUSHBUTTON, kButtonKind, false},
    {L"Static", -1, L"Прозрачный цвет:", 10, 14, 62, 8, SS_LEFT, kStaticKind, false},
    {L"Button", IDC_COLOR_KEY, L"Key", 74, 12, 25, 13, BS_OWNERDRAW, kButtonKind, false},  // never drawn
    {L"Static", -1, L"Порог:", 112, 14, 24, 8, SS_CENTER, kStaticKind, false},
    {L"Edit", IDC_THRESHOLD_EDIT, L"50", 139, 12, 33, 12, kEdit, kEditKind, true},
    {UPDOWN_CLASSW, IDC_THRESHOLD_SPIN, L"", 163, 11, 11, 14, kUpDown, kUpDownKind, true},
    {L"Static", -1, L"Уровень чёрного:", 74, 31, 61, 8, SS_CENTER, kStaticKind, false},
    {L"Edit", IDC_BLACK_EDIT, L"0", 139, 29, 33, 12, kEdit, kEditKind, true},
    {UPDOWN_CLASSW, IDC_BLACK_SPIN, L"", 163, 28, 11, 14, kUpDown, kUpDownKind, true},
    {L"Button", IDC_INVERSE, L"Инверсия:", 6, 30, 51, 10, BS_AUTOCHECKBOX | BS_LEFTTEXT | BS_RIGHT,
     kButtonKind, false},
    {L"Static", -1, L"Позиция X:", 9, 59, 39, 8, SS_CENTER, kStaticKind, false},
    {L"Edit", IDC_POSX_EDIT, L"2.0", 51, 57, 33, 12, kEdit, kEditKind, true},
    {UPDOWN_CLASSW, IDC_POSX_SPIN, L"", 75, 56, 11, 14, kUpDown | UDS_HORZ, kUpDownKind, true},
    {L"Static", -1, L"%", 86, 59, 8, 8, SS_CENTER, kStaticKind, false},
    {L"Static", -1, L"Размер X:", 101, 59, 36, 8, SS_CENTER, kStaticKind, false},
    {L"Edit", IDC_SIZEX_EDIT, L"20.0", 139, 57, 33, 12, kEdit, kEditKind, true},
    {UPDOWN_CLASSW, IDC_SIZEX_SPIN, L"", 163, 56, 11, 14, kUpDown | UDS_HORZ, kUpDownKind, true},
    {L"Static", -1, L"%", 174, 59, 8, 8, SS_CENTER, kStaticKind, false},
    {L"Static", -1, L"Позиция Y:", 9, 76, 39, 8, SS_CENTER, kStaticKind, false},
    {L"Edit", IDC_POSY_EDIT, L"2.0", 51, 74, 33, 12, kEdit, kEditKind, true},
    {UPDOWN_CLASSW, IDC_POSY_SPIN, L"", 75, 73, 11, 14, kUpDown, kUpDownKind, true},
    {L"Static", -1, L"%", 86, 76, 8, 8, SS_CENTER, kStaticKind, false},
    {L"Static", -1, L"Размер Y:", 101, 76, 36, 8, SS_CENTER, kStaticKind, false},
    {L"Edit", IDC_SIZEY_EDIT, L"20.0", 139, 74, 33, 12, kEdit, kEditKind, true},
    {UPDOWN_CLASSW, IDC_SIZEY_SPIN, L"", 163, 73, 11, 14, kUpDown, kUpDownKind, true},
    {L"Static", -1, L"%", 174, 76, 8, 8, SS_CENTER, kStaticKind, false},
    {L"Button", IDC_START, L"Старт", 5, 95, 43, 13, BS_PUSHBUTTON, kButtonKind, false},
    {L"Button", IDC_STOP, L"Стоп", 51, 95, 43, 13, BS_PUSHBUTTON, kButtonKind, false},
    {L"Button", IDC_CLEAR, L"Очистить", 97, 95, 43, 13, BS_PUSHBUTTON, kButtonKind, false},
    {L"Button", IDC_SAVE, L"Сохранить", 143, 95, 43, 13, BS_PUSHBUTTON, kButtonKind, false},
    {L"Button", -1, L"Фон", 5, 3, 181, 43, BS_GROUPBOX, kButtonKind, false},
    {L"Button", -1, L"Логотип", 5, 47, 181, 44, BS_GROUPBOX, kButtonKind, false},
    {L"Static", -1, L"", 0, 0, 192, 114, SS_ETCHEDFRAME | SS_SUNKEN, kStaticKind, false},
};

// Each side scaled on its own, as the dialog manager places a control.
RECT PlacedSize(HWND dialog, int x, int y, int width, int height) {
  RECT origin = DialogUnitsToPixels(dialog, x, y, 0, 0);
  RECT extent = DialogUnitsToPixels(dialog, width, height, 0, 0);
  return RECT{origin.left, origin.top, origin.left + extent.left, origin.top + extent.top};
}

TEST_F(SettingsWindowTest, ShowsTemplate5000WithRussianCaptionsInPlace) {
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);
  SaveScreenshot(dialog, L"settings-window");

  const LONG style = GetWindowLongW(dialog, GWL_STYLE);
  EXPECT_EQ(style & (WS_CAPTION | DS_MODALFRAME | WS_SYSMENU | WS_CHILD), WS_CAPTION | DS_MODALFRAME);
  EXPECT_TRUE(style & WS_VISIBLE);
  EXPECT_TRUE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
  EXPECT_EQ(GetWindow(dialog, GW_OWNER), host_->hostWindow());
  RECT client{};
  GetClientRect(dialog, &client);
  const RECT size = PlacedSize(dialog, 0, 0, 192, 132);
  EXPECT_EQ(client.right, size.right);
  EXPECT_EQ(client.bottom, size.bottom);

  const std::vector<HWND> children = Children(dialog);
  ASSERT_EQ(children.size(), std::size(kSettingsTemplate));
  for (size_t i = 0; i < children.size(); ++i) {
    const TemplateControl& t = kSettingsTemplate[i];
    HWND c = children[i];
    SCOPED_TRACE(testing::Message() << "control " << i << " (id " << t.id << ")");
    EXPECT_EQ(_wcsicmp(ClassOf(c).c_str(), t.cls), 0);
    EXPECT_EQ(GetDlgCtrlID(c) & 0xFFFF, t.id & 0xFFFF);
    EXPECT_EQ(TextOf(c), t.text);
    const DWORD controlStyle = DWORD(GetWindowLongW(c, GWL_STYLE));
    EXPECT_EQ(controlStyle & t.mask, t.style);
    EXPECT_EQ(controlStyle & WS_TABSTOP, 0u) << "no control of the settings window is a tab stop";
    EXPECT_TRUE(controlStyle & WS_VISIBLE);

    if (ClassOf(c) == L"Edit") {
      // The dialog manager may draw the border as a sunken client edge instead.
      EXPECT_TRUE((controlStyle & WS_BORDER) || (GetWindowLongW(c, GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
    }

    const RECT expected = PlacedSize(dialog, t.x, t.y, t.width, t.height);
    const RECT actual = ClientRectOf(c);
    if (t.alignedByUpDown && ClassOf(c) != L"Edit") continue;
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.top, expected.top);
    EXPECT_EQ(actual.bottom, expected.bottom);
    if (!t.alignedByUpDown) {
      EXPECT_EQ(actual.right, expected.right);
    }
  }
}

// The up-down controls sit against the right edge of their edit box, which they narrow: the pair
// fills the edit's template width, at the edit's height.
TEST_F(SettingsWindowTest, UpDownControlsAreAttachedToTheirEditBoxes) {
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);
  struct Pair {
    int upDown, edit, upper;
    bool accelerated;
  };
  for (const Pair& p : {Pair{IDC_THRESHOLD_SPIN, IDC_THRESHOLD_EDIT, 255, false},
                        Pair{IDC_BLACK_SPIN, IDC_BLACK_EDIT, 255, false},
                        Pair{IDC_POSX_SPIN, IDC_POSX_EDIT, 1000, true},
                        Pair{IDC_POSY_SPIN, IDC_POSY_EDIT, 1000, true},
                        Pair{IDC_SIZEX_SPIN, IDC_SIZEX_EDIT, 1000, true},
                        Pair{IDC_SIZEY_SPIN, IDC_SIZEY_EDIT, 1000, true}}) {
    SCOPED_TRACE(testing::Message() << "up-down " << p.upDown);
    HWND upDown = Item(p.upDown);
    EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(upDown, UDM_GETBUDDY, 0, 0)), Item(p.edit));
    int lower = -1, upper = -1;
    SendMessageW(upDown, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower), reinterpret_cast<LPARAM>(&upper));
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, p.upper);
    UDACCEL steps[8] = {};
    const LRESULT count = SendMessageW(upDown, UDM_GETACCEL, 8, reinterpret_cast<LPARAM>(steps));
    if (p.accelerated) {
      ASSERT_EQ(count, 4);
      const UINT expected[4][2] = {{0, 1}, {1, 8}, {2, 16}, {3, 32}};
      for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(steps[i].nSec, expected[i][0]);
        EXPECT_EQ(steps[i].nInc, expected[i][1]);
      }
    }
    const RECT edit = ClientRectOf(Item(p.edit));
    const RECT arrows = ClientRectOf(upDown);
    EXPECT_LE(arrows.left, edit.right);
    EXPECT_GE(arrows.right, edit.right);
    EXPECT_EQ(arrows.top, edit.top);
    EXPECT_EQ(arrows.bottom, edit.bottom);
  }
}

TEST_F(SettingsWindowTest, ShowsTheStoredSettingsAsTheyAre) {
  // Values outside what the up-down controls reach are shown unchanged: nothing clamps them
  // before the user moves a control.
  WriteSettingsFile({"LogoPosX=5", "LogoPosY=995", "LogoSizeX=1000", "LogoSizeY=7", "Threshold=77",
                     "BlackLevel=16", "InverseSelection=1", "ColorKey=255"});
  ASSERT_NE(Open(), nullptr);
  struct Shown {
    int edit, upDown;
    const wchar_t* text;
    int position;
  };
  for (const Shown& s : {Shown{IDC_THRESHOLD_EDIT, IDC_THRESHOLD_SPIN, L"77", 77},
                         Shown{IDC_BLACK_EDIT, IDC_BLACK_SPIN, L"16", 16},
                         Shown{IDC_POSX_EDIT, IDC_POSX_SPIN, L"0.5", 5},
                         Shown{IDC_POSY_EDIT, IDC_POSY_SPIN, L"99.5", 995},
                         Shown{IDC_SIZEX_EDIT, IDC_SIZEX_SPIN, L"100.0", 1000},
                         Shown{IDC_SIZEY_EDIT, IDC_SIZEY_SPIN, L"0.7", 7}}) {
    EXPECT_EQ(host_->Text(s.edit), s.text) << s.edit;
    EXPECT_EQ(LOWORD(SendMessageW(Item(s.upDown), UDM_GETPOS, 0, 0)), s.position) << s.upDown;
  }
  EXPECT_EQ(SendMessageW(Item(IDC_INVERSE), BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST_F(SettingsWindowTest, CommandButtonsFollowTheCaptureState) {
  ASSERT_NE(Open(), nullptr);
  struct Step {
    int command;  // 0: the window as it opens
    std::set<int> enabled;
  };
  const Step steps[] = {
      {0, {IDC_START}},
      {IDC_START, {IDC_STOP, IDC_CLEAR}},
      {IDC_CLEAR, {IDC_STOP, IDC_CLEAR}},  // clearing while capturing goes on capturing
      {IDC_STOP, {IDC_START, IDC_CLEAR, IDC_SAVE}},
      {IDC_START, {IDC_STOP, IDC_CLEAR}},
      {IDC_STOP, {IDC_START, IDC_CLEAR, IDC_SAVE}},
      {IDOK, {IDC_START, IDC_CLEAR, IDC_SAVE}},  // Enter and Escape mean nothing here
      {IDCANCEL, {IDC_START, IDC_CLEAR, IDC_SAVE}},
      {IDC_CLEAR, {IDC_START}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(testing::Message() << "after command " << step.command);
    if (step.command != 0) host_->Click(step.command);
    ASSERT_FALSE(Closed());
    std::set<int> enabled;
    for (int id : {IDC_START, IDC_STOP, IDC_CLEAR, IDC_SAVE}) {
      if (host_->Enabled(id)) enabled.insert(id);
    }
    EXPECT_EQ(enabled, step.enabled);
  }
}

// The three ways a value changes: the up-down's arrow keys on its edit box, a click on its arrow,
// and its thumb-position notification. The edits show each change, the region is kept inside
// the frame, and the values reach the settings file at unload.
TEST_F(SettingsWindowTest, UpDownControlsEditTheSettings) {
  ASSERT_NE(Open(), nullptr);
  HWND thresholdEdit = Item(IDC_THRESHOLD_EDIT);
  SendMessageW(thresholdEdit, WM_KEYDOWN, VK_UP, 1);
  SendMessageW(thresholdEdit, WM_KEYUP, VK_UP, 0xC0000001);
  Pump(30);
  EXPECT_EQ(host_->Text(IDC_THRESHOLD_EDIT), L"51");

  HWND posX = Item(IDC_POSX_SPIN);
  RECT r{};
  GetClientRect(posX, &r);
  const LPARAM rightArrow = MAKELPARAM(r.right - 2, r.bottom / 2);
  SendMessageW(posX, WM_LBUTTONDOWN, MK_LBUTTON, rightArrow);
  SendMessageW(posX, WM_LBUTTONUP, 0, rightArrow);
  Pump(30);
  EXPECT_EQ(host_->Text(IDC_POSX_EDIT), L"2.1");

  // Growing the size keeps the centre, then the clamp pulls the region back into the frame.
  Scroll(IDC_SIZEX_SPIN, 1000);
  EXPECT_EQ(host_->Text(IDC_SIZEX_EDIT), L"100.0");
  EXPECT_EQ(host_->Text(IDC_POSX_EDIT), L"0.0");
  EXPECT_EQ(LOWORD(SendMessageW(posX, UDM_GETPOS, 0, 0)), 0);

  Scroll(IDC_POSY_SPIN, 900);
  EXPECT_EQ(host_->Text(IDC_POSY_EDIT), L"80.0");

  host_->Unload();
  EXPECT_EQ(SettingValue("Threshold"), 51);
  EXPECT_EQ(SettingValue("LogoSizeX"), 1000);
  EXPECT_EQ(SettingValue("LogoPosX"), 0);
  EXPECT_EQ(SettingValue("LogoPosY"), 800);
}

TEST_F(SettingsWindowTest, CheckBoxSetsTheInversion) {
  ASSERT_NE(Open(), nullptr);
  // A click as the user makes it: the automatic check box ticks itself, then reports.
  SendMessageW(Item(IDC_INVERSE), BM_CLICK, 0, 0);
  Pump(30);
  EXPECT_EQ(SendMessageW(Item(IDC_INVERSE), BM_GETCHECK, 0, 0), BST_CHECKED);
  host_->Unload();
  EXPECT_EQ(SettingValue("InverseSelection"), 1);
}

struct ClosingCase {
  const char* name;
  int button;  // 0: WM_CLOSE from outside
  bool keepsEdits;
};
void PrintTo(const ClosingCase& c, std::ostream* out) { *out << c.name; }

class ClosingTest : public SettingsWindowTest, public testing::WithParamInterface<ClosingCase> {};

TEST_P(ClosingTest, KeepsOrRestoresTheEdits) {
  ASSERT_NE(Open(), nullptr);
  Scroll(IDC_THRESHOLD_SPIN, 200);
  Scroll(IDC_SIZEY_SPIN, 500);
  ASSERT_EQ(host_->Text(IDC_THRESHOLD_EDIT), L"200");
  if (GetParam().button != 0) {
    host_->Click(GetParam().button);
  } else {
    SendMessageW(host_->SettingsWindow(), WM_CLOSE, 0, 0);
  }
  ASSERT_TRUE(PumpUntil([&] { return Closed(); }, 5000)) << "the window stays open";

  host_->Configure();
  ASSERT_FALSE(Closed());
  EXPECT_EQ(host_->Text(IDC_THRESHOLD_EDIT), GetParam().keepsEdits ? L"200" : L"50");
  EXPECT_EQ(host_->Text(IDC_SIZEY_EDIT), GetParam().keepsEdits ? L"50.0" : L"20.0");
  // Unloading with the window open keeps what it shows.
  host_->Unload();
  EXPECT_EQ(SettingValue("Threshold"), GetParam().keepsEdits ? 200 : 50);
  EXPECT_EQ(SettingValue("LogoSizeY"), GetParam().keepsEdits ? 500 : 200);
}

INSTANTIATE_TEST_SUITE_P(Buttons, ClosingTest,
                         testing::Values(ClosingCase{"Ok", IDC_OK, true},
                                         ClosingCase{"Cancel", IDC_CANCEL, false},
                                         ClosingCase{"SystemClose", 0, false}),
                         [](const testing::TestParamInfo<ClosingCase>& info) { return info.param.name; });

// Counts the caption flashes: each FlashWindow call inverts the caption through WM_NCACTIVATE.
HWND g_flashWatched = nullptr;
int g_captionToggles = 0;
LRESULT CALLBACK WatchCaption(int code, WPARAM wParam, LPARAM lParam) {
  const auto* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && m->hwnd == g_flashWatched && m->message == WM_NCACTIVATE) ++g_captionToggles;
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(SettingsWindowTest, SecondConfigureFocusesAndFlashesTheOpenWindow) {
  HWND dialog = Open();
  ASSERT_NE(dialog, nullptr);
  Pump(100);
  g_flashWatched = dialog;
  g_captionToggles = 0;
  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, &WatchCaption, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  host_->Configure();
  const int afterFocus = g_captionToggles;
  Pump(1000);
  const int toggles = g_captionToggles - afterFocus;
  UnhookWindowsHookEx(hook);

  int windows = 0;
  for (HWND w : ThreadWindows()) windows += TextOf(w) == kSettingsCaption;
  EXPECT_EQ(windows, 1) << "a second configure opens no second window";
  EXPECT_EQ(host_->SettingsWindow(), dialog);
  HWND focus = GetFocus();
  EXPECT_TRUE(focus == dialog || IsChild(dialog, focus));
  EXPECT_EQ(toggles, 9);
  // The flashing ended by itself: the timer is gone.
  EXPECT_FALSE(KillTimer(dialog, FLASH_TIMER_ID));
}

struct PlacementCase {
  const char* name;
  std::vector<std::string> stored;  // settings file lines
  RECT host;
  bool validHost;
  enum { kCentredOnHost, kCentredOnScreen, kAt, kAtOrigin } expect;
  POINT at;
};
void PrintTo(const PlacementCase& c, std::ostream* out) { *out << c.name; }

class PlacementTest : public testing::TestWithParam<PlacementCase> {
 protected:
  void SetUp() override { RemoveSettingsFile(); }
};

TEST_P(PlacementTest, OpensWhereTheSettingsSayAndSavesWhereItWas) {
  const PlacementCase& c = GetParam();
  std::vector<std::string> stored = c.stored;
  for (std::string& line : stored) {
    if (line == "DlgWndPosX=<screen width>") line = "DlgWndPosX=" + std::to_string(GetSystemMetrics(SM_CXSCREEN));
  }
  if (!stored.empty()) WriteSettingsFile(stored);
  PluginHost host(c.host);
  ASSERT_TRUE(host.loaded());
  host.Load();
  host.SetFormat(720, 576, 0);
  // A handle that names no window at all: the host's window is gone.
  host.Configure(c.validHost ? host.hostWindow() : reinterpret_cast<HWND>(uintptr_t{0x7FFF0}));
  HWND dialog = host.SettingsWindow();
  ASSERT_NE(dialog, nullptr);
  RECT d{};
  GetWindowRect(dialog, &d);
  RECT around = c.host;
  if (c.expect == PlacementCase::kCentredOnScreen) {
    around = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  switch (c.expect) {
    case PlacementCase::kCentredOnHost:
    case PlacementCase::kCentredOnScreen:
      EXPECT_NEAR((d.left + d.right) / 2.0, (around.left + around.right) / 2.0, 1.0);
      EXPECT_NEAR((d.top + d.bottom) / 2.0, (around.top + around.bottom) / 2.0, 1.0);
      break;
    case PlacementCase::kAt:
      EXPECT_EQ(d.left, c.at.x);
      EXPECT_EQ(d.top, c.at.y);
      break;
    case PlacementCase::kAtOrigin:
      EXPECT_EQ(d.left, 0);
      EXPECT_EQ(d.top, 0);
      break;
  }
  // Wherever the user leaves it is where it opens next time.
  SetWindowPos(dialog, nullptr, d.left + 13, d.top + 7, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  host.Unload();
  EXPECT_EQ(host.SettingsWindow(), nullptr);
  EXPECT_EQ(SettingValue("DlgWndPosX"), d.left + 13);
  EXPECT_EQ(SettingValue("DlgWndPosY"), d.top + 7);
}

const RECT kHost{200, 150, 840, 630};

INSTANTIATE_TEST_SUITE_P(
    Positions, PlacementTest,
    testing::Values(
        PlacementCase{"NothingStored", {}, kHost, true, PlacementCase::kCentredOnHost, {}},
        PlacementCase{"Stored", {"DlgWndPosX=37", "DlgWndPosY=45"}, kHost, true, PlacementCase::kAt, {37, 45}},
        PlacementCase{"OnlyTheFullPairIsSpecial",
                      {"DlgWndPosX=-100", "DlgWndPosY=50"}, kHost, true, PlacementCase::kAt, {-100, 50}},
        PlacementCase{"BeyondTheScreen",
                      {"DlgWndPosX=<screen width>", "DlgWndPosY=45"}, kHost, true,
                      PlacementCase::kCentredOnHost, {}},
        PlacementCase{"HostInTheCorner", {}, RECT{-300, -200, 100, 60}, true, PlacementCase::kAtOrigin, {}},
        PlacementCase{"NoHostWindow", {}, kHost, false, PlacementCase::kCentredOnScreen, {}}),
    [](const testing::TestParamInfo<PlacementCase>& info) { return info.param.name; });

TEST_F(SettingsWindowTest, ColorKeyButtonShowsTheKeyColorOrGreyHatchingWhenDisabled) {
  ASSERT_NE(Open(), nullptr);
  HWND button = Item(IDC_COLOR_KEY);
  Picture shown = Capture(button);
  ASSERT_GT(shown.width, 8);
  // Default key 0xFF8000 (COLORREF): red 0, green 128, blue 255.
  EXPECT_EQ(shown.at(shown.width / 2, shown.height / 2), Rgb(0, 128, 255));
  EXPECT_NE(shown.at(0, 0), Rgb(0, 128, 255)) << "the bump frame surrounds the colour";

  EnableWindow(button, FALSE);
  Pump(30);
  Picture hatched = Capture(button);
  int grey = 0, key = 0;
  for (int y = 3; y < hatched.height - 3; ++y) {
    for (int x = 3; x < hatched.width - 3; ++x) {
      grey += hatched.at(x, y) == Rgb(128, 128, 128);
      key += hatched.at(x, y) == Rgb(0, 128, 255);
    }
  }
  const int interior = (hatched.width - 6) * (hatched.height - 6);
  EXPECT_GT(grey, 0);
  EXPECT_LT(grey, interior / 2) << "hatching leaves gaps between its lines";
  EXPECT_EQ(key, 0);
  // Diagonal hatching: a grey pixel's lower-right neighbour is grey too.
  int diagonal = 0;
  for (int y = 3; y < hatched.height - 4; ++y) {
    for (int x = 3; x < hatched.width - 4; ++x) {
      diagonal += hatched.at(x, y) == Rgb(128, 128, 128) && hatched.at(x + 1, y + 1) == Rgb(128, 128, 128);
    }
  }
  EXPECT_GT(diagonal, grey / 2);
}

}  // namespace
}  // namespace vle::wintest
