// logo-extract: a command-line host of the logo extractor plug-in. It feeds a recording, raw frames
// or the synthetic broadcast through the plug-in exactly as a TV-viewing host would, works the
// settings window's Start, Stop and Save, and writes the template bitmap and a preview picture.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "analysis/alpha_estimator.h"
#include "analysis/logo_finder.h"
#include "analysis/luma_plane.h"
#include "analysis/steady_mask.h"
#include "analysis_outputs.h"
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

// The luma of a frame's rectangle, as the plug-in reads it.
analysis::LumaPlane RegionLuma(const uint8_t* frame, int width, int height, broadcast::Layout layout,
                               const analysis::Rect& r) {
  analysis::LumaPlane luma;
  if (layout == broadcast::Layout::kYuy2) {
    const ptrdiff_t stride = 2 * ptrdiff_t(width);
    analysis::LumaFromYuy2(frame + r.top * stride + 2 * r.left, r.width, r.height, stride, &luma);
  } else {
    // Bottom-up rows: the rectangle's top row is frame row height - 1 - top.
    const ptrdiff_t stride = 3 * ptrdiff_t(width);
    analysis::LumaFromBgr24(frame + (height - 1 - r.top) * stride + 3 * r.left, r.width, r.height, -stride, &luma);
  }
  return luma;
}

// The region's pixels in a frame, as the plug-in computes them from the tenths.
analysis::Rect RegionPixels(int width, int height, const int32_t tenths[4]) {
  return analysis::Rect{int(MulDiv(width, tenths[0], 1000)), int(MulDiv(height, tenths[1], 1000)),
                        int(MulDiv(width, tenths[2], 1000)), int(MulDiv(height, tenths[3], 1000))};
}

// ---- Finding the logo ----

constexpr int kFindSamples = 48;

// Opacity from which a semi-transparent logo's pixel belongs to the mask; a logo is
// semi-transparent when fewer than a tenth of its visible pixels reach kSolidOpacity.
constexpr float kMaskOpacity = 0.25f;
constexpr float kSolidOpacity = 0.95f;

struct Found {
  Region region;
  int samples = 0, withoutLogo = 0;
  int64_t framesDecoded = 0;
  analysis::FinderResult result;
  int factor = 1;  // samples are the frames shrunk by this
};

// Samples the whole input a second time, cheaply, and locates the logo. Throws RunError ("no logo")
// when there is none.
Found FindLogo(const Options& o, bool showProgress) {
  // A recording is sampled by seeking to about kFindSamples key frames spread over it; when that
  // yields too few (a short recording, rare key frames), every nth frame is decoded instead.
  std::unique_ptr<FrameSource> probe = OpenSource(o, Sampling{});
  const int width = probe->width(), height = probe->height();
  const broadcast::Layout layout = probe->layout();
  if (!probe->Rereadable()) {
    throw RunError("--find-logo reads the input twice, and this input is a pipe: give a file");
  }
  const int64_t expected = probe->expectedFrames();
  probe.reset();
  const int factor = std::max(1, (width + 1279) / 1280);
  const int sampleW = (width + factor - 1) / factor, sampleH = (height + factor - 1) / factor;

  auto collect = [&](std::unique_ptr<FrameSource> source, analysis::LogoFinder* finder, int64_t* decoded) {
    std::vector<uint8_t> frame(source->frameBytes());
    Progress progress(std::min<int64_t>(source->expectedFrames(), kFindSamples * 4), showProgress);
    while (finder->samples() < size_t(kFindSamples) * 4 && source->Take(frame)) {
      ThrowIfStopRequested();
      ++*decoded;
      const analysis::Rect all{0, 0, width, height};
      finder->Add(analysis::Shrink(RegionLuma(frame.data(), width, height, layout, all), factor));
      progress.Update(*decoded, "looking for the logo");
    }
    progress.Finish();
    ThrowIfStopRequested();
  };

  Found found;
  analysis::LogoFinder finder(sampleW, sampleH);
  const double fps = broadcast::SyntheticBroadcast::kFramesPerSecond;
  if (o.input == InputKind::kRecording && !o.frames && expected > 0) {
    const double seconds = std::max(0.04, double(expected) / fps / kFindSamples);
    collect(OpenSource(o, Sampling{Sampling::Mode::kEvery, seconds}), &finder, &found.framesDecoded);
  }
  if (finder.samples() < size_t(kFindSamples) / 2) {
    finder = analysis::LogoFinder(sampleW, sampleH);
    const int64_t frames = o.frames ? std::min(*o.frames, expected < 0 ? *o.frames : expected) : expected;
    const int64_t stride = frames > 0 ? std::max<int64_t>(1, frames / kFindSamples) : 25;
    collect(EveryNth(OpenSource(o, Sampling{}), stride), &finder, &found.framesDecoded);
  }
  const analysis::FinderResult r = finder.Find();
  if (!r.found) throw RunError(r.why);
  found.samples = r.samples;
  found.withoutLogo = r.withoutLogo;
  found.result = r;
  found.factor = factor;

  // The box at the frame's size with a small margin, widened to whole tenths of a percent.
  const int marginX = std::max(2, width / 100), marginY = std::max(2, height / 100);
  const int64_t left = std::max<int64_t>(0, int64_t(r.box.left) * factor - marginX);
  const int64_t top = std::max<int64_t>(0, int64_t(r.box.top) * factor - marginY);
  const int64_t right = std::min<int64_t>(width, int64_t(r.box.right()) * factor + marginX);
  const int64_t bottom = std::min<int64_t>(height, int64_t(r.box.bottom()) * factor + marginY);
  const int32_t x = int32_t(left * 1000 / width), y = int32_t(top * 1000 / height);
  const int32_t x2 = int32_t(std::min<int64_t>(1000, (right * 1000 + width - 1) / width));
  const int32_t y2 = int32_t(std::min<int64_t>(1000, (bottom * 1000 + height - 1) / height));
  found.region = Region{x, y, x2 - x, y2 - y};
  return found;
}

