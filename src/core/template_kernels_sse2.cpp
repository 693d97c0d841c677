// SSE2 template rows: 8 pixels per step in 32-bit lanes. The luma difference and both compares
// are full 32-bit signed operations, so every int32 threshold and black level gives exactly the
// scalar result without clamping. A step stores only when one of its pixels changes. Remainders go
// to the scalar routines.
#include <emmintrin.h>

#include "core/template_rows.h"

namespace vle {
namespace {

inline __m128i Load(const uint32_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store(uint32_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// where ? a : b, per 32-bit lane of an all-ones / all-zeros mask.
inline __m128i Select(__m128i where, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(where, a), _mm_andnot_si128(where, b));
}

void BuildTemplateRow_Any_SSE2(const uint32_t* max, const uint32_t* min, uint32_t* out, int count,
                           const TemplateParams& params) {
  const __m128i key = _mm_set1_epi32(int32_t(params.keyPixel));
  const __m128i threshold = _mm_set1_epi32(params.threshold);
  const __m128i black = _mm_set1_epi32(params.blackLevel);
  const __m128i inverse = _mm_set1_epi32(int32_t(params.inverseMask));
  auto pixels = [&](const uint32_t* mx, const uint32_t* mn) {
    const __m128i lo = Load(mn);
    const __m128i maxY = _mm_srli_epi32(Load(mx), 24);
    const __m128i minY = _mm_srli_epi32(lo, 24);
    const __m128i varying = _mm_cmpgt_epi32(_mm_sub_epi32(maxY, minY), threshold);
    const __m128i dark = _mm_cmpgt_epi32(black, minY);
    const __m128i selected = _mm_xor_si128(_mm_or_si128(varying, dark), inverse);
    return Select(selected, key, lo);
  };
  const int whole = count & ~7;
  for (int i = 0; i < whole; i += 8) {
    const __m128i a = pixels(max + i, min + i);
    const __m128i b = pixels(max + i + 4, min + i + 4);
    const __m128i same = _mm_and_si128(_mm_cmpeq_epi32(a, Load(out + i)),
                                       _mm_cmpeq_epi32(b, Load(out + i + 4)));
    if (_mm_movemask_epi8(same) != 0xFFFF) {
      Store(out + i, a);
      Store(out + i + 4, b);
    }
  }
  if (count > whole) {
    BuildTemplateRow_C(max + whole, min + whole, out + whole, count - whole, params);
  }
}

constexpr KernelRows kRowsSse2{BuildTemplateRow_Any_SSE2};

}  // namespace

const KernelRows* KernelRowsSse2() { return &kRowsSse2; }

}  // namespace vle
