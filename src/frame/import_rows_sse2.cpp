// SSE2 row conversions: 8 pixels per step. Bit-exact with import_rows.cpp; remainders are
// finished by the scalar routines, so the vector bodies never reach past a row's last byte.
#include <emmintrin.h>

#include "frame/import_rows.h"

namespace vle {
namespace {

// Four channel vectors of 8 16-bit lanes (pixels 0..7) -> 8 pixels with the channels in bytes
// 0, 1, 2, 3. Out-of-range channel values saturate to 0 / 255, which is the clamp of the scalar.
inline void StoreChannels(uint32_t* dst, __m128i c0, __m128i c1, __m128i c2, __m128i c3) {
  const __m128i c02 = _mm_packus_epi16(c0, c2);  // c0 of pixels 0..7, then c2 of pixels 0..7
  const __m128i c13 = _mm_packus_epi16(c1, c3);
  const __m128i low = _mm_unpacklo_epi8(c02, c13);   // c0 c1 per pixel
  const __m128i high = _mm_unpackhi_epi8(c02, c13);  // c2 c3 per pixel
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_unpacklo_epi16(low, high));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4), _mm_unpackhi_epi16(low, high));
}

// count is a multiple of 8 and the row starts at a pair.
template <int32_t kCode>
void Yuy2ToImageRow_SSE2(const uint8_t* src, uint32_t* dst, int count) {
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  const __m128i bias = _mm_set1_epi16(128);
  const __m128i opaque = _mm_set1_epi16(255);
  for (int i = 0; i < count; i += 8, src += 16, dst += 8) {
    const __m128i pairs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i y = _mm_and_si128(pairs, lowBytes);
    const __m128i chroma = _mm_srli_epi16(pairs, 8);  // Cb0 Cr0 Cb1 Cr1 Cb2 Cr2 Cb3 Cr3
    const __m128i cb = _mm_shufflehi_epi16(_mm_shufflelo_epi16(chroma, _MM_SHUFFLE(2, 2, 0, 0)),
                                           _MM_SHUFFLE(2, 2, 0, 0));
    const __m128i cr = _mm_shufflehi_epi16(_mm_shufflelo_epi16(chroma, _MM_SHUFFLE(3, 3, 1, 1)),
                                           _MM_SHUFFLE(3, 3, 1, 1));
    if constexpr (kCode == kYuvLuma32) {
      StoreChannels(dst, y, cb, y, cr);
    } else if constexpr (kCode == kYuvAlpha32) {
      StoreChannels(dst, y, cb, opaque, cr);
    } else {
      // (c - 128) * 16, so that the high half of the product with a 4096-scaled constant is
      // floor(constant * (c - 128) / 4096).
      const __m128i u = _mm_slli_epi16(_mm_sub_epi16(cb, bias), 4);
      const __m128i v = _mm_slli_epi16(_mm_sub_epi16(cr, bias), 4);
      const __m128i b = _mm_add_epi16(y, _mm_mulhi_epi16(u, _mm_set1_epi16(7258)));
      const __m128i g = _mm_add_epi16(_mm_add_epi16(y, _mm_mulhi_epi16(u, _mm_set1_epi16(-1410))),
                                      _mm_mulhi_epi16(v, _mm_set1_epi16(-2925)));
      const __m128i r = _mm_add_epi16(y, _mm_mulhi_epi16(v, _mm_set1_epi16(5743)));
      StoreChannels(dst, b, g, r, kCode == kBgrLuma32 ? y : opaque);
    }
  }
}

template <int32_t kCode>
void Yuy2ToImageRow_Any_SSE2(const uint8_t* src, uint32_t* dst, int count) {
  const int whole = count & ~7;
  if (whole > 0) Yuy2ToImageRow_SSE2<kCode>(src, dst, whole);
  if (count > whole) Yuy2ToImageRow_C<kCode>(src + 2 * whole, dst + whole, count - whole);
}

template <int32_t kCode>
void Yuy2ToImageRowSplit_SSE2(const uint8_t* src, uint32_t* dst, int count) {
  if (count <= 0) return;
  Yuy2ToImageRowSplit_C<kCode>(src, dst, 1);
  Yuy2ToImageRow_Any_SSE2<kCode>(src + 4, dst + 1, count - 1);
}

// A pair of 16-bit coefficients (low, high) in every 32-bit lane, for multiply-add.
inline __m128i Coefficients(int low, int high) {
  return _mm_set1_epi32(int(uint32_t(uint16_t(low)) | uint32_t(uint16_t(high)) << 16));
}

