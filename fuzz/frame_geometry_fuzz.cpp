// The frame adapter's import and drawing with whatever a host or a hostile settings file can hand
// over: any frame format code, any image code, frames and pictures up to 64 x 64 in exactly sized
// heap blocks, and points, rectangles, thicknesses and opacities anywhere in int32. The sanitizers
// catch every byte read or written outside either block; besides, each operation is checked
// against what it may change, worked out independently of the adapter's clipping:
//   - ImportRegion writes exactly the picture pixels inside the image rectangle whose frame pixel
//     exists, never the frame, and for the copying layouts writes exactly the frame's bytes;
//   - DrawImage writes only frame pixels whose picture pixel lies inside the rectangle and the
//     picture (never the last column of an odd-width Yuy2 frame), never the picture, and the
//     replacing layouts write exactly the picture's bytes where they can be told;
//   - DrawFrameRect and the lines write exactly their ring or run, each pixel once.
// The routines run at the scalar, SSE2 and best level the machine has, as the input chooses.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "frame/frame_adapter.h"
#include "frame/formats.h"
#include "fuzz_support.h"
#include "platform/cpu.h"

namespace {

using vle::FrameAdapter;
using vle::Point;
using vle::Rect;
using vle::Size;
using vle::fuzz::Check;
using vle::fuzz::ExactBlock;
using vle::fuzz::HostileInt;

constexpr const char* kName = "frame_geometry_fuzz";
constexpr int32_t kMaxSide = 64;

void Expect(bool ok, const char* what) { Check(ok, kName, what); }

// The frame as a host lays it out, described from the format code alone.
struct FrameShape {
  int32_t format, width, height;
  bool known;       // Yuy2 or Bgr24
  int bytesPerPixel;
  int32_t drawWidth;  // Yuy2 frames of odd width have no whole pair in their last column

  std::size_t Bytes() const {
    if (width <= 0 || height <= 0) return 0;
    return std::size_t(width) * std::size_t(height) * std::size_t(known ? bytesPerPixel : 4);
  }
  // The pixel that owns frame byte `b`: a Yuy2 pair's luma bytes belong to their pixels, its
  // chroma to the even pixel (a drawing that starts at the odd one leaves the chroma alone).
  void Owner(std::size_t b, int32_t* x, int32_t* y) const {
    const std::size_t row = std::size_t(width) * bytesPerPixel;
    const std::size_t inRow = b % row;
    if (format == vle::kYuy2) {
      *y = int32_t(b / row);
      const int32_t pair = int32_t(inRow / 4);
      *x = 2 * pair + (inRow % 4 == 2 ? 1 : 0);
    } else {
      *y = height - 1 - int32_t(b / row);  // bottom-up
      *x = int32_t(inRow / 3);
    }
  }
  // Offset of the first byte of pixel (x, y) that it owns, and the bytes it owns.
  std::size_t PixelOffset(int32_t x, int32_t y) const {
    if (format == vle::kYuy2) return (std::size_t(y) * width + (x & ~1)) * 2 + (x & 1 ? 2 : 0);
    return (std::size_t(height - 1 - y) * width + x) * 3;
  }
};

FrameShape DescribeShape(int32_t format, int32_t width, int32_t height) {
  FrameShape s{format, width, height, format == vle::kYuy2 || format == vle::kBgr24, 0, 0};
  s.bytesPerPixel = format == vle::kYuy2 ? 2 : 3;
  s.drawWidth = format == vle::kYuy2 ? (width & ~1) : width;
  return s;
}

// Frame bytes that the Yuy2 pixel (x, y) owns, as (offset from the pair, value index) pairs:
// even pixels own Y0, Cb and Cr, odd pixels Y1.
int OwnedBytes(const FrameShape& s, int32_t x, int out[3]) {
  if (s.format == vle::kBgr24) {
    out[0] = 0, out[1] = 1, out[2] = 2;
    return 3;
  }
  if (x & 1) {
    out[0] = 2;
    return 1;
  }
  out[0] = 0, out[1] = 1, out[2] = 3;
  return 3;
}

bool InRange(int64_t v, int64_t lo, int64_t hi) { return lo <= v && v < hi; }

int32_t PickFormat(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 4)) {
    case 0: case 1: return vle::kYuy2;
    case 2: case 3: return vle::kBgr24;
    default: return HostileInt(in, -3, 12);
  }
}

