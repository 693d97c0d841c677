#include "support/host_harness.h"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <atomic>
#include <cstdlib>
#include <random>

#include "ui/control_ids.h"

namespace vle::test {

namespace {

namespace fs = std::filesystem;

int g_hostWindow;  // any address serves as the host's window handle

const PluginDescriptor& Plugin() { return *Quorsana_Plugin_PR(); }

void SetEnv(const char* name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

long ProcessId() {
#ifdef _WIN32
  return long(_getpid());
#else
  return long(getpid());
#endif
}

}  // namespace

void HostFrame::Randomise(uint32_t seed) {
  std::mt19937 rng(seed);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
}

SettingsHome::SettingsHome(const std::string& tag) {
  // Test processes run in parallel, and a process may make several homes one after the other.
  static std::atomic<int> count{0};
  path_ = fs::temp_directory_path() /
          ("vle-" + tag + "-" + std::to_string(ProcessId()) + "-" + std::to_string(count++));
  std::error_code ec;
  fs::remove_all(path_, ec);
  fs::create_directories(path_ / "Quorsana");
  SetEnv("XDG_CONFIG_HOME", path_.string());
  SetEnv("QUORSANA_STORE_IN_USERS_FOLDER", "1");
}

SettingsHome::~SettingsHome() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

InProcessHost::InProcessHost(const std::string& tag) : home_(tag) { Reset(); }

InProcessHost::~InProcessHost() { Plugin().unload(); }

plugin::Module& InProcessHost::module() { return plugin::TheModule(); }

ui::headless::HeadlessDesktop& InProcessHost::desktop() { return ui::headless::Desktop(); }

void InProcessHost::Reset() {
  plugin::Module& m = module();
  m.dialog.Destroy();
  auto& d = desktop();
  d.colorChooser = nullptr;
  d.saveChooser = nullptr;
  d.aboutBox = nullptr;
  d.processorMessages.clear();
  d.flashes = d.focusCount = d.aboutBoxes = d.colorChoosers = d.saveChoosers = 0;
  d.SetScreenSize(1024, 768);
  d.SetHostWindowRect(Rect{100, 100, 740, 580});
  d.SetDialogSize(294, 240);
  m.state.activeSettings.Store(kDefaultSettings);
  m.dialog.dlgWndPosX = kNoWindowPosition;
  m.dialog.dlgWndPosY = kNoWindowPosition;
  m.settleCountdown = 0;
  m.lastFrameSize = Size{0, 0};
  Announce(0, 0, 0);
  // Where the host's folder holds the settings (Windows), an earlier run may have left a file.
  m.ini.Locate();
  std::error_code ignored;
  if (!m.ini.fullPath().empty()) fs::remove(fs::u8path(m.ini.fullPath()), ignored);
}

int32_t InProcessHost::Announce(int32_t width, int32_t height, int32_t format, int32_t cpuClass) {
  size_[0] = width;
  size_[1] = height;
  const FrameFormat f{width, height, 0, format, cpuClass};
  return Plugin().setFormat(&f);
}

void InProcessHost::Configure() {
  const PluginConfigureArgs args{&g_hostWindow};
  Plugin().configure(&args);
  desktop().Pump();
}

bool InProcessHost::Start(int32_t width, int32_t height, int32_t format) {
  Announce(width, height, format);
  Configure();
  return desktop().Click(IDC_START);
}

int32_t InProcessHost::Process(uint8_t* pixels) {
  VideoFrame record{};
  record.pixels = pixels;
  record.frameSize = size_;
  return Plugin().processFrame(&record);
}

int32_t InProcessHost::Process(HostFrame& frame) {
  VideoFrame record = frame.Record();
  return Plugin().processFrame(&record);
}

template <typename Frame>
int InProcessHost::SettleWith(Frame& frame) {
  for (int i = 0; i < kSettleFrames; ++i) {
    if (Process(frame) != 0) return i;
  }
  return kSettleFrames;
}

int InProcessHost::Settle(HostFrame& frame) { return SettleWith(frame); }

int InProcessHost::Settle(uint8_t* pixels) { return SettleWith(pixels); }

void InProcessHost::Close() {
  if (module().dialog.HasWindow()) desktop().SendClose();
}

bool InProcessHost::StartCapturing(int32_t width, int32_t height, int32_t format,
                                   const SettingsBlock& settings, uint8_t* pixels) {
  Close();
  module().state.activeSettings.Store(settings);
  if (!Start(width, height, format) || Settle(pixels) != kSettleFrames) return false;
  const SharedState& s = module().state;
  return Process(pixels) == 1 && s.captureActive.load() != 0 && s.templateActive.load() != 0;
}

}  // namespace vle::test
