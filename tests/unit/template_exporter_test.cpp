#include "export/template_exporter.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "platform/memory.h"

namespace vle {
namespace {

constexpr uint32_t kGuard = 0xDEADBEEFu;
constexpr uint32_t kKeyColor = 0x00FF8000u;  // COLORREF; as a pixel 0x000080FF
constexpr uint32_t kKey = 0x000080FFu;
constexpr uint32_t kInk = 0x00123456u;

// A bottom-up 32-bit picture as an ImageBuffer stores it, with guard words on both sides.
struct Picture {
  static constexpr std::size_t kMargin = 16;
  Picture(int32_t w, int32_t h, uint32_t fill = kGuard)
      : width(w), height(h), store(std::size_t(w) * std::size_t(h) + 2 * kMargin, kGuard) {
    std::fill(bits(), bits() + std::size_t(w) * std::size_t(h), fill);
  }
  // From rows listed top to bottom.
  Picture(int32_t w, int32_t h, const std::vector<uint32_t>& topDown) : Picture(w, h) {
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) at(x, y) = topDown[std::size_t(y) * w + x];
  }
  uint32_t* bits() { return store.data() + kMargin; }
  uint32_t& at(int32_t x, int32_t y) { return bits()[std::size_t(height - 1 - y) * width + x]; }
  std::vector<uint32_t> TopDown() {
    std::vector<uint32_t> out;
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width; ++x) out.push_back(at(x, y));
    return out;
  }
  bool GuardsIntact() const {
    for (std::size_t i = 0; i < kMargin; ++i)
      if (store[i] != kGuard || store[store.size() - 1 - i] != kGuard) return false;
    return true;
  }
  Rect whole() const { return Rect{0, 0, width, height}; }

  int32_t width, height;
  std::vector<uint32_t> store;
};

void Resample(TemplateExporter& exporter, Picture& src, const Rect& srcRect, Picture& dst,
         const Rect& dstRect, bool keyed = true) {
  exporter.Convert(src.bits(), src.width, src.height, srcRect, dst.bits(), dst.width, dst.height,
                   dstRect, kKeyColor, keyed);
}

// Deterministic pixels of every byte value, key pixels among them.
Picture Pattern(int32_t w, int32_t h) {
  Picture p(w, h);
  uint32_t state = 12345;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      state = state * 1103515245u + 12345u;
      p.at(x, y) = (state >> 4) % 7 == 0 ? kKey : state;
    }
  return p;
}

struct TableCase {
  const char* name;
  int32_t src, dst, start, count, step;
  std::vector<ScaleEntry> expected;
};
void PrintTo(const TableCase& c, std::ostream* os) { *os << c.name; }

class ScaleTableExamples : public ::testing::TestWithParam<TableCase> {};

TEST_P(ScaleTableExamples, Entries) {
  const TableCase& c = GetParam();
  std::vector<ScaleEntry> table(std::size_t(c.count));
  TemplateExporter::BuildScaleTable(c.src, c.dst, c.start, c.count, c.step, table.data());
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i].advanceBefore, c.expected[i].advanceBefore) << "entry " << i;
    EXPECT_EQ(table[i].advanceAfter, c.expected[i].advanceAfter) << "entry " << i;
    EXPECT_EQ(table[i].weight, c.expected[i].weight) << "entry " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScaleTableExamples,
    ::testing::Values(
        TableCase{"Equal", 3, 3, 0, 3, 4, {{0, 0, 0}, {4, 0, 0}, {4, 0, 0}}},
        TableCase{"EqualBottomUpRows", 3, 3, 0, 3, -40, {{0, 0, 0}, {-40, 0, 0}, {-40, 0, 0}}},
        TableCase{"Halve", 4, 2, 0, 2, 4, {{0, 4, 2048}, {4, 4, 2048}}},
        TableCase{"ThreeToTwo", 3, 2, 0, 2, 4, {{0, 4, 1024}, {0, 4, 3072}}},
        TableCase{"TwoToFour", 2, 4, 0, 4, 4,
                  {{0, 0, 0}, {0, 4, 1365}, {-4, 4, 2730}, {0, 0, 0}}},
        TableCase{"TwoToFourFromThird", 2, 4, 2, 2, 4, {{0, 4, 2730}, {0, 0, 0}}},
        TableCase{"OneToThree", 1, 3, 0, 3, 4, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}}),
    [](const auto& info) { return std::string(info.param.name); });

