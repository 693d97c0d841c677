#include "ui/win32/win32_window_system.h"

#include <commctrl.h>
#include <commdlg.h>

#include <vector>

#include "platform/module_scope.h"
#include "ui/control_ids.h"

namespace vle::ui::win32 {

namespace {

constexpr UINT kCp1251 = 1251;
constexpr COLORREF kDisabledHatch = RGB(128, 128, 128);
// Room for long paths: the chooser fails rather than cut a path that does not fit.
constexpr size_t kPathCapacity = 32768;

HINSTANCE ModuleInstance() { return static_cast<HINSTANCE>(platform::PluginModule()); }

std::wstring Widen(UINT codePage, const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), size, &wide[0], length);
  return wide;
}

// Windows-1251 bytes as UTF-16, one character per byte, embedded NULs included.
std::wstring FromCp1251(const std::string& text) { return Widen(kCp1251, text); }

// False when `wide` holds a character that the ANSI code page cannot represent exactly.
bool NarrowToAnsi(const std::wstring& wide, std::string* out) {
  out->clear();
  if (wide.empty()) return true;
  // UTF-8 as the ANSI code page represents everything and rejects both lossiness checks.
  const bool utf8 = GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL lossy = FALSE;
  BOOL* lossyOut = utf8 ? nullptr : &lossy;
  const int size = static_cast<int>(wide.size());
  const int length = WideCharToMultiByte(CP_ACP, flags, wide.data(), size, nullptr, 0, nullptr, lossyOut);
  if (length <= 0 || lossy) return false;
  out->assign(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, flags, wide.data(), size, &(*out)[0], length, nullptr, nullptr);
  return true;
}

// The module's file name without folder and extension: what the system shows as the plug-in's
// own title.
std::wstring ModuleTitle() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(ModuleInstance(), &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t slash = path.find_last_of(L"\\/");
  if (slash != std::wstring::npos) path.erase(0, slash + 1);
  const size_t dot = path.rfind(L'.');
  if (dot != std::wstring::npos) path.erase(dot);
  return path;
}

// The about box has no behaviour of its own: its button, or Escape, ends it.
INT_PTR CALLBACK AboutProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  platform::ModuleScope scope;
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(window, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

Win32WindowSystem::Win32WindowSystem() {
  // Untouched custom colour slots show white, as in a chooser that has never been used.
  for (COLORREF& c : customColors_) c = RGB(255, 255, 255);
}

// Only reached when the library is unloaded while its window still exists (the host skipped the
// unload callback). The behaviour is gone by then, so the window is taken down without it: a
// window whose procedure is unmapped would crash the host at its next message.
Win32WindowSystem::~Win32WindowSystem() {
  handler_ = nullptr;
  if (window_ != nullptr) {
    SetWindowLongPtrW(window_, DWLP_USER, 0);
    ::DestroyWindow(window_);
  }
}

bool Win32WindowSystem::CreateSettingsWindow(void* hostWindow, DialogHandler& handler) {
  if (window_ != nullptr) return false;
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_UPDOWN_CLASS};
  InitCommonControlsEx(&controls);
  // A handle that names no window would make the creation fail: the window then has no owner.
  HWND host = static_cast<HWND>(hostWindow);
  host_ = host != nullptr && IsWindow(host) ? host : nullptr;
  handler_ = &handler;
  // WM_INITDIALOG, and with it the handler's initialisation, runs inside this call.
  CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_SETTINGS), host_, &DialogProc,
                     reinterpret_cast<LPARAM>(this));
  if (window_ == nullptr) {
    handler_ = nullptr;
    host_ = nullptr;
    return false;
  }
  return true;
}

void Win32WindowSystem::ShowWindow() {
  if (window_ != nullptr) ::ShowWindow(window_, SW_SHOW);
}

void Win32WindowSystem::DestroyWindow() {
  if (window_ != nullptr) ::DestroyWindow(window_);
}

INT_PTR CALLBACK Win32WindowSystem::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  platform::ModuleScope scope;
  try {
    if (message == WM_INITDIALOG) {
      auto* self = reinterpret_cast<Win32WindowSystem*>(lParam);
      SetWindowLongPtrW(window, DWLP_USER, lParam);
      self->window_ = window;
      if (self->handler_ != nullptr) self->handler_->OnInitDialog();
      return FALSE;  // no initial focus
    }
    auto* self = reinterpret_cast<Win32WindowSystem*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr || self->window_ != window || self->handler_ == nullptr) return FALSE;
    return self->Route(window, message, wParam, lParam);
  } catch (...) {
    // Nothing may unwind into the system's dispatcher; the message counts as handled.
    return message == WM_INITDIALOG ? FALSE : TRUE;
  }
}

