// SSE2 row conversions: 8 pixels per step. Bit-exact with import_rows.cpp; remainders are
// finished by the scalar routines, so the vector bodies never reach past a row's last byte.
#include "frame/import_rows.h"
#include "frame/import_vectors_sse2.h"

namespace vle {
namespace {

// count is a multiple of 8 and the row starts at a pair.
template <int32_t kCode>
void Yuy2ToImageRow_SSE2(const uint8_t* src, uint32_t* dst, int count) {
  for (int i = 0; i < count; i += 8, src += 16, dst += 8) {
    __m128i first, second;
    Yuy2ToPixelsSse2<kCode>(src, &first, &second);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), first);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4), second);
  }
}

template <int32_t kCode>
void Yuy2ToImageRow_Any_SSE2(const uint8_t* src, uint32_t* dst, int count) {
  const int whole = count & ~7;
  if (whole > 0) Yuy2ToImageRow_SSE2<kCode>(src, dst, whole);
  if (count > whole) Yuy2ToImageRow_C<kCode>(src + 2 * whole, dst + whole, count - whole);
}

template <int32_t kCode>
void Yuy2ToImageRowSplit_SSE2(const uint8_t* src, uint32_t* dst, int count) {
  if (count <= 0) return;
  Yuy2ToImageRowSplit_C<kCode>(src, dst, 1);
  Yuy2ToImageRow_Any_SSE2<kCode>(src + 4, dst + 1, count - 1);
}

// count is a multiple of 8.
template <int32_t kCode>
void Bgr24ToImageRow_SSE2(const uint8_t* src, uint32_t* dst, int count) {
  for (int i = 0; i < count; i += 8, src += 24, dst += 8) {
    __m128i first, second;
    Bgr24ToPixelsSse2<kCode>(src, &first, &second);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), first);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4), second);
  }
}

template <int32_t kCode>
void Bgr24ToImageRow_Any_SSE2(const uint8_t* src, uint32_t* dst, int count) {
  const int whole = count & ~7;
  if (whole > 0) Bgr24ToImageRow_SSE2<kCode>(src, dst, whole);
  if (count > whole) Bgr24ToImageRow_C<kCode>(src + 3 * whole, dst + whole, count - whole);
}

template <int32_t kCode>
constexpr ImportRows kYuy2Sse2{Yuy2ToImageRow_Any_SSE2<kCode>, Yuy2ToImageRowSplit_SSE2<kCode>};
template <int32_t kCode>
constexpr ImportRows kBgr24Sse2{Bgr24ToImageRow_Any_SSE2<kCode>, nullptr};

constexpr ImportRowSet kRowsSse2{
    {kYuy2Sse2<kBgrLuma32>, kYuy2Sse2<kBgrAlpha32>, kYuy2Sse2<kYuvAlpha32>, kYuy2Sse2<kYuvLuma32>},
    {kBgr24Sse2<kBgrLuma32>, kBgr24Sse2<kBgrAlpha32>, kBgr24Sse2<kYuvAlpha32>,
     kBgr24Sse2<kYuvLuma32>},
};

}  // namespace

const ImportRowSet* ImportRowsSse2() { return &kRowsSse2; }

}  // namespace vle
