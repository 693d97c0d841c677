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

// The block copy of ImportRegion and DrawImage: a picture rect placed at a frame point, clipped to
// both surfaces, with blocks whose far corner lies beyond the 32-bit range clipped exactly.
struct BlockCase {
  const char* name;
  Size pictureSize;
  Rect rect;
  Size frameSize;
  Point point;
  bool ok;
  Rect pictureAfter;
  Rect frameAfter;
};

class ClipBlockTable : public ::testing::TestWithParam<BlockCase> {};

TEST_P(ClipBlockTable, GivesEquallySizedBlocksInsideBothSurfaces) {
  const BlockCase& c = GetParam();
  Rect picture{-1, -1, -1, -1}, frame{-1, -1, -1, -1};
  ASSERT_EQ(FrameAdapter::ClipBlock(c.pictureSize, c.rect, c.frameSize, c.point, &picture, &frame),
            c.ok);
  if (c.ok) {
    EXPECT_EQ(picture, c.pictureAfter);
    EXPECT_EQ(frame, c.frameAfter);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClipBlockTable,
    ::testing::Values(
        BlockCase{"Inside", {100, 100}, {10, 20, 30, 40}, {50, 50}, {0, 5}, true,
                  {10, 20, 30, 40}, {0, 5, 20, 25}},
        BlockCase{"PointLeftOfTheFrame", {100, 100}, {0, 0, 10, 4}, {100, 100}, {-5, 0}, true,
                  {5, 0, 10, 4}, {0, 0, 5, 4}},
        BlockCase{"PastBothRightEdges", {12, 3}, {4, 0, 12, 3}, {10, 3}, {6, 0}, true,
                  {4, 0, 8, 3}, {6, 0, 10, 3}},
        // The frame block's right edge lies past INT_MAX; only the overlap of the picture's
        // columns 0..6 (frame columns 5..11) with the frame's 0..9 is left.
        BlockCase{"FarCornerBeyondInt32", {7, 2}, {-5, 0, INT_MAX, 1}, {10, 2}, {0, 0}, true,
                  {0, 0, 5, 1}, {5, 0, 10, 1}},
        BlockCase{"FarCornerBeyondInt32Vertically", {2, 6}, {0, -3, 2, INT_MAX}, {2, 4}, {0, -1},
                  true, {0, 0, 2, 2}, {0, 2, 2, 4}},
        BlockCase{"PointNearInt32Max", {10, 1}, {0, 0, 10, 1}, {10, 1}, {INT_MAX - 2, 0}, false,
                  {}, {}},
        BlockCase{"RectSpanningInt32", {4, 4}, {INT_MIN, 0, INT_MAX, 1}, {4, 4}, {-2, 0}, false,
                  {}, {}},
        BlockCase{"EmptyRect", {10, 10}, {5, 0, 5, 4}, {10, 10}, {0, 0}, false, {}, {}},
        BlockCase{"EmptyFrame", {10, 10}, {0, 0, 4, 4}, {0, 10}, {0, 0}, false, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vle
