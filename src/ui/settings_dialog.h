// The behaviour of the plug-in's settings window: one object for the module's lifetime, whose
// window is created and destroyed any number of times. It edits the shared settings live, drives
// capture with Start / Stop / Clear, saves the template, and owns the three image buffers while its
// window exists (opening the window is what switches the frame driver's work on).
//
// Everything here runs on the host's user-interface thread. It reaches its window only through a
// WindowSystem binding, which routes the window's messages back through DialogHandler.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/settings_block.h"
#include "ui/window_system.h"

namespace vle {
class FrameAdapter;
class ImageBuffer;
class TemplateExporter;
struct SharedState;
}  // namespace vle

namespace vle::ui {

// Capture states as the two flags make them.
enum class CaptureState { kIdle, kCapturing, kHolding };

class SettingsDialog : public DialogHandler {
 public:
  SettingsDialog(SharedState& state, FrameAdapter& adapter, TemplateExporter& exporter,
                 WindowSystem& windows);
  ~SettingsDialog() override = default;

  // Creates and shows the window with `hostWindow` as parent; false when the binding made none.
  bool Open(void* hostWindow);
  // Destroys the window directly (no WM_CLOSE): edits stand. Nothing when there is no window.
  void Destroy();
  bool HasWindow() const;
  // The caption toggles 2n + 1 times, one toggle per 50 ms tick of timer 2.
  void FlashCaption(int n);

  // The window's screen position; (-100, -100) means "centre over the host window".
  int32_t dlgWndPosX = kNoWindowPosition;
  int32_t dlgWndPosY = kNoWindowPosition;

  // DialogHandler.
  void OnInitDialog() override;
  void OnCommand(int id) override;
  void OnScroll(bool horizontal, int code, uint32_t position, int controlId) override;
  void OnTimer(uintptr_t id) override;
  void OnRefresh(RefreshPart part) override;
  void OnClose() override;
  void OnDestroy() override;
  void OnFinalDestroy() override;
  uint32_t ColorKeyToPaint() const override;

  // Keeps LogoPosX/Y inside 0 .. 1000 - size; sizes are left alone.
  static void ClampRegion(SettingsBlock& s);
  // "%0.1f" of value x 0.1, always with "." whatever the process's locale.
  static std::string FormatTenths(int32_t value);

  CaptureState captureState() const;
  const std::string& lastSavePath() const { return savePath_; }

 private:
  void Start();
  void Stop();
  void Clear();
  void ChooseColorKey();
  void SaveTemplate();
  void CreateBuffers();
  // Swaps the three shared buffers under BufferLock; the ones replaced are freed after it.
  void PublishBuffers(std::unique_ptr<ImageBuffer> max, std::unique_ptr<ImageBuffer> min,
                      std::unique_ptr<ImageBuffer> output);
  void RefreshPosition(int upDownId, int editId, int32_t value);
  // Applies an edit of the active settings as one step.
  template <typename Edit>
  void EditSettings(Edit edit);

  SharedState& state_;
  FrameAdapter& adapter_;
  TemplateExporter& exporter_;
  WindowSystem& windows_;
  SettingsBlock snapshot_{};
  int32_t flashCount_ = 0;
  // The save chooser lives as long as the module and remembers the path chosen last.
  std::string savePath_;
};

}  // namespace vle::ui
