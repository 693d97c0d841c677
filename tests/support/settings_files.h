// Test doubles for the settings storage: a machine whose queries the test sets, and a temporary
// host folder with helpers to put bytes into the settings file and take them out. No test
// framework here: the settings fuzzer uses them too.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/system.h"
#include "settings/ini_document.h"
#include "settings/plugin_settings.h"

namespace vle::test {

struct FakeSystem : platform::SystemQueries {
  std::optional<bool> ntFamily = true;
  uint32_t storeInUsersFolder = 0;
  std::optional<std::string> appData = std::string("C:\\Users\\u\\AppData\\Roaming");
  std::string hostFolder = "C:\\Viewer\\";
  std::string commandLine = "\"C:\\Viewer\\host.exe\"";
  std::string moduleName = "Vorlane_LogoExtractor";
  char separator = '\\';
  bool realFolders = false;  // CreateFolder really creates the folder
  std::vector<std::string> created;

  std::optional<bool> NtFamily() override { return ntFamily; }
  uint32_t StoreInUsersFolder() override { return storeInUsersFolder; }
  std::optional<std::string> AppDataFolder() override { return appData; }
  std::string HostFolder() override { return hostFolder; }
  std::string CommandLine() override { return commandLine; }
  bool CreateFolder(const std::string& path) override {
    created.push_back(path);
    std::error_code ec;
    return realFolders && std::filesystem::create_directory(path, ec);
  }
  std::string ModuleName() override { return moduleName; }
  char Separator() override { return separator; }
};

// A fresh folder under the system's temporary folder, removed with everything in it at the end;
// `system` plays a host that lives in it.
class SettingsFolder {
 public:
  SettingsFolder() {
    std::random_device seed;
    root_ = std::filesystem::temp_directory_path() / ("vle-settings-" + std::to_string(seed()));
    std::filesystem::create_directories(root_);
    const char sep = static_cast<char>(std::filesystem::path::preferred_separator);
    system.hostFolder = root_.string() + sep;
    system.separator = sep;
    system.commandLine = "host";
    system.realFolders = true;
  }
  ~SettingsFolder() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  std::filesystem::path plugins() const { return root_ / "Plugins"; }
  std::filesystem::path file() const { return plugins() / "Vorlane_LogoExtractor.ini"; }

  void Put(const std::string& bytes) const {
    std::filesystem::create_directories(plugins());
    std::ofstream(file(), std::ios::binary) << bytes;
  }
  std::optional<std::string> Take() const {
    std::ifstream in(file(), std::ios::binary);
    if (!in) return std::nullopt;
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  std::size_t EntryCount() const {
    std::size_t n = 0;
    for (auto it = std::filesystem::directory_iterator(plugins()); it != std::filesystem::directory_iterator(); ++it) ++n;
    return n;
  }

  FakeSystem system;

 private:
  std::filesystem::path root_;
};

// The plug-in's two trips to the file in `folder`, as a host's load and unload make them; the
// constructor makes the first load.
struct SettingsTrip {
  explicit SettingsTrip(SettingsFolder& f) : folder(f) { Load(); }
  void Load() { LoadPluginSettings(ini, &block, &x, &y, folder.system); }
  bool Save() { return SavePluginSettings(ini, block, x, y); }

  SettingsFolder& folder;
  IniDocument ini;
  SettingsBlock block{};
  int32_t x = 0, y = 0;
};

}  // namespace vle::test
