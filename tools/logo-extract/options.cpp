#include "options.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <map>

namespace vle::extract {
namespace {

constexpr int kMaxSide = 16384;

bool ParseInt(const std::string& text, int64_t lowest, int64_t highest, int64_t* value) {
  if (text.empty()) return false;
  int64_t v = 0;
  const char* end = text.data() + text.size();
  const auto r = std::from_chars(text.data(), end, v);
  if (r.ec != std::errc() || r.ptr != end || v < lowest || v > highest) return false;
  *value = v;
  return true;
}

// "WIDTHxHEIGHT", both 1 .. kMaxSide.
bool ParseSize(const std::string& text, std::pair<int, int>* size) {
  const size_t x = text.find('x');
  int64_t w = 0, h = 0;
  if (x == std::string::npos || !ParseInt(text.substr(0, x), 1, kMaxSide, &w) ||
      !ParseInt(text.substr(x + 1), 1, kMaxSide, &h)) {
    return false;
  }
  *size = {static_cast<int>(w), static_cast<int>(h)};
  return true;
}

bool ParseLayout(const std::string& text, broadcast::Layout* layout) {
  if (text == "yuy2") {
    *layout = broadcast::Layout::kYuy2;
  } else if (text == "bgr24") {
    *layout = broadcast::Layout::kBgr24;
  } else {
    return false;
  }
  return true;
}

// A percentage with at most one decimal, 0 to 100, as tenths.
bool ParsePercent(const std::string& text, int32_t* tenths) {
  const size_t dot = text.find('.');
  int64_t whole = 0, tenth = 0;
  if (!ParseInt(text.substr(0, dot), 0, 100, &whole)) return false;
  if (dot != std::string::npos && !(text.size() == dot + 2 && ParseInt(text.substr(dot + 1), 0, 9, &tenth))) {
    return false;
  }
  if (whole * 10 + tenth > 1000) return false;
  *tenths = static_cast<int32_t>(whole * 10 + tenth);
  return true;
}

// X,Y,WIDTH,HEIGHT in percent for `option` (--region, --logo-in).
Region ParseRegion(const std::string& option, const std::string& text) {
  int32_t v[4];
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    const size_t comma = text.find(',', start);
    const bool last = i == 3;
    if ((comma == std::string::npos) != last ||
        !ParsePercent(text.substr(start, last ? std::string::npos : comma - start), &v[i])) {
      throw UsageError(
          option + " wants X,Y,WIDTH,HEIGHT in percent with at most one decimal (e.g. "
          "2.0,2.0,20.0,20.0), not '" +
          text + "'");
    }
    start = comma + 1;
  }
  if (v[2] == 0 || v[3] == 0) {
    throw UsageError(option + " " + text + " is empty: WIDTH and HEIGHT must be more than 0");
  }
  if (v[0] + v[2] > 1000 || v[1] + v[3] > 1000) {
    throw UsageError(option + " " + text +
                     " reaches beyond the frame (X + WIDTH and Y + HEIGHT must "
                     "not exceed 100)");
  }
  return Region{v[0], v[1], v[2], v[3]};
}

Sampling ParseSampling(const std::string& text) {
  Sampling s;
  if (text == "all") return s;
  if (text == "keyframes") {
    s.mode = Sampling::Mode::kKeyframes;
    return s;
  }
  if (text.rfind("every:", 0) == 0) {
    const std::string number = text.substr(6);
    double seconds = 0;
    const auto r = std::from_chars(number.data(), number.data() + number.size(), seconds);
    if (!number.empty() && r.ec == std::errc() && r.ptr == number.data() + number.size() && seconds > 0 &&
        seconds <= 86400) {
      s.mode = Sampling::Mode::kEvery;
      s.seconds = seconds;
      return s;
    }
  }
  throw UsageError("--sample is all, keyframes or every:SECONDS (e.g. every:2.5), not '" + text + "'");
}

// Lower-case extension of a path's file name, without the dot.
std::string Extension(const std::string& path) {
  const size_t slash = path.rfind('/'), dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
  std::string e = path.substr(dot + 1);
  for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return e;
}

uint32_t ParseKeyColor(std::string text) {
  const std::string given = text;
  if (!text.empty() && text[0] == '#') text.erase(0, 1);
  uint32_t rgb = 0;
  const char* end = text.data() + text.size();
  const auto r = std::from_chars(text.data(), end, rgb, 16);
  if (text.size() != 6 || r.ec != std::errc() || r.ptr != end) {
    throw UsageError("--key-colour wants six hexadecimal digits RRGGBB, not '" + given + "'");
  }
  // RRGGBB becomes the window system's 0x00BBGGRR.
  return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

int ParseLevel(const std::string& option, const std::string& text) {
  int64_t v = 0;
  if (!ParseInt(text, 0, 255, &v)) {
    throw UsageError(option + " wants a whole number from 0 to 255, not '" + text + "'");
  }
  return static_cast<int>(v);
}

}  // namespace

std::string Tenths(int32_t tenths) {
  char text[32];
  std::snprintf(text, sizeof text, "%d.%d", tenths / 10, tenths % 10 < 0 ? -(tenths % 10) : tenths % 10);
  return text;
}

std::string SamplingText(const Sampling& s) {
  switch (s.mode) {
    case Sampling::Mode::kAll:
      return "all";
    case Sampling::Mode::kKeyframes:
      return "keyframes";
    case Sampling::Mode::kEvery:
      break;
  }
  char text[48];
  std::snprintf(text, sizeof text, "every:%g", s.seconds);
  return text;
}

std::string RgbHex(uint32_t colorref) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X%02X", unsigned(colorref & 0xFF),
                unsigned((colorref >> 8) & 0xFF), unsigned((colorref >> 16) & 0xFF));
  return text;
}

