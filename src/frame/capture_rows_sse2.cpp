// SSE2 capture rows, 8 pixels per step, as the AVX2 ones: a step first compares only lumas, in
// 16-bit lanes, and converts the frame's pixels and stores the accumulators only where a luma
// moves; the template is rebuilt every step and stored only where it differs. Remainders go to the
// scalar composition.
#include "frame/capture_rows.h"
#include "frame/capture_vectors_sse2.h"

namespace vle {
namespace {

inline __m128i Load(const uint32_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void Store(uint32_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
inline bool Any(__m128i mask) { return _mm_movemask_epi8(mask) != 0; }

// where ? a : b, per lane of an all-ones / all-zeros mask.
inline __m128i Select(__m128i where, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_and_si128(where, a), _mm_andnot_si128(where, b));
}

// Lumas are 0..255 and luma swings -255..255, so the comparisons with the int32 threshold and
// black level are exact in 16-bit lanes once those are held to the 16-bit range.
inline int16_t To16(int32_t v) { return int16_t(v < -32768 ? -32768 : v > 32767 ? 32767 : v); }

struct TemplateVectors {
  explicit TemplateVectors(const TemplateParams* p)
      : key(_mm_set1_epi32(p ? int32_t(p->keyPixel) : 0)),
        threshold(_mm_set1_epi16(p ? To16(p->threshold) : 0)),
        black(_mm_set1_epi16(p ? To16(p->blackLevel) : 0)),
        inverse(_mm_set1_epi16(p && p->inverseMask ? -1 : 0)) {}
  __m128i key, threshold, black, inverse;
};

// The lumas of pixels 0..7 in 16-bit lanes, from two vectors of four pixels.
inline __m128i PackedLumas(__m128i first, __m128i second) {
  return _mm_packs_epi32(_mm_srli_epi32(first, 24), _mm_srli_epi32(second, 24));
}

// A frame layout as the step reads it: Read() loads the step's 8 pixels once, Lumas() gives their
// lumas in 16-bit lanes, Pixels() the BgrLuma32 pixels 0..3 and 4..7.
struct Yuy2Source {
  static constexpr int kBytesPerPixel = 2;
  using Raw = __m128i;
  static Raw Read(const uint8_t* src) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
  }
  static __m128i Lumas(const Raw& pairs) { return _mm_and_si128(pairs, _mm_set1_epi16(0x00FF)); }
  static void Pixels(const Raw& pairs, __m128i* first, __m128i* second) {
    Yuy2PairsToPixelsSse2(pairs, first, second);
  }
};

// The luma of a Bgr24 pixel takes most of its conversion: the pixels are converted at once.
struct Bgr24Source {
  static constexpr int kBytesPerPixel = 3;
  struct Raw {
    __m128i first, second;
  };
  static Raw Read(const uint8_t* src) {
    Raw r;
    Bgr24ToPixelsSse2(src, &r.first, &r.second);
    return r;
  }
  static __m128i Lumas(const Raw& p) { return PackedLumas(p.first, p.second); }
  static void Pixels(const Raw& p, __m128i* first, __m128i* second) {
    *first = p.first;
    *second = p.second;
  }
};

// Where the template keys, as a 16-bit mask: (maxY - minY > threshold or black > minY) xor inverse.
inline __m128i Keyed(__m128i maxY, __m128i minY, const TemplateVectors& t) {
  const __m128i varying = _mm_cmpgt_epi16(_mm_sub_epi16(maxY, minY), t.threshold);
  const __m128i dark = _mm_cmpgt_epi16(t.black, minY);
  return _mm_xor_si128(_mm_or_si128(varying, dark), t.inverse);
}

// count is a multiple of the step.
template <class Source, bool kTemplate>
void CaptureRow_SSE2(const uint8_t* src, uint32_t* max, uint32_t* min, uint32_t* out, int count,
                     const TemplateParams* params) {
  const TemplateVectors t(params);
  for (int i = 0; i < count; i += 8, src += 8 * Source::kBytesPerPixel) {
    const typename Source::Raw raw = Source::Read(src);
    const __m128i luma = Source::Lumas(raw);
    const __m128i mx0 = Load(max + i), mx1 = Load(max + i + 4);
    const __m128i mn0 = Load(min + i), mn1 = Load(min + i + 4);
    const __m128i maxY = PackedLumas(mx0, mx1), minY = PackedLumas(mn0, mn1);
    const __m128i up = _mm_cmpgt_epi16(luma, maxY);
    const __m128i down = _mm_cmpgt_epi16(minY, luma);
    if (!Any(_mm_or_si128(up, down))) {
      if constexpr (kTemplate) {
        const __m128i keyed = Keyed(maxY, minY, t);
        const __m128i t0 = Select(_mm_unpacklo_epi16(keyed, keyed), t.key, mn0);
        const __m128i t1 = Select(_mm_unpackhi_epi16(keyed, keyed), t.key, mn1);
        const __m128i same =
            _mm_and_si128(_mm_cmpeq_epi32(t0, Load(out + i)), _mm_cmpeq_epi32(t1, Load(out + i + 4)));
        if (_mm_movemask_epi8(same) != 0xFFFF) {
          Store(out + i, t0);
          Store(out + i + 4, t1);
        }
      }
      continue;
    }
    __m128i first, second;
    Source::Pixels(raw, &first, &second);
    const __m128i newMin0 = Select(_mm_unpacklo_epi16(down, down), first, mn0);
    const __m128i newMin1 = Select(_mm_unpackhi_epi16(down, down), second, mn1);
    Store(max + i, Select(_mm_unpacklo_epi16(up, up), first, mx0));
    Store(max + i + 4, Select(_mm_unpackhi_epi16(up, up), second, mx1));
    Store(min + i, newMin0);
    Store(min + i + 4, newMin1);
    if constexpr (kTemplate) {
      const __m128i keyed = Keyed(_mm_max_epi16(luma, maxY), _mm_min_epi16(luma, minY), t);
      Store(out + i, Select(_mm_unpacklo_epi16(keyed, keyed), t.key, newMin0));
      Store(out + i + 4, Select(_mm_unpackhi_epi16(keyed, keyed), t.key, newMin1));
    }
  }
}

template <class Source, CaptureRowFn kScalar>
void CaptureRow_Any_SSE2(const uint8_t* src, uint32_t* max, uint32_t* min, uint32_t* out,
                         int count, const TemplateParams* params) {
  const int whole = count & ~7;
  if (whole > 0) {
    if (params != nullptr) {
      CaptureRow_SSE2<Source, true>(src, max, min, out, whole, params);
    } else {
      CaptureRow_SSE2<Source, false>(src, max, min, out, whole, params);
    }
  }
  if (count > whole) {
    kScalar(src + Source::kBytesPerPixel * whole, max + whole, min + whole,
            params != nullptr ? out + whole : nullptr, count - whole, params);
  }
}

constexpr CaptureRows kRowsSse2{CaptureRow_Any_SSE2<Yuy2Source, CaptureYuy2Row_C>,
                                CaptureRow_Any_SSE2<Bgr24Source, CaptureBgr24Row_C>};

}  // namespace

const CaptureRows* CaptureRowsSse2() { return &kRowsSse2; }

}  // namespace vle
