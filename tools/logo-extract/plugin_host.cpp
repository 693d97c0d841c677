#include "plugin_host.h"

#include <dlfcn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "frame_source.h"
#include "ui/control_ids.h"
#include "ui/headless/headless_desktop.h"

namespace vle::extract {
namespace {

// Any class the host reports except 1 and 2 (older than Pentium III) lets the plug-in work.
constexpr int32_t kCpuClass = 3;

template <typename T>
T Symbol(void* library, const char* name, const std::string& path) {
  void* p = dlsym(library, name);
  if (p == nullptr) throw RunError("'" + path + "' does not export " + name + ": not this plug-in");
  return reinterpret_cast<T>(p);
}

// This program's folder, with its final slash; empty when it cannot be told.
std::string OwnFolder() {
  std::string self(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", self.data(), self.size());
  if (n <= 0 || static_cast<size_t>(n) >= self.size()) return std::string();
  self.resize(static_cast<size_t>(n));
  return self.substr(0, self.rfind('/') + 1);
}

// The plug-in keeps its settings in Plugins/ beside the host's executable unless
// QUORSANA_STORE_IN_USERS_FOLDER says otherwise. An installed logo-extract (under /usr, or in a
// folder this user cannot write) switches to the user's folder, $XDG_CONFIG_HOME/Quorsana/Plugins/,
// and makes its parent, which the plug-in does not create. A switch the user set is left alone.
void PreferUsersFolderWhenInstalled() {
  if (std::getenv("QUORSANA_STORE_IN_USERS_FOLDER") != nullptr) return;
  const std::string own = OwnFolder();
  if (own.empty() || (own.rfind("/usr/", 0) != 0 && access(own.c_str(), W_OK) == 0)) return;
  setenv("QUORSANA_STORE_IN_USERS_FOLDER", "1", 1);
  std::string config;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    config = xdg;
  } else if (home != nullptr && home[0] != '\0') {
    config = std::string(home) + "/.config";
  } else {
    return;  // no user's folder: the plug-in works with its defaults and keeps nothing
  }
  mkdir(config.c_str(), 0700);
  mkdir((config + "/Quorsana").c_str(), 0777);
}

// A file the plug-in can write by name and this process then reads: a memory file reached through
// /proc/self/fd, or, without either, a file in the temporary folder removed after use.
class StagingFile {
 public:
  StagingFile() {
    fd_ = memfd_create("vle-template", MFD_CLOEXEC);
    if (fd_ >= 0) {
      path_ = "/proc/self/fd/" + std::to_string(fd_);
      if (access(path_.c_str(), W_OK) == 0) return;
      close(fd_);
    }
    const char* folder = std::getenv("TMPDIR");
    path_ = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/vle-template-XXXXXX";
    fd_ = mkstemp(path_.data());
    if (fd_ < 0)
      throw RunError("cannot make a staging file for the template: " + std::string(std::strerror(errno)));
    named_ = true;
  }
  ~StagingFile() {
    close(fd_);
    if (named_) unlink(path_.c_str());
  }
  StagingFile(const StagingFile&) = delete;
  StagingFile& operator=(const StagingFile&) = delete;

  const std::string& path() const { return path_; }

