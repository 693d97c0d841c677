// The outputs made from the analysis: the mask at the video's size and the run's report, made as
// bytes that the output set writes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/alpha_estimator.h"
#include "analysis/luma_plane.h"

namespace vle::extract {

// PGM (binary, maxval 255) when `shownName` ends in .pgm, else an 8-bit grey PNG. Throws RunError.
std::vector<uint8_t> EncodeMask(const std::string& shownName, const analysis::LumaPlane& mask);

// A place the finder considered, at the video's size.
struct CandidateReport {
  analysis::Rect boxPx;
  double score = 0;
  bool qualifies = false;
  std::string why;
};

struct Report {
  std::string input;
  int width = 0, height = 0;
  double framesPerSecond = 0;
  double durationSeconds = -1;  // negative: unknown
  std::string pixelFormat;
  std::string sampling;
  int32_t region[4] = {0, 0, 0, 0};  // tenths of a percent
  analysis::Rect regionPx;
  std::optional<analysis::Rect> logoBox;  // the mask's box; none when the mask is empty
  // What the mask rests on: "steadiness" (the plug-in's rule, bounded by the logo found),
  // "opacity" (a semi-transparent logo's estimate) or "finder" (the logo's shape as found, where
  // the rule keyed it away).
  std::string maskSource = "steadiness";
  int64_t framesDecoded = 0, framesCaptured = 0;
  int64_t framesWithoutLogo = 0;  // decoded, but left out of the capture
  std::optional<int64_t> stableAfter;  // the frame after which the template no longer changed
  double seconds = 0;
  bool findLogo = false;
  int findSamples = 0, findSamplesWithoutLogo = 0;
  int64_t findFramesDecoded = 0;
  double findFirstSample = -1, findLastSample = -1;  // seconds into the input; negative: unknown
  std::vector<CandidateReport> candidates;          // best first
  int threshold = 0, blackLevel = 0;
  bool invert = false;
  std::string keyColor;  // RRGGBB
  std::optional<int64_t> untilStable;
  std::optional<analysis::AlphaQuality> alpha;  // when the opacity was estimated
};

// The report as JSON.
std::string ReportJson(const Report& report);

}  // namespace vle::extract
