#include "viewer.h"

#include <chrono>
#include <cstring>

#include "screenshot.h"

namespace vle::viewer {
namespace {

constexpr UINT kMenuSettings = 40001;
constexpr UINT kMenuExit = 40002;
constexpr UINT_PTR kAutoTestTimer = 1;
constexpr wchar_t kWindowClass[] = L"VorlaneLogoViewer";
// The plug-in's settings window, as the automated session finds it.
constexpr wchar_t kPluginCaption[] = L"Vorlane_LogoExtractor плагин";
constexpr int kStartButton = 5009, kStopButton = 5010, kSaveButton = 5012;
constexpr DWORD kAutoTestTimeoutMs = 120000;

std::wstring FromCp1251(const char* text) {
  if (text == nullptr) return std::wstring();
  const int n = MultiByteToWideChar(1251, 0, text, -1, nullptr, 0);
  if (n <= 1) return std::wstring();
  std::wstring out(size_t(n - 1), L'\0');
  MultiByteToWideChar(1251, 0, text, -1, out.data(), n);
  return out;
}

std::wstring ThisFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    if (n == 0) return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

}  // namespace

Viewer::Viewer(const ViewerOptions& options) : options_(options) {}

Viewer::~Viewer() {
  playing_ = false;
  if (video_.joinable()) video_.join();
  if (loaded_) plugin_->unload();
  if (library_ != nullptr) FreeLibrary(library_);
  if (raw_ != nullptr) fclose(raw_);
}

std::wstring Viewer::Start(HINSTANCE instance) {
  const int w = options_.width, h = options_.height;
  const size_t frameBytes = broadcast::FrameBytes(w, h, options_.layout);
  if (frameBytes == 0) return L"this frame size cannot be laid out (a yuy2 width must be even)";
  if (options_.rawPath.empty()) {
    broadcast_ = std::make_unique<broadcast::SyntheticBroadcast>(w, h, options_.layout);
  } else {
    raw_ = _wfopen(options_.rawPath.c_str(), L"rb");
    if (raw_ == nullptr) return L"cannot open " + options_.rawPath;
    _fseeki64(raw_, 0, SEEK_END);
    const long long size = _ftelli64(raw_);
    _fseeki64(raw_, 0, SEEK_SET);
    if (size <= 0 || size % (long long)frameBytes != 0) {
      return options_.rawPath + L" is not a whole number of frames of this size and layout";
    }
  }

  const std::wstring dll = ThisFolder() + L"Vorlane_LogoExtractor.dll";
  library_ = LoadLibraryW(dll.c_str());
  if (library_ == nullptr)
    return L"cannot load " + dll + L" (error " + std::to_wstring(GetLastError()) + L")";
  auto version = reinterpret_cast<int32_t (*)()>(
      reinterpret_cast<void*>(GetProcAddress(library_, "Quorsana_Plugin_Version")));
  auto descriptor = reinterpret_cast<const PluginDescriptor* (*)()>(
      reinterpret_cast<void*>(GetProcAddress(library_, "Quorsana_Plugin_PR")));
  if (version == nullptr || descriptor == nullptr) return dll + L" exports no plug-in interface";
  if (version() != 3) return dll + L" speaks another plug-in interface than 3";
  plugin_ = descriptor();
  if (plugin_ == nullptr) return dll + L" gave no descriptor";

  plugin_->load();
  loaded_ = true;
  // Classes 1 and 2 stand for processors older than the Pentium III, which lack SSE.
  const int32_t cpuClass = IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE) ? 3 : 2;
  FrameFormat format{w, h, 0, options_.layout == broadcast::Layout::kYuy2 ? 0 : 1, cpuClass};
  plugin_->setFormat(&format);

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kWindowClass;
  if (RegisterClassExW(&wc) == 0) return L"cannot register the window class";

