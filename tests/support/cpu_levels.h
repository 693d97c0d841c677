// The CPU levels a parity test runs at: each test of a suite parameterised by CpuLevel runs with
// only that level's features left on, and is skipped where the processor or the build lacks them.
#pragma once

#include <gtest/gtest.h>

#include <ostream>

#include "platform/cpu.h"

namespace vle::test {

struct CpuLevel {
  const char* name;
  int mask;  // features left on
};

inline void PrintTo(const CpuLevel& level, std::ostream* os) { *os << level.name; }

inline const CpuLevel kCpuLevels[] = {
    {"Scalar", 0},
    {"SSE2", platform::kCpuSse2},
    {"AVX2", platform::kCpuSse2 | platform::kCpuAvx2},
};

// Masks the features for its lifetime and restores them all on every way out, a failed ASSERT's
// early return included, so that no later test runs at a masked level.
class CpuMaskScope {
 public:
  explicit CpuMaskScope(int mask) { platform::MaskCpuFeatures(mask); }
  ~CpuMaskScope() { platform::MaskCpuFeatures(-1); }
  CpuMaskScope(const CpuMaskScope&) = delete;
  CpuMaskScope& operator=(const CpuMaskScope&) = delete;
};

// Masks the features for the test's duration. Fixtures say through Built() whether this build
// carries routines of a level at all.
class AtCpuLevel : public ::testing::TestWithParam<CpuLevel> {
 protected:
  virtual bool Built(const CpuLevel&) const { return true; }
  void SetUp() override {
    const CpuLevel& level = GetParam();
    if ((platform::CpuFeatures() & level.mask) != level.mask) GTEST_SKIP() << "not on this CPU";
    if (!Built(level)) GTEST_SKIP() << "not in this build";
    platform::MaskCpuFeatures(level.mask);
  }
  void TearDown() override { platform::MaskCpuFeatures(-1); }
};

}  // namespace vle::test