// Rows `rows` of a frame in a host layout as top-down R, G, B into `rgb`, a whole frame's size;
// the other rows are left as they are.
void RowsToRgb(const uint8_t* frame, int width, int height, broadcast::Layout layout, const analysis::Rect& rows,
               std::vector<uint8_t>& rgb) {
  rgb.resize(3 * size_t(width) * size_t(height));
  const int top = std::max(0, rows.top), bottom = std::min(height, rows.bottom());
  if (bottom <= top) return;
  // Bgr24 rows are stored bottom-up: the band's first row in memory is its lowest.
  const uint8_t* band = layout == broadcast::Layout::kYuy2 ? frame + 2 * size_t(top) * size_t(width)
                                                           : frame + 3 * size_t(height - bottom) * size_t(width);
  const std::vector<uint8_t> part = broadcast::FrameToRgb(band, width, bottom - top, layout);
  std::copy(part.begin(), part.end(), rgb.begin() + ptrdiff_t(3 * size_t(top) * size_t(width)));
}

// ---- Capturing the template ----

struct Capture {
  int64_t handed = 0, captured = 0;
  int64_t withoutLogo = 0;  // frames left out because they lacked the logo that was found
  int64_t lastChange = 0;  // the frame (1-based) that changed the template last; 0: none did
  bool stoppedStable = false;
  double rate = 0;
};

