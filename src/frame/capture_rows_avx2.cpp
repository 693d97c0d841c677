// AVX2 capture rows: 16 pixels per step, converted by the import's AVX2 arithmetic and folded in
// 256-bit registers. Remainders go to the scalar composition. Built only where the compiler targets
// AVX2 for this file (not in the 32-bit plug-in).
#include "frame/capture_rows.h"

#if defined(__AVX2__)

#include "frame/import_vectors_avx2.h"

namespace vle {
namespace {

inline __m256i Load(const uint32_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
inline void Store(uint32_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
inline bool Any(__m256i mask) { return !_mm256_testz_si256(mask, mask); }

struct TemplateVectors {
  explicit TemplateVectors(const TemplateParams* p)
      : key(_mm256_set1_epi32(p ? int32_t(p->keyPixel) : 0)),
        threshold(_mm256_set1_epi32(p ? p->threshold : 0)),
        black(_mm256_set1_epi32(p ? p->blackLevel : 0)),
        inverse(_mm256_set1_epi32(p ? int32_t(p->inverseMask) : 0)) {}
  __m256i key, threshold, black, inverse;
};

// Eight captured pixels against the accumulators: where each one changes, and the template
// pixels that result. The new lumas are the larger and the smaller of the old one and the
// capture's, so the template needs no second shift.
struct Folded {
  __m256i mx, mn, up, down, pixels;
};

template <bool kTemplate>
inline Folded Fold(__m256i capture, const uint32_t* max, const uint32_t* min,
                   const TemplateVectors& t) {
  Folded f;
  const __m256i luma = _mm256_srli_epi32(capture, 24);
  f.mx = Load(max);
  f.mn = Load(min);
  const __m256i maxY = _mm256_srli_epi32(f.mx, 24), minY = _mm256_srli_epi32(f.mn, 24);
  f.up = _mm256_cmpgt_epi32(luma, maxY);
  f.down = _mm256_cmpgt_epi32(minY, luma);
  f.mn = _mm256_blendv_epi8(f.mn, capture, f.down);
  f.mx = _mm256_blendv_epi8(f.mx, capture, f.up);
  if constexpr (kTemplate) {
    const __m256i newMinY = _mm256_min_epi32(luma, minY);
    const __m256i swing = _mm256_sub_epi32(_mm256_max_epi32(luma, maxY), newMinY);
    const __m256i varying = _mm256_cmpgt_epi32(swing, t.threshold);
    const __m256i dark = _mm256_cmpgt_epi32(t.black, newMinY);
    const __m256i selected = _mm256_xor_si256(_mm256_or_si256(varying, dark), t.inverse);
    f.pixels = _mm256_blendv_epi8(f.mn, t.key, selected);
  }
  return f;
}

// Sixteen pixels per step. One test per step decides whether anything is stored: in a long
// capture almost no step changes anything, and a step that does stores all of its vectors.
template <bool kTemplate, void (*kConvert16)(const uint8_t*, __m256i*, __m256i*),
          int kBytesPerPixel>
void CaptureBody(const uint8_t* src, uint32_t* max, uint32_t* min, uint32_t* out, int count,
                 const TemplateParams* params) {
  const TemplateVectors t(params);
  for (int i = 0; i < count; i += 16) {
    __m256i first, second;
    kConvert16(src + kBytesPerPixel * i, &first, &second);
    const Folded a = Fold<kTemplate>(first, max + i, min + i, t);
    const Folded b = Fold<kTemplate>(second, max + i + 8, min + i + 8, t);
    __m256i changed = _mm256_or_si256(_mm256_or_si256(a.up, b.up), _mm256_or_si256(a.down, b.down));
    if constexpr (kTemplate) {
      changed = _mm256_or_si256(changed, _mm256_or_si256(_mm256_xor_si256(a.pixels, Load(out + i)),
                                                         _mm256_xor_si256(b.pixels, Load(out + i + 8))));
    }
    if (Any(changed)) {
      Store(max + i, a.mx);
      Store(max + i + 8, b.mx);
      Store(min + i, a.mn);
      Store(min + i + 8, b.mn);
      if constexpr (kTemplate) {
        Store(out + i, a.pixels);
        Store(out + i + 8, b.pixels);
      }
    }
  }
}

void Yuy2ToPixels16(const uint8_t* src, __m256i* first, __m256i* second) {
  Yuy2ToPixelsAvx2<kBgrLuma32>(src, first, second);
}
void Bgr24ToPixels16(const uint8_t* src, __m256i* first, __m256i* second) {
  *first = Bgr24ToPixelsAvx2<kBgrLuma32>(src);
  *second = Bgr24ToPixelsAvx2<kBgrLuma32>(src + 24);
}

template <void (*kConvert16)(const uint8_t*, __m256i*, __m256i*), int kBytesPerPixel,
          CaptureRowFn kScalar>
void CaptureRow_AVX2(const uint8_t* src, uint32_t* max, uint32_t* min, uint32_t* out, int count,
                     const TemplateParams* params) {
  const int whole = count & ~15;
  if (whole > 0) {
    if (params != nullptr) {
      CaptureBody<true, kConvert16, kBytesPerPixel>(src, max, min, out, whole, params);
    } else {
      CaptureBody<false, kConvert16, kBytesPerPixel>(src, max, min, out, whole, params);
    }
  }
  if (count > whole) {
    kScalar(src + kBytesPerPixel * whole, max + whole, min + whole,
            params != nullptr ? out + whole : nullptr, count - whole, params);
  }
}

constexpr CaptureRowFn kYuy2Row = CaptureRow_AVX2<Yuy2ToPixels16, 2, CaptureYuy2Row_C>;

void CaptureYuy2SplitRow_AVX2(const uint8_t* src, uint32_t* max, uint32_t* min, uint32_t* out,
                              int count, const TemplateParams* params) {
  if (count <= 0) return;
  CaptureYuy2SplitRow_C(src, max, min, out, 1, params);
  kYuy2Row(src + 4, max + 1, min + 1, params != nullptr ? out + 1 : nullptr, count - 1, params);
}

constexpr CaptureRows kRowsAvx2{kYuy2Row, CaptureYuy2SplitRow_AVX2,
                                CaptureRow_AVX2<Bgr24ToPixels16, 3, CaptureBgr24Row_C>};

}  // namespace

const CaptureRows* CaptureRowsAvx2() { return &kRowsAvx2; }

}  // namespace vle

#else

namespace vle {
const CaptureRows* CaptureRowsAvx2() { return nullptr; }
}  // namespace vle

#endif
