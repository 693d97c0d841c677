// A deterministic synthetic broadcast for hosts and end-to-end tests: a moving, textured, colourful
// picture under a static station logo of known shape and place.
//
// A Scene varies it with exact ground truth: the logo's style and place, letterbox or pillarbox bars,
// advertising breaks without the logo, a flat static grey box, or no logo at all; and the distractors
// of real television: studio shots (a picture steady within each shot, changing at cuts), a
// scoreboard with a running clock, lower-third captions that come and go, a "live" badge, faint
// glass logos, and frozen or smeared macroblocks. The default scene is the broadcast described
// below, frame for frame; every distractor is off by default.
//
// Every background position sweeps through a wide luma range within about 60 frames, so a logo
// template made from a few hundred frames keys all of it. The logo sits inside the plug-in's
// default region (2 % .. 22 % of width and height): a translucent plate, blended over the moving
// picture and therefore never steady, carrying three opaque parts (a ring, a bold V and a bar) that
// are the same in every frame. The picture is a pure function of the frame number and the size,
// computed in integers only: the same on every machine and compiler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vle::broadcast {

// The host's frame layouts: Yuy2 (packed 4:2:2, rows top-down, 2 bytes per pixel, even width) and
// Bgr24 (3 bytes per pixel, rows bottom-up). Rows carry no padding in either.
enum class Layout { kYuy2, kBgr24 };

// Bytes of one frame; 0 when the size cannot be laid out (non-positive, odd Yuy2 width, or more
// than a frame can hold).
size_t FrameBytes(int width, int height, Layout layout);

// A frame in a host layout as top-down R, G, B bytes. Yuy2 is read as the plug-in reads it:
// full-range BT.601, each pixel with its pair's chroma.
std::vector<uint8_t> FrameToRgb(const uint8_t* frame, int width, int height, Layout layout);

// How the logo is drawn. kPlate: a translucent plate (alpha 120) carrying three opaque parts, a
// gold ring, a white V and a red bar. kOpaque: the three parts alone. kWhiteHalf: the three parts in
// white at alpha 128 (one half). kGradient: the three parts in one colour whose alpha runs from 51
// at the logo's left edge to 230 at its right (0.2 to 0.9). kGlass: the three parts in white at the
// scene's glassAlpha (the faint, glass-like logos of some channels).
enum class LogoStyle { kPlate, kWhiteHalf, kGradient, kOpaque, kGlass };

// Where the logo sits inside the active picture (inside any bars): a corner, or centred along the
// top or bottom edge. Corners keep 4 % of the active picture's width and height to its sides.
enum class LogoPlace { kTopLeft, kTopRight, kBottomLeft, kBottomRight, kTopCentre, kBottomCentre };

// Frames begin .. end - 1.
struct FrameRange {
  int64_t begin, end;
};

// A rectangle in pixels; empty when width or height is 0.
struct PixelBox {
  int left = 0, top = 0, width = 0, height = 0;
};

struct Scene {
  int width = 720, height = 576;
  Layout layout = Layout::kYuy2;
  bool logo = true;  // false: a broadcast without any logo
  LogoStyle style = LogoStyle::kPlate;
  LogoPlace place = LogoPlace::kTopLeft;
  // Black bars: `letterbox` rows at the top and at the bottom, `pillarbox` columns at the left and
  // at the right. The logo is placed in the picture between them.
  int letterbox = 0, pillarbox = 0;
  std::vector<FrameRange> breaks;  // advertising breaks: no logo in these frames
  // A flat grey (128, 128, 128) box of the logo's size in the corner diagonally opposite the logo
  // (bottom left for a logo along the top edge, top left along the bottom edge).
  bool greyBox = false;
  // The opacity of a kGlass logo, 1..255; 38..77 is 0.15..0.3, as faint as real glass logos.
  int glassAlpha = 51;

