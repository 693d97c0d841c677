// The viewer's window and its two threads. The user-interface thread owns the window, the menu
// and the plug-in's settings window (it calls PluginLoad, PluginConfigure and PluginUnload and pumps
// their messages); the video thread makes frames at the frame rate, hands each to
// PluginProcessFrame and passes the result to the window to show.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "broadcast.h"
#include "plugin/host_records.h"

namespace vle::viewer {

struct ViewerOptions {
  int width = 720, height = 576;
  broadcast::Layout layout = broadcast::Layout::kYuy2;
  std::wstring rawPath;  // empty: the synthetic broadcast
  int framesPerSecond = broadcast::SyntheticBroadcast::kFramesPerSecond;
  std::wstring autoTestShot;  // non-empty: run the automated session and write this screenshot
};

class Viewer {
 public:
  explicit Viewer(const ViewerOptions& options);
  ~Viewer();

  // Loads the plug-in beside this program and creates the window. Returns what went wrong, or
  // an empty string.
  std::wstring Start(HINSTANCE instance);
  // Pumps messages until the window is gone; returns the exit code.
  int Run();

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM w, LPARAM l);
  LRESULT Handle(UINT message, WPARAM w, LPARAM l);
  void OpenSettings();
  void Close();
  void VideoLoop();
  bool NextFrame(int64_t n, uint8_t* frame);
  void Show(const uint8_t* frame);
  void Paint();
  void AutoTestStep();
  void Fail(const std::wstring& why);

  ViewerOptions options_;
  HMODULE library_ = nullptr;
  const PluginDescriptor* plugin_ = nullptr;
  HWND window_ = nullptr;
  bool loaded_ = false;

  std::unique_ptr<broadcast::SyntheticBroadcast> broadcast_;
  FILE* raw_ = nullptr;
  std::thread video_;
  std::atomic<bool> playing_{false};
  std::atomic<int64_t> processed_{0};  // frames the plug-in worked on
  std::atomic<int64_t> shown_{0};

  // The latest frame as a bottom-up 24-bit DIB, handed from the video thread to WM_PAINT.
  std::mutex displayLock_;
  std::vector<uint8_t> display_;
  BITMAPINFO displayInfo_{};

  // The automated session's progress.
  int autoStage_ = 0;
  int64_t autoMark_ = 0;
  DWORD autoStarted_ = 0;
  HWND pluginWindow_ = nullptr;
  int exitCode_ = 0;
};

}  // namespace vle::viewer
