// vle_dll_timing: times the built Windows plug-in as a host runs it. It loads the DLL by file name
// from its own folder, takes the descriptor through GetProcAddress, opens the settings window on a
// host window of its own, clicks Start, lets the picture settle and then times processFrame in the
// Capturing state with QueryPerformanceCounter, for each frame size, layout and state:
//   steady       a long capture: the accumulators have seen the pictures, none of them moves;
//   after clear  Clear is clicked before every frame (untimed): every accumulator position moves.
// Each CPU level runs in a fresh load of the DLL with VLE_CPU_LEVEL set, which the plug-in reads
// once when it first chooses its routines.
//
// Output: a markdown table on standard output: the median wall-clock milliseconds of one
// processFrame (QueryPerformanceCounter), and the mean CPU time of the calling thread per frame
// (GetThreadTimes), which a busy machine inflates far less.
// Usage: vle_dll_timing [frames per case, default 60]
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "plugin/host_records.h"
#include "ui/control_ids.h"

namespace {

constexpr wchar_t kHostClass[] = L"VleTimingHost";
constexpr wchar_t kPluginFile[] = L"Vorlane_LogoExtractor.dll";
constexpr int kPool = 4;  // distinct pictures handed over in turn

void Pump() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageW(&m);
  }
}

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH * 4] = {};
  GetModuleFileNameW(nullptr, path, DWORD(sizeof path / sizeof path[0]));
  std::wstring p(path);
  return p.substr(0, p.find_last_of(L'\\') + 1);
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

// The settings window: this thread's visible top-level window other than the host's.
HWND SettingsWindow(HWND host) {
  std::vector<HWND> windows;
  EnumThreadWindows(GetCurrentThreadId(), &CollectWindow, reinterpret_cast<LPARAM>(&windows));
  for (HWND w : windows) {
    if (w != host && IsWindowVisible(w)) return w;
  }
  return nullptr;
}

void Click(HWND dialog, int id) {
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
  Pump();
}

void FillRandom(std::vector<uint8_t>& bytes, uint32_t seed) {
  std::mt19937 rng(seed);
  for (uint8_t& b : bytes) b = uint8_t(rng() >> 24);
}

struct Case {
  int32_t width, height, format;  // format 0 Yuy2, 1 Bgr24
  const char* name() const { return format == 0 ? "yuy2" : "bgr24"; }
};

struct Level {
  const char* name;  // the value of VLE_CPU_LEVEL
  bool available;
};

struct Timing {
  double wallMs;  // median
  double cpuMs;   // mean
};

