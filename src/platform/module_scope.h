// The module context: which module's resources (dialog templates, bitmaps, window classes) the
// calling thread works with. Every host callback and window procedure of the plug-in makes the
// plug-in's own module current for its duration and gives the caller's back on every way out,
// exceptions included.
#pragma once

namespace vle::platform {

// The plug-in's own module: its HINSTANCE on Windows, a handle of the shared object elsewhere.
// Never null once the module is loaded.
void* PluginModule();

// The module the calling thread currently works in; null when no callback of ours is running.
void* CurrentModule();

// RAII switch to the plug-in's module context.
class ModuleScope {
 public:
  ModuleScope();
  ~ModuleScope();
  ModuleScope(const ModuleScope&) = delete;
  ModuleScope& operator=(const ModuleScope&) = delete;

 private:
  void* saved_;
};

}  // namespace vle::platform
