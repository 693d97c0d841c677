// How the pixel row routines are chosen by processor, the same way for every family (template
// rows, capture rows, draw rows).
//
// Naming, after the usual convention of SIMD row libraries:
//   Name_C          the scalar reference: the definition, any count.
//   Name_SSE2/AVX2  whole SIMD steps only: count is a multiple of the routine's step.
//   Name_Any_SSE2/AVX2  any count: whole steps, then the remainder by Name_C, so that nothing past
//                   the row is read or written. Only these go into a table.
//
// A family keeps one table (a struct of function pointers) per level: RowsC() returns the scalar
// table, RowsSse2() and RowsAvx2() return null when the build carries no such variants (a compiler
// that cannot target the level). Every SIMD variant gives exactly the bytes of its _C routine.
#pragma once

#include "platform/cpu.h"

namespace vle {

// The table of the best level that `cpuFeatures` (platform::CpuFeature bits) allows and the build
// carries; 0 gives the scalar table.
template <class Rows>
Rows SelectRowsLevel(int cpuFeatures, const Rows& scalar, const Rows* sse2, const Rows* avx2) {
  const Rows* rows = &scalar;
  if ((cpuFeatures & platform::kCpuSse2) && sse2 != nullptr) rows = sse2;
  if ((cpuFeatures & platform::kCpuAvx2) && avx2 != nullptr) rows = avx2;
  return *rows;
}

}  // namespace vle
