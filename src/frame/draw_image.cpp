#include <cstddef>

#include "frame/draw_rows.h"
#include "frame/frame_adapter.h"
#include "frame/frame_layout.h"
#include "platform/cpu.h"

namespace vle {
namespace {

// Image code, frame format and start parity to a slot of the level tables; -1 for pairings that
// draw nothing. Bgr24 rows have no pairs: one routine serves both start parities.
int DrawRowSlot(int32_t imageFormat, int32_t frameFormat, bool splitStart) {
  const int split = splitStart ? 1 : 0;
  if (frameFormat == kYuy2) {
    switch (imageFormat) {
      case kBgr32: return kRowBgr32ToYuy2 + split;
      case kBgrLuma32: return kRowBgrLuma32ToYuy2 + split;
      case kBgrAlpha32: return kRowBgrAlpha32ToYuy2 + split;
      case kYuvAlpha32: return kRowYuvAlpha32ToYuy2 + split;
      case kYuvLuma32: return kRowYuvLuma32ToYuy2 + split;
      default: return -1;
    }
  }
  if (frameFormat == kBgr24) {
    switch (imageFormat) {
      case kBgr32:
      case kBgrLuma32: return kRowBgr32ToBgr24;
      case kBgrAlpha32: return kRowBgrAlpha32ToBgr24;
      default: return -1;
    }
  }
  return -1;
}

constexpr DrawRowFn kRowsC[kDrawRowKinds] = {
    Bgr32ToYuy2Row_C,      Bgr32ToYuy2SplitRow_C,
    BgrLuma32ToYuy2Row_C,  BgrLuma32ToYuy2SplitRow_C,
    BgrAlpha32ToYuy2Row_C, BgrAlpha32ToYuy2SplitRow_C,
    YuvAlpha32ToYuy2Row_C, YuvAlpha32ToYuy2SplitRow_C,
    YuvLuma32ToYuy2Row_C,  YuvLuma32ToYuy2SplitRow_C,
    Bgr32ToBgr24Row_C,     BgrAlpha32ToBgr24Row_C,
};

constexpr DrawRowFn kRowsSse2[kDrawRowKinds] = {
    Bgr32ToYuy2Row_SSE2,
    SplitStartRow<Bgr32ToYuy2SplitRow_C, Bgr32ToYuy2Row_SSE2>,
    BgrLuma32ToYuy2Row_SSE2,
    SplitStartRow<BgrLuma32ToYuy2SplitRow_C, BgrLuma32ToYuy2Row_SSE2>,
    BgrAlpha32ToYuy2Row_SSE2,
    SplitStartRow<BgrAlpha32ToYuy2SplitRow_C, BgrAlpha32ToYuy2Row_SSE2>,
    YuvAlpha32ToYuy2Row_SSE2,
    SplitStartRow<YuvAlpha32ToYuy2SplitRow_C, YuvAlpha32ToYuy2Row_SSE2>,
    YuvLuma32ToYuy2Row_SSE2,
    SplitStartRow<YuvLuma32ToYuy2SplitRow_C, YuvLuma32ToYuy2Row_SSE2>,
    Bgr32ToBgr24Row_SSE2,
    BgrAlpha32ToBgr24Row_SSE2,
};

// Byte offset of image pixel (x, y), y from the top, in the row order of the image code.
std::ptrdiff_t ImageOffset(int32_t imageFormat, const Size& size, int32_t x, int32_t y) {
  const int64_t row =
      (imageFormat == kYuvAlpha32 || imageFormat == kYuvLuma32) ? y : int64_t{size.height} - 1 - y;
  return static_cast<std::ptrdiff_t>(row * size.width + x);
}

// One axis of the set-up in 64 bits: cuts [lo, hi) to [0, extent) and moves the partner's edges
// with it. Used only when the block's coordinates leave the 32-bit range.
bool NarrowAxis(int64_t extent, int64_t& lo, int64_t& hi, int64_t& partnerLo, int64_t& partnerHi) {
  if (lo < 0) {
    partnerLo -= lo;
    lo = 0;
  }
  if (hi > extent) {
    partnerHi -= hi - extent;
    hi = extent;
  }
  return lo < hi;
}

bool FitsInt32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

}  // namespace

DrawRowFn SelectDrawRow(int32_t imageFormat, int32_t frameFormat, bool splitStart) {
  const int slot = DrawRowSlot(imageFormat, frameFormat, splitStart);
  if (slot < 0) return nullptr;
  // Later instruction sets override earlier ones where they have a routine.
  const int features = platform::CpuFeatures();
  DrawRowFn row = kRowsC[slot];
  if ((features & platform::kCpuSse2) && kRowsSse2[slot] != nullptr) row = kRowsSse2[slot];
  const DrawRowFn* avx2 = DrawRowsAvx2();
  if ((features & platform::kCpuAvx2) && avx2 != nullptr && avx2[slot] != nullptr) row = avx2[slot];
  return row;
}

void FrameAdapter::DrawImage(uint8_t* framePixels, const Point& framePoint,
                             const uint32_t* imageBits, const Size& imageSize,
                             const Rect& imageRect, int32_t imageFormat, int32_t opacity) const {
  FrameLayout frame;
  if (imageBits == nullptr || !DescribeFrame(*this, framePixels, &frame)) return;
  if (SelectDrawRow(imageFormat, format, false) == nullptr) return;
  if (imageSize.width <= 0 || imageSize.height <= 0 ||
      int64_t{imageSize.width} * imageSize.height > int64_t{PTRDIFF_MAX} / 4) {
    return;
  }

  // The frame block is formed in 64 bits: hostile rectangles and points overflow 32-bit sums.
  // Only then are both blocks narrowed to the surfaces before the 32-bit clip sees them; a block
  // that fits is handed over unchanged.
  int64_t sl = imageRect.left, st = imageRect.top, sr = imageRect.right, sb = imageRect.bottom;
  int64_t dl = framePoint.x, dt = framePoint.y;
  int64_t dr = dl + (sr - sl), db = dt + (sb - st);
  if (!(FitsInt32(dr) && FitsInt32(db))) {
    if (!(sl < sr && st < sb)) return;
    if (!NarrowAxis(imageSize.width, sl, sr, dl, dr) ||
        !NarrowAxis(imageSize.height, st, sb, dt, db) ||
        !NarrowAxis(frame.drawWidth, dl, dr, sl, sr) || !NarrowAxis(frame.height, dt, db, st, sb)) {
      return;
    }
  }
  Rect source{static_cast<int32_t>(sl), static_cast<int32_t>(st), static_cast<int32_t>(sr),
              static_cast<int32_t>(sb)};
  Rect destination{static_cast<int32_t>(dl), static_cast<int32_t>(dt), static_cast<int32_t>(dr),
                   static_cast<int32_t>(db)};
  if (!ClipRectPair(imageSize, source, Size{frame.drawWidth, frame.height}, destination)) return;
  // What the clip promises, checked against the surfaces themselves before any address is formed.
  if (source.left < 0 || source.top < 0 || source.right > imageSize.width ||
      source.bottom > imageSize.height || destination.left < 0 || destination.top < 0 ||
      destination.right > frame.drawWidth || destination.bottom > frame.height ||
      destination.right - destination.left != source.right - source.left ||
      destination.bottom - destination.top != source.bottom - source.top) {
    return;
  }

  int32_t x = destination.left;
  const bool splitStart = format == kYuy2 && (x & 1) != 0;
  if (splitStart) --x;  // rows start on their pair; the routine skips the pair's first pixel
  const DrawRowFn row = SelectDrawRow(imageFormat, format, splitStart);

  // Out-of-range opacities are treated as the nearest valid percent: a blend never overshoots.
  const int32_t percent = opacity < 0 ? 0 : opacity > 100 ? 100 : opacity;
  const int scaledOpacity = percent * 256 / 100;

  const int count = source.right - source.left;
  const int32_t rows = source.bottom - source.top;
  const std::ptrdiff_t imageStep = (imageFormat == kYuvAlpha32 || imageFormat == kYuvLuma32)
                                       ? imageSize.width
                                       : -std::ptrdiff_t{imageSize.width};
  const uint32_t* src = imageBits + ImageOffset(imageFormat, imageSize, source.left, source.top);
  uint8_t* dst =
      frame.topRow + frame.rowStep * destination.top + std::ptrdiff_t{frame.bytesPerPixel} * x;
  for (int32_t i = 0; i < rows; ++i, src += imageStep, dst += frame.rowStep) {
    row(src, dst, count, scaledOpacity);
  }
}

}  // namespace vle
