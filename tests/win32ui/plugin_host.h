// A host for the real Windows plug-in: it loads the built DLL by file name, owns a top-level host
// window on the test's thread (the user-interface thread), calls the callbacks through the
// descriptor and finds, drives and photographs the windows the plug-in opens.
//
// The test program and its copy of the DLL live in a folder of their own; the plug-in keeps its
// settings file in Plugins\ beside the host program, so these helpers read and write it there.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "plugin/host_records.h"

namespace vle::wintest {

inline constexpr wchar_t kSettingsCaption[] = L"Vorlane_LogoExtractor плагин";

// The folder of the test program, ending in a backslash.
// The whole file, or nothing when it cannot be read.
std::string ReadFile(const std::wstring& path);
std::wstring ProgramFolder();
std::wstring SettingsFilePath();
void RemoveSettingsFile();
// Writes a settings file with section PluginSettings holding `lines` ("Key=Value").
void WriteSettingsFile(const std::vector<std::string>& lines);
// The keys of section PluginSettings and their values; empty when there is no file.
std::map<std::string, std::string> ReadSettings();
// The value of `key` as a number; `fallback` when the file does not hold it.
int64_t SettingValue(const std::string& key, int64_t fallback = INT64_MIN);

// Dispatches this thread's messages for `ms` milliseconds.
void Pump(unsigned ms);
// Dispatches messages until `done` holds or `timeoutMs` passed; returns `done()`.
bool PumpUntil(const std::function<bool()>& done, unsigned timeoutMs);

// Every visible top-level window of this thread, in z-order.
std::vector<HWND> ThreadWindows();
std::wstring ClassOf(HWND window);
std::wstring TextOf(HWND window);
// The children of `parent` in z-order (which is template order for a dialog).
std::vector<HWND> Children(HWND parent);
// The first child whose text is `text`, or null.
HWND ChildWithText(HWND parent, const std::wstring& text);

// A control's rectangle in its dialog's client coordinates.
RECT ClientRectOf(HWND control);
// A template rectangle (x, y, width, height in dialog units) in the dialog's client pixels.
RECT DialogUnitsToPixels(HWND dialog, int x, int y, int width, int height);

// A window's picture as it is on the screen, 0x00RRGGBB per pixel, rows from the top.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};
Picture Capture(HWND window);
// Writes the window's picture to <build>\screenshots\<name>.bmp for a human to look at.
void SaveScreenshot(HWND window, const std::wstring& name);

inline uint32_t Rgb(int r, int g, int b) { return uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b); }

class PluginHost {
 public:
  // Loads the DLL and makes a visible host window at `hostRect` (screen coordinates).
  explicit PluginHost(RECT hostRect = RECT{200, 150, 840, 630});
  // Unloads the plug-in if the test did not, closes any window it left, frees the library.
  ~PluginHost();
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  bool loaded() const { return descriptor_ != nullptr; }
  const PluginDescriptor& plugin() const { return *descriptor_; }
  HMODULE module() const { return module_; }
  HWND hostWindow() const { return host_; }

  void Load();
  void SetFormat(int32_t width, int32_t height, int32_t pixelFormat, int32_t cpuClass = 3);
  // Configure with this host's window (or `hostWindow` when given), then runs the posted refreshes.
  void Configure();
  void Configure(HWND hostWindow);
  void Unload();

  // The settings window as a user finds it by its caption; null when it is not open.
  HWND SettingsWindow() const;
  // WM_COMMAND BN_CLICKED from control `id` of the settings window, then the posted refreshes.
  void Click(int id);
  std::wstring Text(int id) const;
  bool Enabled(int id) const;

 private:
  HMODULE module_ = nullptr;
  const PluginDescriptor* descriptor_ = nullptr;
  HWND host_ = nullptr;
  bool unloaded_ = true;
};

// Answers the next modal windows that open on this thread: a thread timer, which runs inside the
// modal loop, hands each new window to the next of `answers`, once. An answer should end its
// window by posting (not sending) the closing command. Should a window still be open after
// `fallbackMs`, it is cancelled and closed, so that no test can hang; `fellBack()` reports it.
class ModalAnswer {
 public:
  using Answer = std::function<void(HWND)>;
  explicit ModalAnswer(Answer answer, unsigned fallbackMs = 15000);
  explicit ModalAnswer(std::vector<Answer> answers, unsigned fallbackMs = 15000);
  ~ModalAnswer();
  ModalAnswer(const ModalAnswer&) = delete;
  ModalAnswer& operator=(const ModalAnswer&) = delete;

  // Whether every answer ran.
  bool answered() const { return next_ == answers_.size(); }
  bool fellBack() const { return fellBack_; }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
  void OnTick();

  std::vector<Answer> answers_;
  size_t next_ = 0;
  std::vector<HWND> known_;
  DWORD deadline_;
  UINT_PTR timer_ = 0;
  bool fellBack_ = false;
  bool busy_ = false;
};

// Posts a click of button `id` to `dialog`.
void PostClick(HWND dialog, int id);

}  // namespace vle::wintest
