// AVX2 row conversions: 16 pixels per step, bit-exact with import_rows.cpp; remainders are
// finished by the scalar routines. Built only where the compiler targets AVX2 for this file;
// otherwise the table is absent and dispatch stops at SSE2.
#include "frame/import_rows.h"

#if defined(__AVX2__)

#include "frame/import_vectors_avx2.h"

namespace vle {
namespace {

// count is a multiple of 16 and the row starts at a pair.
template <int32_t kCode>
void Yuy2ToImageRow_AVX2(const uint8_t* src, uint32_t* dst, int count) {
  for (int i = 0; i < count; i += 16, src += 32, dst += 16) {
    __m256i first, second;
    Yuy2ToPixelsAvx2<kCode>(src, &first, &second);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), first);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 8), second);
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

// count is a multiple of 16.
template <int32_t kCode>
void Bgr24ToImageRow_AVX2(const uint8_t* src, uint32_t* dst, int count) {
  for (int i = 0; i < count; i += 16, src += 48, dst += 16) {
    const __m256i first = Bgr24ToPixelsAvx2<kCode>(src);
    const __m256i second = Bgr24ToPixelsAvx2<kCode>(src + 24);
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