// Walks every table of small spans as the passes do: both neighbours must lie inside the source,
// the ends of an enlargement on its end pixels, and a table that starts late must place its
// outputs where the full table does.
TEST(ScaleTable, NeighboursStayInsideTheSourceAndPartialTablesAgree) {
  for (int32_t src = 1; src <= 24; ++src)
    for (int32_t dst = 1; dst <= 24; ++dst) {
      std::vector<ScaleEntry> full(static_cast<std::size_t>(dst));
      TemplateExporter::BuildScaleTable(src, dst, 0, dst, 1, full.data());
      std::vector<int32_t> first(static_cast<std::size_t>(dst));
      int32_t at = 0;
      for (int32_t i = 0; i < dst; ++i) {
        at += full[i].advanceBefore;
        first[i] = at;
        ASSERT_GE(at, 0) << src << " -> " << dst << " entry " << i;
        at += full[i].advanceAfter;
        ASSERT_LT(at, src) << src << " -> " << dst << " entry " << i;
      }
      if (src < dst) {
        EXPECT_EQ(first.back(), src - 1) << src << " -> " << dst;
      }
      for (int32_t start = 1; start < dst; ++start) {
        std::vector<ScaleEntry> part(std::size_t(dst - start));
        TemplateExporter::BuildScaleTable(src, dst, start, dst - start, 1, part.data());
        int32_t p = 0;
        for (int32_t i = 0; i < dst - start; ++i) {
          p += part[i].advanceBefore;
          ASSERT_EQ(p, first[start + i]) << src << " -> " << dst << " from " << start;
          ASSERT_EQ(part[i].weight, full[start + i].weight);
          p += part[i].advanceAfter;
        }
      }
    }
}

struct BlendCase {
  const char* name;
  uint32_t a, b;
  int32_t w;
  bool keyed;
  uint32_t expected;
};
void PrintTo(const BlendCase& c, std::ostream* os) { *os << c.name; }

class Blend : public ::testing::TestWithParam<BlendCase> {};

TEST_P(Blend, KeyRuleAndInterpolation) {
  const BlendCase& c = GetParam();
  EXPECT_EQ(TemplateExporter::BlendPixels(c.a, c.b, c.w, c.keyed, kKey), c.expected)
      << std::hex << c.a << " " << c.b << " w " << std::dec << c.w;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Blend,
    ::testing::Values(
        BlendCase{"KeyFirstAt128", kKey, kInk, 128, true, kKey},
        BlendCase{"KeyFirstAt129", kKey, kInk, 129, true, kInk},
        BlendCase{"KeySecondAt128", kInk, kKey, 128, true, kInk},
        BlendCase{"KeySecondAt129", kInk, kKey, 129, true, kKey},
        BlendCase{"KeySecondAt4095", kInk, kKey, 4095, true, kKey},
        BlendCase{"FourthByteIgnoredByKeyTest", 0xAB000000u | kKey, kInk, 100, true,
                  0xAB000000u | kKey},
        // Two key pixels blend; only the fourth byte differs, so the key survives.
        BlendCase{"TwoKeys", kKey, 0x12000000u | kKey, 2048, true, 0x09000000u | kKey},
        BlendCase{"NoKeyBlends", 0x00000000u, 0x00FF0010u, 2048, true, 0x007F0008u},
        BlendCase{"UnkeyedBlendsKey", 0x00000000u, kKey, 2048, false, 0x0000407Fu},
        // floor towards minus infinity: 255 - 255 / 4096 is 254, not 255.
        BlendCase{"FloorsNegativeSteps", 0xFFFFFFFFu, 0x00000000u, 1, false, 0xFEFEFEFEu},
        BlendCase{"NearlyAllSecond", 0x00000000u, 0xFFFFFFFFu, 4095, false, 0xFEFEFEFEu},
        BlendCase{"WeightZeroIsFirst", 0x01020304u, 0xFFFFFFFFu, 0, false, 0x01020304u}),
    [](const auto& info) { return std::string(info.param.name); });