Options ParseOptions(const std::vector<std::string>& args) {
  Options o;
  bool inputGiven = false;
  auto setInput = [&](InputKind kind, const std::string& path) {
    if (inputGiven) throw UsageError("give one input: a recording, --raw or --demo");
    inputGiven = true;
    o.input = kind;
    o.inputPath = path;
  };
  const std::map<std::string, std::string> aliases = {
      {"-o", "--output"}, {"-q", "--quiet"}, {"-h", "--help"}, {"--key-color", "--key-colour"}};
  const char* const withValue[] = {"--output",      "--preview",    "--output-frames", "--pixel-format",
                                   "--size",        "--frames",     "--region",        "--threshold",
                                   "--black-level", "--key-colour", "--plugin",        "--raw",
                                   "--sample",      "--until-stable", "--mask",        "--report",
                                   "--alpha",       "--deblend-preview", "--url",      "--logo-in"};

  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      setInput(InputKind::kRecording, arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::optional<std::string> inlineValue;
    if (arg.rfind("--", 0) == 0) {
      const size_t eq = arg.find('=');
      if (eq != std::string::npos) {
        inlineValue = arg.substr(eq + 1);
        arg.erase(eq);
      }
    }
    if (auto a = aliases.find(arg); a != aliases.end()) arg = a->second;
    bool needsValue = false;
    for (const char* name : withValue) needsValue |= arg == name;
    std::string value;
    if (needsValue) {
      if (inlineValue) {
        value = *inlineValue;
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        throw UsageError(arg + " needs a value");
      }
    } else if (inlineValue) {
      throw UsageError(arg + " takes no value");
    }

    if (arg == "--output") {
      o.templatePath = value;
    } else if (arg == "--preview") {
      o.previewPath = value;
    } else if (arg == "--output-frames") {
      o.framesPath = value;
    } else if (arg == "--pixel-format") {
      broadcast::Layout layout;
      if (!ParseLayout(value, &layout)) {
        throw UsageError("--pixel-format is yuy2 or bgr24, not '" + value + "'");
      }
      if (o.input == InputKind::kRaw && layout != o.layout) {
        throw UsageError("--pixel-format and the layout of --raw disagree");
      }
      o.layout = layout;
      o.layoutGiven = true;
    } else if (arg == "--size") {
      std::pair<int, int> size;
      if (!ParseSize(value, &size)) {
        throw UsageError("--size wants WIDTHxHEIGHT, each 1 to " + std::to_string(kMaxSide) + ", not '" +
                         value + "'");
      }
      o.size = size;
    } else if (arg == "--frames") {
      int64_t n = 0;
      if (!ParseInt(value, 1, INT64_MAX, &n)) {
        throw UsageError("--frames wants a whole number of at least 1, not '" + value + "'");
      }
      o.frames = n;
    } else if (arg == "--region") {
      o.region = ParseRegion(arg, value);
    } else if (arg == "--logo-in") {
      o.logoIn = ParseRegion(arg, value);
    } else if (arg == "--threshold") {
      o.threshold = ParseLevel(arg, value);
    } else if (arg == "--black-level") {
      o.blackLevel = ParseLevel(arg, value);
    } else if (arg == "--key-colour") {
      o.keyColor = ParseKeyColor(value);
    } else if (arg == "--plugin") {
      o.pluginPath = value;
    } else if (arg == "--raw") {
      // --raw WIDTHxHEIGHT:yuy2|bgr24 FILE
      const size_t colon = value.find(':');
      std::pair<int, int> size;
      broadcast::Layout layout;
      if (colon == std::string::npos || !ParseSize(value.substr(0, colon), &size) ||
          !ParseLayout(value.substr(colon + 1), &layout)) {
        throw UsageError("--raw wants WIDTHxHEIGHT:yuy2 or WIDTHxHEIGHT:bgr24 (sides 1 to " +
                         std::to_string(kMaxSide) + "), not '" + value + "'");
      }
      if (i + 1 >= args.size())
        throw UsageError("--raw " + value + " needs a FILE (or - for standard input)");
      if (o.layoutGiven && layout != o.layout) {
        throw UsageError("--pixel-format and the layout of --raw disagree");
      }
      setInput(InputKind::kRaw, args[++i]);
      o.rawWidth = size.first;
      o.rawHeight = size.second;
      o.layout = layout;
      o.layoutGiven = true;
    } else if (arg == "--url") {
      setInput(InputKind::kRecording, value);
      o.inputIsUrl = true;
    } else if (arg == "--sample") {
      o.sampling = ParseSampling(value);
    } else if (arg == "--until-stable") {
      int64_t n = 0;
      if (!ParseInt(value, 1, INT64_MAX, &n)) {
        throw UsageError("--until-stable wants a whole number of frames, at least 1, not '" + value + "'");
      }
      o.untilStable = n;
    } else if (arg == "--mask") {
      o.maskPath = value;
      const std::string e = Extension(value);
      if (e != "png" && e != "pgm") throw UsageError("--mask writes FILE.png or FILE.pgm, not '" + value + "'");
    } else if (arg == "--report") {
      o.reportPath = value;
    } else if (arg == "--alpha" || arg == "--deblend-preview") {
      if (Extension(value) != "png") throw UsageError(arg + " writes FILE.png, not '" + value + "'");
      (arg == "--alpha" ? o.alphaPath : o.deblendPath) = value;
    } else if (arg == "--find-logo") {
      o.findLogo = true;
    } else if (arg == "--delogo") {
      o.delogo = true;
    } else if (arg == "--demo") {
      setInput(InputKind::kDemo, std::string());
    } else if (arg == "--invert") {
      o.invert = true;
    } else if (arg == "--no-invert") {
      o.invert = false;
    } else if (arg == "--quiet") {
      o.quiet = true;
    } else if (arg == "--help") {
      o.help = true;
    } else if (arg == "--version") {
      o.version = true;
    } else {
      throw UsageError("unknown option '" + args[i] + "'");
    }
  }
  if (o.help || o.version) return o;

  if (!inputGiven) throw UsageError("no input: give a recording, --raw SIZE:LAYOUT FILE or --demo");
  if (o.input == InputKind::kRaw && o.size) {
    throw UsageError("--size does not apply to --raw, whose frames carry their size");
  }
  if (o.input == InputKind::kDemo && !o.size) o.size = std::make_pair(720, 576);
  if (o.input == InputKind::kDemo && !o.frames) o.frames = 750;
  const int width = o.input == InputKind::kRaw ? o.rawWidth : (o.size ? o.size->first : 0);
  if (o.layout == broadcast::Layout::kYuy2 && width % 2 != 0) {
    throw UsageError("a yuy2 frame needs an even width, not " + std::to_string(width) +
                     " (use bgr24 or another width)");
  }
  if (o.templatePath.empty() && o.previewPath.empty() && o.framesPath.empty() && o.maskPath.empty() &&
      o.reportPath.empty() && o.alphaPath.empty() && o.deblendPath.empty() && !o.delogo) {
    throw UsageError(
        "nothing to write: give -o FILE.bmp, --preview FILE.png, --output-frames FILE, --mask FILE.png, "
        "--report FILE.json, --alpha FILE.png, --deblend-preview FILE.png or --delogo");
  }
  // Outputs that are one file, or the input, are found by the output set, which compares files.
  if (o.logoIn && !o.findLogo) throw UsageError("--logo-in says where --find-logo looks: give --find-logo too");
  if (o.logoIn && o.region) {
    // Inside means wholly inside: the region the template is made over must lie where the logo is
    // looked for.
    const Region& a = *o.logoIn;
    const Region& r = *o.region;
    if (r.x < a.x || r.y < a.y || r.x + r.width > a.x + a.width || r.y + r.height > a.y + a.height) {
      throw UsageError("--region " + Tenths(r.x) + "," + Tenths(r.y) + "," + Tenths(r.width) + "," +
                       Tenths(r.height) + " is not wholly inside --logo-in " + Tenths(a.x) + "," + Tenths(a.y) +
                       "," + Tenths(a.width) + "," + Tenths(a.height));
    }
  }
  if (o.findLogo && o.region && !o.logoIn) {
    throw UsageError("--find-logo sets the region itself: leave out --region (or give --logo-in around it)");
  }
  if (o.findLogo && o.inputPath == "-" && !o.inputIsUrl) {
    throw UsageError(
        "--find-logo reads the input twice (once to find the logo, once for the template): give a file, "
        "not standard input");
  }
  return o;
}

