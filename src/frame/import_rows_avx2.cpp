// AVX2 row conversions: 16 pixels per step, bit-exact with import_rows.cpp; remainders are
// finished by the scalar routines. Built only where the compiler targets AVX2 for this file (not in
// the 32-bit plug-in); otherwise the table is absent and dispatch stops at SSE2.
#include "frame/import_rows.h"

#if defined(__AVX2__)

#include <immintrin.h>

namespace vle {
namespace {

// The Yuy2 body loads 16 pixels and swaps the middle quadwords, so that the low 128-bit half holds
// pixels 0..3 and 8..11 and the high half 4..7 and 12..15. The in-half packs and unpacks below then
// leave pixels 0..7 in the first output register and 8..15 in the second, with no cross-half
// permute at the end.
inline void StoreChannels(uint32_t* dst, __m256i c0, __m256i c1, __m256i c2, __m256i c3) {
  const __m256i c02 = _mm256_packus_epi16(c0, c2);  // saturation is the scalar clamp
  const __m256i c13 = _mm256_packus_epi16(c1, c3);
  const __m256i low = _mm256_unpacklo_epi8(c02, c13);   // c0 c1 per pixel
  const __m256i high = _mm256_unpackhi_epi8(c02, c13);  // c2 c3 per pixel
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), _mm256_unpacklo_epi16(low, high));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 8), _mm256_unpackhi_epi16(low, high));
}

// Byte shuffles that copy the low (DupLow) or high (DupHigh) 16 bits of every 32-bit lane into
// both of its halves: per-pair values to per-pixel values.
inline __m256i DupLow() {
  return _mm256_setr_epi8(0, 1, 0, 1, 4, 5, 4, 5, 8, 9, 8, 9, 12, 13, 12, 13,  //
                          0, 1, 0, 1, 4, 5, 4, 5, 8, 9, 8, 9, 12, 13, 12, 13);
}
inline __m256i DupHigh() {
  return _mm256_setr_epi8(2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15,  //
                          2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15);
}

// A pair of 16-bit coefficients (low, high) in every 32-bit lane.
inline __m256i Coefficients(int low, int high) {
  return _mm256_set1_epi32(int(uint32_t(uint16_t(low)) | uint32_t(uint16_t(high)) << 16));
}

// count is a multiple of 16 and the row starts at a pair. The chroma terms are formed once per
// pair: (Cb, Cr) sit in one 32-bit lane, so one multiply-high gives the B and R terms and another
// the two G terms, which a multiply-add by 1 sums after their separate floors.
template <int32_t kCode>
void Yuy2ToImageRow_AVX2(const uint8_t* src, uint32_t* dst, int count) {
  const __m256i lowBytes = _mm256_set1_epi16(0x00FF);
  const __m256i bias = _mm256_set1_epi16(128);
  const __m256i opaque = _mm256_set1_epi16(255);
  const __m256i dupLow = DupLow(), dupHigh = DupHigh();
  for (int i = 0; i < count; i += 16, src += 32, dst += 16) {
    const __m256i pairs = _mm256_permute4x64_epi64(
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src)), _MM_SHUFFLE(3, 1, 2, 0));
    const __m256i y = _mm256_and_si256(pairs, lowBytes);
    const __m256i chroma = _mm256_srli_epi16(pairs, 8);  // Cb Cr of each pair
    if constexpr (kCode == kYuvLuma32 || kCode == kYuvAlpha32) {
      const __m256i cb = _mm256_shuffle_epi8(chroma, dupLow);
      const __m256i cr = _mm256_shuffle_epi8(chroma, dupHigh);
      StoreChannels(dst, y, cb, kCode == kYuvLuma32 ? y : opaque, cr);
    } else {
      // (c - 128) * 16: the high half of its product with a 4096-scaled constant is
      // floor(constant * (c - 128) / 4096).
      const __m256i uv = _mm256_slli_epi16(_mm256_sub_epi16(chroma, bias), 4);
      const __m256i br = _mm256_mulhi_epi16(uv, Coefficients(7258, 5743));
      const __m256i g = _mm256_madd_epi16(_mm256_mulhi_epi16(uv, Coefficients(-1410, -2925)),
                                          _mm256_set1_epi16(1));
      const __m256i b = _mm256_add_epi16(y, _mm256_shuffle_epi8(br, dupLow));
      const __m256i r = _mm256_add_epi16(y, _mm256_shuffle_epi8(br, dupHigh));
      const __m256i gy = _mm256_add_epi16(y, _mm256_shuffle_epi8(g, dupLow));
      StoreChannels(dst, b, gy, r, kCode == kBgrLuma32 ? y : opaque);
    }
  }
}

template <int32_t kCode>
void Yuy2ToImageRow_Any_AVX2(const uint8_t* src, uint32_t* dst, int count) {
  const int whole = count & ~15;
  if (whole > 0) Yuy2ToImageRow_AVX2<kCode>(src, dst, whole);
  if (count > whole) Yuy2ToImageRow_C<kCode>(src + 2 * whole, dst + whole, count - whole);
}

