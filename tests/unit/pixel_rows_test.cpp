// The one description of 32-bit picture rows: where each row of a whole picture or of a block of
// one lies, in both row orders, and which pictures cannot be addressed at all.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "core/image_buffer.h"

namespace vle {
namespace {

TEST(PictureRows, RowsLieInTheOrderTheLayoutNames) {
  std::vector<uint32_t> bits(5 * 3);
  for (bool topDown : {false, true}) {
    PixelRows rows{};
    ASSERT_TRUE(PictureRows(bits.data(), Size{5, 3}, topDown, &rows));
    EXPECT_EQ(rows.width, 5);
    EXPECT_EQ(rows.height, 3);
    for (int32_t y = 0; y < 3; ++y) {
      const int32_t memoryRow = topDown ? y : 2 - y;
      EXPECT_EQ(rows.Row(y), bits.data() + 5 * memoryRow) << "top-down " << topDown << " row " << y;
    }
    // A block keeps the picture's pitch and starts at its own top-left pixel.
    const PixelRows block = rows.Block(1, 2, 3, 1);
    EXPECT_EQ(block.Row(0), rows.Row(2) + 1);
    EXPECT_EQ(block.pitch, rows.pitch);
  }
}

struct RefusalCase {
  const char* name;
  Size size;
  uint64_t maxBytes;
  bool described;
};

class PictureRowsLimits : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(PictureRowsLimits, OnlyAddressablePicturesAreDescribed) {
  const RefusalCase& c = GetParam();
  uint32_t pixel = 0;
  PixelRows rows{};
  EXPECT_EQ(PictureRows(&pixel, c.size, false, &rows, c.maxBytes), c.described);
  EXPECT_FALSE(PictureRows(nullptr, Size{1, 1}, false, &rows));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PictureRowsLimits,
    ::testing::Values(RefusalCase{"OnePixel", {1, 1}, 4, true},
                      RefusalCase{"OneByteTooMany", {1, 1}, 3, false},
                      RefusalCase{"ZeroWidth", {0, 4}, UINT64_MAX, false},
                      RefusalCase{"NegativeHeight", {4, -1}, UINT64_MAX, false},
                      // 65536 x 65536 x 4 wraps to 0 in 32 bits.
                      RefusalCase{"WrapsIn32Bits", {65536, 65536}, uint64_t(INT32_MAX), false},
                      RefusalCase{"Exactly2GiBMinus4", {INT32_MAX / 4, 1}, uint64_t(INT32_MAX), true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RowsOf, TheRectOfAnImageBufferInsideItsAllocation) {
  ImageBuffer buffer(6, 4);
  buffer.rect = Rect{1, 1, 4, 3};
  PixelRows rows{};
  ASSERT_TRUE(RowsOf(buffer, &rows));
  EXPECT_EQ(rows.Row(0), buffer.PixelAt(1, 1));
  EXPECT_EQ(rows.Row(1), buffer.PixelAt(1, 2));
  EXPECT_EQ(rows.width, 3);
  EXPECT_EQ(rows.height, 2);
  buffer.rect = Rect{1, 1, 7, 3};  // past the allocation
  EXPECT_FALSE(RowsOf(buffer, &rows));
}

}  // namespace
}  // namespace vle
