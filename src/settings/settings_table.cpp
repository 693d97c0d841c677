#include "settings/settings_table.h"

#include <cstdint>
#include <string>

#include "settings/ini_document.h"

namespace vle {

SettingsBlock TableBlock{};

// The defaults are those of a fresh installation; a signed value's default keeps its low 32 bits.
constexpr uint64_t Default(int32_t v) { return uint32_t(v); }
constexpr uint64_t Default(uint32_t v) { return v; }
constexpr SettingsBlock kD = kDefaultSettings;

const SettingsTableEntry SettingsTable[kSettingsTableCount] = {
    {6, "LogoPosX", &TableBlock.logoPosX, Default(kD.logoPosX)},
    {6, "LogoPosY", &TableBlock.logoPosY, Default(kD.logoPosY)},
    {6, "LogoSizeX", &TableBlock.logoSizeX, Default(kD.logoSizeX)},
    {6, "LogoSizeY", &TableBlock.logoSizeY, Default(kD.logoSizeY)},
    {4, "InverseSelection", &TableBlock.inverseSelection, Default(kD.inverseSelection)},
    {6, "Threshold", &TableBlock.threshold, Default(kD.threshold)},
    {6, "BlackLevel", &TableBlock.blackLevel, Default(kD.blackLevel)},
    {5, "ColorKey", &TableBlock.colorKey, Default(kD.colorKey)},
};

namespace {
const char* DefaultText(uint64_t defaultValue) {
  const char* text = reinterpret_cast<const char*>(static_cast<uintptr_t>(defaultValue));
  return text != nullptr ? text : "";
}
}  // namespace

void IniDocument::ReadTable(std::string_view section, const SettingsTableEntry* table, int count) {
  for (int i = 0; i < count; ++i) {
    const SettingsTableEntry& e = table[i];
    const uint64_t d = e.defaultValue;
    switch (e.type) {
      case 0:
        ReadUInt8(section, e.key, static_cast<uint8_t*>(e.value), static_cast<uint8_t>(d));
        break;
      case 1:
        ReadInt16(section, e.key, static_cast<int16_t*>(e.value), static_cast<int16_t>(d));
        break;
      case 2:
      case 3:
        ReadUInt16(section, e.key, static_cast<uint16_t*>(e.value), static_cast<uint16_t>(d));
        break;
      case 4:
      case 5:
      case 7:
      case 9:
        ReadUInt32(section, e.key, static_cast<uint32_t*>(e.value), static_cast<uint32_t>(d));
        break;
      case 6:
      case 8:
        ReadInt32(section, e.key, static_cast<int32_t*>(e.value), static_cast<int32_t>(d));
        break;
      case 10:
        ReadInt64(section, e.key, static_cast<int64_t*>(e.value), static_cast<int64_t>(d));
        break;
      case 11:
        ReadUInt64(section, e.key, static_cast<uint64_t*>(e.value), d);
        break;
      case 12:
        ReadText(section, e.key, static_cast<std::string*>(e.value), DefaultText(d));
        break;
      default:
        break;
    }
  }
}

void IniDocument::WriteTable(const SettingsTableEntry* table, int count) {
  for (int i = 0; i < count; ++i) {
    const SettingsTableEntry& e = table[i];
    switch (e.type) {
      case 0:
        WriteUInt8(e.key, *static_cast<const uint8_t*>(e.value));
        break;
      case 1:
        WriteInt16(e.key, *static_cast<const int16_t*>(e.value));
        break;
      case 2:
      case 3:
        WriteUInt16(e.key, *static_cast<const uint16_t*>(e.value));
        break;
      case 4:
      case 5:
      case 7:
      case 9:
        WriteUInt32(e.key, *static_cast<const uint32_t*>(e.value));
        break;
      case 6:
      case 8:
        WriteInt32(e.key, *static_cast<const int32_t*>(e.value));
        break;
      case 10:
        WriteInt64(e.key, *static_cast<const int64_t*>(e.value));
        break;
      case 11:
        WriteUInt64(e.key, *static_cast<const uint64_t*>(e.value));
        break;
      case 12:
        WriteEntry(e.key, *static_cast<const std::string*>(e.value));
        break;
      default:
        break;
    }
  }
}

}  // namespace vle
