#include "win32ui/plugin_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace vle::wintest {

namespace {

constexpr wchar_t kPluginFile[] = L"Vorlane_LogoExtractor.dll";
constexpr wchar_t kHostClass[] = L"VleTestHost";

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterHostClass() {
  static const bool registered = [] {
    WNDCLASSW c{};
    c.lpfnWndProc = &HostProc;
    c.hInstance = GetModuleHandleW(nullptr);
    c.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    c.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    c.lpszClassName = kHostClass;
    return RegisterClassW(&c) != 0;
  }();
  (void)registered;
}

std::string Trim(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

ModalAnswer* g_activeAnswer = nullptr;

}  // namespace

std::string ReadFile(const std::wstring& path) {
  std::string bytes;
  if (FILE* f = _wfopen(path.c_str(), L"rb")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    fclose(f);
  }
  return bytes;
}

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH * 4] = {};
  GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::wstring SettingsFilePath() { return ProgramFolder() + L"Plugins\\Vorlane_LogoExtractor.ini"; }

void RemoveSettingsFile() { DeleteFileW(SettingsFilePath().c_str()); }

void WriteSettingsFile(const std::vector<std::string>& lines) {
  CreateDirectoryW((ProgramFolder() + L"Plugins").c_str(), nullptr);
  FILE* f = _wfopen(SettingsFilePath().c_str(), L"wb");
  ASSERT_NE(f, nullptr);
  std::string text = "[PluginSettings]\r\n";
  for (const std::string& line : lines) text += line + "\r\n";
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
}

std::map<std::string, std::string> ReadSettings() {
  std::map<std::string, std::string> values;
  const std::string text = ReadFile(SettingsFilePath());
  bool inSection = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = Trim(text.substr(start, end - start));
    start = end + 1;
    if (!line.empty() && line[0] == '[') {
      inSection = line == "[PluginSettings]";
    } else if (inSection) {
      const size_t eq = line.find('=');
      if (eq != std::string::npos) values.emplace(Trim(line.substr(0, eq)), line.substr(eq + 1));
    }
  }
  return values;
}

int64_t SettingValue(const std::string& key, int64_t fallback) {
  const auto values = ReadSettings();
  auto it = values.find(key);
  return it == values.end() ? fallback : std::strtoll(it->second.c_str(), nullptr, 10);
}

void Pump(unsigned ms) {
  PumpUntil([] { return false; }, ms);
}

bool PumpUntil(const std::function<bool()>& done, unsigned timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    if (done()) return true;
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return done();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(timeoutMs - elapsed, 10), QS_ALLINPUT);
  }
}

namespace {
BOOL CALLBACK CollectVisible(HWND w, LPARAM list) {
  if (IsWindowVisible(w)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(w);
  return TRUE;
}
}  // namespace

std::vector<HWND> ThreadWindows() {
  std::vector<HWND> windows;
  EnumThreadWindows(GetCurrentThreadId(), &CollectVisible, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, &text[0], static_cast<int>(text.size()))));
  return text;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  for (HWND c = GetWindow(parent, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    children.push_back(c);
  }
  return children;
}

HWND ChildWithText(HWND parent, const std::wstring& text) {
  for (HWND c : Children(parent)) {
    if (TextOf(c) == text) return c;
  }
  return nullptr;
}

