// The command line of logo-extract, parsed and checked before anything is opened or written.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "broadcast.h"

namespace vle::extract {

// A command line that cannot be carried out; what() is one line for the user.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class InputKind { kRecording, kRaw, kDemo };

// The region as the settings window shows it, in tenths of a percent (2.0 % is 20).
struct Region {
  int32_t x, y, width, height;
};

// Which frames of the input feed the capture. kAll: every frame. kKeyframes: a recording's key
// frames only, the others discarded before decoding (every frame of raw input and the demo stands
// alone and counts as one). kEvery: one frame every `seconds`, reached by seeking to the nearest key
// frame (raw input and the demo: every round(seconds x 25)th frame).
struct Sampling {
  enum class Mode { kAll, kKeyframes, kEvery };
  Mode mode = Mode::kAll;
  double seconds = 0;  // kEvery only, > 0
};

struct Options {
  InputKind input = InputKind::kRecording;
  std::string inputPath;    // recording or raw file; "-" is standard input
  bool inputIsUrl = false;  // --url: inputPath is an FFmpeg URL, not a file
  int rawWidth = 0, rawHeight = 0;
  broadcast::Layout layout = broadcast::Layout::kYuy2;
  bool layoutGiven = false;
  std::optional<std::pair<int, int>> size;  // demo size, or the size a recording is scaled to
  std::optional<int64_t> frames;            // at most this many frames
  std::optional<Region> region;
  std::optional<int> threshold;
  std::optional<int> blackLevel;
  std::optional<bool> invert;
  std::optional<uint32_t> keyColor;   // COLORREF 0x00BBGGRR
  std::string templatePath;           // -o
  std::string previewPath;
  std::string framesPath;
  std::string pluginPath;  // empty: beside this program
  Sampling sampling;
  bool findLogo = false;                 // locate the logo and set the region to it
  // --logo-in: where --find-logo looks. A --region beside it must lie wholly inside it and is then
  // the template's region as given; the logo found in the area still tells frames without it.
  std::optional<Region> logoIn;
  std::optional<int64_t> untilStable;    // stop once the template held still for this many frames
  std::string maskPath;                  // --mask FILE.png|.pgm
  std::string reportPath;                // --report FILE.json
  std::string alphaPath;                 // --alpha FILE.png
  std::string deblendPath;               // --deblend-preview FILE.png
  bool delogo = false;                   // print the delogo filter's box
  bool quiet = false;
  bool help = false;
  bool version = false;
};

// Throws UsageError. `args` excludes the program name.
Options ParseOptions(const std::vector<std::string>& args);

// The text of --help.
std::string HelpText();

// "%0.1f" of tenths, as the settings window writes it.
std::string Tenths(int32_t tenths);

// "all", "keyframes" or "every:2.5".
std::string SamplingText(const Sampling& sampling);

// "RRGGBB" of a COLORREF.
std::string RgbHex(uint32_t colorref);

}  // namespace vle::extract
