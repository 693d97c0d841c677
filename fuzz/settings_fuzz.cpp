// Arbitrary bytes as the settings file. Loading must never fail or crash, whatever the bytes; the
// save that follows must write exactly the prescribed lines, and a second load must read back
// exactly what was saved. Besides, a few lookups with section and key names taken from the input
// exercise the circular section search with names the file may or may not hold.
//
// The file lives in a private folder below the temporary folder (TMPDIR; a memory-backed one keeps
// the run fast, as each save is flushed to disk).

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/system.h"
#include "settings/ini_document.h"
#include "settings/plugin_settings.h"

namespace {

class FolderSystem final : public vle::platform::SystemQueries {
 public:
  explicit FolderSystem(std::string folder) : folder_(std::move(folder)) {}
  std::optional<bool> NtFamily() override { return true; }
  uint32_t StoreInUsersFolder() override { return 0; }
  std::optional<std::string> AppDataFolder() override { return std::nullopt; }
  std::string HostFolder() override { return folder_; }
  std::string CommandLine() override { return "host"; }
  bool CreateFolder(const std::string& path) override {
    std::error_code ec;
    return std::filesystem::create_directory(path, ec);
  }
  std::string ModuleName() override { return "Vorlane_LogoExtractor"; }
  char Separator() override { return '/'; }

 private:
  std::string folder_;
};

FolderSystem& System() {
  static FolderSystem system = [] {
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("vle-settings-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(root);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(std::filesystem::temp_directory_path() /
                                      ("vle-settings-fuzz-" + std::to_string(getpid())),
                                  ec);
    });
    return FolderSystem(root.string() + "/");
  }();
  return system;
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "settings_fuzz: %s\n", what);
    std::abort();
  }
}

std::string ReadBytes(const std::string& path) {
  std::string bytes;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, n);
    std::fclose(f);
  }
  return bytes;
}

std::string ExpectedFile(const vle::SettingsBlock& b, int32_t x, int32_t y) {
  char text[512];
  std::snprintf(text, sizeof text,
                "[PluginSettings]\r\nDlgWndPosX=%d\r\nDlgWndPosY=%d\r\nLogoPosX=%d\r\nLogoPosY=%d\r\n"
                "LogoSizeX=%d\r\nLogoSizeY=%d\r\nInverseSelection=%u\r\nThreshold=%d\r\nBlackLevel=%d\r\n"
                "ColorKey=%u\r\n",
                x, y, b.logoPosX, b.logoPosY, b.logoSizeX, b.logoSizeY, b.inverseSelection, b.threshold,
                b.blackLevel, b.colorKey);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FolderSystem& system = System();
  vle::IniDocument ini;
  ini.Locate(system);
  Check(!ini.fullPath().empty(), "no path");
  const std::string content(reinterpret_cast<const char*>(data), size);
  {
    std::FILE* f = std::fopen(ini.fullPath().c_str(), "wb");
    Check(f != nullptr, "cannot write the input file");
    Check(std::fwrite(content.data(), 1, content.size(), f) == content.size(), "short input write");
    std::fclose(f);
  }

  // Lookups with names from the input: its first line split at the first "=" (section, key).
  Check(ini.Open(false), "cannot open the input file");
  const std::size_t lineEnd = content.find('\n');
  const std::string first = content.substr(0, lineEnd);
  const std::size_t eq = first.find('=');
  const std::string section = first.substr(0, eq);
  const std::string key = eq == std::string::npos ? std::string() : first.substr(eq + 1);
  std::string text;
  int64_t wide = 0;
  ini.ReadText(section, key, &text, "");
  ini.ReadInt64("PluginSettings", key, &wide, 0);
  ini.ReadText(section, "LogoPosX", &text, "");
  Check(ini.Close(), "close after reading failed");
  Check(ReadBytes(ini.fullPath()) == content, "reading changed the file");

  vle::SettingsBlock block{};
  int32_t x = 0, y = 0;
  vle::LoadPluginSettings(ini, &block, &x, &y, system);
  Check(vle::SavePluginSettings(ini, block, x, y), "save failed");
  Check(ReadBytes(ini.fullPath()) == ExpectedFile(block, x, y), "saved file is not the prescribed lines");

  vle::SettingsBlock again{};
  int32_t x2 = 0, y2 = 0;
  vle::LoadPluginSettings(ini, &again, &x2, &y2, system);
  Check(std::memcmp(&block, &again, sizeof block) == 0 && x == x2 && y == y2, "second load differs");
  return 0;
}
