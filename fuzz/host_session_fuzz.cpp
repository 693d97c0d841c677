// A whole session with a hostile host and a restless user: random sequences of the descriptor's
// callbacks (load, formats of any size, code and processor class, frames whose size differs from
// the format, null pixels, null sizes, configure with and without arguments, idle, unload) and of
// window commands (clicks on every control, scrolls with any code and position, close, timers, the
// colour and save choosers answering either way), with any values stored into the active settings.
//
// Frames are at most 64 x 64 pixels in exactly sized heap blocks: the plug-in may touch only the
// bytes of the frame it was handed. Checked besides:
//   - a frame is left as it came when it cannot be placed (null size, a size other than the
//     announced format's, an unknown format, an old processor, no settings window);
//   - the frame callback answers 0 or 1;
//   - after an unload there is no window and no buffer, and the settings file holds exactly the
//     settings in effect and the window position;
//   - a saved bitmap has the export size of the settings, and nothing is saved when the window
//     went away while the chooser was open.
//
// Allocations above 64 MiB fail here, as they would in a host with little address space left:
// the announced format may be anything, and the buffers of a huge one then take the failure path
// instead of filling gigabytes.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/muldiv.h"
#include "fuzz_support.h"
#include "platform/cpu.h"
#include "plugin/plugin.h"
#include "support/host_harness.h"
#include "support/settings_text.h"
#include "ui/control_ids.h"

extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1:max_allocation_size_mb=64";
}

