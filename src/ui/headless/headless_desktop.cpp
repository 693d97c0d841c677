#include "ui/headless/headless_desktop.h"

#include <algorithm>

#include "ui/control_ids.h"

namespace vle::ui::headless {

namespace {

constexpr int kSbEndScroll = 8;

// The controls of the settings window that carry state; statics and group boxes carry none.
constexpr int kControlIds[] = {
    IDC_OK,          IDC_CANCEL,         IDC_ABOUT,      IDC_COLOR_KEY,  IDC_THRESHOLD_EDIT,
    IDC_THRESHOLD_SPIN, IDC_BLACK_EDIT,  IDC_BLACK_SPIN, IDC_INVERSE,    IDC_POSX_EDIT,
    IDC_POSX_SPIN,   IDC_SIZEX_EDIT,     IDC_SIZEX_SPIN, IDC_POSY_EDIT,  IDC_POSY_SPIN,
    IDC_SIZEY_EDIT,  IDC_SIZEY_SPIN,     IDC_START,      IDC_STOP,       IDC_CLEAR,
    IDC_SAVE,
};

const std::string kNoText;

}  // namespace

HeadlessDesktop::HeadlessDesktop() = default;

const ControlState* HeadlessDesktop::Control(int id) const {
  if (handler_ == nullptr) return nullptr;
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : &it->second;
}

ControlState* HeadlessDesktop::Find(int id) {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : &it->second;
}

const std::string& HeadlessDesktop::Text(int id) const {
  const ControlState* c = Control(id);
  return c ? c->text : kNoText;
}

bool HeadlessDesktop::Enabled(int id) const {
  const ControlState* c = Control(id);
  return c != nullptr && c->enabled;
}

int HeadlessDesktop::Pump() {
  int ran = 0;
  while (handler_ != nullptr && !queue_.empty()) {
    Posted m = queue_.front();
    queue_.pop_front();
    ++ran;
    if (m.close) {
      handler_->OnClose();
    } else {
      handler_->OnRefresh(m.part);
    }
  }
  return ran;
}

bool HeadlessDesktop::Click(int id) {
  ControlState* c = handler_ ? Find(id) : nullptr;
  if (c == nullptr || !c->enabled) return false;
  if (id == IDC_INVERSE) c->check = c->check ? 0 : 1;
  handler_->OnCommand(id);
  Pump();
  return true;
}

void HeadlessDesktop::SendCommand(int id) {
  if (handler_ == nullptr) return;
  handler_->OnCommand(id);
  Pump();
}

bool HeadlessDesktop::ScrollTo(int upDownId, int position) {
  ControlState* c = handler_ ? Find(upDownId) : nullptr;
  if (c == nullptr || !c->enabled) return false;
  position = std::clamp(position, std::min(c->lower, c->upper), std::max(c->lower, c->upper));
  c->position = static_cast<int16_t>(position);
  const bool horizontal = c->horizontal;
  handler_->OnScroll(horizontal, kSbThumbPosition, static_cast<uint32_t>(position), upDownId);
  if (handler_) handler_->OnScroll(horizontal, kSbEndScroll, static_cast<uint32_t>(position), upDownId);
  Pump();
  return true;
}

void HeadlessDesktop::SendScroll(bool horizontal, int code, uint32_t position, int controlId) {
  if (handler_ == nullptr) return;
  handler_->OnScroll(horizontal, code, position, controlId);
  Pump();
}

void HeadlessDesktop::SendClose() {
  if (handler_ == nullptr) return;
  handler_->OnClose();
  Pump();
}

void HeadlessDesktop::AdvanceTime(unsigned milliseconds) {
  const uint64_t end = clock_ + milliseconds;
  for (;;) {
    auto next = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (it->second.due <= end && (next == timers_.end() || it->second.due < next->second.due)) next = it;
    }
    if (next == timers_.end() || handler_ == nullptr) break;
    clock_ = next->second.due;
    next->second.due += next->second.period;
    handler_->OnTimer(next->first);
    Pump();
  }
  clock_ = end;
}

void HeadlessDesktop::SetScreenSize(int width, int height) {
  screenWidth_ = width;
  screenHeight_ = height;
}

void HeadlessDesktop::SetHostWindowRect(const Rect& r) { host_ = r; }

void HeadlessDesktop::SetDialogSize(int width, int height) {
  dialogWidth_ = width;
  dialogHeight_ = height;
  window_.right = window_.left + width;
  window_.bottom = window_.top + height;
}

