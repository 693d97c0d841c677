// The settings that make up a SettingsBlock, as the settings file stores them: one typed list of
// keys, each naming the block member it fills and the range the settings window allows.
#pragma once

#include <cstdint>
#include <limits>
#include <string_view>
#include <variant>

#include "core/settings_block.h"

namespace vle {

class IniDocument;

struct SettingsEntry {
  const char* key;
  std::variant<int32_t SettingsBlock::*, uint32_t SettingsBlock::*> member;
  // The values the window's up-down control can reach; a member without one takes any value.
  int64_t lowest;
  int64_t highest;
};

constexpr int64_t kAnyUnsigned = std::numeric_limits<uint32_t>::max();

// The eight entries in the order of the file's lines. The default of each is its member's value in
// kDefaultSettings.
inline constexpr SettingsEntry kSettingsEntries[] = {
    {"LogoPosX", &SettingsBlock::logoPosX, 0, 1000},
    {"LogoPosY", &SettingsBlock::logoPosY, 0, 1000},
    {"LogoSizeX", &SettingsBlock::logoSizeX, 0, 1000},
    {"LogoSizeY", &SettingsBlock::logoSizeY, 0, 1000},
    {"InverseSelection", &SettingsBlock::inverseSelection, 0, kAnyUnsigned},
    {"Threshold", &SettingsBlock::threshold, 0, 255},
    {"BlackLevel", &SettingsBlock::blackLevel, 0, 255},
    {"ColorKey", &SettingsBlock::colorKey, 0, kAnyUnsigned},
};

// Reads every entry from `section` into `block`: a missing or empty value gives the default, a
// value outside the entry's range the nearest end of it. A file the window wrote reads unchanged;
// a hand-edited one cannot hand the plug-in a region or a level the window could never set.
void ReadSettings(IniDocument& ini, std::string_view section, SettingsBlock* block);

// Writes every entry of `block` as one key=value line, in table order.
void WriteSettings(IniDocument& ini, const SettingsBlock& block);

}  // namespace vle
