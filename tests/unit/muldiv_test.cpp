#include <gtest/gtest.h>

#include <climits>

#include "core/muldiv.h"

namespace vle {
namespace {

struct MulDivCase {
  int32_t a, b, c, expected;
};

class MulDivTable : public ::testing::TestWithParam<MulDivCase> {};

TEST_P(MulDivTable, RoundsHalfAwayFromZeroAndReportsOverflow) {
  const MulDivCase& k = GetParam();
  EXPECT_EQ(MulDiv(k.a, k.b, k.c), k.expected) << k.a << " * " << k.b << " / " << k.c;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MulDivTable,
    ::testing::Values(
        // The region examples: 720 x 576 with 20 / 200 per mille.
        MulDivCase{720, 20, 1000, 14}, MulDivCase{576, 20, 1000, 12}, MulDivCase{720, 200, 1000, 144},
        MulDivCase{576, 200, 1000, 115}, MulDivCase{750, 2, 1000, 2},  // 1.5 rounds up
        MulDivCase{200, 768, 1000, 154}, MulDivCase{625, 768, 1000, 480}, MulDivCase{1, 768, 1000, 1},
        // Halves away from zero, for every sign combination.
        MulDivCase{3, 1, 2, 2}, MulDivCase{-3, 1, 2, -2}, MulDivCase{3, -1, 2, -2},
        MulDivCase{3, 1, -2, -2}, MulDivCase{-3, -1, 2, 2}, MulDivCase{-3, 1, -2, 2},
        MulDivCase{5, 1, 4, 1}, MulDivCase{-5, 1, 4, -1}, MulDivCase{7, 1, 4, 2}, MulDivCase{-7, 1, 4, -2},
        MulDivCase{1, 1, 3, 0}, MulDivCase{2, 1, 3, 1}, MulDivCase{-2, 1, 3, -1},
        // Slack arithmetic of the buffers.
        MulDivCase{125, 75, 125, 75}, MulDivCase{100, 125, 100, 125},
        // Products beyond 32 bits are exact.
        MulDivCase{INT_MAX, INT_MAX, INT_MAX, INT_MAX}, MulDivCase{65536, 65536, 65536, 65536},
        MulDivCase{INT_MIN, 1, 1, INT_MIN}, MulDivCase{INT_MIN, -1, -1, INT_MIN},
        // Divisor 0 and results beyond 32 bits give -1.
        MulDivCase{1, 1, 0, -1}, MulDivCase{0, 0, 0, -1}, MulDivCase{INT_MAX, 2, 1, -1},
        MulDivCase{INT_MIN, -1, 1, -1}, MulDivCase{INT_MAX, INT_MAX, 1, -1},
        MulDivCase{0, 5, 7, 0}));

}  // namespace
}  // namespace vle