int32_t PickImageCode(FuzzedDataProvider& in) {
  static constexpr int32_t kCodes[] = {vle::kBgr32, vle::kBgrLuma32, vle::kBgrAlpha32,
                                       vle::kYuvAlpha32, vle::kYuvLuma32};
  if (in.ConsumeIntegralInRange<int>(0, 5) == 0) return HostileInt(in, -2, 16);
  return kCodes[in.ConsumeIntegralInRange<int>(0, 4)];
}

bool TopDown(int32_t imageCode) {
  return imageCode == vle::kYuvAlpha32 || imageCode == vle::kYuvLuma32;
}

// A 32-bit picture in an exactly sized block; negative sides are empty.
struct Picture {
  Picture(int32_t w, int32_t h, FuzzedDataProvider& in)
      : width(w), height(h), block(w > 0 && h > 0 ? std::size_t(w) * std::size_t(h) * 4 : 0, in) {}
  uint32_t* bits() { return reinterpret_cast<uint32_t*>(block.data()); }
  uint32_t At(int32_t code, int32_t x, int32_t y) const {
    const int64_t row = TopDown(code) ? y : int64_t{height} - 1 - y;
    uint32_t v;
    std::memcpy(&v, block.data() + 4 * (row * width + x), 4);
    return v;
  }
  int32_t width, height;
  ExactBlock block;
};

// What ImportRegion and DrawImage are both handed, as a hostile caller picks it: a picture, its
// layout code, the block of it (rect) and the frame point the block goes to.
struct BlockCall {
  explicit BlockCall(FuzzedDataProvider& in)
      : picture(in.ConsumeIntegralInRange<int32_t>(-2, kMaxSide),
                in.ConsumeIntegralInRange<int32_t>(-2, kMaxSide), in),
        code(PickImageCode(in)),
        point{HostileInt(in, -80, 80), HostileInt(in, -80, 80)},
        rect{HostileInt(in, -80, 80), HostileInt(in, -80, 80), HostileInt(in, -80, 144),
             HostileInt(in, -80, 144)} {}
  Picture picture;
  int32_t code;
  Point point;
  Rect rect;
};

uint8_t Byte(uint32_t v, int k) { return static_cast<uint8_t>(v >> (8 * k)); }

void FuzzImport(const FrameAdapter& adapter, const FrameShape& shape, ExactBlock& frame,
                FuzzedDataProvider& in) {
  BlockCall call(in);
  Picture& picture = call.picture;
  const int32_t code = call.code;
  const Point point = call.point;
  const Rect rect = call.rect;
  const std::string frameBefore = frame.Snapshot();
  const std::string pictureBefore = picture.block.Snapshot();

  adapter.ImportRegion(frame.data(), point, picture.bits(), Size{picture.width, picture.height},
                       rect, code);

  Expect(frame.Snapshot() == frameBefore, "ImportRegion wrote into the frame");
  const bool converts = shape.known && (code == vle::kBgrLuma32 || code == vle::kBgrAlpha32 ||
                                        code == vle::kYuvAlpha32 || code == vle::kYuvLuma32);
  for (int32_t y = 0; y < picture.height; ++y) {
    for (int32_t x = 0; x < picture.width; ++x) {
      const int64_t fx = int64_t{point.x} + (int64_t{x} - rect.left);
      const int64_t fy = int64_t{point.y} + (int64_t{y} - rect.top);
      const bool inside = converts && InRange(x, rect.left, rect.right) &&
                          InRange(y, rect.top, rect.bottom) && InRange(fx, 0, shape.width) &&
                          InRange(fy, 0, shape.height);
      const int64_t row = TopDown(code) ? y : int64_t{picture.height} - 1 - y;
      const std::size_t at = std::size_t(4 * (row * picture.width + x));
      const uint8_t* got = picture.block.data() + at;
      if (!inside) {
        Expect(std::memcmp(got, pictureBefore.data() + at, 4) == 0,
               "ImportRegion wrote a picture pixel outside the clipped block");
        continue;
      }
      // The bytes that the conversion copies rather than computes.
      const uint8_t* f = frame.data() + shape.PixelOffset(int32_t(fx), int32_t(fy));
      if (shape.format == vle::kBgr24 && (code == vle::kBgrLuma32 || code == vle::kBgrAlpha32)) {
        Expect(got[0] == f[0] && got[1] == f[1] && got[2] == f[2],
               "ImportRegion changed a Bgr24 pixel's colour");
        if (code == vle::kBgrAlpha32) Expect(got[3] == 255, "ImportRegion alpha is not 255");
      }
      if (shape.format == vle::kYuy2 && (code == vle::kYuvLuma32 || code == vle::kYuvAlpha32)) {
        const uint8_t* pair = frame.data() + (std::size_t(fy) * shape.width + (fx & ~1)) * 2;
        const bool halfPair = (shape.width & 1) && fx == shape.width - 1;
        Expect(got[0] == f[0] && got[1] == pair[1], "ImportRegion Yuy2 luma or Cb");
        Expect(got[3] == (halfPair ? 128 : pair[3]), "ImportRegion Yuy2 Cr");
        Expect(got[2] == (code == vle::kYuvLuma32 ? f[0] : 255), "ImportRegion Yuy2 byte 2");
      }
    }
  }
}

