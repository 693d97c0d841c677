#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/system.h"

namespace vle::platform {
namespace {

int g_anchor;  // an address inside this module, to ask the loader which file holds it

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

class PosixSystem final : public SystemQueries {
 public:
  std::optional<bool> NtFamily() override { return true; }

  // The machine-wide switch of Windows becomes an environment variable here.
  uint32_t StoreInUsersFolder() override {
    const char* text = std::getenv("QUORSANA_STORE_IN_USERS_FOLDER");
    if (text == nullptr) return 0;
    return static_cast<uint32_t>(std::strtoull(text, nullptr, 10));
  }

  // The XDG configuration folder: $XDG_CONFIG_HOME when it is an absolute path, else
  // $HOME/.config.
  std::optional<std::string> AppDataFolder() override {
    std::string folder;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
      folder = config;
    } else {
      const char* home = std::getenv("HOME");
      if (home == nullptr || home[0] == '\0') return std::nullopt;
      folder = std::string(home) + "/.config";
    }
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (folder == "/") folder.clear();
    return folder;
  }

  std::string HostFolder() override {
    std::string path(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return std::string();
    path.resize(static_cast<std::size_t>(n));
    return FolderOf(path);
  }

  std::string CommandLine() override {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    while (!raw.empty() && raw.back() == '\0') raw.pop_back();
    for (char& c : raw) {
      if (c == '\0') c = ' ';
    }
    return raw;
  }

  bool CreateFolder(const std::string& path) override { return mkdir(path.c_str(), 0777) == 0; }

  std::string ModuleName() override {
    Dl_info info{};
    if (dladdr(&g_anchor, &info) == 0 || info.dli_fname == nullptr) return std::string();
    std::string name = info.dli_fname;
    const std::size_t slash = name.rfind('/');
    if (slash != std::string::npos) name.erase(0, slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
  }

  char Separator() override { return '/'; }
};

}  // namespace

SystemQueries& RealSystem() {
  static PosixSystem system;
  return system;
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  if (path.empty()) return nullptr;
  return std::fopen(path.c_str(), mode);
}

std::FILE* CreateUniqueFile(const std::string& prefix, std::string* path) {
  static std::atomic<uint32_t> counter{0};
  if (prefix.empty()) return nullptr;
  for (int attempt = 0; attempt < 64; ++attempt) {
    // Process, call count and clock: unique between the threads and processes that share a folder;
    // O_EXCL catches whatever a stranger planted there.
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".%" PRIx32 "-%" PRIx32 "-%lx", static_cast<uint32_t>(getpid()),
                  counter.fetch_add(1), static_cast<unsigned long>(now.tv_nsec));
    const std::string name = prefix + suffix;
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return nullptr;
    }
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
      close(fd);
      unlink(name.c_str());
      return nullptr;
    }
    *path = name;
    return file;
  }
  return nullptr;
}

bool CommitFile(std::FILE* file) {
  if (file == nullptr || std::fflush(file) != 0) return false;
  return fsync(fileno(file)) == 0;
}

// The new file keeps the permissions of the one it replaces, as a file rewritten in place would.
bool ReplaceFileAtomically(const std::string& source, const std::string& target) {
  struct stat old {};
  if (stat(target.c_str(), &old) == 0) chmod(source.c_str(), old.st_mode & 07777);
  return std::rename(source.c_str(), target.c_str()) == 0;
}

bool RemoveFile(const std::string& path) { return std::remove(path.c_str()) == 0; }

}  // namespace vle::platform
