// The settings window's behaviour, driven as a user drives it through the headless window system.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <set>

#include "support/cp1251.h"
#include "support/plugin_session.h"
#include "ui/control_ids.h"

namespace vle::test {
namespace {

using ui::CaptureState;
using ui::SettingsDialog;

class SettingsDialogTest : public PluginSession {
 protected:
  void Open(int32_t w = 720, int32_t h = 576) {
    Announce(w, h, 0);
    Configure();
    ASSERT_TRUE(desktop().HasWindow());
  }
  std::set<int> EnabledButtons() {
    std::set<int> on;
    for (int id : {IDC_START, IDC_STOP, IDC_CLEAR, IDC_SAVE})
      if (desktop().Enabled(id)) on.insert(id);
    return on;
  }
};

TEST_F(SettingsDialogTest, OpensIdleWithEveryControlShowingTheSettings) {
  SettingsBlock s = kDefaultSettings;
  s.threshold = 77;
  s.blackLevel = 16;
  s.logoPosX = 5;
  s.inverseSelection = 1;
  module().state.activeSettings.Store(s);
  Open();
  auto& d = desktop();
  EXPECT_TRUE(d.shown);
  EXPECT_EQ(d.Text(IDC_THRESHOLD_EDIT), "77");
  EXPECT_EQ(d.Text(IDC_BLACK_EDIT), "16");
  EXPECT_EQ(d.Text(IDC_POSX_EDIT), "0.5");
  EXPECT_EQ(d.Text(IDC_POSY_EDIT), "2.0");
  EXPECT_EQ(d.Text(IDC_SIZEX_EDIT), "20.0");
  EXPECT_EQ(d.Text(IDC_SIZEY_EDIT), "20.0");
  EXPECT_EQ(d.Control(IDC_THRESHOLD_SPIN)->position, 77);
  EXPECT_EQ(d.Control(IDC_BLACK_SPIN)->position, 16);
  EXPECT_EQ(d.Control(IDC_POSX_SPIN)->position, 5);
  EXPECT_EQ(d.Control(IDC_SIZEY_SPIN)->position, 200);
  EXPECT_EQ(d.Control(IDC_INVERSE)->check, 1);
  EXPECT_GE(d.Control(IDC_COLOR_KEY)->repaints, 1);
  EXPECT_EQ(EnabledButtons(), (std::set<int>{IDC_START}));
  EXPECT_EQ(module().dialog.captureState(), CaptureState::kIdle);
}

TEST_F(SettingsDialogTest, UpDownControlsAreSetUpWithBuddiesRangesAndAcceleration) {
  Open();
  struct Expect {
    int spin, edit, upper;
    bool accel, horizontal;
  };
  for (const Expect& e : {Expect{IDC_THRESHOLD_SPIN, IDC_THRESHOLD_EDIT, 255, false, false},
                          Expect{IDC_BLACK_SPIN, IDC_BLACK_EDIT, 255, false, false},
                          Expect{IDC_POSX_SPIN, IDC_POSX_EDIT, 1000, true, true},
                          Expect{IDC_POSY_SPIN, IDC_POSY_EDIT, 1000, true, false},
                          Expect{IDC_SIZEX_SPIN, IDC_SIZEX_EDIT, 1000, true, true},
                          Expect{IDC_SIZEY_SPIN, IDC_SIZEY_EDIT, 1000, true, false}}) {
    const auto* c = desktop().Control(e.spin);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->buddy, e.edit) << e.spin;
    EXPECT_EQ(c->lower, 0) << e.spin;
    EXPECT_EQ(c->upper, e.upper) << e.spin;
    if (e.accel) {
      // A click moves one unit; holding the arrow speeds up step by step; all four region
      // controls behave alike.
      ASSERT_GE(c->accel.size(), 2u) << e.spin;
      EXPECT_EQ(c->accel[0].seconds, 0u) << e.spin;
      EXPECT_EQ(c->accel[0].increment, 1u) << e.spin;
      for (std::size_t i = 1; i < c->accel.size(); ++i) {
        EXPECT_GT(c->accel[i].seconds, c->accel[i - 1].seconds) << e.spin;
        EXPECT_GT(c->accel[i].increment, c->accel[i - 1].increment) << e.spin;
      }
      const auto* first = desktop().Control(IDC_POSX_SPIN);
      ASSERT_EQ(c->accel.size(), first->accel.size()) << e.spin;
      for (std::size_t i = 0; i < c->accel.size(); ++i) {
        EXPECT_EQ(c->accel[i].seconds, first->accel[i].seconds) << e.spin;
        EXPECT_EQ(c->accel[i].increment, first->accel[i].increment) << e.spin;
      }
    } else {
      EXPECT_TRUE(c->accel.empty()) << e.spin;
    }
  }
}

// The capture state machine: each step is a click, then the state and the enabled buttons.
struct Step {
  int click;
  CaptureState state;
  std::set<int> enabled;
};

TEST_F(SettingsDialogTest, StartStopClearWalkTheThreeStates) {
  Open();
  const std::set<int> idle{IDC_START}, capturing{IDC_STOP, IDC_CLEAR},
      holding{IDC_START, IDC_CLEAR, IDC_SAVE};
  const Step steps[] = {
      {IDC_START, CaptureState::kCapturing, capturing}, {IDC_CLEAR, CaptureState::kCapturing, capturing},
      {IDC_STOP, CaptureState::kHolding, holding},      {IDC_START, CaptureState::kCapturing, capturing},
      {IDC_STOP, CaptureState::kHolding, holding},      {IDC_CLEAR, CaptureState::kIdle, idle},
      {IDC_START, CaptureState::kCapturing, capturing},
  };
  for (const Step& s : steps) {
    ASSERT_TRUE(desktop().Click(s.click)) << s.click;
    EXPECT_EQ(module().dialog.captureState(), s.state) << "after " << s.click;
    EXPECT_EQ(EnabledButtons(), s.enabled) << "after " << s.click;
  }
  // A disabled button cannot be clicked.
  EXPECT_FALSE(desktop().Click(IDC_START));
}

TEST_F(SettingsDialogTest, ClearResetsTheAccumulatorsAndStartContinuesThem) {
  Open(8, 2);
  auto& st = module().state;
  desktop().Click(IDC_START);
  st.maxBuffer->Fill(100, 1, 2, 3);
  st.minBuffer->Fill(50, 1, 2, 3);
  desktop().Click(IDC_STOP);
  desktop().Click(IDC_START);  // continues: nothing reset
  EXPECT_EQ(*st.maxBuffer->PixelAt(3, 1), 0x64010203u);
  desktop().Click(IDC_CLEAR);
  EXPECT_EQ(*st.maxBuffer->PixelAt(3, 1), 0u);
  EXPECT_EQ(*st.minBuffer->PixelAt(7, 0), 0xFFFFFFFFu);
}

struct ScrollCase {
  const char* name;
  SettingsBlock before;
  int spin;
  int position;
  int32_t posX, posY, sizeX, sizeY;
  const char* posText;
  const char* sizeText;
};

class ScrollTable : public SettingsDialogTest, public ::testing::WithParamInterface<ScrollCase> {};

TEST_P(ScrollTable, MovesTheRegionAndShowsIt) {
  const ScrollCase& c = GetParam();
  module().state.activeSettings.Store(c.before);
  Open();
  ASSERT_TRUE(desktop().ScrollTo(c.spin, c.position));
  const SettingsBlock s = settings();
  EXPECT_EQ(s.logoPosX, c.posX);
  EXPECT_EQ(s.logoPosY, c.posY);
  EXPECT_EQ(s.logoSizeX, c.sizeX);
  EXPECT_EQ(s.logoSizeY, c.sizeY);
  const bool x = c.spin == IDC_POSX_SPIN || c.spin == IDC_SIZEX_SPIN;
  EXPECT_EQ(desktop().Text(x ? IDC_POSX_EDIT : IDC_POSY_EDIT), c.posText);
  EXPECT_EQ(desktop().Text(x ? IDC_SIZEX_EDIT : IDC_SIZEY_EDIT), c.sizeText);
  EXPECT_EQ(desktop().Control(x ? IDC_POSX_SPIN : IDC_POSY_SPIN)->position, x ? c.posX : c.posY);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScrollTable,
    ::testing::Values(
        // Growing the size keeps the centre: 20 + 100 - 150 = -30, clamped to 0.
        ScrollCase{"SizeX300", kDefaultSettings, IDC_SIZEX_SPIN, 300, 0, 20, 300, 200, "0.0", "30.0"},
        ScrollCase{"SizeX1000", kDefaultSettings, IDC_SIZEX_SPIN, 1000, 0, 20, 1000, 200, "0.0", "100.0"},
        ScrollCase{"PosX900", kDefaultSettings, IDC_POSX_SPIN, 900, 800, 20, 200, 200, "80.0", "20.0"},
        ScrollCase{"PosY5", kDefaultSettings, IDC_POSY_SPIN, 5, 20, 5, 200, 200, "0.5", "20.0"},
        // Shrinking moves the origin by half the difference: 20 + 100 - 50.
        ScrollCase{"SizeY100", kDefaultSettings, IDC_SIZEY_SPIN, 100, 20, 70, 200, 100, "7.0", "10.0"},
        // Odd sizes: old / 2 and new / 2 truncate separately.
        ScrollCase{"SizeY201", SettingsBlock{20, 20, 200, 199, 0xFF8000, 0, 50, 0}, IDC_SIZEY_SPIN, 201,
                   20, 19, 200, 201, "1.9", "20.1"},
        // The control stops at its range.
        ScrollCase{"PosXBeyondRange", kDefaultSettings, IDC_POSX_SPIN, 5000, 800, 20, 200, 200, "80.0", "20.0"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsDialogTest, ThresholdBlackLevelAndInversionGoStraightIntoTheSettings) {
  Open();
  desktop().ScrollTo(IDC_THRESHOLD_SPIN, 99);
  desktop().ScrollTo(IDC_BLACK_SPIN, 17);
  desktop().Click(IDC_INVERSE);
  EXPECT_EQ(settings().threshold, 99);
  EXPECT_EQ(settings().blackLevel, 17);
  EXPECT_EQ(settings().inverseSelection, 1u);
  EXPECT_EQ(desktop().Text(IDC_THRESHOLD_EDIT), "99");
  EXPECT_EQ(desktop().Text(IDC_BLACK_EDIT), "17");
  desktop().Click(IDC_INVERSE);
  EXPECT_EQ(settings().inverseSelection, 0u);
}

TEST_F(SettingsDialogTest, OnlyThumbPositionNotificationsChangeAnything) {
  Open();
  for (int code : {0, 1, 2, 3, 5, 8}) desktop().SendScroll(false, code, 7, IDC_THRESHOLD_SPIN);
  // A control of the wrong orientation is not the one that sent it.
  desktop().SendScroll(true, 4, 7, IDC_THRESHOLD_SPIN);
  desktop().SendScroll(false, 4, 7, IDC_POSX_SPIN);
  EXPECT_EQ(settings().threshold, 50);
  EXPECT_EQ(settings().logoPosX, 20);
}

TEST_F(SettingsDialogTest, CancelRestoresEveryValueAndOkKeepsThem) {
  for (bool ok : {false, true}) {
    module().state.activeSettings.Store(kDefaultSettings);
    Open();
    desktop().colorChooser = [](uint32_t, uint32_t* chosen) {
      *chosen = 0x00123456;
      return true;
    };
    desktop().Click(IDC_COLOR_KEY);
    desktop().ScrollTo(IDC_THRESHOLD_SPIN, 10);
    desktop().ScrollTo(IDC_BLACK_SPIN, 30);
    desktop().ScrollTo(IDC_POSX_SPIN, 100);
    desktop().ScrollTo(IDC_POSY_SPIN, 110);
    desktop().ScrollTo(IDC_SIZEX_SPIN, 300);
    desktop().ScrollTo(IDC_SIZEY_SPIN, 400);
    desktop().Click(IDC_INVERSE);
    const SettingsBlock edited = settings();
    ASSERT_NE(std::memcmp(&edited, &kDefaultSettings, sizeof edited), 0);
    desktop().Click(ok ? IDC_OK : IDC_CANCEL);
    EXPECT_FALSE(desktop().HasWindow());
    const SettingsBlock after = settings();
    const SettingsBlock& want = ok ? edited : kDefaultSettings;
    EXPECT_EQ(std::memcmp(&after, &want, sizeof after), 0) << (ok ? "OK" : "Cancel");
  }
}

TEST_F(SettingsDialogTest, StandardOkAndCancelIdsDoNothing) {
  Open();
  desktop().ScrollTo(IDC_THRESHOLD_SPIN, 10);
  desktop().SendCommand(1);
  desktop().SendCommand(2);
  EXPECT_TRUE(desktop().HasWindow());
  EXPECT_EQ(settings().threshold, 10);
}

TEST_F(SettingsDialogTest, ClosingDeletesTheBuffersAndClearsBothFlags) {
  Open(64, 48);
  auto& st = module().state;
  ASSERT_NE(st.maxBuffer, nullptr);
  EXPECT_EQ(st.templateBuffer->rect, (Rect{0, 0, 64, 48}));
  EXPECT_EQ(*st.minBuffer->PixelAt(63, 47), 0xFFFFFFFFu);
  desktop().Click(IDC_START);
  desktop().SendClose();
  EXPECT_FALSE(desktop().HasWindow());
  EXPECT_EQ(st.maxBuffer, nullptr);
  EXPECT_EQ(st.minBuffer, nullptr);
  EXPECT_EQ(st.templateBuffer, nullptr);
  EXPECT_EQ(st.captureActive.load(), 0);
  EXPECT_EQ(st.templateActive.load(), 0);
  EXPECT_FALSE(st.windowExists.load());
}

struct PlacementCase {
  const char* name;
  int32_t storedX, storedY;
  Rect host;
  int32_t x, y;
};

class PlacementTable : public SettingsDialogTest, public ::testing::WithParamInterface<PlacementCase> {};

TEST_P(PlacementTable, OpensWhereStoredOrCentredOverTheHost) {
  const PlacementCase& c = GetParam();
  module().dialog.dlgWndPosX = c.storedX;
  module().dialog.dlgWndPosY = c.storedY;
  desktop().SetHostWindowRect(c.host);
  Open();
  EXPECT_EQ(desktop().WindowRect().left, c.x);
  EXPECT_EQ(desktop().WindowRect().top, c.y);
  // The position is remembered, and recorded again when the window goes.
  plugin::PluginUnload();
  EXPECT_EQ(module().dialog.dlgWndPosX, c.x);
  EXPECT_EQ(module().dialog.dlgWndPosY, c.y);
}

// The dialog is 294 x 240; the screen 1024 x 768.
INSTANTIATE_TEST_SUITE_P(
    Cases, PlacementTable,
    ::testing::Values(PlacementCase{"NoneStored", -100, -100, Rect{100, 100, 740, 580}, 273, 220},
                      PlacementCase{"Stored", 300, 50, Rect{100, 100, 740, 580}, 300, 50},
                      PlacementCase{"OnlyXIsMinus100", -100, 50, Rect{100, 100, 740, 580}, -100, 50},
                      PlacementCase{"XAtScreenWidth", 1024, 50, Rect{100, 100, 740, 580}, 273, 220},
                      PlacementCase{"YBeyondScreen", 10, 5000, Rect{100, 100, 740, 580}, 273, 220},
                      PlacementCase{"HostInTheCorner", -100, -100, Rect{0, 0, 200, 100}, 0, 0},
                      // Odd sums truncate toward zero: (−7 + 300) / 2 = 146, (0 + 294) / 2 = 147.
                      PlacementCase{"OddHost", -100, -100, Rect{-7, 21, 300, 422}, 0, 101}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsDialogTest, ASecondConfigureFocusesAndFlashesNineTimes) {
  Open();
  auto& d = desktop();
  Configure();
  EXPECT_EQ(d.focusCount, 1);
  EXPECT_TRUE(d.TimerRunning(FLASH_TIMER_ID));
  d.AdvanceTime(50 * 5);
  EXPECT_EQ(d.flashes, 5);
  Configure();  // a third call starts the count again
  d.AdvanceTime(50 * 9);
  EXPECT_EQ(d.flashes, 5 + 9);
  EXPECT_TRUE(d.TimerRunning(FLASH_TIMER_ID));
  d.AdvanceTime(50);  // the tenth tick kills the timer
  EXPECT_FALSE(d.TimerRunning(FLASH_TIMER_ID));
  d.AdvanceTime(1000);
  EXPECT_EQ(d.flashes, 14);
  EXPECT_TRUE(d.HasWindow());
}

TEST_F(SettingsDialogTest, ColorChooserStartsFromTheKeyAndAlwaysRepaints) {
  Open();
  auto& d = desktop();
  uint32_t offered = 1;
  d.colorChooser = [&](uint32_t initial, uint32_t* chosen) {
    offered = initial;
    *chosen = 0;  // pure black
    return true;
  };
  int repaints = d.Control(IDC_COLOR_KEY)->repaints;
  d.Click(IDC_COLOR_KEY);
  EXPECT_EQ(offered, 0xFF8000u);
  EXPECT_EQ(settings().colorKey, 0u);
  EXPECT_EQ(module().dialog.ColorKeyToPaint(), 0u);
  EXPECT_EQ(d.Control(IDC_COLOR_KEY)->repaints, repaints + 1);

  d.colorChooser = [&](uint32_t initial, uint32_t* chosen) {
    offered = initial;
    *chosen = 0x00FFFFFF;
    return false;  // cancelled
  };
  d.Click(IDC_COLOR_KEY);
  EXPECT_EQ(offered, 0u);  // black preselected
  EXPECT_EQ(settings().colorKey, 0u);
  EXPECT_EQ(d.Control(IDC_COLOR_KEY)->repaints, repaints + 2);
}

TEST_F(SettingsDialogTest, AboutBoxRunsModally) {
  Open();
  bool inside = false;
  desktop().aboutBox = [&] { inside = desktop().HasWindow(); };
  desktop().Click(IDC_ABOUT);
  EXPECT_EQ(desktop().aboutBoxes, 1);
  EXPECT_TRUE(inside);
}

TEST_F(SettingsDialogTest, OldProcessorsGetTheMessageAndNoWindow) {
  for (int32_t cpu : {1, 2}) {
    Announce(720, 576, 0, cpu);
    Configure();
    EXPECT_FALSE(desktop().HasWindow());
  }
  ASSERT_EQ(desktop().processorMessages.size(), 2u);
  EXPECT_EQ(desktop().processorMessages[0],
            Cp1251("      Настройки плагина недоступны. \nТребуется процессор Pentium III или старше."));
  for (int32_t cpu : {0, 3, -1}) {
    Announce(720, 576, 0, cpu);
    Configure();
    EXPECT_TRUE(desktop().HasWindow()) << cpu;
    plugin::PluginUnload();
  }
}

TEST_F(SettingsDialogTest, UnloadKeepsTheEdits) {
  Open();
  desktop().ScrollTo(IDC_THRESHOLD_SPIN, 12);
  plugin::PluginUnload();
  EXPECT_FALSE(desktop().HasWindow());
  EXPECT_EQ(settings().threshold, 12);
}

struct TenthsCase {
  int32_t value;
  const char* text;
};
class TenthsTable : public ::testing::TestWithParam<TenthsCase> {};
TEST_P(TenthsTable, FormatsLikePercentZeroPointOneF) {
  EXPECT_EQ(SettingsDialog::FormatTenths(GetParam().value), GetParam().text);
}
INSTANTIATE_TEST_SUITE_P(Cases, TenthsTable,
                         ::testing::Values(TenthsCase{20, "2.0"}, TenthsCase{5, "0.5"},
                                           TenthsCase{1000, "100.0"}, TenthsCase{0, "0.0"},
                                           TenthsCase{999, "99.9"}, TenthsCase{-5, "-0.5"},
                                           TenthsCase{-30, "-3.0"}, TenthsCase{INT_MAX, "214748364.7"},
                                           TenthsCase{INT_MIN, "-214748364.8"}));

TEST(ClampRegion, KeepsThePositionInsideAndNeverTheSize) {
  struct Case {
    SettingsBlock in;
    int32_t x, y;
  };
  const Case cases[] = {
      {{-5, -1, 100, 100, 0, 0, 0, 0}, 0, 0},
      {{950, 990, 100, 20, 0, 0, 0, 0}, 900, 980},
      {{0, 0, 1000, 1000, 0, 0, 0, 0}, 0, 0},
      {{INT_MAX, INT_MAX, INT_MAX, 5, 0, 0, 0, 0}, 1000 - INT_MAX, 995},
  };
  for (const Case& c : cases) {
    SettingsBlock s = c.in;
    SettingsDialog::ClampRegion(s);
    EXPECT_EQ(s.logoPosX, c.x);
    EXPECT_EQ(s.logoPosY, c.y);
    EXPECT_EQ(s.logoSizeX, c.in.logoSizeX);
    EXPECT_EQ(s.logoSizeY, c.in.logoSizeY);
  }
}

}  // namespace
}  // namespace vle::test