bool HeadlessDesktop::CreateSettingsWindow(void* host, DialogHandler& handler) {
  if (handler_ != nullptr) return false;
  hostWindow = host;
  controls_.clear();
  queue_.clear();
  timers_.clear();
  for (int id : kControlIds) controls_[id] = ControlState{};
  controls_[IDC_POSX_SPIN].horizontal = true;
  controls_[IDC_SIZEX_SPIN].horizontal = true;
  // A new dialog appears at the top-left until it is moved.
  window_ = Rect{0, 0, dialogWidth_, dialogHeight_};
  shown = false;
  handler_ = &handler;
  handler.OnInitDialog();
  return true;
}

void HeadlessDesktop::ShowWindow() { shown = handler_ != nullptr; }

void HeadlessDesktop::DestroyWindow() {
  DialogHandler* handler = handler_;
  if (handler == nullptr) return;
  handler->OnDestroy();
  handler_ = nullptr;
  controls_.clear();
  queue_.clear();
  timers_.clear();
  shown = false;
  hostWindow = nullptr;
  handler->OnFinalDestroy();
}

void HeadlessDesktop::PostRefresh(RefreshPart part) {
  if (handler_) queue_.push_back(Posted{false, part});
}

void HeadlessDesktop::PostClose() {
  if (handler_) queue_.push_back(Posted{true, RefreshPart::kAll});
}

void HeadlessDesktop::SetControlText(int id, const std::string& cp1251) {
  if (ControlState* c = Find(id)) c->text = cp1251;
}

void HeadlessDesktop::SetCheck(int id, int state) {
  if (ControlState* c = Find(id)) c->check = state;
}

int HeadlessDesktop::GetCheck(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? 0 : it->second.check;
}

void HeadlessDesktop::EnableControl(int id, bool enabled) {
  if (ControlState* c = Find(id)) c->enabled = enabled;
}

void HeadlessDesktop::SetUpDownBuddy(int upDownId, int editId) {
  if (ControlState* c = Find(upDownId)) c->buddy = editId;
}

void HeadlessDesktop::SetUpDownRange(int upDownId, int lower, int upper) {
  if (ControlState* c = Find(upDownId)) {
    c->lower = lower;
    c->upper = upper;
  }
}

void HeadlessDesktop::SetUpDownAccel(int upDownId, const UpDownAccel* table, int count) {
  if (ControlState* c = Find(upDownId)) c->accel.assign(table, table + std::max(count, 0));
}

// Like the real control, the position is kept inside the range.
void HeadlessDesktop::SetUpDownPos(int upDownId, int16_t position) {
  if (ControlState* c = Find(upDownId)) {
    int p = std::clamp<int>(position, std::min(c->lower, c->upper), std::max(c->lower, c->upper));
    c->position = static_cast<int16_t>(p);
  }
}

void HeadlessDesktop::RepaintControl(int id) {
  if (ControlState* c = Find(id)) ++c->repaints;
}

void HeadlessDesktop::MoveWindow(int x, int y) {
  window_ = Rect{x, y, x + dialogWidth_, y + dialogHeight_};
}

void HeadlessDesktop::Focus() { ++focusCount; }

void HeadlessDesktop::SetTimer(uintptr_t id, unsigned periodMs) {
  if (handler_) timers_[id] = Timer{periodMs, clock_ + periodMs};
}

void HeadlessDesktop::KillTimer(uintptr_t id) { timers_.erase(id); }

void HeadlessDesktop::FlashWindow() { ++flashes; }

bool HeadlessDesktop::ChooseColor(uint32_t initial, uint32_t* chosen) {
  ++colorChoosers;
  return colorChooser ? colorChooser(initial, chosen) : false;
}

bool HeadlessDesktop::ChooseSaveFile(const SaveFileRequest& request, std::string* path) {
  ++saveChoosers;
  return saveChooser ? saveChooser(request, path) : false;
}

void HeadlessDesktop::RunAboutBox() {
  ++aboutBoxes;
  if (aboutBox) aboutBox();
}

void HeadlessDesktop::ShowProcessorMessage(const std::string& cp1251) {
  processorMessages.push_back(cp1251);
}

HeadlessDesktop& Desktop() {
  static HeadlessDesktop desktop;
  return desktop;
}

}  // namespace vle::ui::headless

namespace vle::ui {
WindowSystem& PlatformWindowSystem() { return headless::Desktop(); }
}  // namespace vle::ui

extern "C" vle::ui::headless::HeadlessDesktop* Vorlane_HeadlessDesktop() {
  return &vle::ui::headless::Desktop();
}
