// The seam between the settings window's behaviour (ui/settings_dialog) and a window system.
//
// A binding owns the one settings window of the module: it creates it from template 5000, routes
// its messages to a DialogHandler and carries out what the behaviour asks for. The Win32 binding
// does this with real windows; the headless binding keeps every control in memory and lets its
// owner (tests, logo-extract) act as the user. All calls happen on the user-interface thread.
#pragma once

#include <cstdint>
#include <string>

#include "core/geometry.h"

namespace vle::ui {

// What the window's messages become. Called by the binding, on the user-interface thread.
// The scroll notification of an up-down control that reached a new position (SB_THUMBPOSITION).
constexpr int kSbThumbPosition = 4;

// What a refresh message brings up to date from the active settings; the value travels as the
// message's wParam. Any other value does nothing.
enum class RefreshPart : int {
  kAll = 0,         // the check box, the two level up-downs, the colour and every part below but 7
  kThreshold = 1,   // the threshold's text
  kBlackLevel = 2,  // the black level's text
  kPositionX = 3,   // up-down and text of each region value
  kPositionY = 4,
  kSizeX = 5,
  kSizeY = 6,
  kColorKey = 7,    // the colour button's face
  kButtons = 8,     // which of Start, Stop, Clear and Save are enabled
};

class DialogHandler {
 public:
  virtual ~DialogHandler() = default;
  // WM_INITDIALOG: the window and its controls exist, not yet shown.
  virtual void OnInitDialog() = 0;
  // WM_COMMAND BN_CLICKED from control `id` (also the standard IDOK 1 and IDCANCEL 2).
  virtual void OnCommand(int id) = 0;
  // WM_HSCROLL / WM_VSCROLL from the up-down control `controlId` with notification `code`
  // (kSbThumbPosition for a new position) and the new position.
  virtual void OnScroll(bool horizontal, int code, uint32_t position, int controlId) = 0;
  virtual void OnTimer(uintptr_t id) = 0;
  // UM_REFRESH_CONTROLS with wParam `part`.
  virtual void OnRefresh(RefreshPart part) = 0;
  // WM_CLOSE.
  virtual void OnClose() = 0;
  // WM_DESTROY: the window still has its rectangle.
  virtual void OnDestroy() = 0;
  // WM_NCDESTROY: the window is gone.
  virtual void OnFinalDestroy() = 0;
  // The colour the owner-drawn key button (5096) shows, a COLORREF.
  virtual uint32_t ColorKeyToPaint() const = 0;
};

struct UpDownAccel {
  uint32_t seconds;
  uint32_t increment;
};

// The save chooser's settings; texts are Windows-1251 bytes.
struct SaveFileRequest {
  std::string filter;            // NUL-separated pairs ending in a double NUL
  std::string defaultExtension;  // without the dot
  uint32_t flags = 0;            // OFN_* flags
  std::string initialPath;       // the path chosen last time, or empty
};

class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  // Creates the modeless settings window with `hostWindow` as its parent and calls
  // handler.OnInitDialog() before returning. False when no window could be made.
  virtual bool CreateSettingsWindow(void* hostWindow, DialogHandler& handler) = 0;
  virtual bool HasWindow() const = 0;
  virtual void ShowWindow() = 0;
  // Destroys the window now: OnDestroy, then OnFinalDestroy, before returning.
  virtual void DestroyWindow() = 0;

  // Queue UM_REFRESH_CONTROLS(part) / WM_CLOSE behind what is already posted.
  virtual void PostRefresh(RefreshPart part) = 0;
  virtual void PostClose() = 0;

  virtual void SetControlText(int id, const std::string& cp1251) = 0;
  virtual void SetCheck(int id, int state) = 0;
  virtual int GetCheck(int id) const = 0;
  virtual void EnableControl(int id, bool enabled) = 0;
  virtual void SetUpDownBuddy(int upDownId, int editId) = 0;
  virtual void SetUpDownRange(int upDownId, int lower, int upper) = 0;
  virtual void SetUpDownAccel(int upDownId, const UpDownAccel* table, int count) = 0;
  // UDM_SETPOS takes the low 16 bits of the value.
  virtual void SetUpDownPos(int upDownId, int16_t position) = 0;
  // RedrawWindow with RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW.
  virtual void RepaintControl(int id) = 0;

  virtual Rect WindowRect() const = 0;      // screen coordinates
  virtual Rect HostWindowRect() const = 0;  // screen coordinates
  virtual int ScreenWidth() const = 0;
  virtual int ScreenHeight() const = 0;
  // SetWindowPos with SWP_NOSIZE | SWP_NOZORDER.
  virtual void MoveWindow(int x, int y) = 0;
  virtual void Focus() = 0;
  virtual void SetTimer(uintptr_t id, unsigned periodMs) = 0;
  virtual void KillTimer(uintptr_t id) = 0;
  // FlashWindow(window, TRUE): inverts the caption once.
  virtual void FlashWindow() = 0;

  // Modal choosers, owned by the settings window while it exists.
  // CC_RGBINIT | CC_FULLOPEN with `initial` preselected; true and *chosen set on OK.
  virtual bool ChooseColor(uint32_t initial, uint32_t* chosen) = 0;
  // True and *path set to the full chosen path on OK.
  virtual bool ChooseSaveFile(const SaveFileRequest& request, std::string* path) = 0;
  virtual void RunAboutBox() = 0;
  // Modal message box with the information icon and one OK button; text in Windows-1251.
  virtual void ShowProcessorMessage(const std::string& cp1251) = 0;
};

// The binding linked into this module: Win32 in the Windows plug-in, headless elsewhere.
WindowSystem& PlatformWindowSystem();

}  // namespace vle::ui
