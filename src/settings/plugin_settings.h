// The plug-in's two trips to its settings file: reading it once when the host loads the plug-in,
// rewriting it when the host unloads it.
#pragma once

#include <cstdint>

#include "core/settings_block.h"
#include "platform/system.h"
#include "settings/ini_document.h"

namespace vle {

// The file's one section.
inline constexpr char kPluginSettingsSection[] = "PluginSettings";

// Locates the settings file on `system`, opens it (creating it empty when missing) and reads the
// window position and the eight settings of section "PluginSettings" into the targets. Whatever
// the file holds, or when it cannot be opened or read, every value it does not supply takes its
// default (-100 for the window position); a setting outside the range the settings window allows
// takes the nearest end of it (settings_table.h); nothing is reported. A file that holds text but
// no such section (UTF-16, another program's) is kept as ".bak" by the next save.
void LoadPluginSettings(IniDocument& ini, SettingsBlock* active, int32_t* dlgWndPosX, int32_t* dlgWndPosY,
                        platform::SystemQueries& system = platform::RealSystem());

// Rewrites the file found by the last load with the one section "PluginSettings": the window
// position, then the eight settings in table order. Returns whether the file was replaced; on
// false the previous file is unchanged.
bool SavePluginSettings(IniDocument& ini, const SettingsBlock& active, int32_t dlgWndPosX, int32_t dlgWndPosY);

}  // namespace vle
