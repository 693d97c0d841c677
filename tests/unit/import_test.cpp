// Frame import: exact conversions, pair handling, addressing, clipping and refusals, checked
// against a per-pixel model written from the formulas (division-based floors, whole-frame
// addressing) rather than from the row routines.
#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstdint>
#include <random>
#include <vector>

#include "frame/frame_adapter.h"
#include "core/surface_size.h"

namespace vle {
namespace {

constexpr uint32_t kUntouched = 0xDEADBEEFu;

uint32_t Bytes(uint32_t b0, uint32_t b1, uint32_t b2, uint32_t b3) {
  return b0 | b1 << 8 | b2 << 16 | b3 << 24;
}

int32_t FloorDiv(int32_t a, int32_t b) {
  const int32_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

uint32_t Clamp(int32_t v) { return v < 0 ? 0 : v > 255 ? 255 : uint32_t(v); }

uint32_t ModelFromYuv(uint32_t y, uint32_t cb, uint32_t cr, int32_t code) {
  const int32_t u = int32_t(cb) - 128, v = int32_t(cr) - 128, l = int32_t(y);
  const uint32_t b = Clamp(l + FloorDiv(7258 * u, 4096));
  const uint32_t g = Clamp(l + FloorDiv(-1410 * u, 4096) + FloorDiv(-2925 * v, 4096));
  const uint32_t r = Clamp(l + FloorDiv(5743 * v, 4096));
  switch (code) {
    case kBgrLuma32: return Bytes(b, g, r, y);
    case kBgrAlpha32: return Bytes(b, g, r, 255);
    case kYuvAlpha32: return Bytes(y, cb, 255, cr);
    default: return Bytes(y, cb, y, cr);
  }
}

uint32_t ModelFromBgr(uint32_t b, uint32_t g, uint32_t r, int32_t code) {
  const int32_t bi = int32_t(b), gi = int32_t(g), ri = int32_t(r);
  const uint32_t y = uint32_t(FloorDiv(3735 * bi + 19235 * gi + 9798 * ri, 32768));
  const uint32_t cb = uint32_t(FloorDiv(16384 * bi - 10855 * gi - 5529 * ri, 32768) + 128);
  const uint32_t cr = uint32_t(FloorDiv(-2664 * bi - 13720 * gi + 16384 * ri, 32768) + 128);
  switch (code) {
    case kBgrLuma32: return Bytes(b, g, r, y);
    case kBgrAlpha32: return Bytes(b, g, r, 255);
    case kYuvAlpha32: return Bytes(y, cb, 255, cr);
    default: return Bytes(y, cb, y, cr);
  }
}

// A host frame in memory, laid out by the host's addressing rules.
struct TestFrame {
  int32_t format, width, height;
  std::vector<uint8_t> bytes;

  TestFrame(int32_t f, int32_t w, int32_t h, uint32_t seed) : format(f), width(w), height(h) {
    bytes.resize(size_t(w) * h * (f == kYuy2 ? 2 : 3));
    std::mt19937 rng(seed);
    for (uint8_t& b : bytes) b = uint8_t(rng() >> 24);
  }
  // Byte of pixel (x, y), y from the top.
  size_t Offset(int32_t x, int32_t y) const {
    return format == kYuy2 ? size_t(2) * x + size_t(2) * width * y
                           : size_t(3) * x + size_t(3) * width * (height - 1 - y);
  }
  // The picture pixel the import must make of frame pixel (x, y).
  uint32_t Expected(int32_t x, int32_t y, int32_t code) const {
    if (format == kBgr24) {
      const size_t o = Offset(x, y);
      return ModelFromBgr(bytes[o], bytes[o + 1], bytes[o + 2], code);
    }
    const size_t pair = Offset(x & ~1, y);
    const uint32_t luma = bytes[Offset(x, y)];
    // Last column of an odd width: half a pair, converted with neutral Cr.
    const uint32_t cr = (width & 1) && x == width - 1 ? 128 : bytes[pair + 3];
    return ModelFromYuv(luma, bytes[pair + 1], cr, code);
  }
};

// A 32-bit picture of the given size, every pixel kUntouched.
struct TestImage {
  int32_t width, height, code;
  std::vector<uint32_t> pixels;

  TestImage(int32_t w, int32_t h, int32_t c)
      : width(w), height(h), code(c), pixels(size_t(w) * h, kUntouched) {}
  bool TopDown() const { return code == kYuvAlpha32 || code == kYuvLuma32; }
  uint32_t At(int32_t x, int32_t y) const {
    return pixels[size_t(x) + size_t(width) * (TopDown() ? y : height - 1 - y)];
  }
  Size size() const { return Size{width, height}; }
};

FrameAdapter Adapter(const TestFrame& f) {
  FrameAdapter a;
  a.SetFormat(f.width, f.height, f.format);
  return a;
}

// Every image pixel: converted from its frame pixel where the block lies inside both surfaces,
// untouched elsewhere.
void ExpectImported(const TestFrame& frame, Point point, const TestImage& image, Rect rect) {
  int mismatches = 0;
  for (int32_t iy = 0; iy < image.height; ++iy) {
    for (int32_t ix = 0; ix < image.width; ++ix) {
      const int64_t fx = int64_t{point.x} + ix - rect.left;
      const int64_t fy = int64_t{point.y} + iy - rect.top;
      const bool inBlock = ix >= rect.left && ix < rect.right && iy >= rect.top && iy < rect.bottom;
      const bool inFrame = fx >= 0 && fx < frame.width && fy >= 0 && fy < frame.height;
      const uint32_t want =
          inBlock && inFrame ? frame.Expected(int32_t(fx), int32_t(fy), image.code) : kUntouched;
      if (image.At(ix, iy) != want && ++mismatches <= 5) {
        ADD_FAILURE() << "image pixel (" << ix << ", " << iy << ") is " << std::hex
                      << image.At(ix, iy) << ", expected " << want;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// ---- Worked values -------------------------------------------------------------------------

struct WorkedCase {
  const char* name;
  int32_t frameFormat;
  std::vector<uint8_t> frame;  // one row
  int32_t code;
  std::vector<uint32_t> expected;
};

void PrintTo(const WorkedCase& k, std::ostream* os) { *os << k.name; }

class WorkedValues : public ::testing::TestWithParam<WorkedCase> {};

TEST_P(WorkedValues, ConvertExactly) {
  const WorkedCase& k = GetParam();
  const int32_t width = int32_t(k.expected.size());
  FrameAdapter adapter;
  adapter.SetFormat(width, 1, k.frameFormat);
  TestImage image(width, 1, k.code);
  adapter.ImportRegion(k.frame.data(), Point{0, 0}, image.pixels.data(), image.size(),
                       Rect{0, 0, width, 1}, k.code);
  for (int32_t x = 0; x < width; ++x) {
    EXPECT_EQ(image.At(x, 0), k.expected[x]) << k.name << " pixel " << x << std::hex
                                              << " got " << image.At(x, 0);
  }
}

const uint8_t kPair[] = {100, 90, 110, 160};
std::vector<uint8_t> Pair() { return {std::begin(kPair), std::end(kPair)}; }

INSTANTIATE_TEST_SUITE_P(
    Import, WorkedValues,
    ::testing::Values(
        WorkedCase{"yuy2 pair, BgrLuma32", kYuy2, Pair(), kBgrLuma32,
                   {Bytes(32, 90, 144, 100), Bytes(42, 100, 154, 110)}},
        WorkedCase{"yuy2 pair, BgrAlpha32", kYuy2, Pair(), kBgrAlpha32,
                   {Bytes(32, 90, 144, 255), Bytes(42, 100, 154, 255)}},
        WorkedCase{"yuy2 pair, YuvAlpha32", kYuy2, Pair(), kYuvAlpha32,
                   {Bytes(100, 90, 255, 160), Bytes(110, 90, 255, 160)}},
        WorkedCase{"yuy2 pair, YuvLuma32", kYuy2, Pair(), kYuvLuma32,
                   {Bytes(100, 90, 100, 160), Bytes(110, 90, 110, 160)}},
        // Both clamp ends: B and R above 255, then G below 0.
        WorkedCase{"yuy2 saturating", kYuy2, {250, 255, 5, 255}, kBgrLuma32,
                   {Bytes(255, 115, 255, 250), Bytes(230, 0, 183, 5)}},
        WorkedCase{"yuy2 low chroma", kYuy2, {5, 0, 200, 0}, kBgrLuma32,
                   {Bytes(0, 140, 0, 5), Bytes(0, 255, 20, 200)}},
        // The two G terms are floored separately: 100 + 23 + 90, where one floor would give 214.
        WorkedCase{"yuy2 separate G floors", kYuy2, {100, 60, 100, 1}, kBgrLuma32,
                   {Bytes(0, 213, 0, 100), Bytes(0, 213, 0, 100)}},
        WorkedCase{"bgr24 grey, YuvLuma32", kBgr24, {192, 192, 192}, kYuvLuma32,
                   {Bytes(192, 128, 192, 128)}},
        WorkedCase{"bgr24 red, YuvLuma32", kBgr24, {0, 0, 255}, kYuvLuma32,
                   {Bytes(76, 84, 76, 255)}},
        WorkedCase{"bgr24 white, YuvAlpha32", kBgr24, {255, 255, 255}, kYuvAlpha32,
                   {Bytes(255, 128, 255, 128)}},
        WorkedCase{"bgr24 red, BgrLuma32", kBgr24, {0, 0, 255}, kBgrLuma32,
                   {Bytes(0, 0, 255, 76)}},
        WorkedCase{"bgr24 white, BgrLuma32", kBgr24, {255, 255, 255}, kBgrLuma32,
                   {Bytes(255, 255, 255, 255)}},
        WorkedCase{"bgr24 BgrAlpha32 copies", kBgr24, {1, 2, 3}, kBgrAlpha32,
                   {Bytes(1, 2, 3, 255)}},
        // Blue luma weight 3735: 3736 would give 75 here.
        WorkedCase{"bgr24 blue weight", kBgr24, {7, 50, 150}, kYuvLuma32,
                   {Bytes(74, 89, 74, 181)}},
        WorkedCase{"bgr24 black", kBgr24, {0, 0, 0}, kYuvLuma32, {Bytes(0, 128, 0, 128)}}),
    [](const auto& info) {
      std::string n = info.param.name;
      for (char& c : n) {
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return n;
    });

// ---- Pair handling on Yuy2 frames ---------------------------------------------------------

struct SpanCase {
  int32_t x, count;  // frame columns [x, x + count) of row 1
};

class Yuy2Spans : public ::testing::TestWithParam<SpanCase> {};

// Odd starts take the second pixel of their pair; odd counts end with the first pixel of the
// pair after the last whole one; chroma always from the pixel's own pair.
TEST_P(Yuy2Spans, EveryPixelTakesItsOwnPairsChroma) {
  const SpanCase k = GetParam();
  const TestFrame frame(kYuy2, 24, 3, 7);
  const FrameAdapter adapter = Adapter(frame);
  for (int32_t code : {kBgrLuma32, kYuvLuma32}) {
    TestImage image(k.count + 2, 1, code);
    const Rect rect{1, 0, 1 + k.count, 1};
    adapter.ImportRegion(frame.bytes.data(), Point{k.x, 1}, image.pixels.data(), image.size(),
                         rect, code);
    ExpectImported(frame, Point{k.x, 1}, image, rect);
  }
}

INSTANTIATE_TEST_SUITE_P(Import, Yuy2Spans,
                         ::testing::Values(SpanCase{0, 1}, SpanCase{1, 1}, SpanCase{0, 2},
                                           SpanCase{1, 2}, SpanCase{2, 3}, SpanCase{3, 3},
                                           SpanCase{4, 17}, SpanCase{5, 17}, SpanCase{5, 18},
                                           SpanCase{0, 24}, SpanCase{1, 23}, SpanCase{23, 1}));

TEST(Import, Yuy2OddStartUsesTheSecondPixelOfItsPair) {
  const uint8_t frame[] = {10, 90, 20, 160, 30, 100, 40, 150};
  FrameAdapter adapter;
  adapter.SetFormat(4, 1, kYuy2);
  uint32_t image[2] = {kUntouched, kUntouched};
  adapter.ImportRegion(frame, Point{1, 0}, image, Size{2, 1}, Rect{0, 0, 2, 1}, kYuvLuma32);
  EXPECT_EQ(image[0], Bytes(20, 90, 20, 160));
  EXPECT_EQ(image[1], Bytes(30, 100, 30, 150));
}

// In an odd-width frame the last column has no Cr of its own; it must neither be read from the
// next row nor from beyond the frame's end.
TEST(Import, Yuy2OddWidthLastColumnStaysInsideItsRow) {
  const TestFrame frame(kYuy2, 5, 3, 11);
  const FrameAdapter adapter = Adapter(frame);
  for (int32_t x : {0, 1, 3, 4}) {
    TestImage image(5, 3, kBgrLuma32);
    const Rect rect{0, 0, 5 - x, 3};
    adapter.ImportRegion(frame.bytes.data(), Point{x, 0}, image.pixels.data(), image.size(), rect,
                         kBgrLuma32);
    ExpectImported(frame, Point{x, 0}, image, rect);
  }
}

// ---- Row order --------------------------------------------------------------------------

TEST(Import, Bgr24TopRowIsTheLastRowInMemory) {
  // Two rows of one pixel: memory row 0 is the picture's bottom.
  const uint8_t frame[] = {1, 2, 3, 4, 5, 6};
  FrameAdapter adapter;
  adapter.SetFormat(1, 2, kBgr24);
  uint32_t image[2] = {kUntouched, kUntouched};
  adapter.ImportRegion(frame, Point{0, 0}, image, Size{1, 2}, Rect{0, 0, 1, 2}, kBgrAlpha32);
  // BgrAlpha32 images are bottom-up: image[1] is the top row.
  EXPECT_EQ(image[1], Bytes(4, 5, 6, 255));
  EXPECT_EQ(image[0], Bytes(1, 2, 3, 255));
}

// ---- Clipping ----------------------------------------------------------------------------

struct ClipCase {
  const char* name;
  int32_t frameWidth, frameHeight;
  Point point;
  int32_t imageWidth, imageHeight;
  Rect rect;
};

void PrintTo(const ClipCase& k, std::ostream* os) { *os << k.name; }

class Clipping : public ::testing::TestWithParam<std::tuple<ClipCase, int32_t, int32_t>> {};

TEST_P(Clipping, WritesExactlyTheOverlap) {
  const auto& [k, frameFormat, code] = GetParam();
  const TestFrame frame(frameFormat, k.frameWidth, k.frameHeight, 5);
  const FrameAdapter adapter = Adapter(frame);
  TestImage image(k.imageWidth, k.imageHeight, code);
  adapter.ImportRegion(frame.bytes.data(), k.point, image.pixels.data(), image.size(), k.rect,
                       code);
  ExpectImported(frame, k.point, image, k.rect);
}

const ClipCase kClipCases[] = {
    {"whole", 16, 8, {0, 0}, 16, 8, {0, 0, 16, 8}},
    {"inner block", 16, 8, {3, 2}, 16, 8, {5, 1, 12, 6}},
    {"image rect larger than frame", 10, 6, {0, 0}, 20, 12, {2, 3, 20, 12}},
    {"frame point left of frame", 16, 4, {-10, 0}, 30, 4, {0, 0, 30, 4}},
    {"frame point above frame", 8, 8, {1, -3}, 8, 8, {0, 0, 8, 8}},
    {"block past frame right and bottom", 16, 8, {11, 5}, 16, 8, {0, 0, 16, 8}},
    {"image rect left of image", 16, 8, {4, 0}, 16, 8, {-3, -2, 5, 4}},
    {"image rect past image", 16, 8, {0, 0}, 10, 5, {6, 3, 16, 8}},
    {"odd start", 17, 5, {3, 1}, 16, 8, {0, 0, 13, 4}},
    {"odd start, odd count", 16, 5, {5, 0}, 16, 8, {1, 1, 8, 4}},
    {"wholly right of frame", 16, 8, {16, 0}, 16, 8, {0, 0, 4, 4}},
    {"wholly below frame", 16, 8, {0, 8}, 16, 8, {0, 0, 4, 4}},
    {"wholly outside image", 16, 8, {0, 0}, 16, 8, {16, 0, 20, 4}},
    {"empty image rect", 16, 8, {0, 0}, 16, 8, {4, 4, 4, 8}},
    {"inverted image rect", 16, 8, {0, 0}, 16, 8, {8, 4, 2, 6}},
    {"point near int32 max", 16, 8, {INT32_MAX - 2, 0}, 16, 8, {0, 0, 16, 8}},
    {"point near int32 min", 16, 8, {INT32_MIN + 1, INT32_MIN}, 16, 8, {0, 0, 16, 8}},
    // Wider than 32 bits can say: the cuts carried between the rectangles wrap.
    {"rect spanning int32", 16, 8, {0, 0}, 16, 8, {INT32_MIN, 0, INT32_MAX, 8}},
    {"rect spanning int32 vertically", 16, 8, {0, 0}, 16, 8, {0, INT32_MIN, 16, INT32_MAX}},
    {"point and rect at opposite ends", 16, 8, {INT32_MAX, 0}, 16, 8, {INT32_MIN, 0, 0, 8}},
    // Here the wrapped cuts even leave a "successful" clip with a left edge near INT32_MIN and
    // a count near 2^31: only the bounds check after clipping stops it.
    {"wrapped clip, horizontal", 23, 4, {16, 0}, 9, 4, {INT32_MIN, 0, INT32_MAX, 4}},
    {"wrapped clip, vertical", 8, 23, {0, 16}, 8, 9, {0, INT32_MIN, 8, INT32_MAX}},
};

INSTANTIATE_TEST_SUITE_P(
    Import, Clipping,
    ::testing::Combine(::testing::ValuesIn(kClipCases), ::testing::Values(kYuy2, kBgr24),
                       ::testing::Values(kBgrLuma32, kBgrAlpha32, kYuvAlpha32, kYuvLuma32)),
    [](const auto& info) {
      std::string n = std::get<0>(info.param).name;
      for (char& c : n) {
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
      }
      return n + (std::get<1>(info.param) == kYuy2 ? "_yuy2_" : "_bgr24_") +
             std::to_string(std::get<2>(info.param));
    });

TEST(Import, PointAndRectAreNotChanged) {
  const TestFrame frame(kYuy2, 8, 4, 1);
  const FrameAdapter adapter = Adapter(frame);
  TestImage image(8, 4, kBgrLuma32);
  const Point point{-3, 1};
  const Rect rect{-2, 0, 9, 5};
  adapter.ImportRegion(frame.bytes.data(), point, image.pixels.data(), image.size(), rect,
                       kBgrLuma32);
  EXPECT_EQ(point.x, -3);
  EXPECT_EQ(point.y, 1);
  EXPECT_EQ(rect, (Rect{-2, 0, 9, 5}));
}

// ---- Refusals ----------------------------------------------------------------------------

struct RefusalCase {
  const char* name;
  int32_t frameFormat;  // as given to SetFormat
  int32_t code;
};

void PrintTo(const RefusalCase& k, std::ostream* os) { *os << k.name; }

class Refusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusals, TouchNeitherSurface) {
  const RefusalCase& k = GetParam();
  TestFrame frame(kYuy2, 8, 4, 9);  // bytes large enough for either layout's 8 x 2 block
  frame.bytes.resize(8 * 4 * 3);
  const std::vector<uint8_t> before = frame.bytes;
  FrameAdapter adapter;
  adapter.SetFormat(8, 4, kYuy2);
  adapter.SetFormat(8, 4, k.frameFormat);
  TestImage image(8, 4, kBgrLuma32);
  adapter.ImportRegion(frame.bytes.data(), Point{0, 0}, image.pixels.data(), image.size(),
                       Rect{0, 0, 8, 4}, k.code);
  for (uint32_t p : image.pixels) ASSERT_EQ(p, kUntouched) << k.name;
  EXPECT_EQ(frame.bytes, before);
}

INSTANTIATE_TEST_SUITE_P(Import, Refusals,
                         ::testing::Values(RefusalCase{"code 5", kYuy2, 5},
                                           RefusalCase{"code 0", kBgr24, kBgr32},
                                           RefusalCase{"code 1", kYuy2, 1},
                                           RefusalCase{"code 10", kBgr24, 10},
                                           RefusalCase{"code 12", kYuy2, 12},
                                           RefusalCase{"code -1", kBgr24, -1},
                                           RefusalCase{"frame format 2", 2, kBgrLuma32},
                                           RefusalCase{"frame format 7", 7, kYuvLuma32},
                                           RefusalCase{"frame format -1", -1, kBgrAlpha32}));

TEST(Import, NothingBeforeTheFirstFormat) {
  const uint8_t frame[64] = {};
  const FrameAdapter adapter;
  TestImage image(4, 4, kBgrLuma32);
  adapter.ImportRegion(frame, Point{0, 0}, image.pixels.data(), image.size(), Rect{0, 0, 4, 4},
                       kBgrLuma32);
  for (uint32_t p : image.pixels) EXPECT_EQ(p, kUntouched);
}

TEST(Import, MissingSurfacesAreEmpty) {
  const TestFrame frame(kYuy2, 4, 4, 2);
  const FrameAdapter adapter = Adapter(frame);
  TestImage image(4, 4, kBgrLuma32);
  adapter.ImportRegion(nullptr, Point{0, 0}, image.pixels.data(), image.size(), Rect{0, 0, 4, 4},
                       kBgrLuma32);
  for (uint32_t p : image.pixels) EXPECT_EQ(p, kUntouched);
  // No image pixels: nothing to write to, and nothing happens.
  adapter.ImportRegion(frame.bytes.data(), Point{0, 0}, nullptr, image.size(), Rect{0, 0, 4, 4},
                       kBgrLuma32);
}

// A frame size whose bytes no pointer can span is not read at all. The top row of a Bgr24 frame
// lies at its far end in memory, where an offset formed in 32 bits (or an unchecked one) points
// anywhere.
TEST(Import, UnaddressableFrameIsNotRead) {
  const uint8_t frame[64] = {1, 2, 3, 4};
  for (const Size size : {Size{INT32_MAX, INT32_MAX}, Size{-4, 1}}) {
    FrameAdapter adapter;
    adapter.SetFormat(size.width, size.height, kBgr24);
    TestImage image(4, 1, kBgrLuma32);
    adapter.ImportRegion(frame, Point{0, 0}, image.pixels.data(), image.size(), Rect{0, 0, 4, 1},
                         kBgrLuma32);
    for (uint32_t p : image.pixels) EXPECT_EQ(p, kUntouched) << size.width << " x " << size.height;
  }
}

TEST(Import, UnaddressableImageIsNotWritten) {
  const TestFrame frame(kYuy2, 4, 1, 2);
  const FrameAdapter adapter = Adapter(frame);
  std::vector<uint32_t> pixels(16, kUntouched);
  // Claimed size far beyond the block: a bottom-up image's top row would lie gigabytes away.
  adapter.ImportRegion(frame.bytes.data(), Point{0, 0}, pixels.data(), Size{INT32_MAX, INT32_MAX},
                       Rect{0, 0, 4, 1}, kYuvLuma32);
  for (uint32_t p : pixels) EXPECT_EQ(p, kUntouched);
}

struct SurfaceCase {
  int32_t width, height, bytesPerPixel;
  uint64_t limit;
  bool addressable;
};

class SurfaceSizes : public ::testing::TestWithParam<SurfaceCase> {};

TEST_P(SurfaceSizes, AreFormedIn64Bits) {
  const SurfaceCase k = GetParam();
  EXPECT_EQ(SurfaceAddressable(k.width, k.height, k.bytesPerPixel, k.limit), k.addressable)
      << k.width << " x " << k.height << " x " << k.bytesPerPixel;
}

constexpr uint64_t k32Bit = uint64_t(INT32_MAX);
INSTANTIATE_TEST_SUITE_P(
    Import, SurfaceSizes,
    ::testing::Values(SurfaceCase{1920, 1080, 3, k32Bit, true},
                      SurfaceCase{720, 576, 2, k32Bit, true},
                      // 2 x 65536 x 65536 wraps to 0 in 32 bits.
                      SurfaceCase{65536, 65536, 2, k32Bit, false},
                      SurfaceCase{65536, 65536, 2, UINT64_MAX, true},
                      SurfaceCase{1073741823, 1, 2, k32Bit, true},  // 2^31 - 2 bytes
                      SurfaceCase{1073741824, 1, 2, k32Bit, false},  // 2^31 bytes
                      SurfaceCase{0, 10, 4, k32Bit, false}, SurfaceCase{10, 0, 4, k32Bit, false},
                      SurfaceCase{-1, 10, 4, k32Bit, false},
                      SurfaceCase{INT32_MAX, INT32_MAX, 4, UINT64_MAX, true},
                      SurfaceCase{INT32_MAX, INT32_MAX, 4, uint64_t(INT64_MAX), false}));

}  // namespace
}  // namespace vle