struct ConvertCase {
  const char* name;
  int32_t srcW, srcH;
  std::vector<uint32_t> src;  // rows top to bottom
  Rect srcRect;
  int32_t dstW, dstH;
  Rect dstRect;
  std::vector<uint32_t> expected;  // kGuard where nothing may be written
};
void PrintTo(const ConvertCase& c, std::ostream* os) { *os << c.name; }

class ConvertExamples : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(ConvertExamples, Pixels) {
  const ConvertCase& c = GetParam();
  Picture src(c.srcW, c.srcH, c.src);
  Picture dst(c.dstW, c.dstH);
  TemplateExporter exporter;
  Resample(exporter, src, c.srcRect, dst, c.dstRect);
  EXPECT_EQ(dst.TopDown(), c.expected);
  EXPECT_TRUE(dst.GuardsIntact());
}

constexpr uint32_t kP0 = 0x00000000u, kP1 = 0x00FF0C00u;
// 2 -> 4: positions 0, 1/3, 2/3, 1; lanes 0 -> 12 and 0 -> 255 at 1365 and 2730 of 4096.
constexpr uint32_t kThird = 0x00540300u, kTwoThirds = 0x00A90700u;

INSTANTIATE_TEST_SUITE_P(
    Cases, ConvertExamples,
    ::testing::Values(
        ConvertCase{"Copy", 3, 2, {1, 2, 3, 4, 5, kKey}, {0, 0, 3, 2}, 3, 2, {0, 0, 3, 2},
                    {1, 2, 3, 4, 5, kKey}},
        ConvertCase{"CopyIntoInnerRect", 2, 1, {7, 8}, {0, 0, 2, 1}, 4, 2, {1, 1, 3, 2},
                    {kGuard, kGuard, kGuard, kGuard, kGuard, 7, 8, kGuard}},
        ConvertCase{"HalveAveragesPairs", 4, 1, {0x00000010u, 0x00FF0021u, 0x80808080u, 0x81818181u},
                    {0, 0, 4, 1}, 2, 1, {0, 0, 2, 1}, {0x007F0018u, 0x80808080u}},
        ConvertCase{"HalveRows", 1, 2, {0x0000000Au, 0x0000000Du}, {0, 0, 1, 2}, 1, 1, {0, 0, 1, 1},
                    {0x0000000Bu}},
        ConvertCase{"EnlargeColumns", 2, 1, {kP0, kP1}, {0, 0, 2, 1}, 4, 1, {0, 0, 4, 1},
                    {kP0, kThird, kTwoThirds, kP1}},
        ConvertCase{"EnlargeRows", 1, 2, {kP0, kP1}, {0, 0, 1, 2}, 1, 4, {0, 0, 1, 4},
                    {kP0, kThird, kTwoThirds, kP1}},
        // Column 1 of 33 has weight 128, column 3 of 96 weight 129; the destination shows just it.
        ConvertCase{"KeyThenInkAt128", 2, 1, {kKey, kInk}, {0, 0, 2, 1}, 1, 1, {-1, 0, 32, 1}, {kKey}},
        ConvertCase{"KeyThenInkAt129", 2, 1, {kKey, kInk}, {0, 0, 2, 1}, 1, 1, {-3, 0, 93, 1}, {kInk}},
        ConvertCase{"InkThenKeyAt128", 2, 1, {kInk, kKey}, {0, 0, 2, 1}, 1, 1, {-1, 0, 32, 1}, {kInk}},
        ConvertCase{"InkThenKeyAt129", 2, 1, {kInk, kKey}, {0, 0, 2, 1}, 1, 1, {-3, 0, 93, 1}, {kKey}},
        ConvertCase{"KeyRowsAt129", 1, 2, {kKey, kInk}, {0, 0, 1, 2}, 1, 1, {0, -3, 1, 93}, {kInk}},
        // Only the inside of the source rect is stretched over the destination.
        ConvertCase{"SourcePartlyOutside", 3, 1, {kP0, kP1, kKey}, {-2, -1, 2, 1}, 4, 1, {0, 0, 4, 1},
                    {kP0, kThird, kTwoThirds, kP1}},
        // The whole destination rect sets the scale; only its inside is written.
        ConvertCase{"DestinationPartlyLeft", 2, 1, {kP0, kP1}, {0, 0, 2, 1}, 2, 1, {-2, 0, 2, 1},
                    {kTwoThirds, kP1}},
        ConvertCase{"DestinationPartlyRight", 2, 1, {kP0, kP1}, {0, 0, 2, 1}, 3, 2, {1, 1, 5, 2},
                    {kGuard, kGuard, kGuard, kGuard, kP0, kThird}},
        ConvertCase{"DestinationPartlyAbove", 1, 2, {kP0, kP1}, {0, 0, 1, 2}, 1, 2, {0, -1, 1, 3},
                    {kThird, kTwoThirds}}),
    [](const auto& info) { return std::string(info.param.name); });

