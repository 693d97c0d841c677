// AVX2 row conversions: 16 pixels per step, the arithmetic of the SSE2 variants in 256-bit
// registers. Built only where the compiler targets AVX2 for this file (not in the 32-bit
// plug-in); otherwise the table is absent and dispatch stops at SSE2.
#include "frame/import_rows.h"

#if defined(__AVX2__)

#include <immintrin.h>

namespace vle {
namespace {

// Channel vectors of 16 16-bit lanes (pixels 0..7 in the low half, 8..15 in the high half) ->
// 16 pixels with the channels in bytes 0..3. The packs and unpacks work within 128-bit halves;
// the two cross-half permutes put the pixels back in order.
inline void StoreChannels(uint32_t* dst, __m256i c0, __m256i c1, __m256i c2, __m256i c3) {
  const __m256i c02 = _mm256_packus_epi16(c0, c2);
  const __m256i c13 = _mm256_packus_epi16(c1, c3);
  const __m256i low = _mm256_unpacklo_epi8(c02, c13);
  const __m256i high = _mm256_unpackhi_epi8(c02, c13);
  const __m256i first = _mm256_unpacklo_epi16(low, high);   // pixels 0..3, 8..11
  const __m256i second = _mm256_unpackhi_epi16(low, high);  // pixels 4..7, 12..15
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), _mm256_permute2x128_si256(first, second, 0x20));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 8),
                      _mm256_permute2x128_si256(first, second, 0x31));
}

// count is a multiple of 16 and the row starts at a pair.
template <int32_t kCode>
void Yuy2ToImageRow_AVX2(const uint8_t* src, uint32_t* dst, int count) {
  const __m256i lowBytes = _mm256_set1_epi16(0x00FF);
  const __m256i bias = _mm256_set1_epi16(128);
  const __m256i opaque = _mm256_set1_epi16(255);
  for (int i = 0; i < count; i += 16, src += 32, dst += 16) {
    const __m256i pairs = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src));
    const __m256i y = _mm256_and_si256(pairs, lowBytes);
    const __m256i chroma = _mm256_srli_epi16(pairs, 8);
    const __m256i cb = _mm256_shufflehi_epi16(
        _mm256_shufflelo_epi16(chroma, _MM_SHUFFLE(2, 2, 0, 0)), _MM_SHUFFLE(2, 2, 0, 0));
    const __m256i cr = _mm256_shufflehi_epi16(
        _mm256_shufflelo_epi16(chroma, _MM_SHUFFLE(3, 3, 1, 1)), _MM_SHUFFLE(3, 3, 1, 1));
    if constexpr (kCode == kYuvLuma32) {
      StoreChannels(dst, y, cb, y, cr);
    } else if constexpr (kCode == kYuvAlpha32) {
      StoreChannels(dst, y, cb, opaque, cr);
    } else {
      const __m256i u = _mm256_slli_epi16(_mm256_sub_epi16(cb, bias), 4);
      const __m256i v = _mm256_slli_epi16(_mm256_sub_epi16(cr, bias), 4);
      const __m256i b = _mm256_add_epi16(y, _mm256_mulhi_epi16(u, _mm256_set1_epi16(7258)));
      const __m256i g =
          _mm256_add_epi16(_mm256_add_epi16(y, _mm256_mulhi_epi16(u, _mm256_set1_epi16(-1410))),
                           _mm256_mulhi_epi16(v, _mm256_set1_epi16(-2925)));
      const __m256i r = _mm256_add_epi16(y, _mm256_mulhi_epi16(v, _mm256_set1_epi16(5743)));
      StoreChannels(dst, b, g, r, kCode == kBgrLuma32 ? y : opaque);
    }
  }
}

template <int32_t kCode>
void Yuy2ToImageRow_Any_AVX2(const uint8_t* src, uint32_t* dst, int count) {
  const int whole = count & ~15;
  if (whole > 0) Yuy2ToImageRow_AVX2<kCode>(src, dst, whole);
  if (count > whole) Yuy2ToImageRow_C<kCode>(src + 2 * whole, dst + whole, count - whole);
}

template <int32_t kCode>
void Yuy2ToImageRowSplit_AVX2(const uint8_t* src, uint32_t* dst, int count) {
  if (count <= 0) return;
  Yuy2ToImageRowSplit_C<kCode>(src, dst, 1);
  Yuy2ToImageRow_Any_AVX2<kCode>(src + 4, dst + 1, count - 1);
}

inline __m256i Coefficients(int low, int high) {
  return _mm256_set1_epi32(int(uint32_t(uint16_t(low)) | uint32_t(uint16_t(high)) << 16));
}

