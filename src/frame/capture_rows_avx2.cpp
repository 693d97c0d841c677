// AVX2 capture rows, 16 pixels per step. A step first compares only lumas, in 16-bit lanes: in a
// long capture almost no step moves an accumulator, and such a step needs neither the frame's
// colours nor a store to the accumulators; the template is rebuilt from the accumulators as they
// are and stored only where it differs. A step where a luma moves converts the pixels
// (capture_vectors_avx2.h) and stores all of its vectors. Remainders go to the scalar
// composition. Built only where the compiler targets AVX2 for this file.
#include "frame/capture_rows.h"

#if defined(__AVX2__)

#include "frame/capture_vectors_avx2.h"

namespace vle {
namespace {

inline __m256i Load(const uint32_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
inline void Store(uint32_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
inline bool Any(__m256i mask) { return !_mm256_testz_si256(mask, mask); }

// Lumas are 0..255 and luma swings -255..255, so the comparisons with the int32 threshold and
// black level are exact in 16-bit lanes once those are held to the 16-bit range.
inline int16_t To16(int32_t v) { return int16_t(v < -32768 ? -32768 : v > 32767 ? 32767 : v); }

struct TemplateVectors {
  explicit TemplateVectors(const TemplateParams* p)
      : key(_mm256_set1_epi32(p ? int32_t(p->keyPixel) : 0)),
        threshold(_mm256_set1_epi16(p ? To16(p->threshold) : 0)),
        black(_mm256_set1_epi16(p ? To16(p->blackLevel) : 0)),
        inverse(_mm256_set1_epi16(p && p->inverseMask ? -1 : 0)) {}
  __m256i key, threshold, black, inverse;
};

// The lumas of the 16 pixels of a step, in 16-bit lanes in the order the in-half packs leave them:
// pixels 0..3 and 8..11 in the low half, 4..7 and 12..15 in the high half. Both the frame's lumas
// and the accumulators' (packed from two vectors of eight) come in this order, and the in-half
// unpacks of a 16-bit mask give the 32-bit masks of pixels 0..7 and 8..15 back.
inline __m256i PackedLumas(__m256i first, __m256i second) {
  return _mm256_packs_epi32(_mm256_srli_epi32(first, 24), _mm256_srli_epi32(second, 24));
}

// A frame layout as the step reads it: Read() loads the step's 16 pixels once, Lumas() gives
// their lumas as PackedLumas orders them, Pixels() the BgrLuma32 pixels 0..7 and 8..15.
struct Yuy2Source {
  static constexpr int kBytesPerPixel = 2;
  using Raw = __m256i;
  static Raw Read(const uint8_t* src) { return LoadYuy2PairsAvx2(src); }
  static __m256i Lumas(const Raw& pairs) {
    return _mm256_and_si256(pairs, _mm256_set1_epi16(0x00FF));
  }
  static void Pixels(const Raw& pairs, __m256i* first, __m256i* second) {
    Yuy2PairsToPixelsAvx2(pairs, first, second);
  }
};

struct Bgr24Source {
  static constexpr int kBytesPerPixel = 3;
  struct Raw {
    BgrLanesAvx2 first, second;
  };
  static Raw Read(const uint8_t* src) { return Raw{LoadBgr8Avx2(src), LoadBgr8Avx2(src + 24)}; }
  static __m256i Lumas(const Raw& p) {
    return _mm256_packs_epi32(Bgr24LumasAvx2(p.first), Bgr24LumasAvx2(p.second));
  }
  static void Pixels(const Raw& p, __m256i* first, __m256i* second) {
    *first = Bgr24LanesToPixelsAvx2(p.first);
    *second = Bgr24LanesToPixelsAvx2(p.second);
  }
};

// Where the template keys, as a 16-bit mask: (maxY - minY > threshold or black > minY) xor inverse.
inline __m256i Keyed(__m256i maxY, __m256i minY, const TemplateVectors& t) {
  const __m256i varying = _mm256_cmpgt_epi16(_mm256_sub_epi16(maxY, minY), t.threshold);
  const __m256i dark = _mm256_cmpgt_epi16(t.black, minY);
  return _mm256_xor_si256(_mm256_or_si256(varying, dark), t.inverse);
}

// count is a multiple of the step.
template <class Source, bool kTemplate>
void CaptureRow_AVX2(const uint8_t* src, uint32_t* max, uint32_t* min, uint32_t* out, int count,
                     const TemplateParams* params) {
  const TemplateVectors t(params);
  for (int i = 0; i < count; i += 16, src += 16 * Source::kBytesPerPixel) {
    const typename Source::Raw raw = Source::Read(src);
    const __m256i luma = Source::Lumas(raw);
    const __m256i mx0 = Load(max + i), mx1 = Load(max + i + 8);
    const __m256i mn0 = Load(min + i), mn1 = Load(min + i + 8);
    const __m256i maxY = PackedLumas(mx0, mx1), minY = PackedLumas(mn0, mn1);
    const __m256i up = _mm256_cmpgt_epi16(luma, maxY);
    const __m256i down = _mm256_cmpgt_epi16(minY, luma);
    if (!Any(_mm256_or_si256(up, down))) {
      if constexpr (kTemplate) {
        const __m256i keyed = Keyed(maxY, minY, t);
        const __m256i t0 = _mm256_blendv_epi8(mn0, t.key, _mm256_unpacklo_epi16(keyed, keyed));
        const __m256i t1 = _mm256_blendv_epi8(mn1, t.key, _mm256_unpackhi_epi16(keyed, keyed));
        if (Any(_mm256_or_si256(_mm256_xor_si256(t0, Load(out + i)),
                                _mm256_xor_si256(t1, Load(out + i + 8))))) {
          Store(out + i, t0);
          Store(out + i + 8, t1);
        }
      }
      continue;
    }
    __m256i first, second;
    Source::Pixels(raw, &first, &second);
    const __m256i newMin0 = _mm256_blendv_epi8(mn0, first, _mm256_unpacklo_epi16(down, down));
    const __m256i newMin1 = _mm256_blendv_epi8(mn1, second, _mm256_unpackhi_epi16(down, down));
    Store(max + i, _mm256_blendv_epi8(mx0, first, _mm256_unpacklo_epi16(up, up)));
    Store(max + i + 8, _mm256_blendv_epi8(mx1, second, _mm256_unpackhi_epi16(up, up)));
    Store(min + i, newMin0);
    Store(min + i + 8, newMin1);
    if constexpr (kTemplate) {
      const __m256i keyed =
          Keyed(_mm256_max_epi16(luma, maxY), _mm256_min_epi16(luma, minY), t);
      Store(out + i, _mm256_blendv_epi8(newMin0, t.key, _mm256_unpacklo_epi16(keyed, keyed)));
      Store(out + i + 8, _mm256_blendv_epi8(newMin1, t.key, _mm256_unpackhi_epi16(keyed, keyed)));
    }
  }
}

template <class Source, CaptureRowFn kScalar>
void CaptureRow_Any_AVX2(const uint8_t* src, uint32_t* max, uint32_t* min, uint32_t* out,
                         int count, const TemplateParams* params) {
  const int whole = count & ~15;
  if (whole > 0) {
    if (params != nullptr) {
      CaptureRow_AVX2<Source, true>(src, max, min, out, whole, params);
    } else {
      CaptureRow_AVX2<Source, false>(src, max, min, out, whole, params);
    }
  }
  if (count > whole) {
    kScalar(src + Source::kBytesPerPixel * whole, max + whole, min + whole,
            params != nullptr ? out + whole : nullptr, count - whole, params);
  }
}

constexpr CaptureRows kRowsAvx2{CaptureRow_Any_AVX2<Yuy2Source, CaptureYuy2Row_C>,
                                CaptureRow_Any_AVX2<Bgr24Source, CaptureBgr24Row_C>};

}  // namespace

const CaptureRows* CaptureRowsAvx2() { return &kRowsAvx2; }

}  // namespace vle

#else

namespace vle {
const CaptureRows* CaptureRowsAvx2() { return nullptr; }
}  // namespace vle

#endif
