#include "settings/plugin_settings.h"

#include <exception>

#include "settings/settings_table.h"

namespace vle {
namespace {

void ReadAll(IniDocument& ini, SettingsBlock* active, int32_t* dlgWndPosX, int32_t* dlgWndPosY) {
  ini.ReadInt32(kPluginSettingsSection, "DlgWndPosX", dlgWndPosX, kNoWindowPosition);
  ini.ReadInt32(kPluginSettingsSection, "DlgWndPosY", dlgWndPosY, kNoWindowPosition);
  ReadSettings(ini, kPluginSettingsSection, active);
}

}  // namespace

void LoadPluginSettings(IniDocument& ini, SettingsBlock* active, int32_t* dlgWndPosX, int32_t* dlgWndPosY,
                        platform::SystemQueries& system) {
  try {
    ini.Locate(system);
    const bool opened = ini.Open(false);  // a file that is not open makes every lookup fail: defaults
    ReadAll(ini, active, dlgWndPosX, dlgWndPosY);
    // Text without the section (UTF-16, another program's file) is the user's, not ours to drop.
    ini.KeepCopyAtNextReplace(!opened || (!ini.empty() && !ini.FindSection(kPluginSettingsSection)));
    ini.Close();
  } catch (const std::exception&) {
    // Out of memory on a monstrous file: no half-read settings, the defaults. With the file closed
    // every lookup fails without allocating.
    ini.Abandon();
    ini.KeepCopyAtNextReplace(true);
    ReadAll(ini, active, dlgWndPosX, dlgWndPosY);
  }
}

bool SavePluginSettings(IniDocument& ini, const SettingsBlock& active, int32_t dlgWndPosX, int32_t dlgWndPosY) {
  try {
    if (!ini.OpenForWrite()) return false;
    ini.WriteSection(kPluginSettingsSection);
    ini.WriteInt32("DlgWndPosX", dlgWndPosX);
    ini.WriteInt32("DlgWndPosY", dlgWndPosY);
    WriteSettings(ini, active);
    return ini.Close();
  } catch (const std::exception&) {
    ini.Abandon();
    return false;
  }
}

}  // namespace vle
