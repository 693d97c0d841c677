#include "frame/draw_rows.h"

#include "core/row_levels.h"
#include "frame/color_convert.h"
#include "frame/formats.h"
#include "frame/frame_layout.h"

namespace vle {
namespace {

constexpr uint8_t Byte(uint32_t v, int k) { return static_cast<uint8_t>(v >> (8 * k)); }

uint8_t BlendByte(int d, int s, int alpha, int scaledOpacity) {
  const int weight = alpha + (alpha >= 128 ? 1 : 0);  // 255 must weigh a full 256
  const int t = ((s - d) * weight) >> 8;
  const int v = d + ((t * scaledOpacity) >> 8);
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Each picture layout as a Yuy2 source: the pair's four bytes from its even and odd pixels, and
// the alpha of one pixel (only read when kBlends).
struct Bgr32Source {
  static constexpr bool kBlends = false;
  static uint32_t Pair(uint32_t even, uint32_t odd) {
    const YCbCr e = RgbToYcbcr(Byte(even, 2), Byte(even, 1), Byte(even, 0));
    const YCbCr o = RgbToYcbcr(Byte(odd, 2), Byte(odd, 1), Byte(odd, 0));
    return uint32_t{e.y} | uint32_t{e.cb} << 8 | uint32_t{o.y} << 16 | uint32_t{e.cr} << 24;
  }
  static int Alpha(uint32_t) { return 255; }
};

struct BgrLuma32Source {
  static constexpr bool kBlends = false;
  static uint32_t Pair(uint32_t even, uint32_t odd) {
    const YCbCr e = RgbToYcbcr(Byte(even, 2), Byte(even, 1), Byte(even, 0));
    return uint32_t{Byte(even, 3)} | uint32_t{e.cb} << 8 | uint32_t{Byte(odd, 3)} << 16 |
           uint32_t{e.cr} << 24;
  }
  static int Alpha(uint32_t) { return 255; }
};

struct BgrAlpha32Source {
  static constexpr bool kBlends = true;
  static uint32_t Pair(uint32_t even, uint32_t odd) { return Bgr32Source::Pair(even, odd); }
  static int Alpha(uint32_t p) { return Byte(p, 3); }
};

struct YuvAlpha32Source {
  static constexpr bool kBlends = true;
  static uint32_t Pair(uint32_t even, uint32_t odd) {
    return (even & 0xFF00FFFFu) | uint32_t{Byte(odd, 0)} << 16;
  }
  static int Alpha(uint32_t p) { return Byte(p, 2); }
};

struct YuvLuma32Source {
  static constexpr bool kBlends = false;
  static uint32_t Pair(uint32_t even, uint32_t odd) {
    return (even & 0xFF00FFFFu) | (odd & 0x00FF0000u);
  }
  static int Alpha(uint32_t) { return 255; }
};

// Writes the bytes of `mask` of one pair; the second luma weighs by the odd pixel's alpha, the
// rest by the even pixel's.
template <class Source>
void DrawPair(uint32_t even, uint32_t odd, uint8_t* pair, uint32_t mask, int scaledOpacity) {
  const uint32_t s = Source::Pair(even, odd);
  for (int k = 0; k < 4; ++k) {
    if (Byte(mask, k) == 0) continue;
    if (Source::kBlends) {
      const int alpha = Source::Alpha(k == 2 ? odd : even);
      pair[k] = BlendByte(pair[k], Byte(s, k), alpha, scaledOpacity);
    } else {
      pair[k] = Byte(s, k);
    }
  }
}

template <class Source>
void Yuy2Row(const uint32_t* src, uint8_t* dst, int count, int scaledOpacity) {
  int i = 0;
  for (; i + 1 < count; i += 2, dst += 4) {
    DrawPair<Source>(src[i], src[i + 1], dst, kWholePair, scaledOpacity);
  }
  if (i < count) DrawPair<Source>(src[i], src[i], dst, kFirstLumaAndChroma, scaledOpacity);
}

template <class Source>
void Yuy2SplitRow(const uint32_t* src, uint8_t* dst, int count, int scaledOpacity) {
  DrawPair<Source>(src[0], src[0], dst, kSecondLuma, scaledOpacity);
  if (count > 1) Yuy2Row<Source>(src + 1, dst + 4, count - 1, scaledOpacity);
}

}  // namespace

void Bgr32ToYuy2Row_C(const uint32_t* src, uint8_t* dst, int count, int o) {
  Yuy2Row<Bgr32Source>(src, dst, count, o);
}
void Bgr32ToYuy2SplitRow_C(const uint32_t* src, uint8_t* dst, int count, int o) {
  Yuy2SplitRow<Bgr32Source>(src, dst, count, o);
}
void BgrLuma32ToYuy2Row_C(const uint32_t* src, uint8_t* dst, int count, int o) {
  Yuy2Row<BgrLuma32Source>(src, dst, count, o);
}
void BgrLuma32ToYuy2SplitRow_C(const uint32_t* src, uint8_t* dst, int count, int o) {
  Yuy2SplitRow<BgrLuma32Source>(src, dst, count, o);
}
void BgrAlpha32ToYuy2Row_C(const uint32_t* src, uint8_t* dst, int count, int o) {
  Yuy2Row<BgrAlpha32Source>(src, dst, count, o);
}
void BgrAlpha32ToYuy2SplitRow_C(const uint32_t* src, uint8_t* dst, int count, int o) {
  Yuy2SplitRow<BgrAlpha32Source>(src, dst, count, o);
}
void YuvAlpha32ToYuy2Row_C(const uint32_t* src, uint8_t* dst, int count, int o) {
  Yuy2Row<YuvAlpha32Source>(src, dst, count, o);
}
void YuvAlpha32ToYuy2SplitRow_C(const uint32_t* src, uint8_t* dst, int count, int o) {
  Yuy2SplitRow<YuvAlpha32Source>(src, dst, count, o);
}
void YuvLuma32ToYuy2Row_C(const uint32_t* src, uint8_t* dst, int count, int o) {
  Yuy2Row<YuvLuma32Source>(src, dst, count, o);
}
void YuvLuma32ToYuy2SplitRow_C(const uint32_t* src, uint8_t* dst, int count, int o) {
  Yuy2SplitRow<YuvLuma32Source>(src, dst, count, o);
}

void Bgr32ToBgr24Row_C(const uint32_t* src, uint8_t* dst, int count, int) {
  for (int i = 0; i < count; ++i, dst += 3) {
    dst[0] = Byte(src[i], 0);
    dst[1] = Byte(src[i], 1);
    dst[2] = Byte(src[i], 2);
  }
}

void BgrAlpha32ToBgr24Row_C(const uint32_t* src, uint8_t* dst, int count, int o) {
  for (int i = 0; i < count; ++i, dst += 3) {
    const int alpha = Byte(src[i], 3);
    for (int k = 0; k < 3; ++k) dst[k] = BlendByte(dst[k], Byte(src[i], k), alpha, o);
  }
}

namespace {

constexpr DrawRows kRowsC{Bgr32ToYuy2Row_C, Bgr32ToYuy2SplitRow_C, Bgr32ToBgr24Row_C};

}  // namespace

const DrawRows& DrawRowsC() { return kRowsC; }

DrawRows SelectDrawRows(int cpuFeatures) {
  return SelectRowsLevel(cpuFeatures, kRowsC, DrawRowsSse2(), DrawRowsAvx2());
}

DrawRowFn SelectDrawRow(int32_t imageFormat, int32_t frameFormat, bool splitStart) {
  if (frameFormat == kYuy2) {
    switch (imageFormat) {
      case kBgr32: {
        const DrawRows rows = SelectDrawRows(platform::CpuFeatures());
        return splitStart ? rows.bgr32ToYuy2Split : rows.bgr32ToYuy2;
      }
      case kBgrLuma32: return splitStart ? BgrLuma32ToYuy2SplitRow_C : BgrLuma32ToYuy2Row_C;
      case kBgrAlpha32: return splitStart ? BgrAlpha32ToYuy2SplitRow_C : BgrAlpha32ToYuy2Row_C;
      case kYuvAlpha32: return splitStart ? YuvAlpha32ToYuy2SplitRow_C : YuvAlpha32ToYuy2Row_C;
      case kYuvLuma32: return splitStart ? YuvLuma32ToYuy2SplitRow_C : YuvLuma32ToYuy2Row_C;
      default: return nullptr;
    }
  }
  if (frameFormat == kBgr24) {
    switch (imageFormat) {
      case kBgr32:
      case kBgrLuma32: return SelectDrawRows(platform::CpuFeatures()).bgr32ToBgr24;
      case kBgrAlpha32: return BgrAlpha32ToBgr24Row_C;
      default: return nullptr;
    }
  }
  return nullptr;
}

}  // namespace vle
