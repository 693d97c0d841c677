// AVX2 template rows: 16 pixels per step, the SSE2 arithmetic in 256-bit registers; a step stores
// only when one of its pixels changes. Built only where the compiler targets AVX2 for this file.
#include "core/template_rows.h"

#if defined(__AVX2__)

#include <immintrin.h>

namespace vle {
namespace {

inline __m256i Load(const uint32_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
inline void Store(uint32_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

void BuildTemplateRow_Any_AVX2(const uint32_t* max, const uint32_t* min, uint32_t* out, int count,
                           const TemplateParams& params) {
  const __m256i key = _mm256_set1_epi32(int32_t(params.keyPixel));
  const __m256i threshold = _mm256_set1_epi32(params.threshold);
  const __m256i black = _mm256_set1_epi32(params.blackLevel);
  const __m256i inverse = _mm256_set1_epi32(int32_t(params.inverseMask));
  auto pixels = [&](const uint32_t* mx, const uint32_t* mn) {
    const __m256i lo = Load(mn);
    const __m256i maxY = _mm256_srli_epi32(Load(mx), 24);
    const __m256i minY = _mm256_srli_epi32(lo, 24);
    const __m256i varying = _mm256_cmpgt_epi32(_mm256_sub_epi32(maxY, minY), threshold);
    const __m256i dark = _mm256_cmpgt_epi32(black, minY);
    const __m256i selected = _mm256_xor_si256(_mm256_or_si256(varying, dark), inverse);
    return _mm256_blendv_epi8(lo, key, selected);
  };
  const int whole = count & ~15;
  for (int i = 0; i < whole; i += 16) {
    const __m256i a = pixels(max + i, min + i);
    const __m256i b = pixels(max + i + 8, min + i + 8);
    const __m256i changed = _mm256_or_si256(_mm256_xor_si256(a, Load(out + i)),
                                            _mm256_xor_si256(b, Load(out + i + 8)));
    if (!_mm256_testz_si256(changed, changed)) {
      Store(out + i, a);
      Store(out + i + 8, b);
    }
  }
  if (count > whole) {
    BuildTemplateRow_C(max + whole, min + whole, out + whole, count - whole, params);
  }
}

constexpr KernelRows kRowsAvx2{BuildTemplateRow_Any_AVX2};

}  // namespace

const KernelRows* KernelRowsAvx2() { return &kRowsAvx2; }

}  // namespace vle

#else

namespace vle {
const KernelRows* KernelRowsAvx2() { return nullptr; }
}  // namespace vle

#endif
