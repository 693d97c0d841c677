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
  std::optional<uint32_t> keyColour;  // COLORREF 0x00BBGGRR
  std::string templatePath;           // -o
  std::string previewPath;
  std::string framesPath;
  std::string pluginPath;  // empty: beside this program
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

// "RRGGBB" of a COLORREF.
std::string RgbHex(uint32_t colorref);

}  // namespace vle::extract
