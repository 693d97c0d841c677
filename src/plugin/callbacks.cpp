#include "core/template_kernels.h"
#include "core/template_rows.h"
#include "frame/capture_frame.h"
#include "platform/module_scope.h"
#include "plugin/module.h"
#include "plugin/plugin.h"
#include "settings/plugin_settings.h"
#include "ui/texts.h"

namespace vle::plugin {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr int32_t kSettleFrames = 25;  // the frame of the new size and the 24 after it
constexpr int32_t kOutlineThickness = -2;  // two rings just outside the region
constexpr uint32_t kOutlineColor = 0xC0C0C0;
constexpr int32_t kTemplateSlackPercent = 25;

}  // namespace

Module::Module()
    : dialog(state, adapter, exporter, ui::PlatformWindowSystem()) {}

namespace {
Module g_module;
}  // namespace

Module& TheModule() { return g_module; }

// Every callback works in the plug-in's module context and lets no exception reach the host: it
// would unwind through code that knows nothing of C++. The neutral result is returned instead.

void PluginLoad() {
  platform::ModuleScope scope;
  try {
    SettingsBlock block = kDefaultSettings;
    LoadPluginSettings(g_module.ini, &block, &g_module.dialog.dlgWndPosX, &g_module.dialog.dlgWndPosY);
    g_module.state.activeSettings.Store(block);
  } catch (...) {
  }
}

int32_t PluginSetFormat(const FrameFormat* f) {
  platform::ModuleScope scope;
  try {
    if (f == nullptr) return 1;
    SharedFrameFormat& current = g_module.state.currentFormat;
    current.width.store(f->width, kRelaxed);
    current.height.store(f->height, kRelaxed);
    current.reserved.store(f->reserved, kRelaxed);
    current.pixelFormat.store(f->pixelFormat, kRelaxed);
    current.cpuClass.store(f->cpuClass, kRelaxed);
    g_module.adapter.SetFormat(f->width, f->height, f->pixelFormat);
    g_module.exporter.SetSlack(kTemplateSlackPercent, kTemplateSlackPercent);
    g_module.state.captureActive.store(0, kRelaxed);
    g_module.lastFrameSize = Size{0, 0};
  } catch (...) {
  }
  return 1;
}

int32_t PluginProcessFrame(VideoFrame* frame) {
  platform::ModuleScope scope;
  try {
    Module& m = g_module;
    SharedState& s = m.state;
    if (frame == nullptr || frame->pixels == nullptr) return 0;
    if (IsUnsupportedCpuClass(s.currentFormat.cpuClass.load(kRelaxed))) return 0;
    // Without its size the frame cannot be placed: it is left as it came.
    if (frame->frameSize == nullptr) return 0;
    const Size size{frame->frameSize[0], frame->frameSize[1]};

    // A new size invalidates what was accumulated; the picture is given 25 frames to settle.
    if (size.width != m.lastFrameSize.width || size.height != m.lastFrameSize.height) {
      m.lastFrameSize = size;
      {
        platform::LockGuard guard(s.bufferLock);
        ResetAccumulators(s.maxBuffer, s.minBuffer);
      }
      m.settleCountdown = kSettleFrames - 1;  // this frame is the first of them
      return 0;
    }
    if (m.settleCountdown != 0) {
      --m.settleCountdown;
      return 0;
    }

    platform::LockGuard guard(s.bufferLock);
    if (!s.windowExists.load(kRelaxed)) return 1;
    // Frames of another size than the announced format would be read and written with the wrong
    // geometry: such a frame is neither captured nor drawn on.
    const FrameAdapter& adapter = m.adapter;
    if (size.width != adapter.width || size.height != adapter.height) return 1;

    const SettingsBlock settings = s.activeSettings.Load();
    const int32_t position[2] = {settings.logoPosX, settings.logoPosY};
    const int32_t extent[2] = {settings.logoSizeX, settings.logoSizeY};
    const Rect region = adapter.ComputeRegion(position, extent);

    // Order matters: the template includes this frame, the capture never sees our own drawing,
    // and the outline lies over the overlay. Capture and template are one pass over the rows.
    const bool capturing =
        s.captureActive.load(kRelaxed) != 0 && s.maxBuffer && s.minBuffer;
    const bool showing =
        s.templateActive.load(kRelaxed) != 0 && s.maxBuffer && s.minBuffer && s.templateBuffer;
    const TemplateParams params = MakeTemplateParams(settings.colorKey, settings.threshold,
                                                     settings.blackLevel, settings.inverseSelection);
    if (capturing) {
      CaptureFrame(adapter, frame->pixels, *s.maxBuffer, *s.minBuffer,
                   showing ? s.templateBuffer : nullptr, params);
    } else if (showing) {
      BuildTemplate(*s.maxBuffer, *s.minBuffer, *s.templateBuffer, params);
    }
    if (showing && s.templateBuffer->bits != nullptr) {
      const ImageBuffer& output = *s.templateBuffer;
      adapter.DrawImage(frame->pixels, Point{region.left, region.top}, output.bits, output.size(),
                        region, kBgr32, 100);
    }
    adapter.DrawFrameRect(frame->pixels, region, kOutlineThickness, kOutlineColor, 100);
    return 1;
  } catch (...) {
    return 0;
  }
}

void PluginIdle() { platform::ModuleScope scope; }

void PluginConfigure(const PluginConfigureArgs* args) {
  platform::ModuleScope scope;
  try {
    Module& m = g_module;
    if (IsUnsupportedCpuClass(m.state.currentFormat.cpuClass.load(kRelaxed))) {
      ui::PlatformWindowSystem().ShowProcessorMessage(texts::kProcessorMessage);
      return;
    }
    if (m.dialog.HasWindow()) {
      ui::PlatformWindowSystem().Focus();
      m.dialog.FlashCaption(4);
      return;
    }
    m.dialog.Open(args != nullptr ? args->hostWindow : nullptr);
  } catch (...) {
  }
}

void PluginUnload() {
  platform::ModuleScope scope;
  try {
    Module& m = g_module;
    // The teardown records the window's position before anything is written.
    m.dialog.Destroy();
    SavePluginSettings(m.ini, m.state.activeSettings.Load(), m.dialog.dlgWndPosX, m.dialog.dlgWndPosY);
  } catch (...) {
  }
}

}  // namespace vle::plugin