  // ---- Distractors. Their places follow the logo's (all of them, and the damage, keep clear of the
  // logo's box) and do not depend on `logo`, so a scene and the same scene without the logo differ
  // in the logo alone. Advertising breaks show none of the overlays (scoreboard, captions, badge).

  // Studio shots: 0 keeps the moving picture. N > 0 makes the picture a sequence of shots of N
  // frames each (100..250 is 4..10 s): within a shot a static studio (panelled wall, screens, a
  // desk, static grain: strong edges everywhere, the corners included) with one person swaying in
  // the middle (StudioMoverBox()); at each cut another studio with another layout and colours.
  int shotFrames = 0;
  // An opaque scoreboard along the top (27 % of the picture's width, 6 % of its height, in the top
  // corner the logo leaves free): team names and scores that stay, and a clock (minutes:seconds in
  // seven segments) that changes every second (25 frames).
  bool scoreboard = false;
  // An opaque caption strip across the lower third (10 % .. 90 % of the width, 78 % .. 88 % of the
  // height; 68 % .. 78 % when the logo sits at the bottom), shown for frames 50 .. 199 of every 300
  // (6 s on, 6 s off), with text-like blocks that are new at each appearance.
  bool captions = false;
  // A small opaque red "live" badge with white letter blocks (9 % x 5 %) in a corner free of the
  // logo, the scoreboard, the captions and the grey box, shown from frame liveBadgeFrom on.
  bool liveBadge = false;
  int64_t liveBadgeFrom = 100;
  // Frozen and smeared macroblocks: a few times in every 250 frames (10 s) a run of 5..20 frames
  // damages a band of 16 x 16 macroblocks in the lower half (never reaching the logo's box); see
  // DamageAt().
  bool damage = false;
};

// What a damaged frame does to its band. kFreeze: the band shows what it showed in the last frame
// before the run (Damage::source). kSmear: every column of the band repeats the frame's own pixel
// in the band's top row (vertical streaks). kFreezeSmear: every column repeats the source frame's
// pixel in the band's top row.
enum class DamageKind { kNone, kFreeze, kSmear, kFreezeSmear };

struct Damage {
  DamageKind kind = DamageKind::kNone;
  PixelBox box;         // whole 16 x 16 macroblocks, aligned to the frame; empty for kNone
  int64_t source = -1;  // the last undamaged frame before the run; -1 for kNone
};

class SyntheticBroadcast {
 public:
  static constexpr int kFramesPerSecond = 25;
  // Captions are shown for frames kCaptionFirst .. kCaptionLast - 1 of every kCaptionPeriod.
  static constexpr int kCaptionPeriod = 300, kCaptionFirst = 50, kCaptionLast = 200;
  // Damage comes in runs, three in every kDamagePeriod frames.
  static constexpr int kDamagePeriod = 250;

  // Throws std::invalid_argument when FrameBytes(width, height, layout) is 0.
  SyntheticBroadcast(int width, int height, Layout layout);
  // Throws std::invalid_argument when the frame cannot be laid out, the bars leave less than a
  // quarter of the picture in either direction, shotFrames is negative, glassAlpha is outside
  // 1..255, or the overlays find no place clear of the logo.
  explicit SyntheticBroadcast(const Scene& scene);

  int width() const { return width_; }
  int height() const { return height_; }
  Layout layout() const { return layout_; }
  size_t frameBytes() const { return frameBytes_; }

  // Frame `n` (n >= 0) into `out`, frameBytes() long, in the layout. Yuy2 uses the full-range
  // BT.601 (JFIF) conversion, each pair carrying the rounded mean chroma of its two pixels.
  void Render(int64_t n, uint8_t* out) const;

  // Frame `n` as top-down R, G, B bytes, 3 * width * height long: the picture (moving, or studio
  // shots), OverlayRgb, then DamageRgb where DamageAt(n) says so.
  void RenderRgb(int64_t n, uint8_t* rgb) const;

