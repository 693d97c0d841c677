#include "plugin_host.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "core/template_kernels.h"
#include "platform/lock.h"
#include "plugin/module.h"
#include "plugin/plugin.h"
#include "ui/control_ids.h"
#include "ui/headless/headless_desktop.h"

namespace vle::bench {

namespace {
int g_hostWindow;  // any address serves as the host's window handle
}  // namespace

void FillRandom(void* data, size_t bytes, uint32_t seed) {
  std::mt19937 rng(seed);
  auto* p = static_cast<uint8_t*>(data);
  size_t i = 0;
  for (; i + 4 <= bytes; i += 4) {
    const uint32_t v = rng();
    p[i] = uint8_t(v), p[i + 1] = uint8_t(v >> 8), p[i + 2] = uint8_t(v >> 16);
    p[i + 3] = uint8_t(v >> 24);
  }
  for (; i < bytes; ++i) p[i] = uint8_t(rng());
}

PluginHost::PluginHost() {
  namespace fs = std::filesystem;
  folder_ = (fs::temp_directory_path() / ("vle-bench-" + std::to_string(::getpid()))).string();
  fs::create_directories(fs::path(folder_) / "Quorsana");
  setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
  setenv("QUORSANA_STORE_IN_USERS_FOLDER", "1", 1);
  Quorsana_Plugin_PR()->load();
}

PluginHost::~PluginHost() {
  Quorsana_Plugin_PR()->unload();
  std::error_code ec;
  std::filesystem::remove_all(folder_, ec);
}

bool PluginHost::StartCapturing(int32_t width, int32_t height, int32_t format,
                                const SettingsBlock& settings, uint8_t* frame) {
  Stop();
  auto& desktop = ui::headless::Desktop();
  desktop.SetScreenSize(1920, 1200);
  desktop.SetHostWindowRect(Rect{100, 100, 1380, 820});
  plugin::TheModule().state.activeSettings.Store(settings);
  const FrameFormat f{width, height, 0, format, 3};
  Quorsana_Plugin_PR()->setFormat(&f);
  const PluginConfigureArgs args{&g_hostWindow};
  Quorsana_Plugin_PR()->configure(&args);
  desktop.Pump();
  desktop.Click(IDC_START);
  size_[0] = width;
  size_[1] = height;
  for (int i = 0; i < 25; ++i) {
    if (Process(frame) != 0) return false;
  }
  const SharedState& s = plugin::TheModule().state;
  return Process(frame) == 1 && s.captureActive.load() != 0 && s.templateActive.load() != 0;
}

int32_t PluginHost::Process(uint8_t* pixels) {
  VideoFrame record{};
  record.pixels = pixels;
  record.frameSize = size_;
  return Quorsana_Plugin_PR()->processFrame(&record);
}

void PluginHost::ResetAccumulators() {
  SharedState& s = plugin::TheModule().state;
  platform::LockGuard guard(s.bufferLock);
  vle::ResetAccumulators(s.maxBuffer, s.minBuffer);
}

uint32_t PluginHost::TemplatePixel(int32_t x, int32_t y) const {
  const ImageBuffer* t = plugin::TheModule().state.templateBuffer;
  return t != nullptr && t->bits != nullptr ? *t->PixelAt(x, y) : 0;
}

PluginHost& SharedHost() {
  static PluginHost host;
  return host;
}

void PluginHost::Stop() {
  auto& desktop = ui::headless::Desktop();
  if (plugin::TheModule().dialog.HasWindow()) desktop.SendClose();
}

}  // namespace vle::bench
