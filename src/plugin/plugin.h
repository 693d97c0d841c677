// The plug-in's interface to its host: the two exports and the six callbacks of the descriptor,
// plus the module-global state they share. Callbacks never let an exception reach the host.
#pragma once

#include <cstdint>

#include "plugin/host_records.h"

extern "C" {
// Interface version: 3.
int32_t Quorsana_Plugin_Version();
// The one descriptor, the same pointer every time.
const PluginDescriptor* Quorsana_Plugin_PR();
}

namespace vle::plugin {

void PluginLoad();
int32_t PluginSetFormat(const FrameFormat* format);
int32_t PluginProcessFrame(VideoFrame* frame);
void PluginIdle();
void PluginConfigure(const PluginConfigureArgs* args);
void PluginUnload();

}  // namespace vle::plugin