  std::vector<uint8_t> Read() const {
    struct stat st {};
    if (fstat(fd_, &st) != 0)
      throw RunError("cannot read the staged template: " + std::string(std::strerror(errno)));
    std::vector<uint8_t> bytes(size_t(st.st_size));
    for (size_t got = 0; got < bytes.size();) {
      const ssize_t n = pread(fd_, bytes.data() + got, bytes.size() - got, off_t(got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0)
        throw RunError("cannot read the staged template: " +
                       std::string(n < 0 ? std::strerror(errno) : "it shrank"));
      got += size_t(n);
    }
    return bytes;
  }

 private:
  std::string path_;
  int fd_ = -1;
  bool named_ = false;
};

}  // namespace

std::string DefaultPluginPath() {
  return OwnFolder() + "Vorlane_LogoExtractor.so";
}

PluginHost::PluginHost(const std::string& path) : path_(path) {
  PreferUsersFolderWhenInstalled();  // before the plug-in reads its settings
  // dlopen searches the library path for a bare name; a user means the file in this folder.
  const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  struct stat st {};
  if (stat(file.c_str(), &st) != 0) throw RunError("no plug-in at '" + path + "'");
  library_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library_ == nullptr) {
    const char* why = dlerror();
    throw RunError("cannot load the plug-in '" + path + "': " + (why ? why : "unknown error"));
  }
  try {
    auto version = Symbol<int32_t (*)()>(library_, "Quorsana_Plugin_Version", path);
    auto descriptor = Symbol<const PluginDescriptor* (*)()>(library_, "Quorsana_Plugin_PR", path);
    auto desktop = Symbol<ui::headless::HeadlessDesktop* (*)()>(library_, "Vorlane_HeadlessDesktop", path);
    if (const int32_t v = version(); v != 3) {
      throw RunError("'" + path + "' speaks plug-in interface " + std::to_string(v) + ", not 3");
    }
    descriptor_ = descriptor();
    desktop_ = desktop();
    if (descriptor_ == nullptr || desktop_ == nullptr) throw RunError("'" + path + "' gave no descriptor");
  } catch (...) {
    dlclose(library_);
    throw;
  }
}

PluginHost::~PluginHost() {
  Close();
  dlclose(library_);
}

std::string PluginHost::name() const { return descriptor_->name ? descriptor_->name : ""; }

void PluginHost::Open(int width, int height, broadcast::Layout layout) {
  descriptor_->load();
  loaded_ = true;
  everLoaded_ = true;
  FrameFormat format{width, height, 0, layout == broadcast::Layout::kYuy2 ? 0 : 1, kCpuClass};
  descriptor_->setFormat(&format);
  frameSize_[0] = width;
  frameSize_[1] = height;
  PluginConfigureArgs args{&hostWindow_};
  descriptor_->configure(&args);
  if (!desktop_->HasWindow()) throw RunError("the plug-in opened no settings window");
  desktop_->Pump();
}

void PluginHost::Click(int id, const char* what) {
  if (!desktop_->Click(id))
    throw RunError(std::string("the settings window's ") + what + " is not available");
}

WindowSettings PluginHost::Read() {
  WindowSettings s;
  s.posX = desktop_->Text(IDC_POSX_EDIT);
  s.posY = desktop_->Text(IDC_POSY_EDIT);
  s.sizeX = desktop_->Text(IDC_SIZEX_EDIT);
  s.sizeY = desktop_->Text(IDC_SIZEY_EDIT);
  s.threshold = desktop_->Text(IDC_THRESHOLD_EDIT);
  s.blackLevel = desktop_->Text(IDC_BLACK_EDIT);
  const ui::headless::ControlState* check = desktop_->Control(IDC_INVERSE);
  s.invert = check != nullptr && check->check != 0;
  return s;
}

WindowSettings PluginHost::Apply(const Options& o) {
  auto scroll = [&](int id, int position) {
    if (!desktop_->ScrollTo(id, position))
      throw RunError("the settings window's up-down control " + std::to_string(id) + " is not available");
  };
  // Sizes first: a size change moves the position to keep the region's centre, and the position
  // set afterwards is then the one asked for.
  if (o.region) {
    scroll(IDC_SIZEX_SPIN, o.region->width);
    scroll(IDC_SIZEY_SPIN, o.region->height);
    scroll(IDC_POSX_SPIN, o.region->x);
    scroll(IDC_POSY_SPIN, o.region->y);
  }
  if (o.threshold) scroll(IDC_THRESHOLD_SPIN, *o.threshold);
  if (o.blackLevel) scroll(IDC_BLACK_SPIN, *o.blackLevel);
  if (o.invert && Read().invert != *o.invert) Click(IDC_INVERSE, "inversion check box");

  // The colour chooser is the one place where the window shows the key colour: it opens on it.
  uint32_t shown = 0;
  bool asked = false;
  desktop_->colorChooser = [&](uint32_t initial, uint32_t* chosen) {
    asked = true;
    shown = initial;
    if (!o.keyColor) return false;
    *chosen = *o.keyColor;
    return true;
  };
  Click(IDC_COLOR_KEY, "key colour button");
  desktop_->colorChooser = nullptr;
  if (!asked) throw RunError("the settings window's key colour button opened no chooser");

  WindowSettings s = Read();
  s.keyColor = o.keyColor ? *o.keyColor : shown;
  auto expect = [](const std::string& shownText, const std::string& wanted, const char* what) {
    if (shownText != wanted) {
      throw RunError(std::string("the settings window shows ") + what + " " + shownText + ", not " + wanted);
    }
  };
  if (o.region) {
    expect(s.sizeX, Tenths(o.region->width), "size X");
    expect(s.sizeY, Tenths(o.region->height), "size Y");
    expect(s.posX, Tenths(o.region->x), "position X");
    expect(s.posY, Tenths(o.region->y), "position Y");
  }
  if (o.threshold) expect(s.threshold, std::to_string(*o.threshold), "threshold");
  if (o.blackLevel) expect(s.blackLevel, std::to_string(*o.blackLevel), "black level");
  if (o.invert && s.invert != *o.invert) throw RunError("the settings window's inversion did not change");
  return s;
}

void PluginHost::Start() { Click(IDC_START, "Start button"); }

void PluginHost::Stop() { Click(IDC_STOP, "Stop button"); }

bool PluginHost::Process(uint8_t* pixels) {
  VideoFrame frame{};
  frame.pixels = pixels;
  frame.frameSize = frameSize_;
  return descriptor_->processFrame(&frame) == 1;
}

std::vector<uint8_t> PluginHost::Save(int64_t expectedBytes) {
  StagingFile staging;
  bool asked = false;
  desktop_->saveChooser = [&](const ui::SaveFileRequest&, std::string* chosen) {
    asked = true;
    *chosen = staging.path();
    return true;
  };
  const bool clicked = desktop_->Click(IDC_SAVE);
  desktop_->saveChooser = nullptr;
  if (!clicked) throw RunError("the settings window's Save button is not available");
  if (!asked) throw RunError("the settings window's Save button opened no file chooser");
  std::vector<uint8_t> bytes = staging.Read();
  if (int64_t(bytes.size()) != expectedBytes) {
    throw RunError("the plug-in could not make the template bitmap (" + std::to_string(bytes.size()) +
                   " bytes, not " + std::to_string(expectedBytes) + ")");
  }
  return bytes;
}

void PluginHost::Close() {
  if (!loaded_) return;
  loaded_ = false;
  descriptor_->unload();
}

}  // namespace vle::extract