  HMENU bar = CreateMenu();
  HMENU pluginMenu = CreatePopupMenu();
  AppendMenuW(pluginMenu, MF_STRING, kMenuSettings, L"Plug-in &settings...");
  AppendMenuW(pluginMenu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(pluginMenu, MF_STRING, kMenuExit, L"E&xit");
  AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(pluginMenu), L"&Plug-in");

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT outer{0, 0, w, h};
  AdjustWindowRectEx(&outer, style, TRUE, 0);
  const bool automated = !options_.autoTestShot.empty();
  const std::wstring title = L"logo-viewer - " + FromCp1251(plugin_->name);
  window_ = CreateWindowExW(0, kWindowClass, title.c_str(), style, automated ? 0 : CW_USEDEFAULT,
                            automated ? 0 : CW_USEDEFAULT, outer.right - outer.left, outer.bottom - outer.top,
                            nullptr, bar, instance, this);
  if (window_ == nullptr) return L"cannot create the window";

  displayInfo_.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  displayInfo_.bmiHeader.biWidth = w;
  displayInfo_.bmiHeader.biHeight = h;  // bottom-up
  displayInfo_.bmiHeader.biPlanes = 1;
  displayInfo_.bmiHeader.biBitCount = 24;
  displayInfo_.bmiHeader.biCompression = BI_RGB;
  display_.assign(size_t((w * 3 + 3) & ~3) * size_t(h), 0);

  ShowWindow(window_, SW_SHOW);
  UpdateWindow(window_);
  playing_ = true;
  video_ = std::thread([this] { VideoLoop(); });
  if (automated) {
    autoStarted_ = GetTickCount();
    SetTimer(window_, kAutoTestTimer, 50, nullptr);
  }
  return std::wstring();
}

int Viewer::Run() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return exitCode_;
}

LRESULT CALLBACK Viewer::WindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Viewer*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->window_ = window;
  }
  auto* self = reinterpret_cast<Viewer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  return self != nullptr ? self->Handle(message, w, l) : DefWindowProcW(window, message, w, l);
}

LRESULT Viewer::Handle(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(w) == kMenuSettings) {
        OpenSettings();
        return 0;
      }
      if (LOWORD(w) == kMenuExit) {
        PostMessageW(window_, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_TIMER:
      if (w == kAutoTestTimer) {
        AutoTestStep();
        return 0;
      }
      break;
    case WM_ERASEBKGND:
      return 1;  // the frame covers the whole client area
    case WM_PAINT:
      Paint();
      return 0;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_DESTROY:
      PostQuitMessage(exitCode_);
      return 0;
  }
  return DefWindowProcW(window_, message, w, l);
}

// On the user-interface thread, as the plug-in requires: its settings window belongs to this
// thread and lives on this thread's message loop.
void Viewer::OpenSettings() {
  PluginConfigureArgs args{window_};
  plugin_->configure(&args);
}

void Viewer::Close() {
  KillTimer(window_, kAutoTestTimer);
  playing_ = false;
  if (video_.joinable()) video_.join();
  // Unloading destroys the plug-in's window, which must happen on the thread that owns it.
  if (loaded_) plugin_->unload();
  loaded_ = false;
  DestroyWindow(window_);
}

bool Viewer::NextFrame(int64_t n, uint8_t* frame) {
  if (broadcast_) {
    broadcast_->Render(n, frame);
    return true;
  }
  const size_t bytes = broadcast::FrameBytes(options_.width, options_.height, options_.layout);
  if (fread(frame, 1, bytes, raw_) == bytes) return true;
  // Played to the end: start again.
  _fseeki64(raw_, 0, SEEK_SET);
  return fread(frame, 1, bytes, raw_) == bytes;
}

void Viewer::VideoLoop() {
  using Clock = std::chrono::steady_clock;
  std::vector<uint8_t> frame(broadcast::FrameBytes(options_.width, options_.height, options_.layout));
  int32_t size[2] = {options_.width, options_.height};
  const auto period = std::chrono::microseconds(1000000 / std::max(1, options_.framesPerSecond));
  Clock::time_point next = Clock::now();
  for (int64_t n = 0; playing_; ++n) {
    if (!NextFrame(n, frame.data())) break;
    VideoFrame record{};
    record.pixels = frame.data();
    record.frameSize = size;
    if (plugin_->processFrame(&record) == 1) ++processed_;
    Show(frame.data());
    next += period;
    const Clock::time_point now = Clock::now();
    if (next > now) {
      std::this_thread::sleep_until(next);
    } else if (now - next > std::chrono::seconds(1)) {
      next = now;  // far behind: drop the lost time instead of racing to catch up
    }
  }
}

