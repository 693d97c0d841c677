#include "settings/settings_table.h"

#include <algorithm>
#include <type_traits>

#include "settings/ini_document.h"

namespace vle {
namespace {

int32_t Read(IniDocument& ini, std::string_view section, const char* key, int32_t def) {
  int32_t value;
  ini.ReadInt32(section, key, &value, def);
  return value;
}

uint32_t Read(IniDocument& ini, std::string_view section, const char* key, uint32_t def) {
  uint32_t value;
  ini.ReadUInt32(section, key, &value, def);
  return value;
}

void Write(IniDocument& ini, const char* key, int32_t value) { ini.WriteInt32(key, value); }
void Write(IniDocument& ini, const char* key, uint32_t value) { ini.WriteUInt32(key, value); }

}  // namespace

void ReadSettings(IniDocument& ini, std::string_view section, SettingsBlock* block) {
  for (const SettingsEntry& e : kSettingsEntries) {
    std::visit(
        [&](auto member) {
          using Value = std::remove_reference_t<decltype(block->*member)>;
          const int64_t read = Read(ini, section, e.key, kDefaultSettings.*member);
          block->*member = static_cast<Value>(std::clamp(read, e.lowest, e.highest));
        },
        e.member);
  }
}

void WriteSettings(IniDocument& ini, const SettingsBlock& block) {
  for (const SettingsEntry& e : kSettingsEntries) {
    std::visit([&](auto member) { Write(ini, e.key, block.*member); }, e.member);
  }
}

}  // namespace vle
