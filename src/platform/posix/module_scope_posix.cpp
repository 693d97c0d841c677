#include <dlfcn.h>

#include "platform/module_scope.h"

namespace vle::platform {
namespace {
thread_local void* t_current = nullptr;
int g_anchor;  // an address inside this module, to find the module that holds it
}  // namespace

void* PluginModule() {
  static void* const module = [] {
    Dl_info info{};
    if (dladdr(&g_anchor, &info) != 0 && info.dli_fbase != nullptr) return info.dli_fbase;
    return static_cast<void*>(&g_anchor);
  }();
  return module;
}

void* CurrentModule() { return t_current; }

ModuleScope::ModuleScope() : saved_(t_current) { t_current = PluginModule(); }
ModuleScope::~ModuleScope() { t_current = saved_; }

}  // namespace vle::platform