void FuzzDrawImage(const FrameAdapter& adapter, const FrameShape& shape, ExactBlock& frame,
                   FuzzedDataProvider& in) {
  BlockCall call(in);
  Picture& picture = call.picture;
  const int32_t code = call.code;
  const Point point = call.point;
  const Rect rect = call.rect;
  const int32_t opacity = in.ConsumeBool() ? 100 : HostileInt(in, -20, 120);
  const std::string frameBefore = frame.Snapshot();
  const std::string pictureBefore = picture.block.Snapshot();

  adapter.DrawImage(frame.data(), point, picture.bits(), Size{picture.width, picture.height}, rect,
                    code, opacity);

  Expect(picture.block.Snapshot() == pictureBefore, "DrawImage wrote into the picture");
  const bool drawsOnYuy2 = code == vle::kBgr32 || code == vle::kBgrLuma32 ||
                           code == vle::kBgrAlpha32 || code == vle::kYuvAlpha32 ||
                           code == vle::kYuvLuma32;
  const bool drawsOnBgr24 = code == vle::kBgr32 || code == vle::kBgrLuma32 || code == vle::kBgrAlpha32;
  const bool draws = (shape.format == vle::kYuy2 && drawsOnYuy2) ||
                     (shape.format == vle::kBgr24 && drawsOnBgr24);
  if (!draws) {
    Expect(frame.Snapshot() == frameBefore, "DrawImage drew with a pairing it does not list");
    return;
  }
  // Where frame pixel (x, y) takes its picture pixel from, if anywhere.
  auto source = [&](int32_t x, int32_t y, int32_t* sx, int32_t* sy) {
    const int64_t px = int64_t{rect.left} + (int64_t{x} - point.x);
    const int64_t py = int64_t{rect.top} + (int64_t{y} - point.y);
    if (x >= shape.drawWidth || !InRange(px, rect.left, rect.right) ||
        !InRange(py, rect.top, rect.bottom) || !InRange(px, 0, picture.width) ||
        !InRange(py, 0, picture.height)) {
      return false;
    }
    *sx = int32_t(px);
    *sy = int32_t(py);
    return true;
  };
  for (std::size_t b = 0; b < frame.size(); ++b) {
    if (frame.data()[b] == uint8_t(frameBefore[b])) continue;
    int32_t x, y, sx, sy;
    shape.Owner(b, &x, &y);
    Expect(source(x, y, &sx, &sy), "DrawImage wrote a frame byte outside the clipped block");
  }
  // The replacing layouts write bytes that can be told without converting colours.
  const bool copiesBgr = shape.format == vle::kBgr24 && (code == vle::kBgr32 || code == vle::kBgrLuma32);
  const bool copiesYuv = shape.format == vle::kYuy2 && code == vle::kYuvLuma32;
  if (!copiesBgr && !copiesYuv) return;
  for (int32_t y = 0; y < shape.height; ++y) {
    for (int32_t x = 0; x < shape.drawWidth; ++x) {
      int32_t sx, sy;
      if (!source(x, y, &sx, &sy)) continue;
      const uint32_t p = picture.At(code, sx, sy);
      const uint8_t* f = frame.data() + shape.PixelOffset(x, y);
      if (copiesBgr) {
        Expect(f[0] == Byte(p, 0) && f[1] == Byte(p, 1) && f[2] == Byte(p, 2),
               "DrawImage Bgr24 pixel is not the picture's colour");
      } else if (x & 1) {
        Expect(f[0] == Byte(p, 2), "DrawImage Yuy2 second luma");
      } else {
        Expect(f[0] == Byte(p, 0) && f[1] == Byte(p, 1) && f[3] == Byte(p, 3),
               "DrawImage Yuy2 first luma or chroma");
      }
    }
  }
}

