#include <windows.h>

#include "platform/module_scope.h"

namespace vle::platform {
namespace {
thread_local void* t_current = nullptr;
}  // namespace

// The module that contains this code: the DLL when built as the plug-in, the executable when the
// same code is linked into a test program.
void* PluginModule() {
  static void* const module = [] {
    HMODULE handle = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&PluginModule), &handle);
    return static_cast<void*>(handle);
  }();
  return module;
}

void* CurrentModule() { return t_current; }

ModuleScope::ModuleScope() : saved_(t_current) { t_current = PluginModule(); }
ModuleScope::~ModuleScope() { t_current = saved_; }

}  // namespace vle::platform
