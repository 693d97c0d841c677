// SSE2 row routines. Bodies handle whole blocks of 8 (Yuy2) or 16 (Bgr24) pixels; the rest of a
// row goes to the _C routine, which starts on a pair boundary, so nothing past the row is touched.
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

// The per-byte alpha of two pairs as words: the even pixel's for Y0, Cb, Cr, the odd one's for Y1.
inline __m128i PairAlphaWords(__m128i alphas) {
  return _mm_or_si128(alphas,
                      _mm_slli_epi32(_mm_shuffle_epi32(alphas, _MM_SHUFFLE(2, 2, 0, 0)), 16));
}

// The blend of eight 16-bit lanes. Scaling both factors by 16 makes pmulhw's floor(a * b / 65536)
// exactly floor(x * y / 256); (S - D) * 16 and 256 * 16 both fit the signed lanes.
inline __m128i BlendWords(__m128i s, __m128i alpha, __m128i d, __m128i opacity16) {
  const __m128i weight = _mm_add_epi16(alpha, _mm_srli_epi16(alpha, 7));
  const __m128i diff = _mm_slli_epi16(_mm_sub_epi16(s, d), 4);
  const __m128i t = _mm_mulhi_epi16(diff, _mm_slli_epi16(weight, 4));
  return _mm_add_epi16(d, _mm_mulhi_epi16(_mm_slli_epi16(t, 4), opacity16));
}

inline __m128i BlendBytes(__m128i s, __m128i alpha, __m128i d, __m128i opacity16) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = BlendWords(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(alpha, zero),
                                _mm_unpacklo_epi8(d, zero), opacity16);
  const __m128i hi = BlendWords(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(alpha, zero),
                                _mm_unpackhi_epi8(d, zero), opacity16);
  return _mm_packus_epi16(lo, hi);
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

// Each pixel's byte 3 copied into its bytes 0..2.
inline __m128i SpreadAlpha(__m128i px) {
  const __m128i a = _mm_srli_epi32(px, 24);
  return _mm_or_si128(_mm_or_si128(a, _mm_slli_epi32(a, 8)), _mm_slli_epi32(a, 16));
}

inline __m128i Opacity16(int scaledOpacity) {
  return _mm_set1_epi16(static_cast<short>(scaledOpacity << 4));
}

// Evens and odds of eight pixel words: (p0 p2 p4 p6), (p1 p3 p5 p7).
inline void SplitEvenOdd(const uint32_t* src, __m128i* even, __m128i* odd) {
  const __m128 a = _mm_castsi128_ps(Load(src));
  const __m128 b = _mm_castsi128_ps(Load(src + 4));
  *even = _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
  *odd = _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
}

}  // namespace

void Bgr32ToYuy2Row_SSE2(const uint32_t* src, uint8_t* dst, int count, int o) {
  const int whole = count & ~7;
  for (int i = 0; i < whole; i += 8) {
    const __m128i a = Load(src + i);
    const __m128i b = Load(src + i + 4);
    Store(dst + 2 * i, _mm_packus_epi16(PairWords(a, Lumas(a)), PairWords(b, Lumas(b))));
  }
  if (whole < count) Bgr32ToYuy2Row_C(src + whole, dst + 2 * whole, count - whole, o);
}

void BgrLuma32ToYuy2Row_SSE2(const uint32_t* src, uint8_t* dst, int count, int o) {
  const int whole = count & ~7;
  for (int i = 0; i < whole; i += 8) {
    const __m128i a = Load(src + i);
    const __m128i b = Load(src + i + 4);
    Store(dst + 2 * i, _mm_packus_epi16(PairWords(a, _mm_srli_epi32(a, 24)),
                                        PairWords(b, _mm_srli_epi32(b, 24))));
  }
  if (whole < count) BgrLuma32ToYuy2Row_C(src + whole, dst + 2 * whole, count - whole, o);
}

