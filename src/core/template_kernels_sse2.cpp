// SSE2 template rows: 8 pixels per step in 32-bit lanes. The luma difference and both compares
// are full 32-bit signed operations, so every int32 threshold and black level gives exactly the
// scalar result without clamping. Remainders go to the scalar routines.
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

// Lumas are 0..255 after the shift, so the signed compare is the unsigned one.
template <bool kKeepMax>
inline __m128i Accumulate(__m128i s, __m128i d) {
  const __m128i sy = _mm_srli_epi32(s, 24);
  const __m128i dy = _mm_srli_epi32(d, 24);
  return Select(kKeepMax ? _mm_cmpgt_epi32(sy, dy) : _mm_cmplt_epi32(sy, dy), s, d);
}

template <bool kKeepMax>
void AccumulateRow_SSE2(const uint32_t* src, uint32_t* dst, int count) {
  const int whole = count & ~7;
  for (int i = 0; i < whole; i += 8) {
    const __m128i a = Accumulate<kKeepMax>(Load(src + i), Load(dst + i));
    const __m128i b = Accumulate<kKeepMax>(Load(src + i + 4), Load(dst + i + 4));
    Store(dst + i, a);
    Store(dst + i + 4, b);
  }
  if (count > whole) {
    (kKeepMax ? AccumulateMaxRow_C : AccumulateMinRow_C)(src + whole, dst + whole, count - whole);
  }
}

void BuildTemplateRow_SSE2(const uint32_t* max, const uint32_t* min, uint32_t* out, int count,
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
    Store(out + i, a);
    Store(out + i + 4, b);
  }
  if (count > whole) {
    BuildTemplateRow_C(max + whole, min + whole, out + whole, count - whole, params);
  }
}

constexpr KernelRows kRowsSse2{AccumulateRow_SSE2<true>, AccumulateRow_SSE2<false>,
                               BuildTemplateRow_SSE2};

}  // namespace

const KernelRows* KernelRowsSse2() { return &kRowsSse2; }

}  // namespace vle