// Four Bgr24 pixels 0x00RRGGBB in 32-bit lanes -> four picture pixels of layout kCode.
template <int32_t kCode>
inline __m128i FromBgrLanes(__m128i bgr) {
  if constexpr (kCode == kBgrAlpha32) {
    return _mm_or_si128(bgr, _mm_set1_epi32(int(0xFF000000u)));
  } else {
    // (B, G) and (R, 0) as 16-bit pairs: each sum below is exact in 32 bits.
    const __m128i bg = _mm_or_si128(_mm_and_si128(bgr, _mm_set1_epi32(0xFF)),
                                    _mm_slli_epi32(_mm_and_si128(bgr, _mm_set1_epi32(0xFF00)), 8));
    const __m128i r = _mm_srli_epi32(bgr, 16);
    const __m128i y = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(bg, Coefficients(3735, 19235)),
                                                   _mm_madd_epi16(r, Coefficients(9798, 0))),
                                     15);
    if constexpr (kCode == kBgrLuma32) {
      return _mm_or_si128(bgr, _mm_slli_epi32(y, 24));
    } else {
      const __m128i bias = _mm_set1_epi32(128);
      const __m128i cb = _mm_add_epi32(
          _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(bg, Coefficients(16384, -10855)),
                                       _mm_madd_epi16(r, Coefficients(-5529, 0))),
                         15),
          bias);
      const __m128i cr = _mm_add_epi32(
          _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(bg, Coefficients(-2664, -13720)),
                                       _mm_madd_epi16(r, Coefficients(16384, 0))),
                         15),
          bias);
      const __m128i mid = kCode == kYuvLuma32 ? _mm_slli_epi32(y, 16) : _mm_set1_epi32(0xFF0000);
      return _mm_or_si128(_mm_or_si128(y, _mm_slli_epi32(cb, 8)),
                          _mm_or_si128(mid, _mm_slli_epi32(cr, 24)));
    }
  }
}

// Four 3-byte pixels starting at byte offsets o, o + 3, o + 6, o + 9 of v -> 32-bit lanes with a
// zero top byte. SSE2 has no byte shuffle; whole-register byte shifts do the gathering.
template <int kOffset>
inline __m128i GatherBgr(__m128i v) {
  const __m128i p0 = _mm_srli_si128(v, kOffset);
  const __m128i p1 = _mm_srli_si128(v, kOffset + 3);
  const __m128i p2 = _mm_srli_si128(v, kOffset + 6);
  const __m128i p3 = _mm_srli_si128(v, kOffset + 9);
  const __m128i all = _mm_unpacklo_epi64(_mm_unpacklo_epi32(p0, p1), _mm_unpacklo_epi32(p2, p3));
  return _mm_and_si128(all, _mm_set1_epi32(0x00FFFFFF));
}

// count is a multiple of 8: 24 bytes per step, read as bytes 0..15 and 8..23.
template <int32_t kCode>
void Bgr24ToImageRow_SSE2(const uint8_t* src, uint32_t* dst, int count) {
  for (int i = 0; i < count; i += 8, src += 24, dst += 8) {
    const __m128i front = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i back = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), FromBgrLanes<kCode>(GatherBgr<0>(front)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4), FromBgrLanes<kCode>(GatherBgr<4>(back)));
  }
}

template <int32_t kCode>
void Bgr24ToImageRow_Any_SSE2(const uint8_t* src, uint32_t* dst, int count) {
  const int whole = count & ~7;
  if (whole > 0) Bgr24ToImageRow_SSE2<kCode>(src, dst, whole);
  if (count > whole) Bgr24ToImageRow_C<kCode>(src + 3 * whole, dst + whole, count - whole);
}

template <int32_t kCode>
constexpr ImportRows kYuy2Sse2{Yuy2ToImageRow_Any_SSE2<kCode>, Yuy2ToImageRowSplit_SSE2<kCode>};
template <int32_t kCode>
constexpr ImportRows kBgr24Sse2{Bgr24ToImageRow_Any_SSE2<kCode>, nullptr};

constexpr ImportRowSet kRowsSse2{
    {kYuy2Sse2<kBgrLuma32>, kYuy2Sse2<kBgrAlpha32>, kYuy2Sse2<kYuvAlpha32>, kYuy2Sse2<kYuvLuma32>},
    {kBgr24Sse2<kBgrLuma32>, kBgr24Sse2<kBgrAlpha32>, kBgr24Sse2<kYuvAlpha32>,
     kBgr24Sse2<kYuvLuma32>},
};

}  // namespace

const ImportRowSet* ImportRowsSse2() { return &kRowsSse2; }

}  // namespace vle