// Checks a drawing of one colour: bytes of pixels outside `member` unchanged, bytes of pixels in
// it blended exactly once. `exact` false: membership only bounds where the drawing may go.
template <typename Member>
void CheckPaint(const FrameAdapter& adapter, const FrameShape& shape, const ExactBlock& frame,
                const std::string& before, uint32_t color, int32_t opacity, bool exact,
                Member member, const char* what) {
  const int32_t percent = opacity < 0 ? 0 : opacity > 100 ? 100 : opacity;
  const int keep = ((100 - percent) * 256 + 50) / 100;  // rounded to nearest, never negative
  const uint32_t k = adapter.ColorToFramePixel(color);
  for (std::size_t b = 0; b < frame.size(); ++b) {
    if (frame.data()[b] == uint8_t(before[b])) continue;
    int32_t x, y;
    shape.Owner(b, &x, &y);
    Expect(x < shape.drawWidth && member(x, y), what);
  }
  if (!exact) return;
  for (int32_t y = 0; y < shape.height; ++y) {
    for (int32_t x = 0; x < shape.drawWidth; ++x) {
      if (!member(x, y)) continue;
      int owned[3];
      const int n = OwnedBytes(shape, x, owned);
      const std::size_t at = shape.PixelOffset(x, y) - (shape.format == vle::kYuy2 && (x & 1) ? 2 : 0);
      for (int i = 0; i < n; ++i) {
        const int c = Byte(k, owned[i]);
        const int d = uint8_t(before[at + owned[i]]);
        int v = c + (((d - c) * keep) >> 8);
        v = v < 0 ? 0 : v > 255 ? 255 : v;
        Expect(frame.data()[at + owned[i]] == v, what);
      }
    }
  }
}

void FuzzFrameRect(const FrameAdapter& adapter, const FrameShape& shape, ExactBlock& frame,
                   FuzzedDataProvider& in) {
  const Rect r{HostileInt(in, -80, 80), HostileInt(in, -80, 80), HostileInt(in, -80, 144),
               HostileInt(in, -80, 144)};
  const int32_t thickness = HostileInt(in, -6, 6);
  const uint32_t color = in.ConsumeIntegral<uint32_t>();
  const int32_t opacity = in.ConsumeBool() ? 100 : HostileInt(in, -20, 120);
  const std::string before = frame.Snapshot();

  adapter.DrawFrameRect(frame.data(), r, thickness, color, opacity);

  if (!shape.known || thickness == 0 || thickness == INT32_MIN) {
    Expect(frame.Snapshot() == before, "DrawFrameRect drew what it must not");
    return;
  }
  // Inclusive bounds of the outermost ring and the ring count.
  const int64_t n = thickness < 0 ? -int64_t{thickness} : thickness;
  const int64_t grow = thickness < 0 ? n : 0;
  const int64_t L = int64_t{r.left} - grow, T = int64_t{r.top} - grow;
  const int64_t R = int64_t{r.right} - 1 + grow, B = int64_t{r.bottom} - 1 + grow;
  // While the innermost ring is still at least 2 x 2 pixels, the rings are nested rectangles whose
  // union is the outer rectangle without the inner hole, each pixel drawn once. Thinner rings
  // (a lone row or column is drawn from both ends) or rings that cross over only stay within the
  // span of every ring's sides.
  const bool nested = L + (n - 1) < R - (n - 1) && T + (n - 1) < B - (n - 1);
  if (nested) {
    auto member = [&](int64_t x, int64_t y) {
      const bool outer = L <= x && x <= R && T <= y && y <= B;
      const bool hole = L + n <= x && x <= R - n && T + n <= y && y <= B - n;
      return outer && !hole;
    };
    CheckPaint(adapter, shape, frame, before, color, opacity, true, member,
               "DrawFrameRect: wrong pixels or a pixel drawn twice");
  } else {
    const int64_t x0 = std::min(L, R - (n - 1)), x1 = std::max(R, L + (n - 1));
    const int64_t y0 = std::min(T, B - (n - 1)), y1 = std::max(B, T + (n - 1));
    auto member = [&](int64_t x, int64_t y) { return x0 <= x && x <= x1 && y0 <= y && y <= y1; };
    CheckPaint(adapter, shape, frame, before, color, opacity, false, member,
               "DrawFrameRect drew beyond its rings");
  }
}