RECT ClientRectOf(HWND control) {
  RECT r{};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

RECT DialogUnitsToPixels(HWND dialog, int x, int y, int width, int height) {
  RECT r{x, y, x + width, y + height};
  MapDialogRect(dialog, &r);
  return r;
}

Picture Capture(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Pump(150);  // lets the display catch up with what was painted
  Picture picture;
  RECT r{};
  GetWindowRect(window, &r);
  picture.width = r.right - r.left;
  picture.height = r.bottom - r.top;
  if (picture.width <= 0 || picture.height <= 0) return picture;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, picture.width, picture.height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, picture.width, picture.height, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = picture.width;
  info.bmiHeader.biHeight = -picture.height;  // rows from the top
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  picture.pixels.resize(size_t(picture.width) * size_t(picture.height));
  GetDIBits(memory, bitmap, 0, UINT(picture.height), picture.pixels.data(), &info, DIB_RGB_COLORS);
  for (uint32_t& p : picture.pixels) p &= 0xFFFFFF;
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return picture;
}

void SaveScreenshot(HWND window, const std::wstring& name) {
  const Picture picture = Capture(window);
  if (picture.pixels.empty()) return;
  const std::wstring folder = ProgramFolder() + VLE_SCREENSHOT_DIR;
  CreateDirectoryW(folder.c_str(), nullptr);
  FILE* f = _wfopen((folder + L"\\" + name + L".bmp").c_str(), L"wb");
  if (f == nullptr) return;
  const uint32_t rowBytes = (uint32_t(picture.width) * 3 + 3) & ~3u;
  const uint32_t imageBytes = rowBytes * uint32_t(picture.height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + imageBytes;
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = picture.width;
  info.biHeight = picture.height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  fwrite(&file, sizeof file, 1, f);
  fwrite(&info, sizeof info, 1, f);
  std::vector<uint8_t> row(rowBytes, 0);
  for (int y = picture.height - 1; y >= 0; --y) {
    for (int x = 0; x < picture.width; ++x) {
      const uint32_t p = picture.at(x, y);
      row[size_t(x) * 3] = uint8_t(p);
      row[size_t(x) * 3 + 1] = uint8_t(p >> 8);
      row[size_t(x) * 3 + 2] = uint8_t(p >> 16);
    }
    fwrite(row.data(), 1, row.size(), f);
  }
  fclose(f);
}

PluginHost::PluginHost(RECT hostRect) {
  module_ = LoadLibraryW((ProgramFolder() + kPluginFile).c_str());
  if (module_ == nullptr) {
    ADD_FAILURE() << "cannot load the plug-in beside the test program";
    return;
  }
  using DescriptorFn = const PluginDescriptor* (*)();
  auto pr = reinterpret_cast<DescriptorFn>(reinterpret_cast<void*>(GetProcAddress(module_, "Quorsana_Plugin_PR")));
  if (pr == nullptr) {
    ADD_FAILURE() << "the plug-in exports no Quorsana_Plugin_PR";
    return;
  }
  descriptor_ = pr();
  RegisterHostClass();
  host_ = CreateWindowExW(0, kHostClass, L"Test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, hostRect.left,
                          hostRect.top, hostRect.right - hostRect.left, hostRect.bottom - hostRect.top,
                          nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  Pump(20);
}

PluginHost::~PluginHost() {
  if (descriptor_ != nullptr && !unloaded_) Unload();
  // A test that failed half-way may leave a modal box of the plug-in open: close it before the
  // code behind it goes away.
  for (HWND w : ThreadWindows()) {
    if (w != host_) DestroyWindow(w);
  }
  if (host_ != nullptr) DestroyWindow(host_);
  Pump(10);
  if (module_ != nullptr) FreeLibrary(module_);
}

void PluginHost::Load() {
  plugin().load();
  unloaded_ = false;
}

void PluginHost::SetFormat(int32_t width, int32_t height, int32_t pixelFormat, int32_t cpuClass) {
  FrameFormat format{width, height, 0, pixelFormat, cpuClass};
  EXPECT_EQ(plugin().setFormat(&format), 1);
}

void PluginHost::Configure() { Configure(host_); }

void PluginHost::Configure(HWND hostWindow) {
  PluginConfigureArgs args{hostWindow};
  plugin().configure(&args);
  Pump(30);
}

void PluginHost::Unload() {
  plugin().unload();
  unloaded_ = true;
  Pump(10);
}

HWND PluginHost::SettingsWindow() const { return FindWindowW(nullptr, kSettingsCaption); }

void PluginHost::Click(int id) {
  HWND window = SettingsWindow();
  ASSERT_NE(window, nullptr) << "no settings window to click " << id << " in";
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
  Pump(30);
}

std::wstring PluginHost::Text(int id) const { return TextOf(GetDlgItem(SettingsWindow(), id)); }

bool PluginHost::Enabled(int id) const { return IsWindowEnabled(GetDlgItem(SettingsWindow(), id)) != 0; }

ModalAnswer::ModalAnswer(Answer answer, unsigned fallbackMs)
    : ModalAnswer(std::vector<Answer>{std::move(answer)}, fallbackMs) {}

ModalAnswer::ModalAnswer(std::vector<Answer> answers, unsigned fallbackMs)
    : answers_(std::move(answers)), known_(ThreadWindows()), deadline_(GetTickCount() + fallbackMs) {
  g_activeAnswer = this;
  timer_ = SetTimer(nullptr, 0, 50, &ModalAnswer::Tick);
}

ModalAnswer::~ModalAnswer() {
  KillTimer(nullptr, timer_);
  g_activeAnswer = nullptr;
}

void CALLBACK ModalAnswer::Tick(HWND, UINT, UINT_PTR, DWORD) {
  if (g_activeAnswer != nullptr) g_activeAnswer->OnTick();
}

void ModalAnswer::OnTick() {
  if (busy_) return;
  busy_ = true;
  std::vector<HWND> fresh;
  for (HWND w : ThreadWindows()) {
    if (std::find(known_.begin(), known_.end(), w) == known_.end() && ClassOf(w) == L"#32770") {
      fresh.push_back(w);
    }
  }
  // The newest enabled window is the one that waits for an answer (an owner is disabled while
  // its own modal box is open).
  auto waiting = std::find_if(fresh.begin(), fresh.end(), [](HWND w) { return IsWindowEnabled(w) != 0; });
  if (next_ < answers_.size() && waiting != fresh.end()) {
    known_.push_back(*waiting);
    answers_[next_++](*waiting);
  } else if (!fresh.empty() && int32_t(GetTickCount() - deadline_) >= 0) {
    fellBack_ = true;
    for (HWND w : fresh) {
      PostMessageW(w, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      PostMessageW(w, WM_CLOSE, 0, 0);
    }
  }
  busy_ = false;
}

void PostClick(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace vle::wintest