// Ink blended with white keeps every lane at or above ink's; a mixture with the key (red 0) would
// pull the red lane below ink's 0x12. Unkeyed, such mixtures must appear, or the check proves nothing.
TEST(Convert, KeyedEnlargementNeverMixesKeyAndPicture) {
  Picture src(3, 3, {kKey, kInk, kKey, kInk, kKey, 0x00FFFFFFu, kKey, kKey, kInk});
  for (const bool keyed : {true, false}) {
    Picture dst(40, 29);
    TemplateExporter exporter;
    Resample(exporter, src, src.whole(), dst, dst.whole(), keyed);
    int mixtures = 0;
    for (uint32_t p : dst.TopDown()) mixtures += p != kKey && (p >> 16 & 0xFF) < 0x12;
    if (keyed)
      EXPECT_EQ(mixtures, 0);
    else
      EXPECT_GT(mixtures, 0);
  }
}

// A second conversion of the same sizes reuses both tables; changing one input rebuilds its table.
struct CacheCase {
  const char* name;
  int32_t srcW, srcH;
  Rect srcRect;
  int32_t dstW, dstH;
  Rect dstRect;
  int rowBuilds, columnBuilds;
};
void PrintTo(const CacheCase& c, std::ostream* os) { *os << c.name; }

class TableCache : public ::testing::TestWithParam<CacheCase> {};