void FuzzLine(const FrameAdapter& adapter, const FrameShape& shape, ExactBlock& frame,
              FuzzedDataProvider& in) {
  const bool horizontal = in.ConsumeBool();
  const int32_t at = HostileInt(in, -4, 68);
  const int32_t from = HostileInt(in, -80, 144);
  const int32_t to = HostileInt(in, -80, 144);
  const uint32_t color = in.ConsumeIntegral<uint32_t>();
  const int32_t opacity = in.ConsumeBool() ? 100 : HostileInt(in, -20, 120);
  const std::string before = frame.Snapshot();

  if (horizontal) {
    adapter.DrawHorizontalLine(frame.data(), from, to, at, color, opacity);
  } else {
    adapter.DrawVerticalLine(frame.data(), at, from, to, color, opacity);
  }

  if (!shape.known) {
    Expect(frame.Snapshot() == before, "a line was drawn on an unknown format");
    return;
  }
  // The run excludes its `to` end, whichever way it points.
  const int64_t first = to >= from ? int64_t{from} : int64_t{to} + 1;
  const int64_t last = to >= from ? int64_t{to} - 1 : int64_t{from};
  auto member = [&](int64_t x, int64_t y) {
    const int64_t along = horizontal ? x : y, across = horizontal ? y : x;
    return across == at && first <= along && along <= last;
  };
  CheckPaint(adapter, shape, frame, before, color, opacity, true, member,
             horizontal ? "DrawHorizontalLine: wrong pixels" : "DrawVerticalLine: wrong pixels");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  static constexpr int kLevels[] = {-1, 0, vle::platform::kCpuSse2};
  vle::platform::MaskCpuFeatures(kLevels[in.ConsumeIntegralInRange<int>(0, 2)]);

  const int32_t format = PickFormat(in);
  const int32_t width = in.ConsumeIntegralInRange<int32_t>(-2, kMaxSide);
  const int32_t height = in.ConsumeIntegralInRange<int32_t>(-2, kMaxSide);
  FrameAdapter adapter;
  // A format announced before may leave its derived fields behind; the operations must not use
  // them for another format.
  if (in.ConsumeBool()) adapter.SetFormat(width, height, in.ConsumeBool() ? vle::kYuy2 : vle::kBgr24);
  adapter.SetFormat(width, height, format);
  const FrameShape shape = DescribeShape(format, width, height);
  ExactBlock frame(shape.Bytes(), in);

  for (int step = 0; step < 8 && in.remaining_bytes() > 0; ++step) {
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
      case 0: FuzzImport(adapter, shape, frame, in); break;
      case 1: FuzzDrawImage(adapter, shape, frame, in); break;
      case 2: FuzzFrameRect(adapter, shape, frame, in); break;
      default: FuzzLine(adapter, shape, frame, in); break;
    }
  }
  return 0;
}
