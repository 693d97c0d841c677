#include "platform/cpu.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace vle::platform {
namespace {

#if defined(__i386__) || defined(__x86_64__)
// XCR0, the register states the operating system saves on a context switch. Written as the
// instruction itself so that this file needs no -mxsave.
uint64_t ReadXcr0() {
  uint32_t eax, edx;
  __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(eax), "=d"(edx) : "c"(0));
  return (uint64_t(edx) << 32) | eax;
}
#endif

int Detect() {
  int features = 0;
#if defined(__i386__) || defined(__x86_64__)
  unsigned eax, ebx, ecx, edx;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return 0;
  if (edx & bit_SSE2) features |= kCpuSse2;
  if (ecx & bit_SSSE3) features |= kCpuSsse3;
  if (ecx & bit_SSE4_1) features |= kCpuSse41;
  // AVX2 needs the instructions and an operating system that saves the YMM registers: without
  // both XMM and YMM state in XCR0, the first AVX instruction faults.
  const bool osSavesYmm =
      (ecx & bit_OSXSAVE) && (ecx & bit_AVX) && (ReadXcr0() & 0x6) == 0x6;
  unsigned maxLeaf = __get_cpuid_max(0, nullptr);
  if (osSavesYmm && maxLeaf >= 7) {
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    if (ebx & bit_AVX2) features |= kCpuAvx2;
  }
#endif
  return features;
}

// VLE_CPU_LEVEL=scalar|sse2|avx2 caps the level (for timing each level of the shipped plug-in, or
// to step around a suspect routine); it can only take features away, never claim one the processor
// lacks. Anything else leaves the level alone.
int LevelCap() {
  const char* level = std::getenv("VLE_CPU_LEVEL");
  if (level == nullptr) return -1;
  if (std::strcmp(level, "scalar") == 0) return 0;
  if (std::strcmp(level, "sse2") == 0) return kCpuSse2;
  return -1;
}

std::atomic<int> g_mask{-1};

}  // namespace

int CpuFeatures() {
  static const int detected = Detect() & LevelCap();
  return detected & g_mask.load(std::memory_order_relaxed);
}

void MaskCpuFeatures(int mask) { g_mask.store(mask, std::memory_order_relaxed); }

}  // namespace vle::platform