// Eight Bgr24 pixels 0x00RRGGBB in 32-bit lanes -> eight picture pixels of layout kCode.
template <int32_t kCode>
inline __m256i FromBgrLanes(__m256i bgr) {
  if constexpr (kCode == kBgrAlpha32) {
    return _mm256_or_si256(bgr, _mm256_set1_epi32(int(0xFF000000u)));
  } else {
    const __m256i bg =
        _mm256_or_si256(_mm256_and_si256(bgr, _mm256_set1_epi32(0xFF)),
                        _mm256_slli_epi32(_mm256_and_si256(bgr, _mm256_set1_epi32(0xFF00)), 8));
    const __m256i r = _mm256_srli_epi32(bgr, 16);
    const __m256i y = _mm256_srai_epi32(
        _mm256_add_epi32(_mm256_madd_epi16(bg, Coefficients(3735, 19235)),
                         _mm256_madd_epi16(r, Coefficients(9798, 0))),
        15);
    if constexpr (kCode == kBgrLuma32) {
      return _mm256_or_si256(bgr, _mm256_slli_epi32(y, 24));
    } else {
      const __m256i bias = _mm256_set1_epi32(128);
      const __m256i cb = _mm256_add_epi32(
          _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(bg, Coefficients(16384, -10855)),
                                             _mm256_madd_epi16(r, Coefficients(-5529, 0))),
                            15),
          bias);
      const __m256i cr = _mm256_add_epi32(
          _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(bg, Coefficients(-2664, -13720)),
                                             _mm256_madd_epi16(r, Coefficients(16384, 0))),
                            15),
          bias);
      const __m256i mid =
          kCode == kYuvLuma32 ? _mm256_slli_epi32(y, 16) : _mm256_set1_epi32(0xFF0000);
      return _mm256_or_si256(_mm256_or_si256(y, _mm256_slli_epi32(cb, 8)),
                             _mm256_or_si256(mid, _mm256_slli_epi32(cr, 24)));
    }
  }
}

// Eight 3-byte pixels (24 bytes) -> 32-bit lanes with a zero top byte. The low half comes from
// bytes 0..15 (pixels 0..3 at 0, 3, 6, 9), the high half from bytes 8..23 (pixels 4..7 at
// offsets 4, 7, 10, 13), so nothing past the 24 bytes is read.
inline __m256i LoadBgr8(const uint8_t* src) {
  const __m256i bytes = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8)), 1);
  const __m256i gather = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                                          4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1);
  return _mm256_shuffle_epi8(bytes, gather);
}

// count is a multiple of 16.
template <int32_t kCode>
void Bgr24ToImageRow_AVX2(const uint8_t* src, uint32_t* dst, int count) {
  for (int i = 0; i < count; i += 16, src += 48, dst += 16) {
    const __m256i first = FromBgrLanes<kCode>(LoadBgr8(src));
    const __m256i second = FromBgrLanes<kCode>(LoadBgr8(src + 24));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), first);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 8), second);
  }
}

template <int32_t kCode>
void Bgr24ToImageRow_Any_AVX2(const uint8_t* src, uint32_t* dst, int count) {
  const int whole = count & ~15;
  if (whole > 0) Bgr24ToImageRow_AVX2<kCode>(src, dst, whole);
  if (count > whole) Bgr24ToImageRow_C<kCode>(src + 3 * whole, dst + whole, count - whole);
}

template <int32_t kCode>
constexpr ImportRows kYuy2Avx2{Yuy2ToImageRow_Any_AVX2<kCode>, Yuy2ToImageRowSplit_AVX2<kCode>};
template <int32_t kCode>
constexpr ImportRows kBgr24Avx2{Bgr24ToImageRow_Any_AVX2<kCode>, nullptr};

constexpr ImportRowSet kRowsAvx2{
    {kYuy2Avx2<kBgrLuma32>, kYuy2Avx2<kBgrAlpha32>, kYuy2Avx2<kYuvAlpha32>, kYuy2Avx2<kYuvLuma32>},
    {kBgr24Avx2<kBgrLuma32>, kBgr24Avx2<kBgrAlpha32>, kBgr24Avx2<kYuvAlpha32>,
     kBgr24Avx2<kYuvLuma32>},
};

}  // namespace

const ImportRowSet* ImportRowsAvx2() { return &kRowsAvx2; }

}  // namespace vle

#else

namespace vle {
const ImportRowSet* ImportRowsAvx2() { return nullptr; }
}  // namespace vle

#endif
