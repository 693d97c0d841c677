#include <gtest/gtest.h>

#include <climits>

#include "frame/frame_adapter.h"

namespace vle {
namespace {

struct ClipCase {
  const char* name;
  Size sourceSize;
  Rect source;
  Size destinationSize;
  Rect destination;
  bool ok;
  Rect sourceAfter;
  Rect destinationAfter;
};

class ClipRectPairTable : public ::testing::TestWithParam<ClipCase> {};

TEST_P(ClipRectPairTable, CutsBothRectanglesAlike) {
  const ClipCase& c = GetParam();
  Rect s = c.source, d = c.destination;
  ASSERT_EQ(FrameAdapter::ClipRectPair(c.sourceSize, s, c.destinationSize, d), c.ok);
  if (c.ok) {
    EXPECT_EQ(s, c.sourceAfter);
    EXPECT_EQ(d, c.destinationAfter);
    EXPECT_EQ(s.right - s.left, d.right - d.left);
    EXPECT_EQ(s.bottom - s.top, d.bottom - d.top);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClipRectPairTable,
    ::testing::Values(
        ClipCase{"LeftOfSource", {100, 100}, {-5, 0, 10, 4}, {100, 100}, {0, 0, 15, 4}, true,
                 {0, 0, 10, 4}, {5, 0, 15, 4}},
        ClipCase{"Inside", {100, 100}, {10, 20, 30, 40}, {50, 50}, {0, 5, 20, 25}, true,
                 {10, 20, 30, 40}, {0, 5, 20, 25}},
        ClipCase{"PastSourceRight", {100, 100}, {90, 0, 110, 2}, {100, 100}, {0, 0, 20, 2}, true,
                 {90, 0, 100, 2}, {0, 0, 10, 2}},
        ClipCase{"PastDestinationBottom", {100, 100}, {0, 0, 4, 10}, {10, 8}, {0, 3, 4, 13}, true,
                 {0, 0, 4, 5}, {0, 3, 4, 8}},
        ClipCase{"AboveDestination", {100, 100}, {0, 0, 4, 10}, {10, 8}, {0, -3, 4, 7}, true,
                 {0, 3, 4, 10}, {0, 0, 4, 7}},
        ClipCase{"StartsAtSourceWidth", {100, 100}, {100, 0, 110, 4}, {100, 100}, {0, 0, 10, 4}, false,
                 {}, {}},
        ClipCase{"ZeroWidthDestination", {100, 100}, {0, 0, 10, 4}, {0, 100}, {0, 0, 10, 4}, false, {}, {}},
        ClipCase{"ZeroHeightDestination", {100, 100}, {0, 0, 10, 4}, {100, 0}, {0, 0, 10, 4}, false, {}, {}},
        ClipCase{"Inverted", {100, 100}, {10, 0, 5, 4}, {100, 100}, {10, 0, 5, 4}, false, {}, {}},
        ClipCase{"WhollyOutsideDestination", {100, 100}, {0, 0, 10, 4}, {100, 100}, {-20, 0, -10, 4}, false,
                 {}, {}},
        // A cut carried to the partner must not wrap around the 32-bit range into the surface.
        ClipCase{"CarriedCutWouldWrap", {23, 23}, {INT_MIN, 0, 5, 2}, {9, 9}, {INT_MAX - 10, 0, 4, 2}, false,
                 {}, {}},
        ClipCase{"CarriedRightCutWouldWrap", {10, 10}, {0, 0, INT_MAX, 2}, {10, 10}, {INT_MIN + 5, 0, 8, 2},
                 false, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vle
