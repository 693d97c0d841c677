// Processor features that choose the pixel routines. Detected once per process; tests mask
// features off to run the scalar and every SIMD path from one binary.
#pragma once

namespace vle::platform {

enum CpuFeature : int {
  kCpuSse2 = 1 << 0,
  kCpuSsse3 = 1 << 1,
  kCpuSse41 = 1 << 2,
  kCpuAvx2 = 1 << 3,
};

// The features of this processor that the routines may use, after the mask. The environment
// variable VLE_CPU_LEVEL (scalar, sse2 or avx2), read once per process, caps them: it can lower the
// level, never raise it.
int CpuFeatures();

// Test hook: only features in `mask` are reported from now on (-1 restores all). The pixel
// routines are chosen on every call, so the next call already runs at the new level.
void MaskCpuFeatures(int mask);

}  // namespace vle::platform
