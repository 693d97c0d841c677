// The headless window system: the settings window with every control's state in memory, a
// posted-message queue that the owner pumps, timers driven by the owner's clock, and modal
// choosers and message boxes that the owner answers. Tests and logo-extract act as the user
// through it; the behaviour code is the same as with real windows.
//
// Single-threaded: the owner calls everything on the thread that plays the user-interface thread.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/window_system.h"

namespace vle::ui::headless {

struct ControlState {
  std::string text;  // Windows-1251, as set by the behaviour
  int check = 0;
  bool enabled = true;
  int16_t position = 0;  // up-down position
  int lower = 0, upper = 0;
  int buddy = 0;
  bool horizontal = false;  // UDS_HORZ: reports through WM_HSCROLL
  std::vector<UpDownAccel> accel;
  int repaints = 0;
};

class HeadlessDesktop : public WindowSystem {
 public:
  HeadlessDesktop();

  // ---- The user's side ----

  // The control's state, or null when there is no window or no such control.
  const ControlState* Control(int id) const;
  const std::string& Text(int id) const;
  bool Enabled(int id) const;

  // Runs posted messages (refreshes, closes) in order until none is left; returns how many ran.
  int Pump();
  // A click as the user makes it: ignored on a disabled control; the automatic check box toggles
  // its mark first. Pumps afterwards.
  bool Click(int id);
  // WM_COMMAND from `id` whatever its state (as another program could send it). Pumps afterwards.
  void SendCommand(int id);
  // Moves an up-down control to `position` (kept inside its range, as the control does) and sends
  // SB_THUMBPOSITION then SB_ENDSCROLL. Pumps afterwards.
  bool ScrollTo(int upDownId, int position);
  // WM_HSCROLL / WM_VSCROLL exactly as given. Pumps afterwards.
  void SendScroll(bool horizontal, int code, uint32_t position, int controlId);
  // WM_CLOSE from outside (the system's close). Pumps afterwards.
  void SendClose();
  // Advances the clock: every timer that falls due fires in time order, each followed by a pump.
  void AdvanceTime(unsigned milliseconds);

  // The world around the window.
  void SetScreenSize(int width, int height);
  void SetHostWindowRect(const Rect& r);
  void SetDialogSize(int width, int height);  // the window's outer size in pixels

  // Answers to the modal choosers; unset answers cancel. Each receives what the behaviour asked.
  std::function<bool(uint32_t initial, uint32_t* chosen)> colorChooser;
  std::function<bool(const SaveFileRequest& request, std::string* path)> saveChooser;
  // Runs while the about box is "open".
  std::function<void()> aboutBox;

  // What happened, for the owner to look at.
  std::vector<std::string> processorMessages;
  int flashes = 0;
  int focusCount = 0;
  int aboutBoxes = 0;
  int colorChoosers = 0;
  int saveChoosers = 0;
  bool shown = false;
  void* hostWindow = nullptr;
  uint64_t now() const { return clock_; }
  bool TimerRunning(uintptr_t id) const { return timers_.count(id) != 0; }

  // ---- WindowSystem ----
  bool CreateSettingsWindow(void* hostWindow, DialogHandler& handler) override;
  bool HasWindow() const override { return handler_ != nullptr; }
  void ShowWindow() override;
  void DestroyWindow() override;
  void PostRefresh(RefreshPart part) override;
  void PostClose() override;
  void SetControlText(int id, const std::string& cp1251) override;
  void SetCheck(int id, int state) override;
  int GetCheck(int id) const override;
  void EnableControl(int id, bool enabled) override;
  void SetUpDownBuddy(int upDownId, int editId) override;
  void SetUpDownRange(int upDownId, int lower, int upper) override;
  void SetUpDownAccel(int upDownId, const UpDownAccel* table, int count) override;
  void SetUpDownPos(int upDownId, int16_t position) override;
  void RepaintControl(int id) override;
  Rect WindowRect() const override { return window_; }
  Rect HostWindowRect() const override { return host_; }
  int ScreenWidth() const override { return screenWidth_; }
  int ScreenHeight() const override { return screenHeight_; }
  void MoveWindow(int x, int y) override;
  void Focus() override;
  void SetTimer(uintptr_t id, unsigned periodMs) override;
  void KillTimer(uintptr_t id) override;
  void FlashWindow() override;
  bool ChooseColor(uint32_t initial, uint32_t* chosen) override;
  bool ChooseSaveFile(const SaveFileRequest& request, std::string* path) override;
  void RunAboutBox() override;
  void ShowProcessorMessage(const std::string& cp1251) override;

 private:
  struct Posted {
    bool close;
    RefreshPart part;
  };
  struct Timer {
    unsigned period;
    uint64_t due;
  };
  ControlState* Find(int id);

  DialogHandler* handler_ = nullptr;
  std::map<int, ControlState> controls_;
  std::deque<Posted> queue_;
  std::map<uintptr_t, Timer> timers_;
  uint64_t clock_ = 0;
  Rect window_{0, 0, 294, 240};
  Rect host_{100, 100, 740, 580};
  int screenWidth_ = 1024;
  int screenHeight_ = 768;
  int dialogWidth_ = 294;
  int dialogHeight_ = 240;
};

// The desktop of this module's settings window.
HeadlessDesktop& Desktop();

}  // namespace vle::ui::headless

// Lets a host that loaded the Linux plug-in by file name act as the user of its settings window.
extern "C" vle::ui::headless::HeadlessDesktop* Vorlane_HeadlessDesktop();
