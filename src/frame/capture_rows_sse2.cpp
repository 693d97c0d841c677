// SSE2 capture rows: 8 pixels per step, converted by the import's SSE2 arithmetic and folded in
// 128-bit registers. Remainders go to the scalar composition.
#include "frame/capture_rows.h"
#include "frame/import_vectors_sse2.h"

namespace vle {
namespace {

inline __m128i Load(const uint32_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store(uint32_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline bool Any(__m128i mask) { return _mm_movemask_epi8(mask) != 0; }

// where ? a : b, per 32-bit lane of an all-ones / all-zeros mask.
inline __m128i Select(__m128i where, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(where, a), _mm_andnot_si128(where, b));
}

struct TemplateVectors {
  explicit TemplateVectors(const TemplateParams* p)
      : key(_mm_set1_epi32(p ? int32_t(p->keyPixel) : 0)),
        threshold(_mm_set1_epi32(p ? p->threshold : 0)),
        black(_mm_set1_epi32(p ? p->blackLevel : 0)),
        inverse(_mm_set1_epi32(p ? int32_t(p->inverseMask) : 0)) {}
  __m128i key, threshold, black, inverse;
};

// Four captured pixels against the accumulators: where each one changes, and the template pixels
// that result. Lumas after the shift are 0..255 with a zero upper half, so the 16-bit max and min
// are the 32-bit ones.
struct Folded {
  __m128i mx, mn, up, down, pixels;
};

template <bool kTemplate>
inline Folded Fold(__m128i capture, const uint32_t* max, const uint32_t* min,
                   const TemplateVectors& t) {
  Folded f;
  const __m128i luma = _mm_srli_epi32(capture, 24);
  f.mx = Load(max);
  f.mn = Load(min);
  const __m128i maxY = _mm_srli_epi32(f.mx, 24), minY = _mm_srli_epi32(f.mn, 24);
  f.up = _mm_cmpgt_epi32(luma, maxY);
  f.down = _mm_cmpgt_epi32(minY, luma);
  f.mx = Select(f.up, capture, f.mx);
  f.mn = Select(f.down, capture, f.mn);
  if constexpr (kTemplate) {
    const __m128i newMinY = _mm_min_epi16(luma, minY);
    const __m128i swing = _mm_sub_epi32(_mm_max_epi16(luma, maxY), newMinY);
    const __m128i varying = _mm_cmpgt_epi32(swing, t.threshold);
    const __m128i dark = _mm_cmpgt_epi32(t.black, newMinY);
    const __m128i selected = _mm_xor_si128(_mm_or_si128(varying, dark), t.inverse);
    f.pixels = Select(selected, t.key, f.mn);
  }
  return f;
}

// Eight pixels per step. One test per step decides whether anything is stored: in a long capture
// almost no step changes anything, and a step that does stores all of its vectors.
template <bool kTemplate, void (*kConvert8)(const uint8_t*, __m128i*, __m128i*),
          int kBytesPerPixel>
void CaptureBody(const uint8_t* src, uint32_t* max, uint32_t* min, uint32_t* out, int count,
                 const TemplateParams* params) {
  const TemplateVectors t(params);
  for (int i = 0; i < count; i += 8) {
    __m128i first, second;
    kConvert8(src + kBytesPerPixel * i, &first, &second);
    const Folded a = Fold<kTemplate>(first, max + i, min + i, t);
    const Folded b = Fold<kTemplate>(second, max + i + 4, min + i + 4, t);
    __m128i changed = _mm_or_si128(_mm_or_si128(a.up, b.up), _mm_or_si128(a.down, b.down));
    if constexpr (kTemplate) {
      const __m128i same = _mm_and_si128(_mm_cmpeq_epi32(a.pixels, Load(out + i)),
                                         _mm_cmpeq_epi32(b.pixels, Load(out + i + 4)));
      changed = _mm_or_si128(changed, _mm_xor_si128(same, _mm_set1_epi32(-1)));
    }
    if (Any(changed)) {
      Store(max + i, a.mx);
      Store(max + i + 4, b.mx);
      Store(min + i, a.mn);
      Store(min + i + 4, b.mn);
      if constexpr (kTemplate) {
        Store(out + i, a.pixels);
        Store(out + i + 4, b.pixels);
      }
    }
  }
}

void Yuy2ToPixels8(const uint8_t* src, __m128i* first, __m128i* second) {
  Yuy2ToPixelsSse2<kBgrLuma32>(src, first, second);
}
void Bgr24ToPixels8(const uint8_t* src, __m128i* first, __m128i* second) {
  Bgr24ToPixelsSse2<kBgrLuma32>(src, first, second);
}

template <void (*kConvert8)(const uint8_t*, __m128i*, __m128i*), int kBytesPerPixel,
          CaptureRowFn kScalar>
void CaptureRow_SSE2(const uint8_t* src, uint32_t* max, uint32_t* min, uint32_t* out, int count,
                     const TemplateParams* params) {
  const int whole = count & ~7;
  if (whole > 0) {
    if (params != nullptr) {
      CaptureBody<true, kConvert8, kBytesPerPixel>(src, max, min, out, whole, params);
    } else {
      CaptureBody<false, kConvert8, kBytesPerPixel>(src, max, min, out, whole, params);
    }
  }
  if (count > whole) {
    kScalar(src + kBytesPerPixel * whole, max + whole, min + whole,
            params != nullptr ? out + whole : nullptr, count - whole, params);
  }
}

constexpr CaptureRowFn kYuy2Row = CaptureRow_SSE2<Yuy2ToPixels8, 2, CaptureYuy2Row_C>;

void CaptureYuy2SplitRow_SSE2(const uint8_t* src, uint32_t* max, uint32_t* min, uint32_t* out,
                              int count, const TemplateParams* params) {
  if (count <= 0) return;
  CaptureYuy2SplitRow_C(src, max, min, out, 1, params);
  kYuy2Row(src + 4, max + 1, min + 1, params != nullptr ? out + 1 : nullptr, count - 1, params);
}

constexpr CaptureRows kRowsSse2{kYuy2Row, CaptureYuy2SplitRow_SSE2,
                                CaptureRow_SSE2<Bgr24ToPixels8, 3, CaptureBgr24Row_C>};

}  // namespace

const CaptureRows* CaptureRowsSse2() { return &kRowsSse2; }

}  // namespace vle
