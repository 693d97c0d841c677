#include "plugin_host.h"

#include "core/template_kernels.h"
#include "platform/lock.h"

namespace vle::bench {

void PluginHost::ResetAccumulators() {
  SharedState& s = module().state;
  platform::LockGuard guard(s.bufferLock);
  vle::ResetAccumulators(s.maxBuffer, s.minBuffer);
}

uint32_t PluginHost::TemplatePixel(int32_t x, int32_t y) {
  const ImageBuffer* t = module().state.templateBuffer;
  return t != nullptr && t->bits != nullptr ? *t->PixelAt(x, y) : 0;
}

PluginHost& SharedHost() {
  static PluginHost host;
  return host;
}

}  // namespace vle::bench
