// Finding a broadcaster's logo in frames sampled over a recording.
//
// On television the logo is the small thing near an edge of the picture that stays the same while
// the picture around it changes: across camera cuts, under moving scenery, through breaks in the
// programme. Within one shot the whole set is steady, so steadiness alone proves nothing; what
// counts is steadiness across different pictures. The finder keeps the samples (luma planes of one
// size; keep them to about a hundred) and then:
//  1. crops letterbox and pillarbox bars (rows and columns dark and flat in most samples);
//  2. for each block of the picture, picks the samples in which the block's surroundings look
//     different from every earlier pick ("looks"): a long shot is one look, a frozen or repeated
//     picture adds none;
//  3. marks evidence in the outer band of the picture: pixels whose signed high-pass (luma less its
//     7 x 7 mean) keeps its sign and size over the looks, with a mean that stands out of its spread.
//     Faint edges of a glass-like logo count, because they persist while the picture behind changes;
//     scenery steady only within a shot does not, because its looks differ;
//  4. groups the evidence into candidates and ranks them by how logo-like they are: steady across
//     looks, dense in edges along their outline, close to a corner; a box larger than a quarter of
//     the picture's width or height is no logo;
//  5. drops the samples whose high-pass does not match the best candidate's (the logo was absent),
//     and measures again without them.
#pragma once

#include <string>
#include <vector>

#include "analysis/luma_plane.h"

namespace vle::analysis {

// The logo as the samples showed it, pixel by pixel (indices y * width + x in the samples'
// coordinates): where it is opaque its luma, elsewhere its mean high-pass (luma less the mean of
// its 7 x 7 neighbourhood), which a semi-transparent logo adds to any picture behind it.
struct LogoModel {
  std::vector<int> pixels;
  std::vector<float> hp;       // luma levels
  std::vector<uint8_t> luma;
  std::vector<bool> opaque;
};

// One place that might hold the logo, as the finder ranked it.
struct Candidate {
  Rect box;            // in the samples' coordinates
  double score = 0;    // 0..1: how logo-like; candidates are ranked by it
  bool qualifies = false;  // within the bounds a logo keeps (size, place, steadiness across changes)
  std::string why;     // one phrase for the user: what ranks it where it is, or what rules it out
};

struct FinderResult {
  bool found = false;
  Rect box;           // the logo's pixels, in the samples' coordinates
  Rect active;        // the picture inside any bars
  int samples = 0;    // samples given
  int withoutLogo = 0;  // samples dropped because they lacked the logo
  std::string why;    // when not found: one phrase for the user
  // The logo's pixels over `box`: 255 where it is (its evidence, gaps closed, holes filled).
  LumaPlane shape;
  // Most of the logo's evidence is in its edges, not its luma: a glass-like logo, whose luma follows
  // the picture behind it, so that the steadiness rule keys it away.
  bool translucent = false;
  // What the logo looks like, for LogoPresence.
  LogoModel model;
  double presentScore = 0;  // the match of a typical sample that shows the logo
  // Everything that was considered, best first (at most a few); when found, the first is the logo.
  std::vector<Candidate> candidates;
};

// Whether a frame shows the logo that was found: the share of the logo's opaque pixels at the
// logo's luma, and the match of its high-pass with the logo's at the translucent ones, reach at
// least half of what a typical sample showing the logo scores. Advertising breaks fail this.
class LogoPresence {
 public:
  LogoPresence(const FinderResult& found, int sampleWidth);
  // The rectangle, in the samples' coordinates, whose luma Shows() reads.
  const Rect& area() const { return area_; }
  // `areaLuma`: a frame's luma over area(), at the samples' scale.
  bool Shows(const LumaPlane& areaLuma) const;
  // The match itself: about 1 where the logo is as in the samples, about 0 where it is absent.
  double Score(const LumaPlane& areaLuma) const;

 private:
  LogoModel model_;  // pixel indices into area()
  // Scratch of Score, kept so that judging a frame allocates nothing: a LogoPresence is for one
  // thread at a time.
  mutable std::vector<int32_t> integral_;
  mutable std::vector<int16_t> hp_;
  Rect area_;
  double threshold_ = 0;
};

class LogoFinder {
 public:
  // Samples must be `width` x `height`.
  LogoFinder(int width, int height) : width_(width), height_(height) {}

  // Keeps a copy; planes of another size are ignored and false is returned.
  bool Add(const LumaPlane& sample);
  size_t samples() const { return samples_.size(); }

  // Looks only inside `area` (samples' coordinates), for a user who knows where the logo is.
  void RestrictTo(const Rect& area) { area_ = area; }

  FinderResult Find() const;

 private:
  int width_, height_;
  Rect area_;  // empty: the whole picture
  std::vector<LumaPlane> samples_;
};

// The picture inside letterbox and pillarbox bars: the rows and columns from each side that are
// dark (luma <= 40) and flat (range <= 16) in at least 80 % of the samples. Bars covering half the
// picture or more are not taken for bars (a dark recording).
Rect ActivePicture(const std::vector<LumaPlane>& samples);

// |gx| + |gy| of the 3 x 3 Sobel operator at (x, y), 1 <= x < width - 1, 1 <= y < height - 1.
int SobelMagnitude(const LumaPlane& plane, int x, int y);

}  // namespace vle::analysis
