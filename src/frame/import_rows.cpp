// The row conversions: the definition the capture rows' SIMD conversion is checked against.
#include "frame/import_rows.h"

#include "frame/color_convert.h"

namespace vle {
namespace {

// Floor division by a power of two. GCC and Clang shift signed values arithmetically (C++20
// makes it the rule), so this rounds towards minus infinity like the SIMD shifts do.
static_assert((-7 >> 2) == -2, "arithmetic right shift");
constexpr int32_t FloorShift(int32_t value, int bits) { return value >> bits; }

constexpr uint32_t Clamp255(int32_t value) {
  return value < 0 ? 0u : value > 255 ? 255u : uint32_t(value);
}

// One Yuy2 pixel (its own Y, its pair's Cb and Cr) as a picture pixel of layout kCode.
template <int32_t kCode>
inline uint32_t FromYuv(uint32_t y, uint32_t cb, uint32_t cr) {
  if constexpr (kCode == kYuvLuma32) {
    return y | cb << 8 | y << 16 | cr << 24;
  } else if constexpr (kCode == kYuvAlpha32) {
    return y | cb << 8 | 0xFFu << 16 | cr << 24;
  } else {
    const int32_t u = int32_t(cb) - 128;
    const int32_t v = int32_t(cr) - 128;
    const int32_t luma = int32_t(y);
    const uint32_t b = Clamp255(luma + FloorShift(7258 * u, 12));
    const uint32_t g = Clamp255(luma + FloorShift(-1410 * u, 12) + FloorShift(-2925 * v, 12));
    const uint32_t r = Clamp255(luma + FloorShift(5743 * v, 12));
    const uint32_t top = kCode == kBgrLuma32 ? y : 0xFFu;
    return b | g << 8 | r << 16 | top << 24;
  }
}

// One Bgr24 pixel as a picture pixel of layout kCode.
template <int32_t kCode>
inline uint32_t FromBgr(uint32_t b, uint32_t g, uint32_t r) {
  if constexpr (kCode == kBgrAlpha32) {
    return b | g << 8 | r << 16 | 0xFFu << 24;
  } else {
    const YCbCr c = RgbToYcbcr(int32_t(r), int32_t(g), int32_t(b));
    const uint32_t y = c.y;
    if constexpr (kCode == kBgrLuma32) {
      return b | g << 8 | r << 16 | y << 24;
    } else {
      const uint32_t mid = kCode == kYuvLuma32 ? y : 0xFFu;
      return y | uint32_t(c.cb) << 8 | mid << 16 | uint32_t(c.cr) << 24;
    }
  }
}

}  // namespace

template <int32_t kCode>
void Yuy2ToImageRow_C(const uint8_t* src, uint32_t* dst, int count) {
  for (int i = 0; i + 1 < count; i += 2, src += 4) {
    dst[i] = FromYuv<kCode>(src[0], src[1], src[3]);
    dst[i + 1] = FromYuv<kCode>(src[2], src[1], src[3]);
  }
  if (count & 1) dst[count - 1] = FromYuv<kCode>(src[0], src[1], src[3]);
}

template <int32_t kCode>
void Yuy2ToImageRowSplit_C(const uint8_t* src, uint32_t* dst, int count) {
  if (count <= 0) return;
  dst[0] = FromYuv<kCode>(src[2], src[1], src[3]);
  Yuy2ToImageRow_C<kCode>(src + 4, dst + 1, count - 1);
}

template <int32_t kCode>
void Bgr24ToImageRow_C(const uint8_t* src, uint32_t* dst, int count) {
  for (int i = 0; i < count; ++i, src += 3) dst[i] = FromBgr<kCode>(src[0], src[1], src[2]);
}

#define VLE_IMPORT_ROWS_INSTANTIATE(code)                                    \
  template void Yuy2ToImageRow_C<code>(const uint8_t*, uint32_t*, int);      \
  template void Yuy2ToImageRowSplit_C<code>(const uint8_t*, uint32_t*, int); \
  template void Bgr24ToImageRow_C<code>(const uint8_t*, uint32_t*, int);
VLE_IMPORT_ROWS_INSTANTIATE(kBgrLuma32)
VLE_IMPORT_ROWS_INSTANTIATE(kBgrAlpha32)
VLE_IMPORT_ROWS_INSTANTIATE(kYuvAlpha32)
VLE_IMPORT_ROWS_INSTANTIATE(kYuvLuma32)
#undef VLE_IMPORT_ROWS_INSTANTIATE

namespace {

template <int32_t kCode>
ImportRows RowsFor(int32_t frameFormat) {
  return frameFormat == kYuy2 ? ImportRows{Yuy2ToImageRow_C<kCode>, Yuy2ToImageRowSplit_C<kCode>}
                              : ImportRows{Bgr24ToImageRow_C<kCode>, nullptr};
}

}  // namespace

ImportRows SelectImportRows(int32_t frameFormat, int32_t imageFormat) {
  if (frameFormat == kYuy2 || frameFormat == kBgr24) {
    switch (imageFormat) {
      case kBgrLuma32: return RowsFor<kBgrLuma32>(frameFormat);
      case kBgrAlpha32: return RowsFor<kBgrAlpha32>(frameFormat);
      case kYuvAlpha32: return RowsFor<kYuvAlpha32>(frameFormat);
      case kYuvLuma32: return RowsFor<kYuvLuma32>(frameFormat);
      default: break;
    }
  }
  return ImportRows{nullptr, nullptr};
}

}  // namespace vle
