// logo-extract: a command-line host of the logo extractor plug-in. It feeds a recording, raw frames
// or the synthetic broadcast through the plug-in exactly as a TV-viewing host would, works the
// settings window's Start, Stop and Save, and writes the template bitmap and a preview picture.
#include <algorithm>
#include <chrono>
#include <cmath>
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

// How many samples the finder gets, and how they are taken from the input.
constexpr int kFindSamplesLeast = 48, kFindSamplesAim = 64, kFindSamplesMost = 96;

struct FindPlan {
  double seekSeconds = 0;  // > 0: first try one key frame every this many seconds, by seeking
  int64_t stride = 1;      // otherwise, or when seeking gives too few: every stride-th frame decoded
};

// The finder tells a logo from the picture by what stays put while the picture changes, so it wants
// samples from as many camera shots as the input holds: 48 to 96 of them, in time order, spread
// over its whole length. Seeking costs one decoded key frame per sample and suits long recordings;
// a short one (6 to 15 s is common on television) holds only 4 to 6 key frames, too few, so then
// every nth frame is decoded, n taken from the stream's own rate and length so that at most 96
// samples (and at least 48 when there are that many frames) reach from its start to its end.
FindPlan PlanFindSamples(double fps, double seconds, int64_t frames, bool canSeek) {
  FindPlan plan;
  if (frames <= 0 && seconds > 0 && fps > 0) frames = std::llround(seconds * fps);
  if (frames <= 0) {
    // A length nobody can tell: one sample a second, as far as the input goes.
    plan.stride = std::max<int64_t>(1, std::llround(fps));
    return plan;
  }
  plan.stride = std::max<int64_t>(1, (frames + kFindSamplesMost - 1) / kFindSamplesMost);
  if (canSeek && seconds > 0 && frames > kFindSamplesMost) plan.seekSeconds = seconds / kFindSamplesAim;
  return plan;
}

// The plug-in's frame callback lets the picture settle for this many frames after a change of
// size, and the first frame of a run is one: it captures none of them.
constexpr int kPluginSettleFrames = 25;

// Opacity from which a semi-transparent logo's pixel belongs to the mask; a logo is
// semi-transparent when fewer than a tenth of its visible pixels reach kSolidOpacity.
constexpr float kMaskOpacity = 0.25f;
constexpr float kSolidOpacity = 0.95f;

struct Found {
  Region region;
  int samples = 0, withoutLogo = 0;
  int64_t framesDecoded = 0;
  double firstSample = -1, lastSample = -1;  // seconds into the input
  analysis::FinderResult result;
  int factor = 1;  // samples are the frames shrunk by this
  std::vector<CandidateReport> candidates;  // the result's, at the video's size
};

// A box in the samples' coordinates at the video's size.
analysis::Rect FromSamples(const analysis::Rect& box, int factor, int width, int height) {
  const int left = std::clamp(box.left * factor, 0, width), top = std::clamp(box.top * factor, 0, height);
  return analysis::Rect{left, top, std::clamp(box.right() * factor, left, width) - left,
                        std::clamp(box.bottom() * factor, top, height) - top};
}

// A region in tenths of a percent in the samples' coordinates, widened to whole sample pixels.
analysis::Rect ToSamples(const Region& area, int width, int height, int factor) {
  const int32_t tenths[4] = {area.x, area.y, area.width, area.height};
  const analysis::Rect px = RegionPixels(width, height, tenths);
  const int sampleW = (width + factor - 1) / factor, sampleH = (height + factor - 1) / factor;
  const int left = px.left / factor, top = px.top / factor;
  const int right = std::min(sampleW, (px.right() + factor - 1) / factor);
  const int bottom = std::min(sampleH, (px.bottom() + factor - 1) / factor);
  return analysis::Rect{left, top, std::max(0, right - left), std::max(0, bottom - top)};
}

std::string PercentText(const Region& r) {
  return Tenths(r.x) + "," + Tenths(r.y) + "," + Tenths(r.width) + "," + Tenths(r.height);
}

// "127 × 85 px at x 572, y 22"
std::string PlaceText(const analysis::Rect& r) {
  return std::to_string(r.width) + " \u00d7 " + std::to_string(r.height) + " px at x " + std::to_string(r.left) +
         ", y " + std::to_string(r.top);
}