// Hands the frames to the plug-in between Start and Stop. The template the plug-in draws over the
// region is compared frame to frame, which tells when it stops changing.
// With the logo found, frames that lack it (advertising breaks) are not handed to the plug-in:
// they would key the logo away.
// With an opacity estimator, every frame that shows the logo feeds it too, and `lastShown` keeps
// the last of them as it came, before the plug-in drew over it.
Capture CaptureTemplate(const Options& o, FrameSource& source, PluginHost& plugin, const analysis::Rect& region,
                        const Found* found, analysis::SteadyMask* mask, analysis::AlphaEstimator* alpha,
                        std::vector<uint8_t>* lastShown, Output* frames, std::vector<uint8_t>& frame) {
  Capture c;
  const int width = source.width(), height = source.height();
  const broadcast::Layout layout = source.layout();
  const size_t pixelBytes = layout == broadcast::Layout::kYuy2 ? 2 : 3;
  const size_t rowBytes = pixelBytes * size_t(width);
  std::vector<uint8_t> shown, previous, rgb;
  // Changed template pixels per captured frame over the last 25, for the progress bar.
  std::vector<int64_t> recent(25);
  int64_t recentSum = 0, capturedAtChange = 0;
  Progress progress(source.expectedFrames(), !o.quiet);
  char note[96] = "";
  std::optional<analysis::LogoPresence> presence;
  analysis::Rect presenceArea;
  if (found != nullptr) {
    presence.emplace(found->result, (width + found->factor - 1) / found->factor);
    const analysis::Rect& a = presence->area();
    const int f = found->factor;
    const int left = std::max(0, a.left * f), top = std::max(0, a.top * f);
    presenceArea =
        analysis::Rect{left, top, std::min(width, a.right() * f) - left, std::min(height, a.bottom() * f) - top};
  }
  plugin.Start();
  while (source.Take(frame)) {
    ThrowIfStopRequested();
    if (presence && !presenceArea.empty() &&
        !presence->Shows(
            analysis::Shrink(RegionLuma(frame.data(), width, height, layout, presenceArea), found->factor))) {
      ++c.withoutLogo;
      progress.Update(c.handed + c.withoutLogo, note);
      continue;
    }
    // The plug-in draws over the region: read what it will capture first.
    analysis::LumaPlane input;
    if (mask != nullptr) input = RegionLuma(frame.data(), width, height, layout, region);
    if (alpha != nullptr) {
      RowsToRgb(frame.data(), width, height, layout, alpha->Reads(), rgb);
      alpha->Add(rgb.data(), width, height, 3 * ptrdiff_t(width));
      if (lastShown != nullptr) lastShown->assign(frame.begin(), frame.end());
    }
    const bool captured = plugin.Process(frame.data());
    ++c.handed;
    if (frames != nullptr) frames->Write(frame.data(), frame.size());
    if (captured) {
      ++c.captured;
      if (mask != nullptr) mask->Add(input);
      // The region as drawn: rows in frame order (either layout), compared pixel by pixel.
      shown.resize(pixelBytes * size_t(region.width) * size_t(region.height));
      for (int y = 0; y < region.height; ++y) {
        const int row = layout == broadcast::Layout::kYuy2 ? region.top + y : height - 1 - (region.top + y);
        std::memcpy(&shown[size_t(y) * pixelBytes * size_t(region.width)],
                    frame.data() + size_t(row) * rowBytes + pixelBytes * size_t(region.left),
                    pixelBytes * size_t(region.width));
      }
      int64_t changed = 0;
      if (previous.size() != shown.size()) {
        changed = int64_t(region.width) * region.height;
      } else {
        for (size_t i = 0; i < shown.size(); i += pixelBytes) {
          changed += std::memcmp(&shown[i], &previous[i], pixelBytes) != 0;
        }
      }
      shown.swap(previous);
      if (changed > 0) {
        c.lastChange = c.handed + c.withoutLogo;
        capturedAtChange = c.captured;
      }
      recentSum += changed - recent[size_t(c.captured % 25)];
      recent[size_t(c.captured % 25)] = changed;
      std::snprintf(note, sizeof note, " %lld template px changed in the last 25 frames ", (long long)recentSum);
      if (o.untilStable && c.captured - capturedAtChange >= *o.untilStable) {
        c.stoppedStable = true;
        progress.Update(c.handed, note);
        break;
      }
    }
    progress.Update(c.handed + c.withoutLogo, note);
  }
  c.rate = progress.Rate(c.handed + c.withoutLogo);
  progress.Finish();
  plugin.Stop();
  return c;
}

