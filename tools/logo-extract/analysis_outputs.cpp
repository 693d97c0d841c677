#include "analysis_outputs.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "frame_source.h"
#include "options.h"
#include "outputs.h"

namespace vle::extract {
namespace {

bool EndsWithPgm(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".pgm";
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (c < 0x20) {
      char code[8];
      std::snprintf(code, sizeof code, "\\u%04x", c);
      out += code;
    } else {
      out += char(c);
    }
  }
  return out + "\"";
}

std::string JsonBox(const analysis::Rect& r) {
  return "[" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.width) + ", " +
         std::to_string(r.height) + "]";
}

// Seconds with three decimals, null when negative (unknown).
std::string JsonSeconds(double seconds) {
  if (seconds < 0) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

}  // namespace

std::vector<uint8_t> EncodeMask(const std::string& shownName, const analysis::LumaPlane& mask) {
  if (EndsWithPgm(shownName)) {
    const std::string header =
        "P5\n" + std::to_string(mask.width) + " " + std::to_string(mask.height) + "\n255\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    bytes.insert(bytes.end(), mask.pixels.begin(), mask.pixels.end());
    return bytes;
  }
  return EncodePng(mask.pixels.data(), mask.width, mask.height, PngPixels::kGrey, "the mask");
}

std::string ReportJson(const Report& r) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", r.seconds);
  std::string j = "{\n";
  j += "  \"input\": " + JsonString(r.input) + ",\n";
  j += "  \"size\": [" + std::to_string(r.width) + ", " + std::to_string(r.height) + "],\n";
  char rate[32];
  std::snprintf(rate, sizeof rate, "%.3f", r.framesPerSecond);
  j += "  \"frame_rate\": " + std::string(rate) + ",\n";
  j += "  \"duration_seconds\": " + JsonSeconds(r.durationSeconds) + ",\n";
  j += "  \"region_percent\": [" + Tenths(r.region[0]) + ", " + Tenths(r.region[1]) + ", " + Tenths(r.region[2]) +
       ", " + Tenths(r.region[3]) + "],\n";
  j += "  \"region_px\": " + JsonBox(r.regionPx) + ",\n";
  j += "  \"logo_box_px\": " + (r.logoBox ? JsonBox(*r.logoBox) : std::string("null")) + ",\n";
  j += "  \"mask_source\": \"" + r.maskSource + "\",\n";
  j += "  \"frames_decoded\": " + std::to_string(r.framesDecoded) + ",\n";
  j += "  \"frames_captured\": " + std::to_string(r.framesCaptured) + ",\n";
  j += "  \"frames_without_logo\": " + std::to_string(r.framesWithoutLogo) + ",\n";
  j += "  \"stable_after\": " + (r.stableAfter ? std::to_string(*r.stableAfter) : std::string("null")) + ",\n";
  j += "  \"seconds\": " + std::string(seconds) + ",\n";
  j += "  \"find_logo\": ";
  if (r.findLogo) {
    j += "{\"samples\": " + std::to_string(r.findSamples) +
         ", \"samples_without_logo\": " + std::to_string(r.findSamplesWithoutLogo) +
         ", \"frames_decoded\": " + std::to_string(r.findFramesDecoded) +
         ", \"sampled_seconds\": [" + JsonSeconds(r.findFirstSample) + ", " + JsonSeconds(r.findLastSample) +
         "],\n    \"candidates\": [";
    for (size_t i = 0; i < r.candidates.size(); ++i) {
      const CandidateReport& c = r.candidates[i];
      char score[16];
      std::snprintf(score, sizeof score, "%.2f", c.score);
      j += std::string(i ? "," : "") + "\n      {\"box_px\": " + JsonBox(c.boxPx) + ", \"score\": " + score +
           ", \"qualifies\": " + (c.qualifies ? "true" : "false") + ", \"why\": " + JsonString(c.why) + "}";
    }
    j += r.candidates.empty() ? "]},\n" : "\n    ]},\n";
  } else {
    j += "null,\n";
  }
  j += "  \"alpha\": ";
  if (r.alpha) {
    const analysis::AlphaQuality& q = *r.alpha;
    char rms[96];
    std::snprintf(rms, sizeof rms, "[%.2f, %.2f, %.2f]", q.residualRms[0], q.residualRms[1], q.residualRms[2]);
    j += "{\"trustworthy\": " + std::string(q.trustworthy ? "true" : "false") +
         ", \"verdict\": " + (q.trustworthy ? std::string("null") : JsonString(q.verdict)) +
         ", \"visible_px\": " + std::to_string(q.visiblePixels) + ", \"opaque_px\": " + std::to_string(q.opaquePixels) +
         ", \"residual_rms\": " + rms + ", \"frames_used\": " + std::to_string(q.framesUsed) +
         ", \"frames_without_logo\": " + std::to_string(q.framesNoLogo) +
         ", \"frames_unusable\": " + std::to_string(q.framesUnusable) + "},\n";
  } else {
    j += "null,\n";
  }
  j += "  \"settings\": {\"pixel_format\": " + JsonString(r.pixelFormat) + ", \"sample\": " + JsonString(r.sampling) +
       ", \"until_stable\": " + (r.untilStable ? std::to_string(*r.untilStable) : std::string("null")) +
       ", \"threshold\": " + std::to_string(r.threshold) + ", \"black_level\": " + std::to_string(r.blackLevel) +
       ", \"invert\": " + (r.invert ? "true" : "false") + ", \"key_colour\": " + JsonString(r.keyColor) + "}\n";
  j += "}\n";
  return j;
}

}  // namespace vle::extract