INT_PTR Win32WindowSystem::Route(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      // Edit boxes report focus and change notifications as commands too; only clicks count.
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      handler_->OnCommand(LOWORD(wParam));
      return TRUE;
    case WM_HSCROLL:
    case WM_VSCROLL: {
      const int source = lParam != 0 ? GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) : 0;
      handler_->OnScroll(message == WM_HSCROLL, LOWORD(wParam), HIWORD(wParam), source);
      return FALSE;
    }
    case WM_TIMER:
      handler_->OnTimer(static_cast<uintptr_t>(wParam));
      return FALSE;
    case UM_REFRESH_CONTROLS:
      handler_->OnRefresh(static_cast<RefreshPart>(static_cast<int>(wParam)));
      SetWindowLongPtrW(window, DWLP_MSGRESULT, 1);
      return TRUE;
    case WM_CLOSE:
      // The handler decides; the dialog manager's own close (a Cancel command) must not run.
      handler_->OnClose();
      return TRUE;
    case WM_DESTROY:
      handler_->OnDestroy();
      return FALSE;
    case WM_NCDESTROY: {
      // The window is gone for good: forget it before the handler hears of it, so that the
      // handler already sees no window.
      DialogHandler* handler = handler_;
      SetWindowLongPtrW(window, DWLP_USER, 0);
      window_ = nullptr;
      host_ = nullptr;
      handler_ = nullptr;
      handler->OnFinalDestroy();
      return FALSE;
    }
    case WM_DRAWITEM:
      if (wParam != IDC_COLOR_KEY || lParam == 0) return FALSE;
      PaintColorKey(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    default:
      return FALSE;
  }
}

// The button is nothing but its colour: no caption, no focus rectangle, no pushed look. Disabled,
// it shows grey diagonal hatching instead, the gaps left to the device context as handed over.
void Win32WindowSystem::PaintColorKey(const DRAWITEMSTRUCT& item) const {
  HBRUSH brush = (item.itemState & ODS_DISABLED) != 0
                     ? CreateHatchBrush(HS_FDIAGONAL, kDisabledHatch)
                     : CreateSolidBrush(handler_->ColorKeyToPaint());
  RECT area = item.rcItem;
  if (brush != nullptr) FillRect(item.hDC, &area, brush);
  DrawEdge(item.hDC, &area, EDGE_BUMP, BF_RECT);
  if (brush != nullptr) DeleteObject(brush);
}

HWND Win32WindowSystem::Item(int id) const {
  return window_ != nullptr ? GetDlgItem(window_, id) : nullptr;
}

void Win32WindowSystem::PostRefresh(RefreshPart part) {
  if (window_ != nullptr) PostMessageW(window_, UM_REFRESH_CONTROLS, static_cast<WPARAM>(part), 0);
}

void Win32WindowSystem::PostClose() {
  if (window_ != nullptr) PostMessageW(window_, WM_CLOSE, 0, 0);
}

void Win32WindowSystem::SetControlText(int id, const std::string& cp1251) {
  if (HWND item = Item(id)) SetWindowTextW(item, FromCp1251(cp1251).c_str());
}

void Win32WindowSystem::SetCheck(int id, int state) {
  if (HWND item = Item(id)) SendMessageW(item, BM_SETCHECK, static_cast<WPARAM>(state), 0);
}

int Win32WindowSystem::GetCheck(int id) const {
  HWND item = Item(id);
  return item != nullptr ? static_cast<int>(SendMessageW(item, BM_GETCHECK, 0, 0)) : 0;
}

void Win32WindowSystem::EnableControl(int id, bool enabled) {
  if (HWND item = Item(id)) EnableWindow(item, enabled ? TRUE : FALSE);
}

void Win32WindowSystem::SetUpDownBuddy(int upDownId, int editId) {
  if (HWND item = Item(upDownId)) SendMessageW(item, UDM_SETBUDDY, reinterpret_cast<WPARAM>(Item(editId)), 0);
}

void Win32WindowSystem::SetUpDownRange(int upDownId, int lower, int upper) {
  if (HWND item = Item(upDownId)) {
    SendMessageW(item, UDM_SETRANGE, 0, MAKELPARAM(static_cast<WORD>(upper), static_cast<WORD>(lower)));
  }
}

