#include "platform/cpu.h"

#include <atomic>

namespace vle::platform {
namespace {

int Detect() {
  int features = 0;
#if defined(__i386__) || defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("sse2")) features |= kCpuSse2;
  if (__builtin_cpu_supports("ssse3")) features |= kCpuSsse3;
  if (__builtin_cpu_supports("sse4.1")) features |= kCpuSse41;
  if (__builtin_cpu_supports("avx2")) features |= kCpuAvx2;
#endif
  return features;
}

std::atomic<int> g_mask{-1};

}  // namespace

int CpuFeatures() {
  static const int detected = Detect();
  return detected & g_mask.load(std::memory_order_relaxed);
}

void MaskCpuFeatures(int mask) { g_mask.store(mask, std::memory_order_relaxed); }

}  // namespace vle::platform