// A phrase of the finder's, on one line.
std::string OneLine(std::string text) {
  std::replace_if(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  return text;
}

// Sample pixels the finder's shape of the logo is grown by, both as the bound of the steadiness
// rule's mask and as a glass-like logo's mask: its evidence is sparse and can stop short of the
// logo's rim, and removelogo wants the logo covered whole.
constexpr int kShapeSlack = 3;

// The finder's shape of the logo at the video's size, grown by `grow` sample pixels and with what
// the grown outline encloses filled: the flat inside of a wide stroke carries no evidence of its
// own, and growing closes the gaps in the outline around it.
analysis::LumaPlane ShapeMask(const Found& found, int width, int height, int grow) {
  const analysis::LumaPlane filled = analysis::FillEnclosed(analysis::Grow(found.result.shape, grow));
  const analysis::Rect& box = found.result.box;
  analysis::LumaPlane out(width, height);
  const int f = found.factor;
  for (int y = 0; y < filled.height; ++y) {
    for (int x = 0; x < filled.width; ++x) {
      if (!filled.at(x, y)) continue;
      const int sx = box.left + x - grow, sy = box.top + y - grow;
      for (int py = std::max(0, sy * f); py < std::min(height, (sy + 1) * f); ++py)
        for (int px = std::max(0, sx * f); px < std::min(width, (sx + 1) * f); ++px) out.at(px, py) = 255;
    }
  }
  return out;
}

// Samples the whole input a second time, cheaply, and locates the logo. Throws RunError ("no logo")
// when there is none; the message names the places that were considered.
Found FindLogo(const Options& o, bool showProgress) {
  std::unique_ptr<FrameSource> probe = OpenSource(o, Sampling{});
  const int width = probe->width(), height = probe->height();
  const broadcast::Layout layout = probe->layout();
  if (!probe->Rereadable()) {
    throw RunError("--find-logo reads the input twice, and this input is a pipe: give a file");
  }
  // --frames limits the input: the probe, reading every frame, says how far that reaches; seeking
  // would count samples against the limit instead.
  const FindPlan plan = PlanFindSamples(probe->framesPerSecond(), probe->durationSeconds(), probe->expectedFrames(),
                                        o.input == InputKind::kRecording && !o.frames);
  probe.reset();
  const int factor = std::max(1, (width + 1279) / 1280);
  const int sampleW = (width + factor - 1) / factor, sampleH = (height + factor - 1) / factor;
  const std::optional<analysis::Rect> area =
      o.logoIn ? std::optional<analysis::Rect>(ToSamples(*o.logoIn, width, height, factor)) : std::nullopt;

  Found found;
  // Every pass starts a finder of its own, so that the samples it is given are one pass's, in time
  // order.
  auto collect = [&](std::unique_ptr<FrameSource> source, analysis::LogoFinder* finder) {
    *finder = analysis::LogoFinder(sampleW, sampleH);
    if (area) finder->RestrictTo(*area);
    found.firstSample = found.lastSample = -1;
    std::vector<uint8_t> frame(source->frameBytes());
    // A bound in case the input's length was misstated: the finder keeps every sample.
    const size_t most = 2 * size_t(kFindSamplesMost);
    Progress progress(std::min<int64_t>(source->expectedFrames(), int64_t(most)), showProgress);
    while (finder->samples() < most && source->Take(frame)) {
      ThrowIfStopRequested();
      ++found.framesDecoded;
      const analysis::Rect all{0, 0, width, height};
      finder->Add(analysis::Shrink(RegionLuma(frame.data(), width, height, layout, all), factor));
      if (found.firstSample < 0) found.firstSample = source->Time();
      found.lastSample = source->Time();
      progress.Update(int64_t(finder->samples()), "looking for the logo");
    }
    progress.Finish();
    ThrowIfStopRequested();
  };

  analysis::LogoFinder finder(sampleW, sampleH);
  if (plan.seekSeconds > 0) collect(OpenSource(o, Sampling{Sampling::Mode::kEvery, plan.seekSeconds}), &finder);
  if (finder.samples() < size_t(kFindSamplesLeast)) collect(EveryNth(OpenSource(o, Sampling{}), plan.stride), &finder);
  analysis::FinderResult r = finder.Find();
  for (const analysis::Candidate& c : r.candidates) {
    found.candidates.push_back(
        CandidateReport{FromSamples(c.box, factor, width, height), c.score, c.qualifies, OneLine(c.why)});
  }
  // The finder was told the area; a logo whose centre lies elsewhere is not the one the user meant.
  if (r.found && area) {
    const int cx = r.box.left + r.box.width / 2, cy = r.box.top + r.box.height / 2;
    if (cx < area->left || cx >= area->right() || cy < area->top || cy >= area->bottom()) {
      r.found = false;
      r.why = "no logo inside --logo-in " + PercentText(*o.logoIn);
    }
  }
  if (!r.found) {
    std::string message = OneLine(r.why.empty() ? std::string("no logo") : r.why);
    // The places that came closest, for a user who knows better where the logo is.
    for (size_t i = 0; i < found.candidates.size() && i < 3; ++i) {
      const CandidateReport& c = found.candidates[i];
      char score[16];
      std::snprintf(score, sizeof score, "%.2f", c.score);
      message += (i == 0 ? "; considered " : ", ") + PlaceText(c.boxPx) + " (score " + score +
                 (c.why.empty() ? std::string() : ": " + c.why) + ")";
    }
    throw RunError(message);
  }
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
// `prime`: before the first frame, the plug-in is handed copies of it to settle on, so that it
// captures every frame of a sampled run; those copies count nowhere and are written nowhere.
Capture CaptureTemplate(const Options& o, FrameSource& source, PluginHost& plugin, const analysis::Rect& region,
                        const Found* found, analysis::SteadyMask* mask, analysis::AlphaEstimator* alpha,
                        std::vector<uint8_t>* lastShown, Output* frames, bool prime, std::vector<uint8_t>& frame) {
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
    if (prime && c.handed == 0) {
      std::vector<uint8_t> copy;
      for (int i = 0; i < kPluginSettleFrames; ++i) {
        copy.assign(frame.begin(), frame.end());
        // A plug-in that settled sooner captured this copy: the frame itself, which it sees next.
        if (plugin.Process(copy.data())) break;
      }
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
    if (!o.region) o.region = found.region;  // a --region inside --logo-in stays as given
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
  if (o.findLogo && !o.quiet && !given.region) {
    std::fprintf(stderr, "logo-extract: logo found at %s,%s,%s,%s %%: x %d, y %d, %d \u00d7 %d px\n", s.posX.c_str(),
                 s.posY.c_str(), s.sizeX.c_str(), s.sizeY.c_str(), region.left, region.top, region.width,
                 region.height);
  } else if (o.findLogo && !o.quiet) {
    const analysis::Rect b = FromSamples(found.result.box, found.factor, width, height);
    std::fprintf(stderr, "logo-extract: logo found at x %d, y %d, %d \u00d7 %d px; the region is --region's\n",
                 b.left, b.top, b.width, b.height);
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
                                    frames, o.sampling.mode != Sampling::Mode::kAll, frame);
  ThrowIfStopRequested();
  if (c.handed == 0 && c.withoutLogo > 0) {
    throw RunError("none of the " + std::to_string(c.withoutLogo) + " frames showed the logo that was found");
  }
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
  // A mask that misses the logo removes nothing. Where the steadiness rule keeps (almost) none of
  // a logo whose opacity is too poor to trust, the estimate still shows where the logo is when its
  // pixels of kMaskOpacity or more form a shape (neither a speck nor the whole box); without one,
  // and without a shape from the finder, the mask is the logo's box.
  const char* untrustedMask = nullptr;
  if (matte && !alphaSound && wantMask) {
    const analysis::Rect& b = matte->box;
    int64_t steady = 0, marked = 0;
    for (int y = b.top; y < b.bottom(); ++y) {
      for (int x = b.left; x < b.right(); ++x) {
        steady += logoMask.at(x, y) != 0, marked += matte->AlphaAt(x, y) >= kMaskOpacity;
      }
    }
    const int64_t area = int64_t(b.width) * b.height;
    const bool shaped = marked >= std::max<int64_t>(16, area / 100) && marked * 10 < area * 9;
    const bool finderShape = o.findLogo && !found.result.shape.pixels.empty();
    if (steady * 10 < std::max(marked, area / 10) && (shaped || !finderShape)) {
      for (int y = b.top; y < b.bottom(); ++y) {
        for (int x = b.left; x < b.right(); ++x) {
          if (!shaped || matte->AlphaAt(x, y) >= kMaskOpacity) logoMask.at(x, y) = 255;
        }
      }
      untrustedMask = shaped ? "is the estimate's pixels of opacity 0.25 or more" : "is the logo's whole box";
    }
  }
  // The logo the finder saw bounds the mask: in a short recording the picture around the logo
  // may hold still long enough for the steadiness rule to take it for logo. The bound is the
  // logo's shape as found where that shape holds what the rule keeps of the logo's box, and the
  // box otherwise (in few scenes the finder sees only part of an opaque logo's edges). Where the
  // rule keeps (almost) nothing, or the logo is glass-like, its shape as found is the mask.
  bool maskFromFinder = false;
  if (o.findLogo && wantMask && !semiTransparent && !found.result.shape.pixels.empty()) {
    const analysis::LumaPlane shape = ShapeMask(found, width, height, kShapeSlack);
    const analysis::Rect box = FromSamples(found.result.box, found.factor, width, height);
    const int slack = kShapeSlack * found.factor;
    auto inBox = [&](size_t i) {
      const int x = int(i % size_t(width)), y = int(i / size_t(width));
      return x >= box.left - slack && x < box.right() + slack && y >= box.top - slack && y < box.bottom() + slack;
    };
    int64_t boxed = 0, shaped = 0, shapeArea = 0;
    for (size_t i = 0; i < logoMask.pixels.size(); ++i) {
      shapeArea += shape.pixels[i] != 0;
      if (!logoMask.pixels[i] || !inBox(i)) continue;
      ++boxed;
      shaped += shape.pixels[i] != 0;
    }
    const bool byShape = shaped * 10 >= boxed * 8;
    for (size_t i = 0; i < logoMask.pixels.size(); ++i)
      if (!(byShape ? shape.pixels[i] != 0 : inBox(i))) logoMask.pixels[i] = 0;
    const int64_t kept = byShape ? shaped : boxed;
    if (found.result.translucent || kept * 10 < shapeArea) {
      logoMask = shape;
      maskFromFinder = true;
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
    r.maskSource = maskFromFinder ? "finder" : semiTransparent ? "opacity" : "steadiness";
    r.framesDecoded = c.handed + c.withoutLogo, r.framesCaptured = c.captured;
    r.framesWithoutLogo = c.withoutLogo;
    if (c.lastChange > 0) r.stableAfter = c.lastChange;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    r.findLogo = o.findLogo;
    r.findSamples = found.samples, r.findSamplesWithoutLogo = found.withoutLogo;
    r.findFramesDecoded = found.framesDecoded;
    r.findFirstSample = found.firstSample, r.findLastSample = found.lastSample;
    r.framesPerSecond = source->framesPerSecond();
    r.durationSeconds = source->durationSeconds();
    r.candidates = found.candidates;
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
      // A close second that would pass for a logo too: the user may know it is the one.
      const std::vector<CandidateReport>& k = found.candidates;
      if (k.size() >= 2 && k[1].qualifies && k[0].score > 0 && k[1].score >= 0.8 * k[0].score) {
        const analysis::Rect& b = k[1].boxPx;
        std::fprintf(stderr,
                     "logo-extract: runner-up at x %d, y %d, %d \u00d7 %d px (score %.2f against %.2f): use "
                     "--logo-in or --region to choose it\n",
                     b.left, b.top, b.width, b.height, k[1].score, k[0].score);
      }
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
  if (maskFromFinder && !o.quiet) {
    std::fprintf(stderr,
                 "logo-extract: the steadiness rule keyed the logo away (it is too translucent for it): the mask is "
                 "the logo's shape as it was found\n");
  }
  if (matte && !alphaSound && !o.quiet) {
    std::fprintf(stderr, "logo-extract: the logo's opacity is too poor to trust (%s): the mask %s\n",
                 matte->quality.verdict.c_str(),
                 maskFromFinder ? "is the logo's shape as found" : untrustedMask ? untrustedMask : "keeps the steadiness rule");
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