void Win32WindowSystem::SetUpDownAccel(int upDownId, const UpDownAccel* table, int count) {
  HWND item = Item(upDownId);
  if (item == nullptr || table == nullptr || count <= 0) return;
  std::vector<UDACCEL> steps(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) steps[size_t(i)] = UDACCEL{table[i].seconds, table[i].increment};
  SendMessageW(item, UDM_SETACCEL, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(steps.data()));
}

void Win32WindowSystem::SetUpDownPos(int upDownId, int16_t position) {
  if (HWND item = Item(upDownId)) {
    SendMessageW(item, UDM_SETPOS, 0, MAKELPARAM(static_cast<WORD>(position), 0));
  }
}

void Win32WindowSystem::RepaintControl(int id) {
  if (HWND item = Item(id)) RedrawWindow(item, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

Rect Win32WindowSystem::WindowRect() const {
  RECT r{};
  if (window_ != nullptr) GetWindowRect(window_, &r);
  return Rect{r.left, r.top, r.right, r.bottom};
}

Rect Win32WindowSystem::HostWindowRect() const {
  RECT r{};
  if (host_ != nullptr && IsWindow(host_) && GetWindowRect(host_, &r)) {
    return Rect{r.left, r.top, r.right, r.bottom};
  }
  return Rect{0, 0, ScreenWidth(), ScreenHeight()};
}

int Win32WindowSystem::ScreenWidth() const { return GetSystemMetrics(SM_CXSCREEN); }

int Win32WindowSystem::ScreenHeight() const { return GetSystemMetrics(SM_CYSCREEN); }

void Win32WindowSystem::MoveWindow(int x, int y) {
  if (window_ != nullptr) SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void Win32WindowSystem::Focus() {
  if (window_ != nullptr) SetFocus(window_);
}

void Win32WindowSystem::SetTimer(uintptr_t id, unsigned periodMs) {
  if (window_ != nullptr) ::SetTimer(window_, static_cast<UINT_PTR>(id), periodMs, nullptr);
}

void Win32WindowSystem::KillTimer(uintptr_t id) {
  if (window_ != nullptr) ::KillTimer(window_, static_cast<UINT_PTR>(id));
}

void Win32WindowSystem::FlashWindow() {
  if (window_ != nullptr) ::FlashWindow(window_, TRUE);
}

bool Win32WindowSystem::ChooseColor(uint32_t initial, uint32_t* chosen) {
  CHOOSECOLORW request{};
  request.lStructSize = sizeof request;
  request.hwndOwner = window_;
  request.rgbResult = initial;
  request.lpCustColors = customColors_;
  request.Flags = CC_RGBINIT | CC_FULLOPEN;
  if (!ChooseColorW(&request)) return false;
  *chosen = request.rgbResult;
  return true;
}

bool Win32WindowSystem::ChooseSaveFile(const SaveFileRequest& request, std::string* path) {
  std::wstring filter = FromCp1251(request.filter);
  filter.append(2, L'\0');  // the list's end, whether or not the request spelled it out
  const std::wstring extension = FromCp1251(request.defaultExtension);
  std::vector<wchar_t> file(kPathCapacity, L'\0');
  const std::wstring initial = Widen(CP_ACP, request.initialPath);
  if (initial.size() < file.size()) std::copy(initial.begin(), initial.end(), file.begin());

  OPENFILENAMEW chooser{};
  chooser.lStructSize = sizeof chooser;
  chooser.hwndOwner = window_;
  chooser.lpstrFilter = request.filter.empty() ? nullptr : filter.c_str();
  chooser.lpstrFile = file.data();
  chooser.nMaxFile = static_cast<DWORD>(file.size());
  chooser.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  chooser.Flags = request.flags;
  if (!GetSaveFileNameW(&chooser)) return false;
  return NarrowToAnsi(std::wstring(file.data()), path);
}

void Win32WindowSystem::RunAboutBox() {
  DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_ABOUT), window_, &AboutProc, 0);
}

void Win32WindowSystem::ShowProcessorMessage(const std::string& cp1251) {
  MessageBoxW(nullptr, FromCp1251(cp1251).c_str(), ModuleTitle().c_str(), MB_ICONINFORMATION | MB_OK);
}

}  // namespace vle::ui::win32

namespace vle::ui {

WindowSystem& PlatformWindowSystem() {
  static win32::Win32WindowSystem windows;
  return windows;
}

}  // namespace vle::ui
