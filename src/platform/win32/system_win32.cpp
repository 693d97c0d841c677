#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <shlobj.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/module_scope.h"
#include "platform/system.h"

namespace vle::platform {
namespace {

std::string ModuleFileName(HMODULE module) {
  // One byte more than the call may fill: older systems leave a cut name unterminated.
  char buffer[MAX_PATH + 1] = {};
  GetModuleFileNameA(module, buffer, MAX_PATH);
  return std::string(buffer);
}

class Win32System final : public SystemQueries {
 public:
  // Older systems reject the extended record's size, hence the second try with the plain one.
  std::optional<bool> NtFamily() override {
    OSVERSIONINFOEXA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) {
      std::memset(&info, 0, sizeof info);
      info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
      if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return std::nullopt;
    }
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
  }

  // Whatever four bytes the value holds count, whatever its registry type; a value that cannot be
  // read (missing, or longer than four bytes) counts as 0.
  uint32_t StoreInUsersFolder() override {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorsana", 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return 0;
    }
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, "StoreInUsersFolder", nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS) {
      value = 0;
    }
    RegCloseKey(key);
    return value;
  }

  std::optional<std::string> AppDataFolder() override {
    char buffer[MAX_PATH + 1] = {};
    if (!SHGetSpecialFolderPathA(nullptr, buffer, CSIDL_APPDATA, FALSE)) return std::nullopt;
    return std::string(buffer);
  }

  std::string HostFolder() override {
    const std::string path = ModuleFileName(nullptr);
    const std::size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  }

  std::string CommandLine() override {
    const char* line = GetCommandLineA();
    return line != nullptr ? std::string(line) : std::string();
  }

  bool CreateFolder(const std::string& path) override { return CreateDirectoryA(path.c_str(), nullptr) != 0; }

  std::string ModuleName() override {
    std::string name = ModuleFileName(static_cast<HMODULE>(PluginModule()));
    const std::size_t slash = name.rfind('\\');
    if (slash != std::string::npos) name.erase(0, slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
  }

  char Separator() override { return '\\'; }
};

}  // namespace

SystemQueries& RealSystem() {
  static Win32System system;
  return system;
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  if (path.empty()) return nullptr;
  return _fsopen(path.c_str(), mode, _SH_DENYRW);
}

std::FILE* CreateUniqueFile(const std::string& prefix, std::string* path) {
  static std::atomic<unsigned long> counter{0};
  if (prefix.empty()) return nullptr;
  for (int attempt = 0; attempt < 64; ++attempt) {
    // Process, thread, call count and clock: unique between the hosts that share a Plugins folder;
    // CREATE_NEW catches whatever a stranger planted there.
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%lx-%lx-%lx-%lx", static_cast<unsigned long>(GetCurrentProcessId()),
                  static_cast<unsigned long>(GetCurrentThreadId()), counter.fetch_add(1),
                  static_cast<unsigned long>(GetTickCount()));
    const std::string name = prefix + suffix;
    // No sharing while it is written, as for every other file of the plug-in.
    HANDLE handle = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
      CloseHandle(handle);
      DeleteFileA(name.c_str());
      return nullptr;
    }
    std::FILE* file = _fdopen(fd, "wb");
    if (file == nullptr) {
      _close(fd);
      DeleteFileA(name.c_str());
      return nullptr;
    }
    *path = name;
    return file;
  }
  return nullptr;
}

bool CommitFile(std::FILE* file) {
  if (file == nullptr || std::fflush(file) != 0) return false;
  return _commit(_fileno(file)) == 0;
}

bool ReplaceFileAtomically(const std::string& source, const std::string& target) {
  return MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

}  // namespace vle::platform