void Viewer::Show(const uint8_t* frame) {
  const int w = options_.width, h = options_.height;
  const size_t stride = size_t((w * 3 + 3) & ~3);
  std::vector<uint8_t> dib(stride * size_t(h), 0);
  if (options_.layout == broadcast::Layout::kBgr24) {
    // Already bottom-up B, G, R: only the rows' padding differs.
    for (int y = 0; y < h; ++y)
      std::memcpy(&dib[stride * size_t(y)], frame + 3 * size_t(w) * size_t(y), 3 * size_t(w));
  } else {
    const std::vector<uint8_t> rgb = broadcast::FrameToRgb(frame, w, h, options_.layout);
    for (int y = 0; y < h; ++y) {
      const uint8_t* in = &rgb[3 * size_t(w) * size_t(y)];
      uint8_t* out = &dib[stride * size_t(h - 1 - y)];
      for (int x = 0; x < w; ++x) {
        out[3 * x] = in[3 * x + 2];
        out[3 * x + 1] = in[3 * x + 1];
        out[3 * x + 2] = in[3 * x];
      }
    }
  }
  {
    std::lock_guard<std::mutex> hold(displayLock_);
    display_.swap(dib);
  }
  ++shown_;
  InvalidateRect(window_, nullptr, FALSE);
}

void Viewer::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window_, &ps);
  {
    std::lock_guard<std::mutex> hold(displayLock_);
    StretchDIBits(dc, 0, 0, options_.width, options_.height, 0, 0, options_.width, options_.height,
                  display_.data(), &displayInfo_, DIB_RGB_COLORS, SRCCOPY);
  }
  EndPaint(window_, &ps);
}

void Viewer::Fail(const std::wstring& why) {
  fwprintf(stderr, L"logo-viewer: %ls\n", why.c_str());
  fflush(stderr);
  exitCode_ = 2;
  PostMessageW(window_, WM_CLOSE, 0, 0);
}

// The automated session, one step per timer tick: open the settings from the menu, place the
// settings window beside the video, press Start, let 100 frames be worked on, press Stop, and
// photograph the screen with the held template on show.
void Viewer::AutoTestStep() {
  if (GetTickCount() - autoStarted_ > kAutoTestTimeoutMs) {
    KillTimer(window_, kAutoTestTimer);
    Fail(L"the automated session timed out at step " + std::to_wstring(autoStage_));
    return;
  }
  auto press = [this](int id) {
    SendMessageW(pluginWindow_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(pluginWindow_, id)));
  };
  switch (autoStage_) {
    case 0:
      if (shown_ < 5) return;
      PostMessageW(window_, WM_COMMAND, MAKEWPARAM(kMenuSettings, 0), 0);
      autoStage_ = 1;
      return;
    case 1: {
      pluginWindow_ = FindWindowW(nullptr, kPluginCaption);
      if (pluginWindow_ == nullptr) return;
      RECT video;
      GetWindowRect(window_, &video);
      SetWindowPos(pluginWindow_, nullptr, video.right + 8, video.top, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      press(kStartButton);
      autoMark_ = processed_;
      autoStage_ = 2;
      return;
    }
    case 2:
      if (processed_ - autoMark_ < 100) return;
      if (!IsWindowEnabled(GetDlgItem(pluginWindow_, kStopButton))) {
        Fail(L"Stop is not enabled while capturing");
        return;
      }
      press(kStopButton);
      autoMark_ = shown_;
      autoStage_ = 3;
      return;
    case 3:
      if (shown_ - autoMark_ < 5) return;
      if (!IsWindowEnabled(GetDlgItem(pluginWindow_, kSaveButton))) {
        Fail(L"Save is not enabled after Stop");
        return;
      }
      RedrawWindow(pluginWindow_, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
      UpdateWindow(window_);
      autoMark_ = GetTickCount();
      autoStage_ = 4;
      return;
    case 4: {
      if (GetTickCount() - DWORD(autoMark_) < 300) return;  // let the display catch up
      KillTimer(window_, kAutoTestTimer);
      const std::wstring error = SaveScreenshot(options_.autoTestShot);
      if (!error.empty()) {
        Fail(error);
        return;
      }
      autoStage_ = 5;
      PostMessageW(window_, WM_CLOSE, 0, 0);
      return;
    }
    default:
      return;
  }
}

}  // namespace vle::viewer