namespace {

namespace fs = std::filesystem;
using vle::fuzz::Check;
using vle::fuzz::ExactBlock;
using vle::fuzz::HostileInt;
using vle::fuzz::ReadFile;

constexpr const char* kName = "host_session_fuzz";
constexpr int32_t kMaxSide = 64;

void Expect(bool ok, const char* what) { Check(ok, kName, what); }

constexpr int kControls[] = {
    IDC_OK,         IDC_CANCEL,     IDC_ABOUT,          IDC_START,          IDC_STOP,
    IDC_CLEAR,      IDC_SAVE,       IDC_COLOR_KEY,      IDC_INVERSE,        IDC_THRESHOLD_EDIT,
    IDC_THRESHOLD_SPIN, IDC_BLACK_EDIT, IDC_BLACK_SPIN, IDC_POSX_EDIT,      IDC_POSX_SPIN,
    IDC_SIZEX_EDIT, IDC_SIZEX_SPIN, IDC_POSY_EDIT,      IDC_POSY_SPIN,      IDC_SIZEY_EDIT,
    IDC_SIZEY_SPIN, 1,              2,
};

int PickControl(FuzzedDataProvider& in) {
  if (in.ConsumeIntegralInRange<int>(0, 9) == 0) return in.ConsumeIntegral<int32_t>();
  return kControls[in.ConsumeIntegralInRange<std::size_t>(0, sizeof kControls / sizeof kControls[0] - 1)];
}

// The plug-in's settings file lives in a folder of this process, as in the user's folder of a host
// whose own folder exists.
vle::test::InProcessHost& Host() {
  static vle::test::InProcessHost host(kName);
  return host;
}
vle::plugin::Module& TheModule() { return Host().module(); }
vle::ui::headless::HeadlessDesktop& Desktop() { return Host().desktop(); }

// The settings file as an unload must leave it.
std::string ExpectedSettingsFile() {
  return vle::test::SettingsFileText(TheModule().state.activeSettings.Load(), TheModule().dialog.dlgWndPosX,
                                     TheModule().dialog.dlgWndPosY);
}

void Load(FuzzedDataProvider& in) {
  // Sometimes the file holds whatever the input says; the load holds its values to their ranges.
  if (in.ConsumeBool() && !TheModule().ini.fullPath().empty()) {
    std::ofstream(TheModule().ini.fullPath(), std::ios::binary) << in.ConsumeRandomLengthString(200);
  }
  Quorsana_Plugin_PR()->load();
}

void SetFormat(FuzzedDataProvider& in) {
  if (in.ConsumeIntegralInRange<int>(0, 15) == 0) {
    Expect(Quorsana_Plugin_PR()->setFormat(nullptr) == 1, "setFormat(null) did not answer 1");
    return;
  }
  FrameFormat f;
  f.width = HostileInt(in, -2, kMaxSide);
  f.height = HostileInt(in, -2, kMaxSide);
  f.reserved = in.ConsumeIntegral<int32_t>();
  f.pixelFormat = in.ConsumeIntegralInRange<int>(0, 3) != 0 ? in.ConsumeIntegralInRange<int32_t>(0, 1)
                                                            : HostileInt(in, -2, 5);
  f.cpuClass = in.ConsumeIntegralInRange<int>(0, 3) != 0 ? 3 : HostileInt(in, 0, 5);
  Expect(Quorsana_Plugin_PR()->setFormat(&f) == 1, "setFormat did not answer 1");
}

// A run of frames of one reported size: long enough, now and then, to get past the settling.
void ProcessFrames(FuzzedDataProvider& in) {
  const vle::SharedFrameFormat& announced = TheModule().state.currentFormat;
  const int32_t format = announced.pixelFormat.load();
  int32_t size[2];
  if (in.ConsumeBool() && announced.width.load() <= kMaxSide && announced.height.load() <= kMaxSide) {
    size[0] = announced.width.load();
    size[1] = announced.height.load();
  } else {
    size[0] = in.ConsumeIntegralInRange<int32_t>(-2, kMaxSide);
    size[1] = in.ConsumeIntegralInRange<int32_t>(-2, kMaxSide);
  }
  // Exactly what the reported size needs in the announced layout; an unknown layout gets three
  // bytes per pixel, none of which may change.
  const std::size_t pixels = size[0] > 0 && size[1] > 0 ? std::size_t(size[0]) * std::size_t(size[1]) : 0;
  ExactBlock frame(pixels * (format == 0 ? 2 : 3), in);
  const int count = in.ConsumeIntegralInRange<int>(1, 40);
  const int variant = in.ConsumeIntegralInRange<int>(0, 9);  // 0: null pixels, 1: null size, 2: null frame

  for (int i = 0; i < count; ++i) {
    VideoFrame record{};
    record.pixels = variant == 0 ? nullptr : frame.data();
    record.frameSize = variant == 1 ? nullptr : size;
    const vle::FrameAdapter& adapter = TheModule().adapter;
    const int32_t cpu = announced.cpuClass.load();
    const bool placeable = variant > 2 && (format == 0 || format == 1) && cpu != 1 && cpu != 2 &&
                           size[0] == adapter.width && size[1] == adapter.height &&
                           Desktop().HasWindow();
    const std::string before = frame.Snapshot();
    const int32_t result = Quorsana_Plugin_PR()->processFrame(variant == 2 ? nullptr : &record);
    Expect(result == 0 || result == 1, "processFrame answered neither 0 nor 1");
    if (!placeable) Expect(frame.Snapshot() == before, "a frame that cannot be placed was changed");
  }
}

void Configure(FuzzedDataProvider& in) {
  static int hostWindow;
  if (in.ConsumeBool()) {
    Quorsana_Plugin_PR()->configure(nullptr);
  } else {
    const PluginConfigureArgs args{in.ConsumeBool() ? &hostWindow : nullptr};
    Quorsana_Plugin_PR()->configure(&args);
  }
  Desktop().Pump();
}

void Unload() {
  Quorsana_Plugin_PR()->unload();
  const vle::SharedState& s = TheModule().state;
  Expect(!Desktop().HasWindow(), "a window outlived the unload");
  Expect(s.maxBuffer == nullptr && s.minBuffer == nullptr &&
             s.templateBuffer == nullptr,
         "a buffer outlived the unload");
  Expect(s.captureActive.load() == 0 && s.templateActive.load() == 0, "a capture flag outlived the unload");
  // Every reset and load locates the file; an unload always rewrites it.
  const std::string& path = TheModule().ini.fullPath();
  if (!path.empty()) Expect(ReadFile(path) == ExpectedSettingsFile(), "the settings file lost something");
}

void StoreSettings(FuzzedDataProvider& in) {
  vle::SettingsBlock b = TheModule().state.activeSettings.Load();
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:  // the region only
      b.logoPosX = HostileInt(in, -10, 1010);
      b.logoPosY = HostileInt(in, -10, 1010);
      b.logoSizeX = HostileInt(in, -10, 1010);
      b.logoSizeY = HostileInt(in, -10, 1010);
      break;
    case 1:  // the template's parameters only
      b.colorKey = in.ConsumeIntegral<uint32_t>();
      b.inverseSelection = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(0, 1) : in.ConsumeIntegral<uint32_t>();
      b.threshold = HostileInt(in, -10, 300);
      b.blackLevel = HostileInt(in, -10, 300);
      break;
    default:  // anything at all
      b.logoPosX = HostileInt(in, -10, 1010);
      b.logoPosY = HostileInt(in, -10, 1010);
      b.logoSizeX = HostileInt(in, -10, 1010);
      b.logoSizeY = HostileInt(in, -10, 1010);
      b.colorKey = in.ConsumeIntegral<uint32_t>();
      b.inverseSelection = in.ConsumeIntegral<uint32_t>();
      b.threshold = HostileInt(in, -10, 300);
      b.blackLevel = HostileInt(in, -10, 300);
      break;
  }
  TheModule().state.activeSettings.Store(b);
}

void ChooseColor(FuzzedDataProvider& in) {
  const bool answer = in.ConsumeBool();
  const uint32_t color = in.ConsumeIntegral<uint32_t>();
  Desktop().colorChooser = [answer, color](uint32_t, uint32_t* chosen) {
    *chosen = color;
    return answer;
  };
  if (in.ConsumeBool()) Desktop().Click(IDC_COLOR_KEY);
  else Desktop().SendCommand(IDC_COLOR_KEY);
}

