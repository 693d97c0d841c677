// broadcast-gen: a synthetic broadcast scene as raw RGB24 frames (rows top-down) for FFmpeg to
// encode, and its ground truth as 8-bit PGM masks, e.g.
//   broadcast-gen --size 1280x720 --frames 250 --place top-right |
//   ffmpeg -f rawvideo -pix_fmt rgb24 -s 1280x720 -r 25 -i - -c:v libx264 scene.mp4
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "broadcast.h"

namespace {

using namespace vle::broadcast;

const char kHelp[] = R"(Usage: broadcast-gen [OPTIONS]
Writes a synthetic broadcast as raw rgb24 frames (top-down rows, 25 frames a second) to standard
output or to --output FILE, and its ground truth as PGM masks.

  --size WxH               picture size (default 720x576)
  --frames N               frames to write (default 250; 0 writes none)
  --style S                plate (default), opaque, white-half, gradient
  --place P                top-left (default), top-right, bottom-left, bottom-right, top-centre,
                           bottom-centre
  --no-logo                no logo at all
  --letterbox N            N black rows at the top and at the bottom
  --pillarbox N            N black columns at the left and at the right
  --break FIRST-LAST       frames FIRST..LAST (inclusive) show no logo; may be repeated
  --grey-box               a flat grey box in the corner opposite the logo
  --output FILE            frames to FILE instead of standard output
  --truth FILE.pgm         the logo's opaque pixels: 255, elsewhere 0
  --alpha FILE.pgm         the logo's opacity per pixel, 0..255
  --iou MASK.pgm           print the intersection over union of MASK's non-zero pixels with the
                           logo's opaque pixels, and the logo's box
)";

bool ParseInt(const std::string& text, long long* v) {
  const auto r = std::from_chars(text.data(), text.data() + text.size(), *v);
  return r.ec == std::errc() && r.ptr == text.data() + text.size() && *v >= 0;
}

bool WritePgm(const std::string& path, const std::vector<uint8_t>& plane, int w, int h) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  std::fprintf(f, "P5\n%d %d\n255\n", w, h);
  const bool ok = std::fwrite(plane.data(), 1, plane.size(), f) == plane.size();
  return std::fclose(f) == 0 && ok;
}

