// Host frame pixels to BgrLuma32 pixels in SSE2 registers, for the SSE2 capture rows. Bit-exact
// with the import rows of code 3 (import_rows.h), the definition.
//
// Include only from files compiled for SSE2. Everything here has internal linkage, so each such
// file keeps its own copy: a shared inline copy could be picked by the linker for code that runs
// on processors without SSE2.
#pragma once

#include <emmintrin.h>

#include <cstdint>


namespace vle {
namespace {

// Four channel vectors of 8 16-bit lanes (pixels 0..7) -> pixels 0..3 in `first` and 4..7 in
// `second`, with the channels in bytes 0, 1, 2, 3. Out-of-range channel values saturate to
// 0 / 255, which is the clamp of the scalar.
inline void PackChannelsSse2(__m128i c0, __m128i c1, __m128i c2, __m128i c3, __m128i* first,
                             __m128i* second) {
  const __m128i c02 = _mm_packus_epi16(c0, c2);  // c0 of pixels 0..7, then c2 of pixels 0..7
  const __m128i c13 = _mm_packus_epi16(c1, c3);
  const __m128i low = _mm_unpacklo_epi8(c02, c13);   // c0 c1 per pixel
  const __m128i high = _mm_unpackhi_epi8(c02, c13);  // c2 c3 per pixel
  *first = _mm_unpacklo_epi16(low, high);
  *second = _mm_unpackhi_epi16(low, high);
}

// Eight Yuy2 pixels (16 bytes of pairs) -> BgrLuma32 pixels 0..3 in `first`, 4..7 in `second`.
inline void Yuy2PairsToPixelsSse2(__m128i pairs, __m128i* first, __m128i* second) {
  const __m128i y = _mm_and_si128(pairs, _mm_set1_epi16(0x00FF));
  const __m128i chroma = _mm_srli_epi16(pairs, 8);  // Cb0 Cr0 Cb1 Cr1 Cb2 Cr2 Cb3 Cr3
  const __m128i cb = _mm_shufflehi_epi16(_mm_shufflelo_epi16(chroma, _MM_SHUFFLE(2, 2, 0, 0)),
                                         _MM_SHUFFLE(2, 2, 0, 0));
  const __m128i cr = _mm_shufflehi_epi16(_mm_shufflelo_epi16(chroma, _MM_SHUFFLE(3, 3, 1, 1)),
                                         _MM_SHUFFLE(3, 3, 1, 1));
  // (c - 128) * 16, so that the high half of the product with a 4096-scaled constant is
  // floor(constant * (c - 128) / 4096).
  const __m128i bias = _mm_set1_epi16(128);
  const __m128i u = _mm_slli_epi16(_mm_sub_epi16(cb, bias), 4);
  const __m128i v = _mm_slli_epi16(_mm_sub_epi16(cr, bias), 4);
  const __m128i b = _mm_add_epi16(y, _mm_mulhi_epi16(u, _mm_set1_epi16(7258)));
  const __m128i g = _mm_add_epi16(_mm_add_epi16(y, _mm_mulhi_epi16(u, _mm_set1_epi16(-1410))),
                                  _mm_mulhi_epi16(v, _mm_set1_epi16(-2925)));
  const __m128i r = _mm_add_epi16(y, _mm_mulhi_epi16(v, _mm_set1_epi16(5743)));
  PackChannelsSse2(b, g, r, y, first, second);
}

// A pair of 16-bit coefficients (low, high) in every 32-bit lane, for multiply-add.
inline __m128i CoefficientsSse2(int low, int high) {
  return _mm_set1_epi32(int(uint32_t(uint16_t(low)) | uint32_t(uint16_t(high)) << 16));
}

// Four Bgr24 pixels 0x00RRGGBB in 32-bit lanes -> four BgrLuma32 pixels.
inline __m128i FromBgrLanesSse2(__m128i bgr) {
  // (B, G) and (R, 0) as 16-bit pairs: each sum below is exact in 32 bits.
  const __m128i bg = _mm_or_si128(_mm_and_si128(bgr, _mm_set1_epi32(0xFF)),
                                  _mm_slli_epi32(_mm_and_si128(bgr, _mm_set1_epi32(0xFF00)), 8));
  const __m128i r = _mm_srli_epi32(bgr, 16);
  const __m128i y = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(bg, CoefficientsSse2(3735, 19235)),
                                                 _mm_madd_epi16(r, CoefficientsSse2(9798, 0))),
                                   15);
  return _mm_or_si128(bgr, _mm_slli_epi32(y, 24));
}

// Four 3-byte pixels starting at byte offsets o, o + 3, o + 6, o + 9 of v -> 32-bit lanes with a
// zero top byte. SSE2 has no byte shuffle; whole-register byte shifts do the gathering.
template <int kOffset>
inline __m128i GatherBgrSse2(__m128i v) {
  const __m128i p0 = _mm_srli_si128(v, kOffset);
  const __m128i p1 = _mm_srli_si128(v, kOffset + 3);
  const __m128i p2 = _mm_srli_si128(v, kOffset + 6);
  const __m128i p3 = _mm_srli_si128(v, kOffset + 9);
  const __m128i all = _mm_unpacklo_epi64(_mm_unpacklo_epi32(p0, p1), _mm_unpacklo_epi32(p2, p3));
  return _mm_and_si128(all, _mm_set1_epi32(0x00FFFFFF));
}

// Eight Bgr24 pixels (24 bytes, read as bytes 0..15 and 8..23) -> BgrLuma32 pixels 0..3 in
// `first` and 4..7 in `second`.
inline void Bgr24ToPixelsSse2(const uint8_t* src, __m128i* first, __m128i* second) {
  const __m128i front = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
  const __m128i back = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8));
  *first = FromBgrLanesSse2(GatherBgrSse2<0>(front));
  *second = FromBgrLanesSse2(GatherBgrSse2<4>(back));
}

}  // namespace
}  // namespace vle