std::string HelpText() {
  return R"(Usage: logo-extract [OPTIONS] RECORDING                                  (- reads standard input)
       logo-extract [OPTIONS] --raw WIDTHxHEIGHT:yuy2|bgr24 FILE   (FILE - reads standard input)
       logo-extract [OPTIONS] --url URL                            (anything FFmpeg opens: udp://...)
       logo-extract [OPTIONS] --demo                               (a built-in synthetic broadcast)

Hands every frame to the Vorlane_LogoExtractor plug-in as a TV-viewing host does, presses Start
before the first frame and Stop after the last, and saves the logo template it made.

Outputs (at least one; each is put in place only when the whole run succeeds; - is standard output,
a device or FIFO is written directly, a symlink's target is replaced):
  -o, --output FILE.bmp        the template bitmap, scaled to a 768x576 reference frame
      --preview FILE.png       the last frame as the plug-in left it (template shown in the region)
      --output-frames FILE     every processed frame, raw, in the host layout
      --mask FILE.png|.pgm     8-bit grey mask at the video's size: 255 logo, 0 elsewhere (for
                               FFmpeg's removelogo filter); a semi-transparent logo (no opaque
                               parts) is covered wherever its opacity is at least 0.25
      --delogo                 print the logo's box as FFmpeg's delogo filter wants it:
                               delogo=x=X:y=Y:w=W:h=H
      --report FILE.json       region, logo box, frame counts, frame rate and length of the input,
                               time and settings of the run, the logo's opacity figures, and the
                               places --find-logo considered
      --alpha FILE.png         the logo's colour and opacity per pixel, RGBA at the video's size
                               (A 0 transparent .. 255 opaque; 0 outside the logo), estimated
                               from the frames that show it over a changing picture
      --deblend-preview FILE.png
                               the last frame with the logo taken out by inverting the blend, the
                               check that the opacity is right
                               An estimate too poor to trust is said in one line; a run that
                               asked for either file then fails (status 1) and writes nothing

Finding and sampling:
      --find-logo              locate the logo (sampling the whole input, outside the picture's
                               centre, bars cropped) and set the region to it with a small margin;
                               "no logo" and nothing written when there is none. Needs a file: the
                               input is read twice
      --logo-in X,Y,W,H        with --find-logo: look for the logo only in this area, in percent of
                               the frame as for --region; a --region beside it must lie wholly
                               inside it and is then used as given
      --sample all|keyframes|every:SECONDS
                               frames that feed the template: all (default), key frames only, or
                               one every SECONDS (the nearest key frame; raw input and the demo
                               count 25 frames a second). A sampled run first hands the plug-in
                               its first frame 25 times to settle on, so every sample is captured
      --until-stable N         stop once the template has not changed for N captured frames

Input:
      --pixel-format yuy2|bgr24  layout handed to the plug-in (default yuy2)
      --size WxH               demo size (default 720x576), or the size a recording is scaled to
      --frames N               stop after N frames (demo default 750)

Settings, changed through the plug-in's settings window and kept by the plug-in for the next run:
      --region X,Y,W,H         region in percent of the frame, one decimal (default 2.0,2.0,20.0,20.0);
                               with --find-logo only inside --logo-in
      --threshold N            largest luma swing of a logo pixel, 0..255 (default 50)
      --black-level N          darkest luma of a logo pixel, 0..255 (default 0)
      --invert, --no-invert    key the logo instead of the background, or not
      --key-colour RRGGBB      colour of everything that is not logo (default 0080FF)

Other:
      --plugin PATH            the plug-in (default: Vorlane_LogoExtractor.so beside this program)
  -q, --quiet                  no progress and no summary
  -h, --help                   this text
      --version

A recording is always a file, whatever its name; FFmpeg's protocols need --url. SIGINT, SIGTERM and
SIGHUP stop a run at once with exit status 130, 143 and 129, leaving earlier outputs as they were.

The plug-in keeps its settings in Plugins/Vorlane_LogoExtractor.ini beside this program, or in
$XDG_CONFIG_HOME/Quorsana/Plugins/ when QUORSANA_STORE_IN_USERS_FOLDER=1. It lets the picture settle
for the first 25 frames, so an input read whole (--sample all) needs more than 25 frames.
)";
}

}  // namespace vle::extract
