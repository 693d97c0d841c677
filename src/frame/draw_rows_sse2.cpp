// SSE2 draw rows for code 0. Bodies handle whole blocks of 8 (Yuy2) or 16 (Bgr24) pixels; the rest
// of a row goes to the _C routine, which starts on a pair boundary, so nothing past the row is
// touched.
// Keep this file free of shared inline helpers: it is compiled with -msse2 and a copy of such a
// helper could be chosen by the linker for code that runs on processors without SSE2.
#include <emmintrin.h>

#include "frame/draw_rows.h"

namespace vle {
namespace {

// RgbToYcbcr with pmaddwd: each pixel word split into (B, R) and (G, x) 16-bit pairs, the
// weights of a sum laid out in the same pairs; the 32-bit sums floor-shift by 15.
inline __m128i Lumas(__m128i px) {
  const __m128i br = _mm_and_si128(px, _mm_set1_epi32(0x00FF00FF));
  const __m128i gx = _mm_srli_epi16(px, 8);
  const __m128i sum = _mm_add_epi32(_mm_madd_epi16(br, _mm_set1_epi32(3735 | 9798 << 16)),
                                    _mm_madd_epi16(gx, _mm_set1_epi32(19235)));
  return _mm_srai_epi32(sum, 15);
}

// Cb of pixel 0, Cr of pixel 0, Cb of pixel 2, Cr of pixel 2 (the chroma of two Yuy2 pairs).
inline __m128i EvenChroma(__m128i px) {
  const __m128i even = _mm_shuffle_epi32(px, _MM_SHUFFLE(2, 2, 0, 0));
  const __m128i br = _mm_and_si128(even, _mm_set1_epi32(0x00FF00FF));
  const __m128i gx = _mm_srli_epi16(even, 8);
  const __m128i wbr = _mm_setr_epi16(16384, -5529, -2664, 16384, 16384, -5529, -2664, 16384);
  const __m128i wgx = _mm_setr_epi16(-10855, 0, -13720, 0, -10855, 0, -13720, 0);
  const __m128i sum = _mm_add_epi32(_mm_madd_epi16(br, wbr), _mm_madd_epi16(gx, wgx));
  return _mm_add_epi32(_mm_srai_epi32(sum, 15), _mm_set1_epi32(128));
}

// Four pixels as the 16-bit words Y0 Cb0 Y1 Cr0 Y2 Cb2 Y3 Cr2, given their lumas as dwords.
inline __m128i PairWords(__m128i px, __m128i lumas) {
  return _mm_or_si128(lumas, _mm_slli_epi32(EvenChroma(px), 16));
}

inline __m128i Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void Store(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }

// Four pixel words to their first three bytes each, in bytes 0..11; bytes 12..15 zero.
inline __m128i PackBgr(__m128i px) {
  const __m128i low = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
  const __m128i high = _mm_set_epi32(0x00FFFFFF, 0, 0x00FFFFFF, 0);
  const __m128i six =
      _mm_or_si128(_mm_and_si128(px, low), _mm_srli_epi64(_mm_and_si128(px, high), 8));
  return _mm_or_si128(_mm_move_epi64(six), _mm_slli_si128(_mm_srli_si128(six, 8), 6));
}

// Sixteen pixels' packed 12-byte groups as three 16-byte blocks.
inline void JoinBgr(__m128i q0, __m128i q1, __m128i q2, __m128i q3, __m128i out[3]) {
  out[0] = _mm_or_si128(q0, _mm_slli_si128(q1, 12));
  out[1] = _mm_or_si128(_mm_srli_si128(q1, 4), _mm_slli_si128(q2, 8));
  out[2] = _mm_or_si128(_mm_srli_si128(q2, 8), _mm_slli_si128(q3, 4));
}

void Bgr32ToYuy2Row_Any_SSE2(const uint32_t* src, uint8_t* dst, int count, int o) {
  const int whole = count & ~7;
  for (int i = 0; i < whole; i += 8) {
    const __m128i a = Load(src + i);
    const __m128i b = Load(src + i + 4);
    Store(dst + 2 * i, _mm_packus_epi16(PairWords(a, Lumas(a)), PairWords(b, Lumas(b))));
  }
  if (whole < count) Bgr32ToYuy2Row_C(src + whole, dst + 2 * whole, count - whole, o);
}

void Bgr32ToBgr24Row_Any_SSE2(const uint32_t* src, uint8_t* dst, int count, int o) {
  const int whole = count & ~15;
  for (int i = 0; i < whole; i += 16) {
    __m128i out[3];
    JoinBgr(PackBgr(Load(src + i)), PackBgr(Load(src + i + 4)), PackBgr(Load(src + i + 8)),
            PackBgr(Load(src + i + 12)), out);
    uint8_t* d = dst + 3 * i;
    Store(d, out[0]);
    Store(d + 16, out[1]);
    Store(d + 32, out[2]);
  }
  if (whole < count) Bgr32ToBgr24Row_C(src + whole, dst + 3 * whole, count - whole, o);
}

constexpr DrawRows kRowsSse2{
    Bgr32ToYuy2Row_Any_SSE2,
    SplitStartRow<Bgr32ToYuy2SplitRow_C, Bgr32ToYuy2Row_Any_SSE2>,
    Bgr32ToBgr24Row_Any_SSE2,
};

}  // namespace

const DrawRows* DrawRowsSse2() { return &kRowsSse2; }

}  // namespace vle
