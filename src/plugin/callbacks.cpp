#include <exception>

#include "core/template_kernels.h"
#include "platform/module_scope.h"
#include "plugin/module.h"
#include "plugin/plugin.h"

namespace vle::plugin {

namespace {
Module g_module;
}  // namespace

Module& TheModule() { return g_module; }

// Every callback: the plug-in's module context for its duration, and no exception reaches the host
// (it would unwind through code that knows nothing of C++); the neutral result is returned instead.

void PluginLoad() {
  platform::ModuleScope scope;
  try {
  } catch (...) {
  }
}

int32_t PluginSetFormat(const FrameFormat* f) {
  platform::ModuleScope scope;
  try {
    if (f == nullptr) return 1;
    Module& m = g_module;
    m.state.currentFormat.width.store(f->width, std::memory_order_relaxed);
    m.state.currentFormat.height.store(f->height, std::memory_order_relaxed);
    m.state.currentFormat.reserved.store(f->reserved, std::memory_order_relaxed);
    m.state.currentFormat.pixelFormat.store(f->pixelFormat, std::memory_order_relaxed);
    m.state.currentFormat.cpuClass.store(f->cpuClass, std::memory_order_relaxed);
    m.adapter.SetFormat(f->width, f->height, f->pixelFormat);
    m.state.captureActive.store(0, std::memory_order_relaxed);
    m.lastFrameSize = Size{0, 0};
  } catch (...) {
  }
  return 1;
}

int32_t PluginProcessFrame(VideoFrame* /*frame*/) {
  platform::ModuleScope scope;
  return 0;
}

void PluginIdle() { platform::ModuleScope scope; }

void PluginConfigure(const PluginConfigureArgs* /*args*/) { platform::ModuleScope scope; }

void PluginUnload() { platform::ModuleScope scope; }

}  // namespace vle::plugin