template <int32_t kCode>
void Yuy2ToImageRowSplit_AVX2(const uint8_t* src, uint32_t* dst, int count) {
  if (count <= 0) return;
  Yuy2ToImageRowSplit_C<kCode>(src, dst, 1);
  Yuy2ToImageRow_Any_AVX2<kCode>(src + 4, dst + 1, count - 1);
}

// Eight Bgr24 pixels (24 bytes) as three byte gathers: 0x00RRGGBB per 32-bit lane (the colour
// bytes the BGR layouts copy), (B, G) as 16-bit pairs and (R, 0): the two multiply-add operands of
// the 32768-scaled sums. The low half comes from bytes 0..15 (pixels 0..3 at 0, 3, 6, 9), the
// high half from bytes 8..23 (pixels 4..7 at offsets 4, 7, 10, 13), so nothing past the 24 bytes
// is read.
struct BgrLanes {
  __m256i bgr, bg, r;
};

inline BgrLanes LoadBgr8(const uint8_t* src) {
  const __m256i bytes = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 8)), 1);
  const __m256i bgr = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,  //
                                       4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1);
  const __m256i bg = _mm256_setr_epi8(0, -1, 1, -1, 3, -1, 4, -1, 6, -1, 7, -1, 9, -1, 10, -1,  //
                                      4, -1, 5, -1, 7, -1, 8, -1, 10, -1, 11, -1, 13, -1, 14, -1);
  const __m256i r =
      _mm256_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1,  //
                       6, -1, -1, -1, 9, -1, -1, -1, 12, -1, -1, -1, 15, -1, -1, -1);
  return BgrLanes{_mm256_shuffle_epi8(bytes, bgr), _mm256_shuffle_epi8(bytes, bg),
                  _mm256_shuffle_epi8(bytes, r)};
}

// floor((low * B + high * G + red * R) / 32768), exact in 32 bits.
inline __m256i WeightedSum(const BgrLanes& p, int low, int high, int red) {
  return _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(p.bg, Coefficients(low, high)),
                                            _mm256_madd_epi16(p.r, Coefficients(red, 0))),
                           15);
}

// Eight Bgr24 pixels -> eight picture pixels of layout kCode.
template <int32_t kCode>
inline __m256i FromBgr8(const uint8_t* src) {
  if constexpr (kCode == kBgrAlpha32) {
    // The unused gathers are dead code to the compiler.
    return _mm256_or_si256(LoadBgr8(src).bgr, _mm256_set1_epi32(int(0xFF000000u)));
  } else {
    const BgrLanes p = LoadBgr8(src);
    const __m256i y = WeightedSum(p, 3735, 19235, 9798);
    if constexpr (kCode == kBgrLuma32) {
      return _mm256_or_si256(p.bgr, _mm256_slli_epi32(y, 24));
    } else {
      const __m256i bias = _mm256_set1_epi32(128);
      const __m256i cb = _mm256_add_epi32(WeightedSum(p, 16384, -10855, -5529), bias);
      const __m256i cr = _mm256_add_epi32(WeightedSum(p, -2664, -13720, 16384), bias);
      const __m256i mid =
          kCode == kYuvLuma32 ? _mm256_slli_epi32(y, 16) : _mm256_set1_epi32(0xFF0000);
      return _mm256_or_si256(_mm256_or_si256(y, _mm256_slli_epi32(cb, 8)),
                             _mm256_or_si256(mid, _mm256_slli_epi32(cr, 24)));
    }
  }
}

// count is a multiple of 16.
template <int32_t kCode>
void Bgr24ToImageRow_AVX2(const uint8_t* src, uint32_t* dst, int count) {
  for (int i = 0; i < count; i += 16, src += 48, dst += 16) {
    const __m256i first = FromBgr8<kCode>(src);
    const __m256i second = FromBgr8<kCode>(src + 24);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), first);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 8), second);
  }
}

template <int32_t kCode>
void Bgr24ToImageRow_Any_AVX2(const uint8_t* src, uint32_t* dst, int count) {
  const int whole = count & ~15;
  if (whole > 0) Bgr24ToImageRow_AVX2<kCode>(src, dst, whole);
  if (count > whole) Bgr24ToImageRow_C<kCode>(src + 3 * whole, dst + whole, count - whole);
}

template <int32_t kCode>
constexpr ImportRows kYuy2Avx2{Yuy2ToImageRow_Any_AVX2<kCode>, Yuy2ToImageRowSplit_AVX2<kCode>};
template <int32_t kCode>
constexpr ImportRows kBgr24Avx2{Bgr24ToImageRow_Any_AVX2<kCode>, nullptr};

constexpr ImportRowSet kRowsAvx2{
    {kYuy2Avx2<kBgrLuma32>, kYuy2Avx2<kBgrAlpha32>, kYuy2Avx2<kYuvAlpha32>, kYuy2Avx2<kYuvLuma32>},
    {kBgr24Avx2<kBgrLuma32>, kBgr24Avx2<kBgrAlpha32>, kBgr24Avx2<kYuvAlpha32>,
     kBgr24Avx2<kYuvLuma32>},
};

}  // namespace

const ImportRowSet* ImportRowsAvx2() { return &kRowsAvx2; }

}  // namespace vle

#else

namespace vle {
const ImportRowSet* ImportRowsAvx2() { return nullptr; }
}  // namespace vle

#endif
