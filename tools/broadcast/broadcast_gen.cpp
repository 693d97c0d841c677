// broadcast-gen: a synthetic broadcast scene as raw RGB24 frames (rows top-down) for FFmpeg to
// encode, and its ground truth as 8-bit PGM masks, e.g.
//   broadcast-gen --size 1280x720 --frames 250 --place top-right |
//   ffmpeg -f rawvideo -pix_fmt rgb24 -s 1280x720 -r 25 -i - -c:v libx264 scene.mp4
// or, with --overlay-logo, real frames from standard input with the scene's logo (and overlays)
// composited over them, for exact truth over real pictures.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "broadcast.h"

namespace {

using namespace vle::broadcast;

const char kHelp[] = R"(Usage: broadcast-gen [OPTIONS]
Writes a synthetic broadcast as raw rgb24 frames (top-down rows, 25 frames a second) to standard
output or to --output FILE, and its ground truth as PGM masks.

  --size WxH               picture size (default 720x576)
  --frames N               frames to write (default 250; 0 writes none; with --overlay-logo, at
                           most N, default all that come)
  --style S                plate (default), opaque, white-half, gradient, glass
  --glass-alpha A          the glass logo's opacity, 1..255 (default 51; 38..77 is 0.15..0.3)
  --place P                top-left (default), top-right, bottom-left, bottom-right, top-centre,
                           bottom-centre
  --no-logo                no logo at all
  --letterbox N            N black rows at the top and at the bottom
  --pillarbox N            N black columns at the left and at the right
  --break FIRST-LAST       frames FIRST..LAST (inclusive) show no logo and no overlays; may be
                           repeated
  --grey-box               a flat grey box in the corner opposite the logo

Distractors (all clear of the logo's box; --boxes gives where they are):
  --shots N                studio shots of N frames each (100..250 is 4..10 s): a static studio
                           with one person moving, another studio at every cut (default 0: the
                           moving picture)
  --scoreboard             an opaque scoreboard along the top, its clock changing every second
  --captions               an opaque caption strip in the lower third, shown for frames 50..199
                           of every 300, new text at each appearance
  --live-badge             a small red "live" badge in a free corner
  --live-from N            the frame the badge appears at (default 100)
  --damage                 runs of 5..20 frames, three in every 250, with a band of macroblocks
                           in the lower half frozen, smeared or both

  --overlay-logo           read raw rgb24 frames of --size from standard input (rows top-down, as
                           ffmpeg -f rawvideo -pix_fmt rgb24 - writes them) and write each with the
                           scene drawn over it: the logo blended with its exact alpha (the same as
                           --alpha writes), and bars, grey box, overlays and damage when asked for;
                           frame numbers (breaks, clock, captions, damage) count from 0
  --output FILE            frames to FILE instead of standard output
  --truth FILE.pgm         the logo's opaque pixels: 255, elsewhere 0
  --alpha FILE.pgm         the logo's opacity per pixel, 0..255
  --iou MASK.pgm           print the intersection over union of MASK's non-zero pixels with the
                           logo's opaque pixels (a logo without opaque pixels, as white-half,
                           gradient and glass are: its visible pixels, alpha > 0), and the logo's
                           box; on standard output, so with --frames 0 or --output
  --boxes FILE.txt         the truth as text, one line each: logo, grey-box, scoreboard, clock,
                           captions, live-badge, mover (X Y W H; only those in the scene), and per
                           damage run among the frames written: damage FIRST-LAST KIND X Y W H
                           source FRAME
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

const char* KindName(DamageKind kind) {
  switch (kind) {
    case DamageKind::kFreeze:
      return "freeze";
    case DamageKind::kSmear:
      return "smear";
    case DamageKind::kFreezeSmear:
      return "freeze-smear";
    case DamageKind::kNone:
      break;
  }
  return "none";
}

bool SameDamage(const Damage& a, const Damage& b) {
  return a.kind == b.kind && a.source == b.source && a.box.left == b.box.left && a.box.top == b.box.top &&
         a.box.width == b.box.width && a.box.height == b.box.height;
}

// The truth as text: the boxes, and the damage runs among frames 0 .. frames - 1.
bool WriteBoxes(const std::string& path, const SyntheticBroadcast& b, long long frames) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) return false;
  auto line = [&](const char* name, const PixelBox& box, const std::string& more) {
    if (box.width > 0 && box.height > 0) {
      std::fprintf(f, "%s %d %d %d %d%s\n", name, box.left, box.top, box.width, box.height, more.c_str());
    }
  };
  const Scene& s = b.scene();
  line("logo", b.LogoBox(), "");
  line("grey-box", b.GreyBox(), "");
  line("scoreboard", b.ScoreboardBox(), "");
  line("clock", b.ScoreboardClockBox(), "");
  line("captions", b.CaptionBox(),
       " shown " + std::to_string(SyntheticBroadcast::kCaptionFirst) + "-" +
           std::to_string(SyntheticBroadcast::kCaptionLast - 1) + "/" +
           std::to_string(SyntheticBroadcast::kCaptionPeriod));
  line("live-badge", b.LiveBadgeBox(), " from " + std::to_string(s.liveBadgeFrom));
  line("mover", b.StudioMoverBox(), " shot " + std::to_string(s.shotFrames));
  Damage run;
  long long first = 0;
  for (long long n = 0; n <= frames; ++n) {
    const Damage d = n < frames ? b.DamageAt(n) : Damage{};
    if (SameDamage(d, run)) continue;
    if (run.kind != DamageKind::kNone) {
      std::fprintf(f, "damage %lld-%lld %s %d %d %d %d source %lld\n", first, n - 1, KindName(run.kind),
                   run.box.left, run.box.top, run.box.width, run.box.height, static_cast<long long>(run.source));
    }
    run = d, first = n;
  }
  return std::fclose(f) == 0;
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
  bool framesGiven = false, overlay = false;
  std::string output, truthPath, alphaPath, iouPath, boxesPath;
  const std::map<std::string, LogoStyle> styles = {{"plate", LogoStyle::kPlate},
                                                   {"opaque", LogoStyle::kOpaque},
                                                   {"white-half", LogoStyle::kWhiteHalf},
                                                   {"gradient", LogoStyle::kGradient},
                                                   {"glass", LogoStyle::kGlass}};
  const std::map<std::string, bool Scene::*> switches = {{"--grey-box", &Scene::greyBox},
                                                         {"--scoreboard", &Scene::scoreboard},
                                                         {"--captions", &Scene::captions},
                                                         {"--live-badge", &Scene::liveBadge},
                                                         {"--damage", &Scene::damage}};
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
    if (switches.count(arg)) {
      scene.*switches.at(arg) = true;
      continue;
    }
    if (arg == "--overlay-logo") {
      overlay = true;
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
      framesGiven = true;
    } else if (arg == "--style") {
      if (!styles.count(value)) return Fail("unknown --style '" + value + "'");
      scene.style = styles.at(value);
    } else if (arg == "--place") {
      if (!places.count(value)) return Fail("unknown --place '" + value + "'");
      scene.place = places.at(value);
    } else if (arg == "--glass-alpha") {
      if (!ParseInt(value, &a) || a < 1 || a > 255) return Fail("--glass-alpha wants 1..255");
      scene.glassAlpha = int(a);
    } else if (arg == "--shots") {
      if (!ParseInt(value, &a) || a > 1000000) return Fail("--shots wants a number of frames");
      scene.shotFrames = int(a);
    } else if (arg == "--live-from") {
      if (!ParseInt(value, &a)) return Fail("--live-from wants a frame number");
      scene.liveBadgeFrom = a;
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
    } else if (arg == "--boxes") {
      boxesPath = value;
    } else {
      return Fail("unknown option '" + arg + "' (see --help)");
    }
  }
  try {
    const SyntheticBroadcast b(scene);
    const int w = b.width(), h = b.height();
    if (overlay && scene.shotFrames > 0) {
      return Fail("--shots makes a picture; --overlay-logo takes it from standard input");
    }
    std::vector<uint8_t> truth = b.OpaqueMask();
    for (uint8_t& v : truth) v = v ? 255 : 0;
    if (!truthPath.empty() && !WritePgm(truthPath, truth, w, h)) return Fail("cannot write " + truthPath);
    // A logo without opaque pixels is scored by its visible ones.
    const bool visible = std::all_of(truth.begin(), truth.end(), [](uint8_t v) { return v == 0; });
    if (visible) {
      for (size_t i = 0; i < truth.size(); ++i) truth[i] = b.LogoAlpha()[i] ? 255 : 0;
    }
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
      std::printf("iou %.4f logo box %d,%d %dx%d truth %s\n", either ? double(both) / double(either) : 0.0,
                  box.left, box.top, box.width, box.height, visible ? "visible" : "opaque");
      std::fflush(stdout);
    }
    if (overlay && !framesGiven) frames = -1;  // all that come
    if (frames == 0) return boxesPath.empty() || WriteBoxes(boxesPath, b, 0) ? 0 : Fail("cannot write " + boxesPath);
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::FILE* out = output.empty() ? stdout : std::fopen(output.c_str(), "wb");
    if (out == nullptr) return Fail("cannot write " + output + ": " + std::strerror(errno));
    std::vector<uint8_t> rgb(3 * size_t(w) * size_t(h)), held;
    long long n = 0;
    for (; frames < 0 || n < frames; ++n) {
      if (!overlay) {
        b.RenderRgb(n, rgb.data());
      } else {
        const size_t got = std::fread(rgb.data(), 1, rgb.size(), stdin);
        if (got == 0 && std::feof(stdin)) break;
        if (got != rgb.size()) {
          return Fail(std::ferror(stdin) ? "cannot read standard input"
                                         : "standard input ended inside frame " + std::to_string(n) + " (is it " +
                                               std::to_string(w) + "x" + std::to_string(h) + " rgb24?)");
        }
        b.OverlayRgb(n, rgb.data());
        // A frozen band repeats the last undamaged frame, which runs always follow.
        if (b.DamageAt(n).kind == DamageKind::kNone) {
          if (scene.damage) held = rgb;
        } else {
          b.DamageRgb(n, rgb.data(), held.data());
        }
      }
      if (std::fwrite(rgb.data(), 1, rgb.size(), out) != rgb.size()) {
        return Fail(errno == EPIPE ? "the reader stopped" : "cannot write frames");
      }
    }
    if (std::fflush(out) != 0 || (out != stdout && std::fclose(out) != 0)) return Fail("cannot write frames");
    if (overlay && n == 0) return Fail("no frames on standard input");
    if (!boxesPath.empty() && !WriteBoxes(boxesPath, b, n)) return Fail("cannot write " + boxesPath);
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  return 0;
}