// An 8-bit binary PGM; empty when unreadable.
std::vector<uint8_t> ReadPgm(const std::string& path, int* w, int* h) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return {};
  int maxval = 0;
  std::vector<uint8_t> plane;
  if (std::fscanf(f, "P5 %d %d %d", w, h, &maxval) == 3 && maxval == 255 && *w > 0 && *h > 0 &&
      std::fgetc(f) != EOF) {
    plane.resize(size_t(*w) * size_t(*h));
    if (std::fread(plane.data(), 1, plane.size(), f) != plane.size()) plane.clear();
  }
  std::fclose(f);
  return plane;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "broadcast-gen: %s\n", message.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Scene scene;
  scene.layout = Layout::kBgr24;  // any layout: frames are written as RGB
  long long frames = 250;
  std::string output, truthPath, alphaPath, iouPath;
  const std::map<std::string, LogoStyle> styles = {{"plate", LogoStyle::kPlate},
                                                   {"opaque", LogoStyle::kOpaque},
                                                   {"white-half", LogoStyle::kWhiteHalf},
                                                   {"gradient", LogoStyle::kGradient}};
  const std::map<std::string, LogoPlace> places = {
      {"top-left", LogoPlace::kTopLeft},         {"top-right", LogoPlace::kTopRight},
      {"bottom-left", LogoPlace::kBottomLeft},   {"bottom-right", LogoPlace::kBottomRight},
      {"top-centre", LogoPlace::kTopCentre},     {"bottom-centre", LogoPlace::kBottomCentre}};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kHelp, stdout);
      return 0;
    }
    if (arg == "--no-logo") {
      scene.logo = false;
      continue;
    }
    if (arg == "--grey-box") {
      scene.greyBox = true;
      continue;
    }
    if (i + 1 >= argc) return Fail(arg + " needs a value or is unknown (see --help)");
    const std::string value = argv[++i];
    long long a = 0, b = 0;
    if (arg == "--size") {
      const size_t x = value.find('x');
      if (x == std::string::npos || !ParseInt(value.substr(0, x), &a) || !ParseInt(value.substr(x + 1), &b))
        return Fail("--size wants WxH");
      scene.width = int(a), scene.height = int(b);
    } else if (arg == "--frames") {
      if (!ParseInt(value, &frames)) return Fail("--frames wants a whole number");
    } else if (arg == "--style") {
      if (!styles.count(value)) return Fail("unknown --style '" + value + "'");
      scene.style = styles.at(value);
    } else if (arg == "--place") {
      if (!places.count(value)) return Fail("unknown --place '" + value + "'");
      scene.place = places.at(value);
    } else if (arg == "--letterbox" || arg == "--pillarbox") {
      if (!ParseInt(value, &a)) return Fail(arg + " wants a whole number");
      (arg == "--letterbox" ? scene.letterbox : scene.pillarbox) = int(a);
    } else if (arg == "--break") {
      const size_t dash = value.find('-');
      if (dash == std::string::npos || !ParseInt(value.substr(0, dash), &a) ||
          !ParseInt(value.substr(dash + 1), &b) || b < a)
        return Fail("--break wants FIRST-LAST");
      scene.breaks.push_back(FrameRange{a, b + 1});
    } else if (arg == "--output") {
      output = value;
    } else if (arg == "--truth") {
      truthPath = value;
    } else if (arg == "--alpha") {
      alphaPath = value;
    } else if (arg == "--iou") {
      iouPath = value;
    } else {
      return Fail("unknown option '" + arg + "' (see --help)");
    }
  }
  try {
    const SyntheticBroadcast b(scene);
    const int w = b.width(), h = b.height();
    std::vector<uint8_t> truth = b.OpaqueMask();
    for (uint8_t& v : truth) v = v ? 255 : 0;
    if (!truthPath.empty() && !WritePgm(truthPath, truth, w, h)) return Fail("cannot write " + truthPath);
    if (!alphaPath.empty() && !WritePgm(alphaPath, b.LogoAlpha(), w, h)) return Fail("cannot write " + alphaPath);
    if (!iouPath.empty()) {
      int mw = 0, mh = 0;
      const std::vector<uint8_t> mask = ReadPgm(iouPath, &mw, &mh);
      if (mask.empty() || mw != w || mh != h) return Fail(iouPath + " is no " + std::to_string(w) + "x" +
                                                          std::to_string(h) + " 8-bit PGM");
      long long both = 0, either = 0;
      for (size_t i = 0; i < mask.size(); ++i) {
        both += mask[i] && truth[i];
        either += mask[i] || truth[i];
      }
      const PixelBox box = b.LogoBox();
      std::printf("iou %.4f logo box %d,%d %dx%d\n", either ? double(both) / double(either) : 0.0, box.left,
                  box.top, box.width, box.height);
    }
    if (frames == 0) return 0;
    std::FILE* out = output.empty() ? stdout : std::fopen(output.c_str(), "wb");
    if (out == nullptr) return Fail("cannot write " + output + ": " + std::strerror(errno));
    std::vector<uint8_t> rgb(3 * size_t(w) * size_t(h));
    for (long long n = 0; n < frames; ++n) {
      b.RenderRgb(n, rgb.data());
      if (std::fwrite(rgb.data(), 1, rgb.size(), out) != rgb.size()) {
        return Fail(errno == EPIPE ? "the reader stopped" : "cannot write frames");
      }
    }
    if (std::fflush(out) != 0 || (out != stdout && std::fclose(out) != 0)) return Fail("cannot write frames");
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  return 0;
}
