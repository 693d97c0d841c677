// The settings that make up a SettingsBlock, as the settings file stores them: one constant table
// of typed keys with defaults, whose values live in the staging block TableBlock.
#pragma once

#include <cstdint>

#include "core/settings_block.h"

namespace vle {

// Type codes: 0 unsigned 8-bit; 1 signed 16-bit; 2, 3 unsigned 16-bit; 4, 5, 7, 9 unsigned
// 32-bit; 6, 8 signed 32-bit; 10 signed 64-bit; 11 unsigned 64-bit; 12 text (`value` points to a
// std::string, `defaultValue` holds a `const char*` to the default text, or 0 for ""). Entries
// with any other code are skipped when reading and when writing.
struct SettingsTableEntry {
  int32_t type;
  const char* key;
  void* value;
  uint64_t defaultValue;  // numeric types use its low 8, 16, 32 or 64 bits
};

// The staging block that the table's entries point into. Its field order is the block's; the
// table's (and the file's) order differs.
extern SettingsBlock TableBlock;

// The eight entries in the order of the file's lines.
constexpr int kSettingsTableCount = 8;
extern const SettingsTableEntry SettingsTable[kSettingsTableCount];

}  // namespace vle