double ThreadCpuMs() {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  auto ms = [](const FILETIME& t) {
    return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;  // 100 ns units
  };
  return ms(kernel) + ms(user);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

class Host {
 public:
  Host() {
    WNDCLASSW c{};
    c.lpfnWndProc = &DefWindowProcW;
    c.hInstance = GetModuleHandleW(nullptr);
    c.lpszClassName = kHostClass;
    RegisterClassW(&c);
    window_ = CreateWindowExW(0, kHostClass, L"Timing host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100,
                              100, 640, 480, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    Pump();
  }
  ~Host() {
    DestroyWindow(window_);
    Pump();
  }
  HWND window() const { return window_; }

 private:
  HWND window_ = nullptr;
};

// One load of the DLL at one CPU level.
class Plugin {
 public:
  Plugin(const Level& level, HWND host) : host_(host) {
    const std::string setting = std::string("VLE_CPU_LEVEL=") + level.name;
    _putenv(setting.c_str());
    SetEnvironmentVariableA("VLE_CPU_LEVEL", level.name);
    module_ = LoadLibraryW((ProgramFolder() + kPluginFile).c_str());
    if (module_ == nullptr) return;
    using DescriptorFn = const PluginDescriptor* (*)();
    auto pr = reinterpret_cast<DescriptorFn>(
        reinterpret_cast<void*>(GetProcAddress(module_, "Quorsana_Plugin_PR")));
    if (pr == nullptr) return;
    plugin_ = pr();
    plugin_->load();
  }
  ~Plugin() {
    if (plugin_ != nullptr) {
      Stop();
      plugin_->unload();
      Pump();
    }
    if (module_ != nullptr) FreeLibrary(module_);
  }
  bool loaded() const { return plugin_ != nullptr; }

  // Format, settings window, Start, and the 25 frames the plug-in lets the picture settle for.
  bool StartCapturing(const Case& c, std::vector<uint8_t>& frame) {
    Stop();
    size_[0] = c.width;
    size_[1] = c.height;
    FrameFormat format{c.width, c.height, 0, c.format, 3};
    if (plugin_->setFormat(&format) != 1) return false;
    PluginConfigureArgs args{host_};
    plugin_->configure(&args);
    Pump();
    dialog_ = SettingsWindow(host_);
    if (dialog_ == nullptr) return false;
    Click(dialog_, IDC_START);
    for (int i = 0; i < 25; ++i) {
      if (Process(frame.data()) != 0) return false;
    }
    return Process(frame.data()) == 1;
  }
  int32_t Process(uint8_t* pixels) {
    VideoFrame record{};
    record.pixels = pixels;
    record.frameSize = size_;
    return plugin_->processFrame(&record);
  }
  void Clear() { Click(dialog_, IDC_CLEAR); }
  void Stop() {
    if (dialog_ != nullptr && IsWindow(dialog_)) {
      Click(dialog_, IDC_STOP);
      SendMessageW(dialog_, WM_CLOSE, 0, 0);
      Pump();
    }
    dialog_ = nullptr;
  }

 private:
  HMODULE module_ = nullptr;
  const PluginDescriptor* plugin_ = nullptr;
  HWND host_;
  HWND dialog_ = nullptr;
  int32_t size_[2] = {0, 0};
};

// processFrame over `frames` frames; negative when capturing fails.
Timing Time(Plugin& plugin, const Case& c, bool afterClear, int frames) {
  const size_t bytes = size_t(c.width) * size_t(c.height) * (c.format == 1 ? 3 : 2);
  std::vector<std::vector<uint8_t>> pool(kPool, std::vector<uint8_t>(bytes));
  for (int i = 0; i < kPool; ++i) FillRandom(pool[i], uint32_t(i + 1));
  std::vector<uint8_t> frame = pool[0];
  if (!plugin.StartCapturing(c, frame)) return Timing{-1, -1};
  for (const auto& p : pool) {  // the accumulators see every picture once
    frame = p;
    plugin.Process(frame.data());
  }
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> ms;
  double cpu = 0;
  for (int n = 0; n < frames; ++n) {
    std::memcpy(frame.data(), pool[n % kPool].data(), bytes);  // the overlay drew into the last one
    if (afterClear) plugin.Clear();
    Pump();
    LARGE_INTEGER t0, t1;
    const double cpu0 = ThreadCpuMs();
    QueryPerformanceCounter(&t0);
    const int32_t result = plugin.Process(frame.data());
    QueryPerformanceCounter(&t1);
    cpu += ThreadCpuMs() - cpu0;
    if (result != 1) return Timing{-1, -1};
    ms.push_back(double(t1.QuadPart - t0.QuadPart) * 1000.0 / double(frequency.QuadPart));
  }
  plugin.Stop();
  return Timing{Median(ms), cpu / frames};
}

}  // namespace

int main(int argc, char** argv) {
  const int frames = argc > 1 ? std::max(5, std::atoi(argv[1])) : 60;
  __builtin_cpu_init();
  const Level levels[] = {{"scalar", true},
                          {"sse2", __builtin_cpu_supports("sse2") != 0},
                          {"avx2", __builtin_cpu_supports("avx2") != 0}};
  const Case cases[] = {{720, 576, 0}, {1920, 1080, 0}, {720, 576, 1}, {1920, 1080, 1}};
  Host host;
  std::printf("%d-bit plug-in, %d timed frames per case and state: median wall-clock ms per\n"
              "processFrame, and in brackets the mean CPU ms of the calling thread\n\n",
              int(sizeof(void*) * 8), frames);
  std::printf("| frame | level | steady ms (CPU) | after clear ms (CPU) | frames/s (steady, wall) |\n");
  std::printf("|---|---|---:|---:|---:|\n");
  std::fflush(stdout);
  int failures = 0;
  for (const Case& c : cases) {
    for (const Level& level : levels) {
      if (!level.available) {
        std::printf("| %s %dx%d | %s | - | - | not on this processor |\n", c.name(), c.width, c.height,
                    level.name);
        continue;
      }
      Plugin plugin(level, host.window());
      if (!plugin.loaded()) {
        std::fprintf(stderr, "vle_dll_timing: cannot load the plug-in beside this program\n");
        return 1;
      }
      const Timing steady = Time(plugin, c, false, frames);
      const Timing cleared = Time(plugin, c, true, frames);
      if (steady.wallMs < 0 || cleared.wallMs < 0) ++failures;
      std::printf("| %s %dx%d | %s | %.3f (%.3f) | %.3f (%.3f) | %.0f |\n", c.name(), c.width,
                  c.height, level.name, steady.wallMs, steady.cpuMs, cleared.wallMs, cleared.cpuMs,
                  steady.wallMs > 0 ? 1000.0 / steady.wallMs : 0.0);
      std::fflush(stdout);
    }
  }
  if (failures > 0) {
    std::fprintf(stderr, "vle_dll_timing: %d case(s) did not reach the Capturing state\n", failures);
    return 1;
  }
  return 0;
}
