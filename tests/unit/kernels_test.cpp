// The template kernels on image buffers: the decision rule at its edges, ties, inversion, odd
// widths, per-buffer rectangles, and buffers without pixels.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>

#include "core/image_buffer.h"
#include "core/settings_block.h"
#include "core/template_kernels.h"
#include "platform/memory.h"

namespace vle {
namespace {

constexpr uint32_t kKey = 0x00FF8000u;  // default ColorKey: KeyPixel 0x000080FF
constexpr uint32_t kKeyPixel = 0x000080FFu;

uint32_t Pixel(uint32_t luma, uint32_t color) { return luma << 24 | (color & 0xFFFFFF); }

void FillBuffer(ImageBuffer& b, uint32_t value) {
  for (int32_t y = 0; y < b.allocHeight; ++y) {
    for (int32_t x = 0; x < b.allocWidth; ++x) *b.PixelAt(x, y) = value;
  }
}

// ---- The decision rule ---------------------------------------------------------------------

struct RuleCase {
  const char* name;
  uint32_t maxLuma, minLuma;
  int32_t threshold, blackLevel;
  uint32_t inverse;
  bool keyed;
};

void PrintTo(const RuleCase& k, std::ostream* os) { *os << k.name; }

class TemplateRule : public ::testing::TestWithParam<RuleCase> {};

TEST_P(TemplateRule, KeysOrKeepsTheWholeMinimum) {
  const RuleCase& k = GetParam();
  // Odd width, so that the last column is part of the check.
  ImageBuffer max(3, 2), min(3, 2), out(3, 2);
  const uint32_t minPixel = Pixel(k.minLuma, 0x123456);
  FillBuffer(max, Pixel(k.maxLuma, 0xABCDEF));
  FillBuffer(min, minPixel);
  FillBuffer(out, 0x77777777);
  BuildTemplate(max, min, out, kKey, k.threshold, k.blackLevel, k.inverse);
  for (int32_t y = 0; y < 2; ++y) {
    for (int32_t x = 0; x < 3; ++x) {
      EXPECT_EQ(*out.PixelAt(x, y), k.keyed ? kKeyPixel : minPixel) << k.name << " at " << x;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kernels, TemplateRule,
    ::testing::Values(
        // A swing equal to the threshold is steady.
        RuleCase{"swing 100 threshold 100", 200, 100, 100, 0, 0, false},
        RuleCase{"swing 100 threshold 99", 200, 100, 99, 0, 0, true},
        // A minimum equal to the black level is not dark.
        RuleCase{"min 16 black 16", 16, 16, 50, 16, 0, false},
        RuleCase{"min 16 black 17", 16, 16, 50, 17, 0, true},
        RuleCase{"inverted steady", 200, 100, 100, 0, 1, true},
        RuleCase{"inverted varying", 200, 100, 99, 0, 1, false},
        RuleCase{"inverse any non-zero", 200, 100, 99, 0, 0x80000000u, false},
        // No capture since the reset: negative swing, shows the reset minimum.
        RuleCase{"untouched accumulators", 0, 255, 50, 0, 0, false},
        RuleCase{"untouched, inverted", 0, 255, 50, 0, 1, true},
        // Settings a hand-edited file can hold: the comparisons stay signed 32-bit.
        RuleCase{"threshold int32 min", 10, 10, INT32_MIN, 0, 0, true},
        RuleCase{"threshold int32 max", 255, 0, INT32_MAX, 0, 0, false},
        RuleCase{"threshold -1, equal lumas", 10, 10, -1, 0, 0, true},
        RuleCase{"threshold -256, reset lumas", 0, 255, -256, 0, 0, true},
        RuleCase{"threshold -255, reset lumas", 0, 255, -255, 0, 0, false},
        RuleCase{"threshold 256", 255, 0, 256, 0, 0, false},
        RuleCase{"black int32 max", 255, 255, 300, INT32_MAX, 0, true},
        RuleCase{"black int32 min", 0, 0, 300, INT32_MIN, 0, false},
        RuleCase{"black 256", 255, 255, 300, 256, 0, true},
        RuleCase{"black -1", 0, 0, 300, -1, 0, false}),
    [](const auto& info) {
      std::string n = info.param.name;
      for (char& c : n) {
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return n;
    });

TEST(Kernels, KeyPixelKeepsTheColorValuesTopByte) {
  ImageBuffer max(2, 1), min(2, 1), out(2, 1);
  FillBuffer(max, Pixel(255, 0));
  FillBuffer(min, Pixel(0, 0));
  BuildTemplate(max, min, out, 0x11223344u, 0, 0, 0);
  EXPECT_EQ(*out.PixelAt(0, 0), 0x11443322u);
  EXPECT_EQ(*out.PixelAt(1, 0), 0x11443322u);
}

TEST(Kernels, InversionSwapsKeyedAndKeptExactly) {
  std::mt19937 rng(3);
  ImageBuffer max(37, 5), min(37, 5), plain(37, 5), inverted(37, 5);
  for (int32_t y = 0; y < 5; ++y) {
    for (int32_t x = 0; x < 37; ++x) {
      const uint32_t a = rng(), b = rng();
      *max.PixelAt(x, y) = (a >> 24) >= (b >> 24) ? a : b;
      *min.PixelAt(x, y) = (a >> 24) >= (b >> 24) ? b : a;
    }
  }
  BuildTemplate(max, min, plain, kKey, 40, 30, 0);
  BuildTemplate(max, min, inverted, kKey, 40, 30, 1);
  int keyed = 0;
  for (int32_t y = 0; y < 5; ++y) {
    for (int32_t x = 0; x < 37; ++x) {
      const uint32_t kept = *min.PixelAt(x, y);
      const uint32_t p = *plain.PixelAt(x, y), q = *inverted.PixelAt(x, y);
      ASSERT_NE(kept, kKeyPixel);  // else the two outcomes could not be told apart
      // Exactly one of the two is the key and the other the minimum.
      EXPECT_TRUE((p == kKeyPixel && q == kept) || (p == kept && q == kKeyPixel)) << x << "," << y;
      keyed += p == kKeyPixel;
    }
  }
  EXPECT_GT(keyed, 0);
  EXPECT_LT(keyed, 37 * 5);
}

// ---- Accumulators --------------------------------------------------------------------------

TEST(Kernels, CapturesOfLuma100And200GiveTheDocumentedTemplate) {
  ImageBuffer capture(4, 2), max(4, 2), min(4, 2), out(4, 2);
  ResetAccumulators(&max, &min);
  const uint32_t dim = Pixel(100, 0x102030), bright = Pixel(200, 0x405060);
  for (uint32_t frame : {dim, bright}) {
    FillBuffer(capture, frame);
    AccumulateMax(capture, max);
    AccumulateMin(capture, min);
  }
  EXPECT_EQ(*max.PixelAt(3, 1), bright);
  EXPECT_EQ(*min.PixelAt(3, 1), dim);
  BuildTemplate(max, min, out, kKey, 100, 0, 0);
  EXPECT_EQ(*out.PixelAt(0, 0), dim);
  BuildTemplate(max, min, out, kKey, 99, 0, 0);
  EXPECT_EQ(*out.PixelAt(0, 0), kKeyPixel);
}

struct AccumulateCase {
  const char* name;
  uint32_t source, destination;
  uint32_t afterMax, afterMin;
};

void PrintTo(const AccumulateCase& k, std::ostream* os) { *os << k.name; }

class Accumulators : public ::testing::TestWithParam<AccumulateCase> {};

TEST_P(Accumulators, CompareTheTopByteAndCopyWholePixels) {
  const AccumulateCase& k = GetParam();
  // Width 5: pairs plus a last column.
  ImageBuffer src(5, 3), mx(5, 3), mn(5, 3);
  FillBuffer(src, k.source);
  FillBuffer(mx, k.destination);
  FillBuffer(mn, k.destination);
  AccumulateMax(src, mx);
  AccumulateMin(src, mn);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 5; ++x) {
      EXPECT_EQ(*mx.PixelAt(x, y), k.afterMax) << k.name << " max at " << x << "," << y;
      EXPECT_EQ(*mn.PixelAt(x, y), k.afterMin) << k.name << " min at " << x << "," << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kernels, Accumulators,
    ::testing::Values(
        AccumulateCase{"brighter", 0x80010203u, 0x7FFFFFFFu, 0x80010203u, 0x7FFFFFFFu},
        AccumulateCase{"darker", 0x10FFFFFFu, 0x20000000u, 0x20000000u, 0x10FFFFFFu},
        // Ties keep the destination, colour bytes included, however the colours compare.
        AccumulateCase{"tie, source colour larger", 0x40FFFFFFu, 0x40000001u, 0x40000001u,
                       0x40000001u},
        AccumulateCase{"tie, source colour smaller", 0x40000000u, 0x40FFFFFEu, 0x40FFFFFEu,
                       0x40FFFFFEu},
        // Luma 255 against 0: the top bit must not make the comparison signed.
        AccumulateCase{"luma 255 vs 0", 0xFF000000u, 0x00FFFFFFu, 0xFF000000u, 0x00FFFFFFu},
        AccumulateCase{"luma 0 vs 255", 0x00123456u, 0xFF654321u, 0xFF654321u, 0x00123456u}),
    [](const auto& info) {
      std::string n = info.param.name;
      for (char& c : n) {
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return n;
    });

class Widths : public ::testing::TestWithParam<int32_t> {};

// Every column is processed, including the last one of an odd width.
TEST_P(Widths, EveryColumnIsProcessed) {
  const int32_t w = GetParam();
  ImageBuffer src(w, 2), max(w, 2), min(w, 2), out(w, 2);
  ResetAccumulators(&max, &min);
  FillBuffer(src, Pixel(90, 0x010203));
  FillBuffer(out, 0x55555555u);
  AccumulateMax(src, max);
  AccumulateMin(src, min);
  BuildTemplate(max, min, out, kKey, 50, 0, 0);
  for (int32_t y = 0; y < 2; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      EXPECT_EQ(*max.PixelAt(x, y), Pixel(90, 0x010203)) << x;
      EXPECT_EQ(*min.PixelAt(x, y), Pixel(90, 0x010203)) << x;
      EXPECT_EQ(*out.PixelAt(x, y), Pixel(90, 0x010203)) << x;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, Widths, ::testing::Values(1, 2, 3, 7, 8, 9, 15, 16, 17, 33, 721));

// ---- Geometry --------------------------------------------------------------------------------

// The destination's rect is processed; each input is read from its own rect's top-left; nothing
// outside the destination's rect changes.
TEST(Kernels, InputsAreReadFromTheirOwnRectangles) {
  ImageBuffer src(9, 7), dst(6, 5);
  for (int32_t y = 0; y < 7; ++y) {
    for (int32_t x = 0; x < 9; ++x) *src.PixelAt(x, y) = Pixel(200, uint32_t(y * 16 + x));
  }
  FillBuffer(dst, Pixel(100, 0xEEEEEE));
  src.rect = Rect{2, 3, 9, 7};  // 7 x 4, larger than the destination's
  dst.rect = Rect{1, 1, 4, 4};  // 3 x 3
  AccumulateMax(src, dst);
  for (int32_t y = 0; y < 5; ++y) {
    for (int32_t x = 0; x < 6; ++x) {
      const bool inside = x >= 1 && x < 4 && y >= 1 && y < 4;
      const uint32_t want =
          inside ? Pixel(200, uint32_t((y - 1 + 3) * 16 + (x - 1 + 2))) : Pixel(100, 0xEEEEEE);
      EXPECT_EQ(*dst.PixelAt(x, y), want) << x << "," << y;
    }
  }
}

TEST(Kernels, TemplateReadsEachInputAtItsOwnRect) {
  ImageBuffer max(4, 4), min(4, 4), out(2, 2);
  FillBuffer(max, Pixel(0, 0));
  FillBuffer(min, Pixel(0, 0));
  *max.PixelAt(3, 3) = Pixel(250, 0);        // max rect starts at (2, 2)
  *min.PixelAt(1, 1) = Pixel(10, 0xABCDEF);  // min rect starts at (0, 0)
  max.rect = Rect{2, 2, 4, 4};
  min.rect = Rect{0, 0, 2, 2};
  BuildTemplate(max, min, out, kKey, 100, 0, 0);
  // Work position (1, 1): max (3, 3) luma 250, min (1, 1) luma 10: swing 240 is keyed.
  EXPECT_EQ(*out.PixelAt(1, 1), kKeyPixel);
  EXPECT_EQ(*out.PixelAt(0, 0), Pixel(0, 0));
}

// An input smaller than the processed rect limits the work to what it holds instead of
// reading past it.
TEST(Kernels, SmallerInputLimitsTheWork) {
  ImageBuffer src(2, 1), dst(4, 3);
  FillBuffer(src, Pixel(200, 1));
  FillBuffer(dst, Pixel(100, 2));
  AccumulateMax(src, dst);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 4; ++x) {
      EXPECT_EQ(*dst.PixelAt(x, y), x < 2 && y < 1 ? Pixel(200, 1) : Pixel(100, 2))
          << x << "," << y;
    }
  }
}

// ---- Buffers without pixels and the reset ---------------------------------------------------

TEST(Kernels, BuffersWithoutPixelsAreEmpty) {
  ImageBuffer full(4, 4), none(0, 0), emptyRect(4, 4);
  emptyRect.rect = Rect{2, 2, 2, 4};
  platform::FailAllocations(0, 1);
  ImageBuffer failed(4, 4);
  platform::FailAllocations(0, 0);
  ASSERT_EQ(failed.bits, nullptr);
  FillBuffer(full, Pixel(7, 7));
  FillBuffer(emptyRect, Pixel(9, 9));
  for (ImageBuffer* other : {&none, &failed, &emptyRect}) {
    AccumulateMax(full, *other);
    AccumulateMin(*other, full);
    BuildTemplate(*other, full, full, kKey, 0, 0, 1);
    BuildTemplate(full, *other, full, kKey, 0, 0, 1);
    BuildTemplate(full, full, *other, kKey, 0, 0, 1);
  }
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 4; ++x) {
      EXPECT_EQ(*full.PixelAt(x, y), Pixel(7, 7));
      EXPECT_EQ(*emptyRect.PixelAt(x, y), Pixel(9, 9));
    }
  }
  ResetAccumulators(&failed, &none);  // nothing to fill, nothing happens
}

TEST(Kernels, ResetFillsBothRectsAndSkipsMissingBuffers) {
  ImageBuffer max(5, 3), min(5, 3);
  FillBuffer(max, 0x12345678u);
  FillBuffer(min, 0x12345678u);
  max.rect = Rect{0, 0, 4, 2};
  ResetAccumulators(&max, &min);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 5; ++x) {
      EXPECT_EQ(*max.PixelAt(x, y), x < 4 && y < 2 ? 0u : 0x12345678u) << x << "," << y;
      EXPECT_EQ(*min.PixelAt(x, y), 0xFFFFFFFFu);
    }
  }
  FillBuffer(max, 1);
  ResetAccumulators(nullptr, &min);
  ResetAccumulators(&max, nullptr);
  EXPECT_EQ(*max.PixelAt(0, 0), 0u);
  EXPECT_EQ(*max.PixelAt(4, 2), 1u);  // outside its rect
}

}  // namespace
}  // namespace vle