// Pixel rows of a 24-bit bitmap are padded to four bytes; the header alone is 58 bytes.
uint64_t BitmapFileSize(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0) return 58;
  return 58 + ((uint64_t(width) * 3 + 3) & ~uint64_t{3}) * uint64_t(height);
}

void Save(FuzzedDataProvider& in) {
  const fs::path target = Host().folder() / "logo.bmp";
  std::error_code ec;
  fs::remove(target, ec);
  const int answer = in.ConsumeIntegralInRange<int>(0, 3);  // 0 cancel, 1 yes, 2 close first, 3 unload first
  Desktop().saveChooser = [answer, &target](const vle::ui::SaveFileRequest&, std::string* path) {
    *path = target.string();
    if (answer == 2) TheModule().dialog.Destroy();
    if (answer == 3) Quorsana_Plugin_PR()->unload();
    return answer != 0;
  };
  const vle::SettingsBlock s = TheModule().state.activeSettings.Load();
  if (in.ConsumeBool()) Desktop().Click(IDC_SAVE);
  else Desktop().SendCommand(IDC_SAVE);
  Desktop().saveChooser = nullptr;

  if (!fs::exists(target)) return;
  Expect(answer == 1, "a bitmap was written without a template to write");
  const std::string bytes = ReadFile(target);
  Expect(bytes.size() >= 58, "the bitmap is shorter than its header");
  const int64_t w = vle::MulDiv(s.logoSizeX, 768, 1000), h = vle::MulDiv(s.logoSizeY, 576, 1000);
  int32_t fileW, fileH;
  std::memcpy(&fileW, bytes.data() + 18, 4);
  std::memcpy(&fileH, bytes.data() + 22, 4);
  Expect(fileW == (w > 0 ? w : 0) && fileH == (h > 0 ? h : 0), "the bitmap is not the export size");
  Expect(bytes.size() == BitmapFileSize(fileW, fileH), "the bitmap's length does not match its header");
  fs::remove(target, ec);
}

// The window system's geometry stays within what a desktop reports (coordinates of 16 bits); the
// stored window position, which comes from the settings file, may be anything.
void WorldAround(FuzzedDataProvider& in) {
  auto coordinate = [&in] { return in.ConsumeIntegralInRange<int32_t>(-32768, 32767); };
  auto extent = [&in] { return in.ConsumeIntegralInRange<int32_t>(0, 32767); };
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      Desktop().SetScreenSize(extent(), extent());
      break;
    case 1:
      Desktop().SetHostWindowRect(vle::Rect{coordinate(), coordinate(), coordinate(), coordinate()});
      break;
    case 2:
      Desktop().SetDialogSize(extent(), extent());
      break;
    default:
      TheModule().dialog.dlgWndPosX = HostileInt(in, -200, 4000);
      TheModule().dialog.dlgWndPosY = HostileInt(in, -200, 4000);
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Host();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  // Each input starts from a freshly loaded plug-in as far as the module's state goes: no window,
  // default settings, no file, a host with a 1024 x 768 screen.
  Host().Reset();
  static constexpr int kLevels[] = {-1, 0, vle::platform::kCpuSse2};
  vle::platform::MaskCpuFeatures(kLevels[in.ConsumeIntegralInRange<int>(0, 2)]);

  for (int step = 0; step < 48 && in.remaining_bytes() > 0; ++step) {
    switch (in.ConsumeIntegralInRange<int>(0, 17)) {
      case 0: Load(in); break;
      case 1: case 2: SetFormat(in); break;
      case 3: case 4: case 5: ProcessFrames(in); break;
      case 6: Configure(in); break;
      case 7: Quorsana_Plugin_PR()->idle(); break;
      case 8: Unload(); break;
      case 9: Desktop().Click(PickControl(in)); break;
      case 10: Desktop().SendCommand(PickControl(in)); break;
      case 11: Desktop().ScrollTo(PickControl(in), HostileInt(in, -10, 1010)); break;
      case 12: {
        const bool horizontal = in.ConsumeBool();
        const int code = in.ConsumeIntegralInRange<int>(0, 3) != 0 ? 4 : in.ConsumeIntegral<int32_t>();
        const uint32_t position = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(0, 1000)
                                                   : in.ConsumeIntegral<uint32_t>();
        Desktop().SendScroll(horizontal, code, position, PickControl(in));
        break;
      }
      case 13: Desktop().SendClose(); break;
      case 14: Desktop().AdvanceTime(in.ConsumeIntegralInRange<unsigned>(0, 600)); break;
      case 15: StoreSettings(in); break;
      case 16: in.ConsumeBool() ? ChooseColor(in) : Save(in); break;
      default: WorldAround(in); break;
    }
  }
  return 0;
}
