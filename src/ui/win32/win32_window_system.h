// The Win32 window system: the settings window as a real modeless dialog on template 5000 of this
// module, its messages routed to the DialogHandler, and the system's modal choosers owned by it.
//
// Everything runs on the thread that created the window (the host's user-interface thread), which
// must dispatch its messages. Texts from the behaviour are Windows-1251 bytes and reach the system
// as Unicode, so they read the same whatever the ANSI code page.
//
// File paths cross the seam in the ANSI code page, the encoding in which the C runtime's file
// functions (which write the chosen file) read them. A chosen path that the ANSI code page cannot
// represent is refused like a cancelled chooser: writing to a lossy conversion of it could replace
// another file without the overwrite prompt the user answered.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/window_system.h"

namespace vle::ui::win32 {

class Win32WindowSystem final : public WindowSystem {
 public:
  Win32WindowSystem();
  ~Win32WindowSystem() override;
  Win32WindowSystem(const Win32WindowSystem&) = delete;
  Win32WindowSystem& operator=(const Win32WindowSystem&) = delete;

  // The settings window, null when it does not exist.
  HWND window() const { return window_; }

  bool CreateSettingsWindow(void* hostWindow, DialogHandler& handler) override;
  bool HasWindow() const override { return window_ != nullptr; }
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
  Rect WindowRect() const override;
  // The host window's rectangle; the whole screen when the host gave no usable window.
  Rect HostWindowRect() const override;
  int ScreenWidth() const override;
  int ScreenHeight() const override;
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
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Route(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void PaintColorKey(const DRAWITEMSTRUCT& item) const;
  HWND Item(int id) const;

  HWND window_ = nullptr;
  HWND host_ = nullptr;
  DialogHandler* handler_ = nullptr;
  // The colour chooser's sixteen custom colours, kept between choosers for the module's life.
  COLORREF customColors_[16];
};

}  // namespace vle::ui::win32