  // Draws over `rgb` (a picture of this size, top-down R, G, B) what the scene puts over its
  // picture in frame `n`: the bars, the grey box, the scoreboard, the captions, the badge, and the
  // logo blended with its exact alpha: (a * colour + (255 - a) * picture + 127) / 255 per channel.
  // This composites the scene over real pictures, with exact truth.
  void OverlayRgb(int64_t n, uint8_t* rgb) const;
  // Damages frame `n` (already overlaid) as DamageAt(n) says; `source` is frame DamageAt(n).source
  // as it was shown (needed for kFreeze and kFreezeSmear, ignored otherwise). Nothing without damage.
  void DamageRgb(int64_t n, uint8_t* rgb, const uint8_t* source) const;

  // The logo's opaque pixels at this size: width * height bytes, rows top-down, 1 where the logo
  // covers the picture completely, 0 elsewhere (translucent plate and background).
  std::vector<uint8_t> OpaqueMask() const;

  // The logo's opacity per pixel, 0 (none) .. 255 (opaque), width * height bytes top-down; all 0
  // without a logo. Frames of advertising breaks show none of it.
  const std::vector<uint8_t>& LogoAlpha() const { return logoAlpha_; }
  // The logo's colour per pixel, R, G, B, 3 * width * height bytes; 0 where the alpha is 0.
  const std::vector<uint8_t>& LogoRgb() const { return logoRgb_; }
  // The smallest box holding every pixel of alpha > 0; empty without a logo.
  PixelBox LogoBox() const { return logoBox_; }
  // The grey box, empty when the scene has none.
  PixelBox GreyBox() const { return greyBox_; }
  // Whether frame `n` shows the logo (false inside an advertising break or without a logo).
  bool LogoShown(int64_t n) const;

  // The scoreboard's box, and the part of it the clock takes (the rest never changes); empty
  // without a scoreboard.
  PixelBox ScoreboardBox() const { return scoreboardBox_; }
  PixelBox ScoreboardClockBox() const { return clockBox_; }
  bool ScoreboardShown(int64_t n) const;
  // The caption strip's box (where it is when shown), empty without captions; and whether frame
  // `n` shows it.
  PixelBox CaptionBox() const { return captionBox_; }
  bool CaptionShown(int64_t n) const;
  // The live badge's box, empty without it; and whether frame `n` shows it.
  PixelBox LiveBadgeBox() const { return badgeBox_; }
  bool LiveBadgeShown(int64_t n) const;
  // The shot frame `n` belongs to (n / shotFrames; 0 without shots): frames of one shot differ only
  // inside StudioMoverBox() (and where overlays or damage change); a cut changes the whole picture.
  int64_t Shot(int64_t n) const;
  PixelBox StudioMoverBox() const { return moverBox_; }
  // The damage in frame `n`: kind kNone without.
  Damage DamageAt(int64_t n) const;
  const Scene& scene() const { return scene_; }

 private:
  Scene scene_;
  int width_;
  int height_;
  Layout layout_;
  size_t frameBytes_;
  PixelBox logoBox_, greyBox_;
  PixelBox placedBox_;  // the logo's whole box (alpha 0 included), also without a logo
  PixelBox scoreboardBox_, clockBox_, captionBox_, badgeBox_, moverBox_;
  int damageRowLo_ = 0, damageRowHi_ = 0;  // macroblock rows damage may take
  bool InBreak(int64_t n) const;
  void MovingRgb(int64_t n, uint8_t* rgb) const;
  void StudioRgb(int64_t n, uint8_t* rgb) const;
  // Per column and per row phase offsets of the picture's waves, and the logo's alpha and colour
  // per pixel (alpha 0 outside it); precomputed because they do not depend on the frame number.
  std::vector<int32_t> columnPhase_[3];
  std::vector<int32_t> rowPhase_[3];
  std::vector<uint8_t> logoAlpha_;
  std::vector<uint8_t> logoRgb_;
};

}  // namespace vle::broadcast
