// AVX2 draw rows for code 0: the SSE2 arithmetic on 256-bit vectors. In-lane packs leave 64-bit
// quarters in the order 0 2 1 3, which one vpermq restores. Bodies handle 16 (Yuy2) or 32 (Bgr24)
// pixels; the rest of a row goes to the _C routine. Compiled with -mavx2: no shared inline helpers
// here. Builds whose compiler does not target AVX2 for this file get no table.
#include "frame/draw_rows.h"

#if defined(__AVX2__)

#include <immintrin.h>

namespace vle {
namespace {

inline __m256i Load(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
inline void Store(void* p, __m256i v) { _mm256_storeu_si256(static_cast<__m256i*>(p), v); }
inline __m256i Quarters0213(__m256i v) {
  return _mm256_permute4x64_epi64(v, _MM_SHUFFLE(3, 1, 2, 0));
}

inline __m256i Lumas(__m256i px) {
  const __m256i br = _mm256_and_si256(px, _mm256_set1_epi32(0x00FF00FF));
  const __m256i gx = _mm256_srli_epi16(px, 8);
  const __m256i sum = _mm256_add_epi32(_mm256_madd_epi16(br, _mm256_set1_epi32(3735 | 9798 << 16)),
                                       _mm256_madd_epi16(gx, _mm256_set1_epi32(19235)));
  return _mm256_srai_epi32(sum, 15);
}

inline __m256i EvenChroma(__m256i px) {
  const __m256i even = _mm256_shuffle_epi32(px, _MM_SHUFFLE(2, 2, 0, 0));
  const __m256i br = _mm256_and_si256(even, _mm256_set1_epi32(0x00FF00FF));
  const __m256i gx = _mm256_srli_epi16(even, 8);
  const __m256i wbr = _mm256_setr_epi16(16384, -5529, -2664, 16384, 16384, -5529, -2664, 16384,
                                        16384, -5529, -2664, 16384, 16384, -5529, -2664, 16384);
  const __m256i wgx = _mm256_setr_epi16(-10855, 0, -13720, 0, -10855, 0, -13720, 0, -10855, 0,
                                        -13720, 0, -10855, 0, -13720, 0);
  const __m256i sum = _mm256_add_epi32(_mm256_madd_epi16(br, wbr), _mm256_madd_epi16(gx, wgx));
  return _mm256_add_epi32(_mm256_srai_epi32(sum, 15), _mm256_set1_epi32(128));
}

inline __m256i PairWords(__m256i px, __m256i lumas) {
  return _mm256_or_si256(lumas, _mm256_slli_epi32(EvenChroma(px), 16));
}

// Eight pixel words to three bytes each: per 128-bit lane the twelve bytes land in dwords 0..2.
inline __m256i PackBgrLanes(__m256i px) {
  const __m256i pick = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0,
                                        1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  return _mm256_shuffle_epi8(px, pick);
}

// Four lane-packed blocks (24 valid bytes each, in dwords 0 1 2 4 5 6) joined into 96 bytes.
inline void JoinBgr(const __m256i r[4], __m256i out[3]) {
  const __m256i i0 = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 0, 1);
  const __m256i i1 = _mm256_setr_epi32(2, 4, 5, 6, 0, 1, 2, 4);
  const __m256i i2 = _mm256_setr_epi32(5, 6, 0, 1, 2, 4, 5, 6);
  out[0] = _mm256_blend_epi32(_mm256_permutevar8x32_epi32(r[0], i0),
                              _mm256_permutevar8x32_epi32(r[1], i0), 0xC0);
  out[1] = _mm256_blend_epi32(_mm256_permutevar8x32_epi32(r[1], i1),
                              _mm256_permutevar8x32_epi32(r[2], i1), 0xF0);
  out[2] = _mm256_blend_epi32(_mm256_permutevar8x32_epi32(r[2], i2),
                              _mm256_permutevar8x32_epi32(r[3], i2), 0xFC);
}

void Bgr32ToYuy2Row_Any_AVX2(const uint32_t* src, uint8_t* dst, int count, int o) {
  const int whole = count & ~15;
  for (int i = 0; i < whole; i += 16) {
    const __m256i a = Load(src + i);
    const __m256i b = Load(src + i + 8);
    Store(dst + 2 * i,
          Quarters0213(_mm256_packus_epi16(PairWords(a, Lumas(a)), PairWords(b, Lumas(b)))));
  }
  if (whole < count) Bgr32ToYuy2Row_C(src + whole, dst + 2 * whole, count - whole, o);
}

void Bgr32ToBgr24Row_Any_AVX2(const uint32_t* src, uint8_t* dst, int count, int o) {
  const int whole = count & ~31;
  for (int i = 0; i < whole; i += 32) {
    __m256i r[4], out[3];
    for (int k = 0; k < 4; ++k) r[k] = PackBgrLanes(Load(src + i + 8 * k));
    JoinBgr(r, out);
    uint8_t* d = dst + 3 * i;
    for (int k = 0; k < 3; ++k) Store(d + 32 * k, out[k]);
  }
  if (whole < count) Bgr32ToBgr24Row_C(src + whole, dst + 3 * whole, count - whole, o);
}

constexpr DrawRows kRowsAvx2{
    Bgr32ToYuy2Row_Any_AVX2,
    SplitStartRow<Bgr32ToYuy2SplitRow_C, Bgr32ToYuy2Row_Any_AVX2>,
    Bgr32ToBgr24Row_Any_AVX2,
};

}  // namespace

const DrawRows* DrawRowsAvx2() { return &kRowsAvx2; }

}  // namespace vle

#else

namespace vle {
const DrawRows* DrawRowsAvx2() { return nullptr; }
}  // namespace vle

#endif
