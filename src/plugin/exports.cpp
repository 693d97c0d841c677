#include "plugin/plugin.h"
#include "ui/texts.h"

namespace {

using namespace vle::plugin;

// The host keeps this pointer for the library's lifetime.
const PluginDescriptor kDescriptor{
    vle::texts::kPluginName,
    vle::texts::kPluginDescription,
    &PluginLoad,
    &PluginSetFormat,
    &PluginProcessFrame,
    &PluginIdle,
    &PluginConfigure,
    &PluginUnload,
};

}  // namespace

extern "C" {

int32_t Quorsana_Plugin_Version() { return 3; }

const PluginDescriptor* Quorsana_Plugin_PR() { return &kDescriptor; }

}  // extern "C"
