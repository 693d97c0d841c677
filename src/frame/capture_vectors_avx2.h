// Host frame pixels to BgrLuma32 pixels in AVX2 registers, for the AVX2 capture rows. Bit-exact
// with the import rows of code 3 (import_rows.h), the definition.
//
// Include only from files compiled for AVX2. Everything here has internal linkage, so each such
// file keeps its own copy: a shared inline copy could be picked by the linker for code that runs
// on processors without AVX2.
#pragma once

#include <immintrin.h>

#include <cstdint>


namespace vle {
namespace {

// Four channel vectors of 16-bit lanes -> picture pixels with the channels in bytes 0, 1, 2, 3.
// Yuy2ChannelsAvx2 leaves pixels 0..3 and 8..11 in the low half and 4..7 and 12..15 in the high
// half, so the in-half packs and unpacks below give pixels 0..7 in `first` and 8..15 in `second`
// with no cross-half permute. Out-of-range channel values saturate to 0 / 255: the scalar clamp.
inline void PackChannelsAvx2(__m256i c0, __m256i c1, __m256i c2, __m256i c3, __m256i* first,
                             __m256i* second) {
  const __m256i c02 = _mm256_packus_epi16(c0, c2);
  const __m256i c13 = _mm256_packus_epi16(c1, c3);
  const __m256i low = _mm256_unpacklo_epi8(c02, c13);   // c0 c1 per pixel
  const __m256i high = _mm256_unpackhi_epi8(c02, c13);  // c2 c3 per pixel
  *first = _mm256_unpacklo_epi16(low, high);
  *second = _mm256_unpackhi_epi16(low, high);
}

// Byte shuffles that copy the low (DupLow) or high (DupHigh) 16 bits of every 32-bit lane into
// both of its halves: per-pair values to per-pixel values.
inline __m256i DupLowAvx2() {
  return _mm256_setr_epi8(0, 1, 0, 1, 4, 5, 4, 5, 8, 9, 8, 9, 12, 13, 12, 13,  //
                          0, 1, 0, 1, 4, 5, 4, 5, 8, 9, 8, 9, 12, 13, 12, 13);
}
inline __m256i DupHighAvx2() {
  return _mm256_setr_epi8(2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15,  //
                          2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15);
}

// A pair of 16-bit coefficients (low, high) in every 32-bit lane.
inline __m256i CoefficientsAvx2(int low, int high) {
  return _mm256_set1_epi32(int(uint32_t(uint16_t(low)) | uint32_t(uint16_t(high)) << 16));
}

// Sixteen Yuy2 pixels (32 bytes, starting at a pair) as loaded for the conversion below: the
// middle quadwords swapped, so that the low half holds pixels 0..3 and 8..11 and the high half
// 4..7 and 12..15.
inline __m256i LoadYuy2PairsAvx2(const uint8_t* src) {
  return _mm256_permute4x64_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src)),
                                  _MM_SHUFFLE(3, 1, 2, 0));
}

// Sixteen Yuy2 pixels as LoadYuy2PairsAvx2 left them -> sixteen BgrLuma32 pixels:
// pixels 0..7 in `first`, 8..15 in `second`. The chroma terms are formed once per pair: (Cb, Cr)
// sit in one 32-bit lane, so one multiply-high gives the B and R terms and another the two G
// terms, which a multiply-add by 1 sums after their separate floors.
inline void Yuy2PairsToPixelsAvx2(__m256i pairs, __m256i* first, __m256i* second) {
  const __m256i y = _mm256_and_si256(pairs, _mm256_set1_epi16(0x00FF));
  const __m256i chroma = _mm256_srli_epi16(pairs, 8);  // Cb Cr of each pair
  // (c - 128) * 16: the high half of its product with a 4096-scaled constant is
  // floor(constant * (c - 128) / 4096).
  const __m256i uv = _mm256_slli_epi16(_mm256_sub_epi16(chroma, _mm256_set1_epi16(128)), 4);
  const __m256i br = _mm256_mulhi_epi16(uv, CoefficientsAvx2(7258, 5743));
  const __m256i g = _mm256_madd_epi16(_mm256_mulhi_epi16(uv, CoefficientsAvx2(-1410, -2925)),
                                      _mm256_set1_epi16(1));
  const __m256i b = _mm256_add_epi16(y, _mm256_shuffle_epi8(br, DupLowAvx2()));
  const __m256i r = _mm256_add_epi16(y, _mm256_shuffle_epi8(br, DupHighAvx2()));
  const __m256i gy = _mm256_add_epi16(y, _mm256_shuffle_epi8(g, DupLowAvx2()));
  PackChannelsAvx2(b, gy, r, y, first, second);
}

// Eight Bgr24 pixels (24 bytes) as three byte gathers: 0x00RRGGBB per 32-bit lane (the colour
// bytes BgrLuma32 copies), (B, G) as 16-bit pairs and (R, 0): the two multiply-add operands of
// the 32768-scaled sums. The low half comes from bytes 0..15 (pixels 0..3 at 0, 3, 6, 9), the
// high half from bytes 8..23 (pixels 4..7 at offsets 4, 7, 10, 13), so nothing past the 24 bytes
// is read.
struct BgrLanesAvx2 {
  __m256i bgr, bg, r;
};

inline BgrLanesAvx2 LoadBgr8Avx2(const uint8_t* src) {
  const __m256i bytes = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8)), 1);
  const __m256i bgr = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                                       4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1);
  const __m256i bg = _mm256_setr_epi8(0, -1, 1, -1, 3, -1, 4, -1, 6, -1, 7, -1, 9, -1, 10, -1,  //
                                      4, -1, 5, -1, 7, -1, 8, -1, 10, -1, 11, -1, 13, -1, 14, -1);
  const __m256i r =
      _mm256_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1,  //
                       6, -1, -1, -1, 9, -1, -1, -1, 12, -1, -1, -1, 15, -1, -1, -1);
  return BgrLanesAvx2{_mm256_shuffle_epi8(bytes, bgr), _mm256_shuffle_epi8(bytes, bg),
                      _mm256_shuffle_epi8(bytes, r)};
}

// floor((low * B + high * G + red * R) / 32768), exact in 32 bits.
inline __m256i WeightedSumAvx2(const BgrLanesAvx2& p, int low, int high, int red) {
  return _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(p.bg, CoefficientsAvx2(low, high)),
                                            _mm256_madd_epi16(p.r, CoefficientsAvx2(red, 0))),
                           15);
}

// The luma of eight Bgr24 pixels as LoadBgr8Avx2 gathered them, one per 32-bit lane.
inline __m256i Bgr24LumasAvx2(const BgrLanesAvx2& p) {
  return WeightedSumAvx2(p, 3735, 19235, 9798);
}

// Eight Bgr24 pixels as LoadBgr8Avx2 gathered them -> eight BgrLuma32 pixels.
inline __m256i Bgr24LanesToPixelsAvx2(const BgrLanesAvx2& p) {
  return _mm256_or_si256(p.bgr, _mm256_slli_epi32(Bgr24LumasAvx2(p), 24));
}

}  // namespace
}  // namespace vle