// Everything from the first file opened to the last one put in place. `plugin` is the caller's, so
// that it can tell after a failure whether the plug-in wrote its settings file.
int Extract(const Options& given, OutputSet& outputs, std::optional<PluginHost>& plugin) {
  const auto started = std::chrono::steady_clock::now();
  Options o = given;
  const std::string pluginPath = o.pluginPath.empty() ? DefaultPluginPath() : o.pluginPath;
  if (o.input != InputKind::kDemo && !o.inputIsUrl) outputs.AddInput(o.inputPath);
  outputs.AddInput(pluginPath);
  Output* bitmap = outputs.Add(o.templatePath, "the template bitmap");
  Output* preview = outputs.Add(o.previewPath, "the preview");
  Output* frames = outputs.Add(o.framesPath, "the processed frames");
  Output* maskFile = outputs.Add(o.maskPath, "the mask");
  Output* reportFile = outputs.Add(o.reportPath, "the report");
  Output* alphaFile = outputs.Add(o.alphaPath, "the opacity picture");
  Output* deblendFile = outputs.Add(o.deblendPath, "the de-blended preview");
  outputs.Prepare();

  std::unique_ptr<FrameSource> source = OpenSource(o);
  const int width = source->width(), height = source->height();

  Found found;
  if (o.findLogo) {
    // Checked on the open input: opening a pipe a second time would wait for a writer.
    if (!source->Rereadable()) {
      throw RunError("--find-logo reads the input twice, and this input is a pipe: give a file");
    }
    found = FindLogo(o, !o.quiet);
    o.region = found.region;
  }

  plugin.emplace(pluginPath);
  plugin->Open(width, height, source->layout());
  const WindowSettings s = plugin->Apply(o);
  const int32_t tenths[4] = {ParseTenths(s.posX), ParseTenths(s.posY), ParseTenths(s.sizeX), ParseTenths(s.sizeY)};
  if (tenths[2] < 0 || tenths[3] < 0 || tenths[0] < 0 || tenths[1] < 0) {
    throw RunError("the settings window shows an unreadable region");
  }
  const analysis::Rect region = RegionPixels(width, height, tenths);
  const int threshold = std::atoi(s.threshold.c_str()), blackLevel = std::atoi(s.blackLevel.c_str());
  if (o.findLogo && !o.quiet) {
    std::fprintf(stderr, "logo-extract: logo found at %s,%s,%s,%s %%: x %d, y %d, %d \u00d7 %d px\n", s.posX.c_str(),
                 s.posY.c_str(), s.sizeX.c_str(), s.sizeY.c_str(), region.left, region.top, region.width,
                 region.height);
  }

  std::vector<uint8_t> frame(source->frameBytes()), lastShown;
  // The mask at the video's size costs a luma pass over the region per frame: only for the outputs
  // that use it (the mask itself, its box in the report and for delogo).
  const bool wantMask = maskFile != nullptr || reportFile != nullptr || o.delogo;
  analysis::SteadyMask mask(width, height, region);
  // The opacity is estimated over the region: with the logo found, that is its box with a margin.
  const bool wantAlpha = alphaFile != nullptr || deblendFile != nullptr;
  std::optional<analysis::AlphaEstimator> alpha;
  // With the logo found, the mask and the report want it too: the mask to cover a semi-transparent
  // logo, the report for the figures.
  if (wantAlpha || (o.findLogo && (maskFile != nullptr || reportFile != nullptr))) {
    alpha.emplace(width, height, region);
  }
  const Capture c = CaptureTemplate(o, *source, *plugin, region, o.findLogo ? &found : nullptr,
                                    wantMask ? &mask : nullptr,
                                    alpha ? &*alpha : nullptr, deblendFile != nullptr ? &lastShown : nullptr,
                                    frames, frame);
  ThrowIfStopRequested();
  if (c.captured == 0) {
    throw RunError("the plug-in captured none of the " + std::to_string(c.handed) +
                   " frames: it lets the picture settle for the first 25, so give it more");
  }
  analysis::LumaPlane logoMask = wantMask ? mask.Mask(threshold, blackLevel, s.invert) : analysis::LumaPlane();
  std::optional<analysis::AlphaMatte> matte;
  if (alpha) matte = alpha->Finish();
  const bool alphaSound = matte && matte->quality.trustworthy;
  // A fit too poor to trust would make misleading pictures: a run that asked for them fails, and
  // like every failed run it replaces nothing. Without them, the fit only does not reach the mask.
  if (matte && !alphaSound && wantAlpha) {
    throw RunError("the logo's opacity is too poor to trust (" + matte->quality.verdict +
                   "); nothing written");
  }
  // The steadiness rule keys a semi-transparent logo out wherever the picture behind it moves;
  // its opacity covers it whole. A logo with opaque parts keeps the rule's mask: those parts are
  // what the rule finds, and a translucent plate around them is the picture's to show.
  int64_t solid = 0;
  if (alphaSound) {
    for (float a : matte->alpha) solid += a >= kSolidOpacity;
  }
  const bool semiTransparent = alphaSound && solid * 10 < matte->quality.visiblePixels;
  if (semiTransparent && wantMask) {
    const analysis::Rect& b = matte->box;
    for (int y = b.top; y < b.bottom(); ++y) {
      for (int x = b.left; x < b.right(); ++x) {
        if (matte->AlphaAt(x, y) >= kMaskOpacity) logoMask.at(x, y) = 255;
      }
    }
  }
  const analysis::Rect logoBox = analysis::BoundingBox(logoMask);
  const analysis::Rect delogo = analysis::DelogoBox(logoBox, width, height);
  if (o.delogo && delogo.empty()) throw RunError("the template holds no logo pixels: no box for delogo");

  // Everything is made before anything is written, so that a failure to make one output leaves
  // even the directly written ones untouched.
  std::vector<uint8_t> bitmapBytes, previewBytes, maskBytes, alphaBytes, deblendBytes;
  if (bitmap != nullptr) bitmapBytes = plugin->Save(BitmapBytes(tenths[2], tenths[3]));
  plugin->Close();  // the plug-in writes its settings file now
  if (preview != nullptr) {
    previewBytes = EncodePng(broadcast::FrameToRgb(frame.data(), width, height, source->layout()), width, height);
  }
  if (maskFile != nullptr) maskBytes = EncodeMask(maskFile->path(), logoMask);
  if (alphaFile != nullptr) {
    alphaBytes = EncodePng(matte->rgba.data(), width, height, PngPixels::kRgba, "the opacity picture");
  }
  if (deblendFile != nullptr) {
    const std::vector<uint8_t> last = broadcast::FrameToRgb(lastShown.data(), width, height, source->layout());
    std::vector<float> fill;
    alpha->PredictBackground(last.data(), 3 * ptrdiff_t(width), fill);
    std::vector<uint8_t> clean;
    analysis::Deblend(*matte, last.data(), 3 * ptrdiff_t(width), fill, clean);
    deblendBytes = EncodePng(clean.data(), width, height, PngPixels::kRgb, "the de-blended preview");
  }
  std::string reportText;
  if (reportFile != nullptr) {
    Report r;
    r.input = o.input == InputKind::kDemo ? "demo" : o.inputPath;
    r.width = width, r.height = height;
    r.pixelFormat = source->layout() == broadcast::Layout::kYuy2 ? "yuy2" : "bgr24";
    r.sampling = SamplingText(o.sampling);
    std::copy(tenths, tenths + 4, r.region);
    r.regionPx = region;
    if (!logoBox.empty()) r.logoBox = logoBox;
    r.framesDecoded = c.handed + c.withoutLogo, r.framesCaptured = c.captured;
    r.framesWithoutLogo = c.withoutLogo;
    if (c.lastChange > 0) r.stableAfter = c.lastChange;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    r.findLogo = o.findLogo;
    r.findSamples = found.samples, r.findSamplesWithoutLogo = found.withoutLogo;
    r.findFramesDecoded = found.framesDecoded;
    r.threshold = threshold, r.blackLevel = blackLevel, r.invert = s.invert;
    r.keyColor = RgbHex(s.keyColor);
    r.untilStable = o.untilStable;
    if (matte) r.alpha = matte->quality;
    reportText = ReportJson(r);
  }
  ThrowIfStopRequested();
  if (bitmap != nullptr) bitmap->Write(bitmapBytes.data(), bitmapBytes.size());
  if (preview != nullptr) preview->Write(previewBytes.data(), previewBytes.size());
  if (maskFile != nullptr) maskFile->Write(maskBytes.data(), maskBytes.size());
  if (reportFile != nullptr) reportFile->Write(reportText.data(), reportText.size());
  if (alphaFile != nullptr) alphaFile->Write(alphaBytes.data(), alphaBytes.size());
  if (deblendFile != nullptr) deblendFile->Write(deblendBytes.data(), deblendBytes.size());
  outputs.CommitAll();
  if (o.delogo) std::printf("delogo=x=%d:y=%d:w=%d:h=%d\n", delogo.left, delogo.top, delogo.width, delogo.height);

  if (!o.quiet) {
    // Reported at the end, so that a failing run says one thing only: what went wrong.
    std::fprintf(stderr,
                 "logo-extract: %dx%d %s; region %s,%s,%s,%s %%, threshold %s, black level %s, "
                 "inversion %s, key colour %s\n",
                 width, height, source->layout() == broadcast::Layout::kYuy2 ? "yuy2" : "bgr24",
                 s.posX.c_str(), s.posY.c_str(), s.sizeX.c_str(), s.sizeY.c_str(), s.threshold.c_str(),
                 s.blackLevel.c_str(), s.invert ? "on" : "off", RgbHex(s.keyColor).c_str());
    const std::string remark = source->Remark();
    if (!remark.empty()) std::fprintf(stderr, "logo-extract: %s\n", remark.c_str());
    if (o.findLogo) {
      std::fprintf(stderr, "logo-extract: the logo was looked for in %d sampled frames (%d without it)\n",
                   found.samples, found.withoutLogo);
    }
    std::fprintf(stderr,
                 "logo-extract: %lld frames (%.1f fps, sampling %s), %lld captured after the plug-in's "
                 "settling\n",
                 (long long)(c.handed + c.withoutLogo), c.rate, SamplingText(o.sampling).c_str(),
                 (long long)c.captured);
    if (c.withoutLogo > 0) {
      std::fprintf(stderr, "logo-extract: %lld frames without the logo (advertising breaks) were left out\n",
                   (long long)c.withoutLogo);
    }
    if (c.stoppedStable) {
      std::fprintf(stderr, "logo-extract: the template stopped changing after frame %lld; stopped %lld frames later\n",
                   (long long)c.lastChange, (long long)(c.handed + c.withoutLogo - c.lastChange));
    } else if (c.lastChange > 0) {
      std::fprintf(stderr, "logo-extract: the template stopped changing after frame %lld\n", (long long)c.lastChange);
    }
    auto where = [](const Output* out) {
      return out->path() == "-" ? "standard output" : out->path().c_str();
    };
    if (bitmap != nullptr) {
      std::fprintf(stderr, "logo-extract: template %lldx%lld written to %s\n",
                   (long long)MulDiv(tenths[2], 768, 1000), (long long)MulDiv(tenths[3], 576, 1000), where(bitmap));
    }
    if (preview != nullptr) std::fprintf(stderr, "logo-extract: preview written to %s\n", where(preview));
    if (frames != nullptr) {
      std::fprintf(stderr, "logo-extract: %lld processed frames written to %s\n", (long long)c.handed,
                   where(frames));
    }
    if (maskFile != nullptr) {
      std::fprintf(stderr, "logo-extract: mask %dx%d written to %s\n", width, height, where(maskFile));
    }
    if (reportFile != nullptr) std::fprintf(stderr, "logo-extract: report written to %s\n", where(reportFile));
    if (alphaSound) {
      const analysis::AlphaQuality& q = matte->quality;
      std::fprintf(stderr,
                   "logo-extract: logo opacity from %lld frames (%lld without the logo, %lld with a busy "
                   "picture around it left out): %lld px visible (opacity > 0.03), %lld px opaque (> 0.65), "
                   "residual RMS %.1f %.1f %.1f of 255\n",
                   (long long)q.framesUsed, (long long)q.framesNoLogo, (long long)q.framesUnusable,
                   (long long)q.visiblePixels, (long long)q.opaquePixels, q.residualRms[0], q.residualRms[1],
                   q.residualRms[2]);
      if (alphaFile != nullptr)
        std::fprintf(stderr, "logo-extract: opacity and colour written to %s\n", where(alphaFile));
      if (deblendFile != nullptr)
        std::fprintf(stderr, "logo-extract: de-blended preview written to %s\n", where(deblendFile));
    }
  }
  if (matte && !alphaSound && !o.quiet) {
    std::fprintf(stderr, "logo-extract: the logo's opacity is too poor to trust (%s): the mask keeps the steadiness rule\n",
                 matte->quality.verdict.c_str());
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
