// logo-extract: a command-line host of the logo extractor plug-in. It feeds a recording, raw frames
// or the synthetic broadcast through the plug-in exactly as a TV-viewing host would, works the
// settings window's Start, Stop and Save, and writes the template bitmap and a preview picture.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "frame_source.h"
#include "options.h"
#include "outputs.h"
#include "plugin_host.h"
#include "progress.h"
#include "stop.h"

namespace vle::extract {
namespace {

// "20.0" back to 20; -1 when the text is not one decimal number.
int32_t ParseTenths(const std::string& text) {
  const size_t dot = text.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 2 != text.size()) return -1;
  int32_t v = 0;
  for (char c : text) {
    if (c == '.') continue;
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

// Win32 MulDiv for the non-negative operands used here.
int64_t MulDiv(int64_t a, int64_t b, int64_t c) { return (a * b + c / 2) / c; }

// The file the plug-in writes for a region of these tenths: 24-bit rows padded to four bytes on a
// 768 x 576 reference frame, after 58 bytes of headers.
int64_t BitmapBytes(int32_t sizeX, int32_t sizeY) {
  const int64_t w = MulDiv(sizeX, 768, 1000), h = MulDiv(sizeY, 576, 1000);
  return 58 + ((3 * w + 3) / 4 * 4) * h;
}

// Everything from the first file opened to the last one put in place. `plugin` is the caller's, so
// that it can tell after a failure whether the plug-in wrote its settings file.
int Extract(const Options& o, OutputSet& outputs, std::optional<PluginHost>& plugin) {
  const std::string pluginPath = o.pluginPath.empty() ? DefaultPluginPath() : o.pluginPath;
  if (o.input != InputKind::kDemo && !o.inputIsUrl) outputs.AddInput(o.inputPath);
  outputs.AddInput(pluginPath);
  Output* bitmap = outputs.Add(o.templatePath, "the template bitmap");
  Output* preview = outputs.Add(o.previewPath, "the preview");
  Output* frames = outputs.Add(o.framesPath, "the processed frames");
  outputs.Prepare();

  std::unique_ptr<FrameSource> source = OpenSource(o);
  plugin.emplace(pluginPath);
  const int width = source->width(), height = source->height();
  plugin->Open(width, height, source->layout());
  const WindowSettings s = plugin->Apply(o);
  const int32_t sizeX = ParseTenths(s.sizeX), sizeY = ParseTenths(s.sizeY);
  if (sizeX < 0 || sizeY < 0) throw RunError("the settings window shows an unreadable region size");

  std::vector<uint8_t> frame(source->frameBytes());
  int64_t handed = 0, captured = 0;
  Progress progress(source->expectedFrames(), !o.quiet);
  plugin->Start();
  while (source->Next(frame.data())) {
    ThrowIfStopRequested();
    if (plugin->Process(frame.data())) ++captured;
    ++handed;
    if (frames != nullptr) frames->Write(frame.data(), frame.size());
    progress.Update(handed);
  }
  const double rate = progress.Rate(handed);
  progress.Finish();
  plugin->Stop();
  ThrowIfStopRequested();
  if (captured == 0) {
    throw RunError("the plug-in captured none of the " + std::to_string(handed) +
                   " frames: it lets the picture settle for the first 25, so give it more");
  }

  // Everything is made before anything is written, so that a failure to make one output leaves
  // even the directly written ones untouched.
  std::vector<uint8_t> bitmapBytes, previewBytes;
  if (bitmap != nullptr) bitmapBytes = plugin->Save(BitmapBytes(sizeX, sizeY));
  plugin->Close();  // the plug-in writes its settings file now
  if (preview != nullptr) {
    previewBytes =
        EncodePng(broadcast::FrameToRgb(frame.data(), width, height, source->layout()), width, height);
  }
  ThrowIfStopRequested();
  if (bitmap != nullptr) bitmap->Write(bitmapBytes.data(), bitmapBytes.size());
  if (preview != nullptr) preview->Write(previewBytes.data(), previewBytes.size());
  outputs.CommitAll();

  if (!o.quiet) {
    // Reported at the end, so that a failing run says one thing only: what went wrong.
    std::fprintf(stderr,
                 "logo-extract: %dx%d %s; region %s,%s,%s,%s %%, threshold %s, black level %s, "
                 "inversion %s, key colour %s\n",
                 width, height, source->layout() == broadcast::Layout::kYuy2 ? "yuy2" : "bgr24",
                 s.posX.c_str(), s.posY.c_str(), s.sizeX.c_str(), s.sizeY.c_str(), s.threshold.c_str(),
                 s.blackLevel.c_str(), s.invert ? "on" : "off", RgbHex(s.keyColour).c_str());
    const std::string remark = source->Remark();
    if (!remark.empty()) std::fprintf(stderr, "logo-extract: %s\n", remark.c_str());
    std::fprintf(stderr,
                 "logo-extract: %lld frames (%.1f fps), %lld captured after the plug-in's "
                 "settling\n",
                 (long long)handed, rate, (long long)captured);
    auto where = [](const Output* out) {
      return out->path() == "-" ? "standard output" : out->path().c_str();
    };
    if (bitmap != nullptr) {
      std::fprintf(stderr, "logo-extract: template %lldx%lld written to %s\n",
                   (long long)MulDiv(sizeX, 768, 1000), (long long)MulDiv(sizeY, 576, 1000), where(bitmap));
    }
    if (preview != nullptr) std::fprintf(stderr, "logo-extract: preview written to %s\n", where(preview));
    if (frames != nullptr) {
      std::fprintf(stderr, "logo-extract: %lld processed frames written to %s\n", (long long)handed,
                   where(frames));
    }
  }
  return 0;
}

// What an interrupted run leaves: the user should not have to guess which files changed.
std::string InterruptedMessage(const std::vector<std::string>& touched, bool settingsWritten) {
  std::string text = "interrupted; ";
  if (touched.empty()) {
    text += "no output written";
  } else {
    for (size_t i = 0; i < touched.size(); ++i) text += (i ? ", " : "") + touched[i];
    text += touched.size() == 1 ? " got part of its output" : " got part of their output";
    text += ", no other output written";
  }
  text +=
      settingsWritten ? "; the plug-in's settings file was updated" : "; the settings file was not touched";
  return text;
}

int Run(const Options& o) {
  OutputSet outputs;
  std::optional<PluginHost> plugin;
  try {
    return Extract(o, outputs, plugin);
  } catch (const Interrupted&) {
    const bool settingsWritten = plugin && plugin->writesSettings();
    plugin.reset();  // it writes the settings file as it unloads
    throw RunError(InterruptedMessage(outputs.Touched(), settingsWritten));
  }
}

}  // namespace
}  // namespace vle::extract

int main(int argc, char** argv) {
  using namespace vle::extract;
  Options options;
  try {
    options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const UsageError& e) {
    std::fprintf(stderr, "logo-extract: %s (see --help)\n", e.what());
    return 2;
  }
  if (options.help) {
    std::fputs(HelpText().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::puts("logo-extract 1.02");
    return 0;
  }
  CatchStopSignals();
  try {
    return Run(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "logo-extract: %s\n", e.what());
    // As a shell reports a command a signal ended: 130 for SIGINT, 143 for SIGTERM, 129 for SIGHUP.
    return StopRequested() ? 128 + StopSignal() : 1;
  }
}