void BgrAlpha32ToYuy2Row_SSE2(const uint32_t* src, uint8_t* dst, int count, int o) {
  const __m128i opacity16 = Opacity16(o);
  const __m128i zero = _mm_setzero_si128();
  const int whole = count & ~7;
  for (int i = 0; i < whole; i += 8) {
    const __m128i a = Load(src + i);
    const __m128i b = Load(src + i + 4);
    const __m128i d = Load(dst + 2 * i);
    const __m128i lo = BlendWords(PairWords(a, Lumas(a)), PairAlphaWords(_mm_srli_epi32(a, 24)),
                                  _mm_unpacklo_epi8(d, zero), opacity16);
    const __m128i hi = BlendWords(PairWords(b, Lumas(b)), PairAlphaWords(_mm_srli_epi32(b, 24)),
                                  _mm_unpackhi_epi8(d, zero), opacity16);
    Store(dst + 2 * i, _mm_packus_epi16(lo, hi));
  }
  if (whole < count) BgrAlpha32ToYuy2Row_C(src + whole, dst + 2 * whole, count - whole, o);
}

void YuvAlpha32ToYuy2Row_SSE2(const uint32_t* src, uint8_t* dst, int count, int o) {
  const __m128i opacity16 = Opacity16(o);
  const __m128i byte0 = _mm_set1_epi32(0xFF);
  const int whole = count & ~7;
  for (int i = 0; i < whole; i += 8) {
    __m128i even, odd;
    SplitEvenOdd(src + i, &even, &odd);
    // Y Cb from the even pixel, Y from the odd one, Cr from the even one.
    const __m128i s =
        _mm_or_si128(_mm_and_si128(even, _mm_set1_epi32(static_cast<int>(0xFF00FFFFu))),
                     _mm_slli_epi32(_mm_and_si128(odd, byte0), 16));
    const __m128i ae = _mm_and_si128(_mm_srli_epi32(even, 16), byte0);
    const __m128i ao = _mm_and_si128(_mm_srli_epi32(odd, 16), byte0);
    const __m128i alpha =
        _mm_or_si128(_mm_or_si128(ae, _mm_slli_epi32(ae, 8)),
                     _mm_or_si128(_mm_slli_epi32(ao, 16), _mm_slli_epi32(ae, 24)));
    Store(dst + 2 * i, BlendBytes(s, alpha, Load(dst + 2 * i), opacity16));
  }
  if (whole < count) YuvAlpha32ToYuy2Row_C(src + whole, dst + 2 * whole, count - whole, o);
}

void YuvLuma32ToYuy2Row_SSE2(const uint32_t* src, uint8_t* dst, int count, int o) {
  const int whole = count & ~7;
  for (int i = 0; i < whole; i += 8) {
    __m128i even, odd;
    SplitEvenOdd(src + i, &even, &odd);
    Store(dst + 2 * i,
          _mm_or_si128(_mm_and_si128(even, _mm_set1_epi32(static_cast<int>(0xFF00FFFFu))),
                       _mm_and_si128(odd, _mm_set1_epi32(0x00FF0000))));
  }
  if (whole < count) YuvLuma32ToYuy2Row_C(src + whole, dst + 2 * whole, count - whole, o);
}

void Bgr32ToBgr24Row_SSE2(const uint32_t* src, uint8_t* dst, int count, int o) {
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

void BgrAlpha32ToBgr24Row_SSE2(const uint32_t* src, uint8_t* dst, int count, int o) {
  const __m128i opacity16 = Opacity16(o);
  const int whole = count & ~15;
  for (int i = 0; i < whole; i += 16) {
    const __m128i p0 = Load(src + i), p1 = Load(src + i + 4);
    const __m128i p2 = Load(src + i + 8), p3 = Load(src + i + 12);
    __m128i s[3], alpha[3];
    JoinBgr(PackBgr(p0), PackBgr(p1), PackBgr(p2), PackBgr(p3), s);
    JoinBgr(PackBgr(SpreadAlpha(p0)), PackBgr(SpreadAlpha(p1)), PackBgr(SpreadAlpha(p2)),
            PackBgr(SpreadAlpha(p3)), alpha);
    uint8_t* d = dst + 3 * i;
    for (int k = 0; k < 3; ++k)
      Store(d + 16 * k, BlendBytes(s[k], alpha[k], Load(d + 16 * k), opacity16));
  }
  if (whole < count) BgrAlpha32ToBgr24Row_C(src + whole, dst + 3 * whole, count - whole, o);
}

}  // namespace vle
