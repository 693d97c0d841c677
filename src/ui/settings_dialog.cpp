#include "ui/settings_dialog.h"

#include <cstdio>
#include <memory>

#include "core/image_buffer.h"
#include "core/template_kernels.h"
#include "export/template_export.h"
#include "frame/frame_adapter.h"
#include "ui/control_ids.h"
#include "ui/shared_state.h"
#include "ui/texts.h"

namespace vle::ui {

namespace {

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr uint32_t kOfnOverwritePrompt = 0x2;
constexpr uint32_t kOfnHideReadOnly = 0x4;

constexpr UpDownAccel kRegionAccel[] = {{0, 1}, {1, 8}, {2, 16}, {3, 32}};

constexpr auto kRelaxed = std::memory_order_relaxed;

// The edits of the up-down controls: a region origin (then the clamp), a region size that keeps
// the region's centre, to within half a unit, until the clamp moves it, and a level.
template <int32_t SettingsBlock::*kOrigin>
void SetOrigin(SettingsBlock& s, uint32_t position) {
  s.*kOrigin = static_cast<int32_t>(position);
  SettingsDialog::ClampRegion(s);
}

template <int32_t SettingsBlock::*kOrigin, int32_t SettingsBlock::*kSize>
void SetSize(SettingsBlock& s, uint32_t position) {
  const int32_t oldSize = s.*kSize;
  s.*kSize = static_cast<int32_t>(position);
  s.*kOrigin = static_cast<int32_t>(uint32_t(s.*kOrigin) + uint32_t(oldSize / 2) - (position >> 1));
  SettingsDialog::ClampRegion(s);
}

template <int32_t SettingsBlock::*kLevel>
void SetLevel(SettingsBlock& s, uint32_t position) {
  s.*kLevel = static_cast<int32_t>(position);
}

// What each up-down control changes when it reaches a new position, and the parts that show it
// (kAll stands for none: it is never posted from here).
struct UpDownAction {
  int controlId;
  bool horizontal;  // the control reports through WM_HSCROLL
  void (*edit)(SettingsBlock& s, uint32_t position);
  RefreshPart refresh[2];
};

using B = SettingsBlock;
constexpr UpDownAction kUpDownActions[] = {
    {IDC_POSX_SPIN, true, SetOrigin<&B::logoPosX>, {RefreshPart::kPositionX, RefreshPart::kAll}},
    {IDC_SIZEX_SPIN, true, SetSize<&B::logoPosX, &B::logoSizeX>, {RefreshPart::kPositionX, RefreshPart::kSizeX}},
    {IDC_THRESHOLD_SPIN, false, SetLevel<&B::threshold>, {RefreshPart::kThreshold, RefreshPart::kAll}},
    {IDC_BLACK_SPIN, false, SetLevel<&B::blackLevel>, {RefreshPart::kBlackLevel, RefreshPart::kAll}},
    {IDC_POSY_SPIN, false, SetOrigin<&B::logoPosY>, {RefreshPart::kPositionY, RefreshPart::kAll}},
    {IDC_SIZEY_SPIN, false, SetSize<&B::logoPosY, &B::logoSizeY>, {RefreshPart::kPositionY, RefreshPart::kSizeY}},
};

}  // namespace

SettingsDialog::SettingsDialog(SharedState& state, FrameAdapter& adapter, TemplateExporter& exporter,
                               WindowSystem& windows)
    : state_(state), adapter_(adapter), exporter_(exporter), windows_(windows) {
  state_.captureActive.store(0, kRelaxed);
  state_.templateActive.store(0, kRelaxed);
}

bool SettingsDialog::HasWindow() const { return windows_.HasWindow(); }

bool SettingsDialog::Open(void* hostWindow) {
  if (windows_.HasWindow()) return true;
  if (!windows_.CreateSettingsWindow(hostWindow, *this)) return false;
  windows_.ShowWindow();
  return true;
}

void SettingsDialog::Destroy() {
  if (windows_.HasWindow()) windows_.DestroyWindow();
}

void SettingsDialog::FlashCaption(int n) {
  flashCount_ = 2 * n + 1;
  windows_.SetTimer(FLASH_TIMER_ID, FLASH_PERIOD_MS);
}

CaptureState SettingsDialog::captureState() const {
  if (state_.captureActive.load(kRelaxed) != 0) return CaptureState::kCapturing;
  if (state_.templateActive.load(kRelaxed) != 0) return CaptureState::kHolding;
  return CaptureState::kIdle;
}

void SettingsDialog::OnInitDialog() {
  state_.windowExists.store(true, kRelaxed);

  // A stored position off the screen (for instance from a larger monitor) is replaced by the
  // centred one; any other stored pair is used as it is, negative values included.
  bool centre = dlgWndPosX == kNoWindowPosition && dlgWndPosY == kNoWindowPosition;
  if (!centre) centre = dlgWndPosX >= windows_.ScreenWidth() || dlgWndPosY >= windows_.ScreenHeight();
  if (centre) {
    const Rect d = windows_.WindowRect();
    const Rect h = windows_.HostWindowRect();
    // Sums in 64 bits; each halving truncates toward zero like the platform's signed division.
    int64_t x = d.left + (int64_t{h.left} + h.right) / 2 - (int64_t{d.left} + d.right) / 2;
    int64_t y = d.top + (int64_t{h.top} + h.bottom) / 2 - (int64_t{d.top} + d.bottom) / 2;
    dlgWndPosX = static_cast<int32_t>(x < 0 ? 0 : x);
    dlgWndPosY = static_cast<int32_t>(y < 0 ? 0 : y);
  }
  windows_.MoveWindow(dlgWndPosX, dlgWndPosY);

  snapshot_ = state_.activeSettings.Load();

  windows_.SetUpDownBuddy(IDC_THRESHOLD_SPIN, IDC_THRESHOLD_EDIT);
  windows_.SetUpDownRange(IDC_THRESHOLD_SPIN, 0, 255);
  windows_.SetUpDownBuddy(IDC_BLACK_SPIN, IDC_BLACK_EDIT);
  windows_.SetUpDownRange(IDC_BLACK_SPIN, 0, 255);
  const int region[][2] = {{IDC_POSX_SPIN, IDC_POSX_EDIT},
                           {IDC_POSY_SPIN, IDC_POSY_EDIT},
                           {IDC_SIZEX_SPIN, IDC_SIZEX_EDIT},
                           {IDC_SIZEY_SPIN, IDC_SIZEY_EDIT}};
  for (const auto& pair : region) {
    windows_.SetUpDownBuddy(pair[0], pair[1]);
    windows_.SetUpDownRange(pair[0], 0, 1000);
    windows_.SetUpDownAccel(pair[0], kRegionAccel, 4);
  }

  windows_.PostRefresh(RefreshPart::kAll);
  CreateBuffers();
}

// The buffers are made at the size of the format announced last, with both flags clear, so the
// frame driver does no buffer work yet; the pointers are published under the lock it reads them in.
void SettingsDialog::CreateBuffers() {
  const int32_t w = state_.currentFormat.width.load(kRelaxed);
  const int32_t h = state_.currentFormat.height.load(kRelaxed);
  std::unique_ptr<ImageBuffer> max(new ImageBuffer(w, h));
  std::unique_ptr<ImageBuffer> min(new ImageBuffer(w, h));
  std::unique_ptr<ImageBuffer> output(new ImageBuffer(w, h));
  // With one buffer missing nothing can be captured, built or shown, and a template that was never
  // built would show (and save) whatever the heap held: the window then works without any buffer.
  for (const auto* buffer : {&max, &min, &output}) {
    if ((*buffer)->bits == nullptr && !IsEmpty((*buffer)->rect)) {
      max.reset();
      min.reset();
      output.reset();
      break;
    }
  }
  if (output) {
    // The template of no frames at all, until the first frame is folded in: a save right after
    // Start and Stop writes that rather than uninitialised memory.
    ResetAccumulators(max.get(), min.get());
    const SettingsBlock s = state_.activeSettings.Load();
    BuildTemplate(*max, *min, *output, s.colorKey, s.threshold, s.blackLevel, s.inverseSelection);
  }
  PublishBuffers(std::move(max), std::move(min), std::move(output));
}

void SettingsDialog::PublishBuffers(std::unique_ptr<ImageBuffer> max,
                                    std::unique_ptr<ImageBuffer> min,
                                    std::unique_ptr<ImageBuffer> output) {
  std::unique_ptr<ImageBuffer> old[3];
  {
    platform::LockGuard guard(state_.bufferLock);
    old[0].reset(state_.maxBuffer);
    old[1].reset(state_.minBuffer);
    old[2].reset(state_.templateBuffer);
    state_.maxBuffer = max.release();
    state_.minBuffer = min.release();
    state_.templateBuffer = output.release();
  }
  // The old buffers are freed after the lock is released: the video thread never waits on that.
}

void SettingsDialog::OnCommand(int id) {
  switch (id) {
    case IDC_CANCEL:
      windows_.PostClose();
      break;
    case IDC_OK:
      windows_.DestroyWindow();
      break;
    case IDC_ABOUT:
      windows_.RunAboutBox();
      break;
    case IDC_START:
      Start();
      break;
    case IDC_STOP:
      Stop();
      break;
    case IDC_CLEAR:
      Clear();
      break;
    case IDC_COLOR_KEY:
      ChooseColorKey();
      break;
    case IDC_SAVE:
      SaveTemplate();
      break;
    case IDC_INVERSE:
      state_.activeSettings.inverseSelection.store(windows_.GetCheck(IDC_INVERSE) != 0 ? 1u : 0u,
                                                   kRelaxed);
      break;
    case kIdOk:      // The standard ids carry no meaning here: Enter and Escape do nothing.
    case kIdCancel:
    default:
      break;
  }
}

template <typename Edit>
void SettingsDialog::EditSettings(Edit edit) {
  SettingsBlock s = state_.activeSettings.Load();
  edit(s);
  state_.activeSettings.Store(s);
}

void SettingsDialog::ClampRegion(SettingsBlock& s) {
  // In 64 bits: values from a hand-edited file may be anywhere in the 32-bit range.
  if (s.logoPosX < 0) s.logoPosX = 0;
  if (s.logoPosY < 0) s.logoPosY = 0;
  if (int64_t{s.logoPosX} + s.logoSizeX > 1000) s.logoPosX = static_cast<int32_t>(1000 - int64_t{s.logoSizeX});
  if (int64_t{s.logoPosY} + s.logoSizeY > 1000) s.logoPosY = static_cast<int32_t>(1000 - int64_t{s.logoSizeY});
}

void SettingsDialog::OnScroll(bool horizontal, int code, uint32_t position, int controlId) {
  if (code != kSbThumbPosition) return;
  for (const UpDownAction& action : kUpDownActions) {
    if (action.controlId != controlId || action.horizontal != horizontal) continue;
    EditSettings([&](SettingsBlock& s) { action.edit(s, position); });
    for (RefreshPart part : action.refresh) {
      if (part != RefreshPart::kAll) windows_.PostRefresh(part);
    }
    return;
  }
}

void SettingsDialog::OnTimer(uintptr_t id) {
  if (id != FLASH_TIMER_ID) return;
  if (flashCount_ != 0) {
    windows_.FlashWindow();
    --flashCount_;
  } else {
    windows_.KillTimer(FLASH_TIMER_ID);
  }
}

std::string SettingsDialog::FormatTenths(int32_t value) {
  // v x 0.1 printed with one decimal is exactly v / 10 with its last digit after the point: the
  // double is within an ulp of a one-decimal number, so "%0.1f" can never round it elsewhere.
  const int64_t v = value;
  const int64_t a = v < 0 ? -v : v;
  char text[32];
  std::snprintf(text, sizeof text, "%s%lld.%lld", v < 0 ? "-" : "", static_cast<long long>(a / 10),
                static_cast<long long>(a % 10));
  return text;
}

void SettingsDialog::RefreshPosition(int upDownId, int editId, int32_t value) {
  windows_.SetUpDownPos(upDownId, static_cast<int16_t>(value & 0xFFFF));
  windows_.SetControlText(editId, FormatTenths(value));
}

void SettingsDialog::OnRefresh(RefreshPart part) {
  const SettingsBlock s = state_.activeSettings.Load();
  switch (part) {
    case RefreshPart::kAll:
      windows_.SetCheck(IDC_INVERSE, static_cast<int>(s.inverseSelection));
      windows_.SetUpDownPos(IDC_THRESHOLD_SPIN, static_cast<int16_t>(s.threshold & 0xFFFF));
      windows_.SetUpDownPos(IDC_BLACK_SPIN, static_cast<int16_t>(s.blackLevel & 0xFFFF));
      windows_.RepaintControl(IDC_COLOR_KEY);
      for (RefreshPart p : {RefreshPart::kThreshold, RefreshPart::kBlackLevel, RefreshPart::kPositionX,
                            RefreshPart::kPositionY, RefreshPart::kSizeX, RefreshPart::kSizeY, RefreshPart::kButtons}) {
        OnRefresh(p);
      }
      break;
    case RefreshPart::kThreshold:
      windows_.SetControlText(IDC_THRESHOLD_EDIT, std::to_string(s.threshold));
      break;
    case RefreshPart::kBlackLevel:
      windows_.SetControlText(IDC_BLACK_EDIT, std::to_string(s.blackLevel));
      break;
    case RefreshPart::kPositionX:
      RefreshPosition(IDC_POSX_SPIN, IDC_POSX_EDIT, s.logoPosX);
      break;
    case RefreshPart::kPositionY:
      RefreshPosition(IDC_POSY_SPIN, IDC_POSY_EDIT, s.logoPosY);
      break;
    case RefreshPart::kSizeX:
      RefreshPosition(IDC_SIZEX_SPIN, IDC_SIZEX_EDIT, s.logoSizeX);
      break;
    case RefreshPart::kSizeY:
      RefreshPosition(IDC_SIZEY_SPIN, IDC_SIZEY_EDIT, s.logoSizeY);
      break;
    case RefreshPart::kColorKey:
      windows_.RepaintControl(IDC_COLOR_KEY);
      break;
    case RefreshPart::kButtons: {
      const int32_t capture = state_.captureActive.load(kRelaxed);
      const int32_t shown = state_.templateActive.load(kRelaxed);
      windows_.EnableControl(IDC_START, capture == 0);
      windows_.EnableControl(IDC_STOP, capture != 0);
      windows_.EnableControl(IDC_CLEAR, shown != 0);
      windows_.EnableControl(IDC_SAVE, capture == 0 && shown == 1);
      break;
    }
    default:
      break;
  }
}

void SettingsDialog::OnClose() {
  state_.activeSettings.Store(snapshot_);
  windows_.DestroyWindow();
}

void SettingsDialog::OnDestroy() {
  // Flags first: a frame that takes the lock after this finds nothing to capture or show.
  state_.captureActive.store(0, kRelaxed);
  state_.templateActive.store(0, kRelaxed);
  PublishBuffers(nullptr, nullptr, nullptr);
  const Rect r = windows_.WindowRect();
  dlgWndPosX = r.left;
  dlgWndPosY = r.top;
}

void SettingsDialog::OnFinalDestroy() { state_.windowExists.store(false, kRelaxed); }

uint32_t SettingsDialog::ColorKeyToPaint() const {
  return state_.activeSettings.colorKey.load(kRelaxed);
}

void SettingsDialog::Start() {
  state_.captureActive.store(1, kRelaxed);
  state_.templateActive.store(1, kRelaxed);
  windows_.PostRefresh(RefreshPart::kButtons);
}

void SettingsDialog::Stop() {
  state_.captureActive.store(0, kRelaxed);
  windows_.PostRefresh(RefreshPart::kButtons);
}

// Capture may be running on the video thread: the reset waits for the frame in progress.
void SettingsDialog::Clear() {
  if (state_.captureActive.load(kRelaxed) == 0) state_.templateActive.store(0, kRelaxed);
  {
    platform::LockGuard guard(state_.bufferLock);
    ResetAccumulators(state_.maxBuffer, state_.minBuffer);
  }
  windows_.PostRefresh(RefreshPart::kButtons);
}

void SettingsDialog::ChooseColorKey() {
  uint32_t chosen = 0;
  if (windows_.ChooseColor(state_.activeSettings.colorKey.load(kRelaxed), &chosen)) {
    state_.activeSettings.colorKey.store(chosen, kRelaxed);
  }
  windows_.PostRefresh(RefreshPart::kColorKey);
}

void SettingsDialog::SaveTemplate() {
  SaveFileRequest request;
  request.filter.assign(texts::kSaveFilter, sizeof texts::kSaveFilter);
  request.defaultExtension = "bmp";
  request.flags = kOfnOverwritePrompt | kOfnHideReadOnly;
  request.initialPath = savePath_;
  std::string path;
  if (!windows_.ChooseSaveFile(request, &path)) return;
  savePath_ = path;

  const SettingsBlock s = state_.activeSettings.Load();
  const int32_t position[2] = {s.logoPosX, s.logoPosY};
  const int32_t size[2] = {s.logoSizeX, s.logoSizeY};
  const Rect region = adapter_.ComputeRegion(position, size);
  TemplateExport picture(s);
  // A size that could not be allocated writes nothing rather than a picture of garbage.
  if (!picture.ready()) return;
  {
    // The video thread rebuilds the template every frame; it is read here between two frames. With
    // the window closed while the chooser was open, or without buffers, there is nothing to write.
    platform::LockGuard guard(state_.bufferLock);
    if (!picture.Render(state_.templateBuffer, region, exporter_)) return;
  }
  picture.Write(path);
}

}  // namespace vle::ui
