// IniDocument::Locate: where the settings file lives on this machine.
#include <optional>
#include <string>

#include "settings/ini_document.h"

namespace vle {
namespace {

// The text after the first `prefix` in `line`: one character, or empty when the prefix ends the
// text; nullopt when there is no such prefix.
std::optional<std::string> CharacterAfter(const std::string& line, std::string_view prefix) {
  const std::size_t at = line.find(prefix);
  if (at == std::string::npos) return std::nullopt;
  return line.substr(at + prefix.size(), 1);
}

}  // namespace

void IniDocument::Locate() { Locate(platform::RealSystem()); }

void IniDocument::Locate(platform::SystemQueries& system) {
  instanceName_.clear();
  directory_.clear();
  moduleName_.clear();
  fileName_.clear();
  fullPath_.clear();

  const std::optional<bool> ntFamily = system.NtFamily();
  if (!ntFamily) return;
  const uint32_t storeInUsersFolder = system.StoreInUsersFolder();
  const char sep = system.Separator();

  // Windows 95/98/Me have no per-user application data worth the name: the switch only counts on
  // NT. A system that cannot name the folder keeps the file beside the host, where it always was.
  std::optional<std::string> appData;
  if (*ntFamily && storeInUsersFolder != 0) appData = system.AppDataFolder();
  std::string folder = appData ? *appData + sep + "Quorsana" + sep : system.HostFolder();

  // Hosts started as one of several instances keep one settings file per instance. Only ASCII
  // letters are lowered, so the folder does not depend on the locale.
  std::string commandLine = system.CommandLine();
  for (char& c : commandLine) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (std::optional<std::string> c = CharacterAfter(commandLine, "-inst:")) instanceName_ = *c;
  if (std::optional<std::string> c = CharacterAfter(commandLine, "/inst:")) instanceName_ = *c;
  if (!instanceName_.empty()) folder += "Instances" + std::string(1, sep) + instanceName_ + sep;

  folder += "Plugins";
  folder += sep;
  // Only the last level: a missing instance folder means this instance was never set up, and its
  // settings stay at their defaults instead of appearing out of nowhere.
  system.CreateFolder(folder);

  directory_ = folder;
  moduleName_ = system.ModuleName();
  fileName_ = moduleName_ + ".ini";
  fullPath_ = directory_ + fileName_;
}

}  // namespace vle
