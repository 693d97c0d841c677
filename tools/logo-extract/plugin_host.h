// The plug-in as a host sees it: loaded by file name, driven through its two exports and the
// descriptor's callbacks, and its settings window worked through the headless window system as a
// user would work it (scrolling up-down controls, clicking buttons, answering choosers).
//
// One thread plays both the host's user-interface thread and its video thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "options.h"
#include "plugin/host_records.h"

namespace vle::ui::headless {
class HeadlessDesktop;
}

namespace vle::extract {

// The settings as the open settings window shows them.
struct WindowSettings {
  std::string posX, posY, sizeX, sizeY;  // "2.0"
  std::string threshold, blackLevel;     // "50"
  bool invert = false;
  uint32_t keyColor = 0;  // COLORREF
};

class PluginHost {
 public:
  // Loads the library and looks up the exports; throws RunError naming what is missing.
  explicit PluginHost(const std::string& path);
  ~PluginHost();
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  const std::string& path() const { return path_; }
  std::string name() const;  // the descriptor's display name, Windows-1251

  // PluginLoad, PluginSetFormat and PluginConfigure, in the order a host calls them.
  void Open(int width, int height, broadcast::Layout layout);
  // Works the settings window for every setting the options name, then reads back what it shows.
  // Throws RunError when the window does not show what was asked for.
  WindowSettings Apply(const Options& options);
  void Start();
  void Stop();
  // PluginProcessFrame; true when the plug-in processed the frame (it skips frames while the
  // picture settles after a size change).
  bool Process(uint8_t* pixels);
  // Presses Save, lets the plug-in write the bitmap into a staging file in memory and returns its
  // bytes; the caller puts them where they belong, and can then say why a write failed. Throws
  // RunError when the command is not available or no bitmap of `expectedBytes` appeared.
  std::vector<uint8_t> Save(int64_t expectedBytes);
  // PluginUnload: closes the window and lets the plug-in write its settings file. Idempotent.
  void Close();
  // True once PluginLoad ran: the plug-in writes its settings file when it unloads.
  bool writesSettings() const { return everLoaded_; }

 private:
  WindowSettings Read();
  void Click(int id, const char* what);

  std::string path_;
  void* library_ = nullptr;
  const PluginDescriptor* descriptor_ = nullptr;
  ui::headless::HeadlessDesktop* desktop_ = nullptr;
  int32_t frameSize_[2] = {0, 0};
  bool loaded_ = false;
  bool everLoaded_ = false;
  int hostWindow_ = 0;  // its address is the host window's handle
};

// Vorlane_LogoExtractor.so in the folder of this program.
std::string DefaultPluginPath();

}  // namespace vle::extract