TEST_P(TableCache, RebuildsOnlyWhatChanged) {
  const CacheCase& c = GetParam();
  TemplateExporter exporter;
  Picture src = Pattern(8, 6);
  Picture dst(12, 10);
  Resample(exporter, src, Rect{1, 1, 7, 5}, dst, Rect{0, 0, 12, 10});
  Resample(exporter, src, Rect{1, 1, 7, 5}, dst, Rect{0, 0, 12, 10});
  ASSERT_EQ(exporter.rowTableBuilds, 1);
  ASSERT_EQ(exporter.columnTableBuilds, 1);

  Picture src2 = Pattern(c.srcW, c.srcH);
  Picture dst2(c.dstW, c.dstH);
  Resample(exporter, src2, c.srcRect, dst2, c.dstRect);
  EXPECT_EQ(exporter.rowTableBuilds, 1 + c.rowBuilds);
  EXPECT_EQ(exporter.columnTableBuilds, 1 + c.columnBuilds);

  // Whatever was reused, the result is that of a fresh exporter.
  TemplateExporter fresh;
  Picture expected(c.dstW, c.dstH);
  Resample(fresh, src2, c.srcRect, expected, c.dstRect);
  EXPECT_EQ(dst2.TopDown(), expected.TopDown());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TableCache,
    ::testing::Values(
        CacheCase{"Same", 8, 6, {1, 1, 7, 5}, 12, 10, {0, 0, 12, 10}, 0, 0},
        CacheCase{"SourceStride", 9, 6, {2, 0, 8, 4}, 13, 10, {1, 0, 13, 10}, 1, 0},
        CacheCase{"SameSizesSameStride", 8, 7, {0, 2, 6, 6}, 12, 11, {0, 1, 12, 11}, 0, 0},
        CacheCase{"SourceHeight", 8, 6, {1, 1, 7, 6}, 12, 10, {0, 0, 12, 10}, 1, 0},
        CacheCase{"DestinationHeight", 8, 6, {1, 1, 7, 5}, 12, 11, {0, 0, 12, 11}, 1, 0},
        CacheCase{"RowStart", 8, 6, {1, 1, 7, 5}, 12, 9, {0, -1, 12, 9}, 1, 0},
        CacheCase{"RowCount", 8, 6, {1, 1, 7, 5}, 12, 9, {0, 0, 12, 10}, 1, 0},
        CacheCase{"SourceWidth", 8, 6, {1, 1, 6, 5}, 12, 10, {0, 0, 12, 10}, 0, 1},
        CacheCase{"DestinationWidth", 8, 6, {1, 1, 7, 5}, 13, 10, {0, 0, 13, 10}, 0, 1},
        CacheCase{"ColumnStart", 8, 6, {1, 1, 7, 5}, 11, 10, {-1, 0, 11, 10}, 0, 1},
        CacheCase{"ColumnCount", 8, 6, {1, 1, 7, 5}, 11, 10, {0, 0, 12, 10}, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

class AllocationFailure : public ::testing::TestWithParam<int> {
 protected:
  void TearDown() override { platform::FailAllocations(0, 0); }
};

// Skip 0, 1, 2: the line buffer, the column table, the row table.
TEST_P(AllocationFailure, WritesNothingAndTheNextCallWorks) {
  Picture src = Pattern(5, 4);
  Picture expected(7, 9);
  TemplateExporter reference;
  Resample(reference, src, src.whole(), expected, expected.whole());

  TemplateExporter exporter;
  Picture dst(7, 9);
  platform::FailAllocations(GetParam(), 1);
  Resample(exporter, src, src.whole(), dst, dst.whole());
  platform::FailAllocations(0, 0);
  EXPECT_EQ(dst.TopDown(), Picture(7, 9).TopDown());
  Resample(exporter, src, src.whole(), dst, dst.whole());
  EXPECT_EQ(dst.TopDown(), expected.TopDown());
  EXPECT_TRUE(dst.GuardsIntact());
}

INSTANTIATE_TEST_SUITE_P(EachBuffer, AllocationFailure, ::testing::Values(0, 1, 2));

// A table lost to a failed reallocation must not be taken for the one built before it.
TEST(AllocationFailure, LostTableIsRebuilt) {
  TemplateExporter exporter;
  Picture src = Pattern(5, 4);
  Picture small(6, 6), large(60, 60);
  Resample(exporter, src, src.whole(), small, small.whole());
  platform::FailAllocations(0, 1);  // the column table's reallocation
  Resample(exporter, src, src.whole(), large, large.whole());
  platform::FailAllocations(0, 0);
  EXPECT_EQ(exporter.columnTable, nullptr);
  EXPECT_EQ(exporter.columnCapacity, 0);
  Picture again(6, 6);
  Resample(exporter, src, src.whole(), again, again.whole());
  EXPECT_EQ(exporter.columnTableBuilds, 2);
  EXPECT_EQ(again.TopDown(), small.TopDown());
}

// With 25 % slack a buffer keeps its block from 75 % to 125 % of its capacity.
TEST(Slack, ReallocatesOnlyOutsideTheSlack) {
  TemplateExporter exporter;
  exporter.SetSlack(25, 25);
  Picture src = Pattern(4, 4);
  const struct {
    int32_t width, capacity;
    bool moved;
  } steps[] = {{100, 100, true}, {125, 100, false}, {75, 100, false},
               {126, 126, true}, {95, 126, false},  {94, 94, true}};
  for (const auto& step : steps) {
    const ScaleEntry* before = exporter.columnTable;
    Picture dst(step.width, 1);
    Resample(exporter, src, src.whole(), dst, dst.whole());
    EXPECT_EQ(exporter.columnCapacity, step.capacity) << step.width;
    if (!step.moved) {
      EXPECT_EQ(exporter.columnTable, before) << step.width;
    }
    EXPECT_TRUE(dst.GuardsIntact());
  }
}

// Slack given after a buffer was allocated must not let a later need outgrow the block.
TEST(Slack, GrownAfterAllocationStillReallocates) {
  TemplateExporter exporter;
  Picture src = Pattern(4, 4);
  Picture first(100, 1), second(120, 1), expected(120, 1);
  Resample(exporter, src, src.whole(), first, first.whole());
  exporter.SetSlack(25, 25);
  Resample(exporter, src, src.whole(), second, second.whole());
  EXPECT_EQ(exporter.columnCapacity, 120);
  TemplateExporter fresh;
  Resample(fresh, src, src.whole(), expected, expected.whole());
  EXPECT_EQ(second.TopDown(), expected.TopDown());
}

struct RefusalCase {
  const char* name;
  int32_t srcW, srcH;  // as claimed to the exporter; storage is 4 x 4
  Rect srcRect;
  int32_t dstW, dstH;  // claimed; storage is 4 x 4
  Rect dstRect;
};
void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class Refusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusal, WritesNothing) {
  const RefusalCase& c = GetParam();
  Picture src = Pattern(4, 4);
  Picture dst(4, 4);
  TemplateExporter exporter;
  exporter.Convert(src.bits(), c.srcW, c.srcH, c.srcRect, dst.bits(), c.dstW, c.dstH, c.dstRect,
                   kKeyColor, true);
  EXPECT_EQ(dst.TopDown(), Picture(4, 4).TopDown());
  EXPECT_TRUE(dst.GuardsIntact());
}

constexpr Rect kAll{0, 0, 4, 4};
INSTANTIATE_TEST_SUITE_P(
    Cases, Refusal,
    ::testing::Values(
        RefusalCase{"EmptySourceRect", 4, 4, {2, 0, 2, 4}, 4, 4, kAll},
        RefusalCase{"SourceRectOutside", 4, 4, {4, 0, 9, 4}, 4, 4, kAll},
        RefusalCase{"InvertedDestinationRect", 4, 4, kAll, 4, 4, {3, 3, 1, 1}},
        RefusalCase{"NegativeSourceWidth", -4, 4, kAll, 4, 4, kAll},
        RefusalCase{"ZeroDestinationHeight", 4, 4, kAll, 4, 0, kAll},
        RefusalCase{"DestinationRectTooWide", 4, 4, kAll, 4, 4, {INT_MIN, 0, 4, 4}},
        RefusalCase{"SourceBeyond2GiB", 1 << 28, 3, kAll, 4, 4, kAll},
        RefusalCase{"SourceSizeOverflows", INT_MAX, INT_MAX, kAll, 4, 4, kAll},
        RefusalCase{"DestinationSizeOverflows", 4, 4, kAll, INT_MAX, INT_MAX, kAll}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Refusal, NullPointersAndOverlongSpans) {
  TemplateExporter exporter;
  Picture src = Pattern(4, 4), dst(4, 4), wide(TemplateExporter::kMaxSourceSpan + 1, 1, kInk);
  exporter.Convert(nullptr, 4, 4, kAll, dst.bits(), 4, 4, kAll, 0, true);
  exporter.Convert(src.bits(), 4, 4, kAll, nullptr, 4, 4, kAll, 0, true);
  Resample(exporter, wide, wide.whole(), dst, dst.whole());
  EXPECT_EQ(dst.TopDown(), Picture(4, 4).TopDown());
  // One pixel less is addressable.
  Resample(exporter, wide, Rect{1, 0, wide.width, 1}, dst, dst.whole());
  EXPECT_NE(dst.TopDown(), Picture(4, 4).TopDown());
}

// Rectangles reaching to the ends of the number range: clipped, never overflowing.
TEST(Convert, ExtremeRectanglesStayInside) {
  TemplateExporter exporter;
  Picture src = Pattern(4, 4), dst(5, 3), whole(5, 3);
  Resample(exporter, src, Rect{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, dst, dst.whole());
  Resample(exporter, src, src.whole(), whole, whole.whole());
  EXPECT_EQ(dst.TopDown(), whole.TopDown());

  Picture far(5, 3);
  Resample(exporter, src, src.whole(), far, Rect{-1000000000, -1000000000, 1000000000, 1000000000});
  EXPECT_TRUE(far.GuardsIntact());
  for (uint32_t p : far.TopDown()) EXPECT_NE(p, kGuard);
}

}  // namespace
}  // namespace vle
