// Arbitrary bytes as the settings file. Loading must never fail or crash, whatever the bytes; the
// save that follows must write exactly the prescribed lines, with every setting inside the range
// the settings window allows, and a second load must read back exactly what was saved. Besides, a
// few lookups with section and key names taken from the input exercise the circular section
// search with names the file may or may not hold.
//
// The file lives in a private folder below the temporary folder (TMPDIR; a memory-backed one keeps
// the run fast, as each save is flushed to disk).

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <variant>
#include <string>

#include "fuzz_support.h"
#include "settings/ini_document.h"
#include "settings/plugin_settings.h"
#include "settings/settings_table.h"
#include "support/settings_files.h"
#include "support/settings_text.h"

namespace {

constexpr char kName[] = "settings_fuzz";
using vle::fuzz::ReadFile;

void Expect(bool ok, const char* what) { vle::fuzz::Check(ok, kName, what); }

bool InRange(const vle::SettingsBlock& block) {
  for (const vle::SettingsEntry& e : vle::kSettingsEntries) {
    const int64_t value = std::visit([&](auto member) { return int64_t{block.*member}; }, e.member);
    if (value < e.lowest || value > e.highest) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static vle::test::SettingsFolder folder;
  vle::IniDocument ini;
  ini.Locate(folder.system);
  Expect(!ini.fullPath().empty(), "no path");
  const std::string content(reinterpret_cast<const char*>(data), size);
  folder.Put(content);
  std::remove((ini.fullPath() + ".bak").c_str());

  // Lookups with names from the input: its first line split at the first "=" (section, key).
  Expect(ini.Open(false), "cannot open the input file");
  const std::size_t lineEnd = content.find('\n');
  const std::string first = content.substr(0, lineEnd);
  const std::size_t eq = first.find('=');
  const std::string section = first.substr(0, eq);
  const std::string key = eq == std::string::npos ? std::string() : first.substr(eq + 1);
  std::string text;
  int32_t number = 0;
  ini.GetValue(section, key, text);
  ini.ReadInt32(vle::kPluginSettingsSection, key, &number, 0);
  ini.GetValue(section, "LogoPosX", text);
  Expect(ini.Close(), "close after reading failed");
  Expect(ReadFile(ini.fullPath()) == content, "reading changed the file");

  vle::SettingsBlock block{};
  int32_t x = 0, y = 0;
  vle::LoadPluginSettings(ini, &block, &x, &y, folder.system);
  Expect(InRange(block), "a loaded setting is outside its range");
  const bool keepsCopy = ini.keepsCopyAtNextReplace();
  Expect(vle::SavePluginSettings(ini, block, x, y), "save failed");
  Expect(ReadFile(ini.fullPath()) == vle::test::SettingsFileText(block, x, y),
        "saved file is not the prescribed lines");
  if (keepsCopy && !content.empty()) Expect(ReadFile(ini.fullPath() + ".bak") == content, "the copy differs");

  vle::SettingsBlock again{};
  int32_t x2 = 0, y2 = 0;
  vle::LoadPluginSettings(ini, &again, &x2, &y2, folder.system);
  Expect(std::memcmp(&block, &again, sizeof block) == 0 && x == x2 && y == y2, "second load differs");
  return 0;
}
