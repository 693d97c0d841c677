#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

// Write failures can only be provoked where file-size limits and device files exist.
#if __has_include(<sys/resource.h>)
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#define VLE_CAN_FAIL_WRITES 1
#endif

#include "core/image_buffer.h"
#include "export/template_export.h"
#include "platform/memory.h"

namespace vle {
namespace {

// Unique per process: several build trees may run these tests at the same time.
std::string TempPath(const std::string& name) {
  static const std::string tag = std::to_string(std::random_device{}()) + "_";
  const std::string path = ::testing::TempDir() + "vle_bitmap_" + tag + name;
  std::remove(path.c_str());
  return path;
}

bool Exists(const std::string& path) { return std::ifstream(path, std::ios::binary).good(); }

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

uint32_t Le(const std::vector<uint8_t>& f, std::size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | f.at(at + i);
  return v;
}

// A pixel that names its position, with a top byte that must never reach the file.
uint32_t Marker(int32_t x, int32_t y) {
  return 0xA5000000u | uint32_t((x * 7 + y * 3) & 0xFF) << 16 | uint32_t(y & 0xFF) << 8 |
         uint32_t(x & 0xFF);
}

void Paint(ImageBuffer& image) {
  for (int32_t y = 0; y < image.allocHeight; ++y)
    for (int32_t x = 0; x < image.allocWidth; ++x) *image.PixelAt(x, y) = Marker(x, y);
}

struct LayoutCase {
  const char* name;
  int32_t allocW, allocH;
  Rect rect;
  uint32_t rowBytes;
};
void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

class BitmapLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(BitmapLayout, HeaderRowsAndPadding) {
  const LayoutCase& c = GetParam();
  ImageBuffer image(c.allocW, c.allocH);
  Paint(image);
  image.rect = c.rect;
  const std::string path = TempPath(c.name);
  ASSERT_TRUE(SaveBitmap(image, path));
  const std::vector<uint8_t> f = ReadFile(path);
  const uint32_t w = uint32_t(c.rect.right - c.rect.left), h = uint32_t(c.rect.bottom - c.rect.top);
  ASSERT_EQ(f.size(), 58 + c.rowBytes * h);

  const uint32_t header[][3] = {{0, 2, 0x4D42}, {2, 4, uint32_t(f.size())}, {6, 4, 0},
                                {10, 4, 58},    {14, 4, 40},               {18, 4, w},
                                {22, 4, h},     {26, 2, 1},                {28, 2, 24}};
  for (const auto& field : header) EXPECT_EQ(Le(f, field[0], int(field[1])), field[2]) << field[0];
  for (std::size_t at = 30; at < 58; ++at) EXPECT_EQ(f[at], 0) << "header byte " << at;

  for (uint32_t row = 0; row < h; ++row) {
    const int32_t y = c.rect.bottom - 1 - int32_t(row);  // bottom-up
    const std::size_t start = 58 + std::size_t(row) * c.rowBytes;
    for (uint32_t i = 0; i < w; ++i) {
      const uint32_t pixel = Marker(c.rect.left + int32_t(i), y);
      EXPECT_EQ(Le(f, start + 3 * i, 3), pixel & 0x00FFFFFFu) << "row " << row << " pixel " << i;
    }
    for (std::size_t pad = start + 3 * w; pad < start + c.rowBytes; ++pad)
      EXPECT_EQ(f[pad], 0) << "padding in row " << row;
  }
  std::remove(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BitmapLayout,
    ::testing::Values(LayoutCase{"SaveDefault", 154, 115, {0, 0, 154, 115}, 464},
                      LayoutCase{"W1", 1, 3, {0, 0, 1, 3}, 4}, LayoutCase{"W2", 2, 2, {0, 0, 2, 2}, 8},
                      LayoutCase{"W3", 3, 2, {0, 0, 3, 2}, 12}, LayoutCase{"W4", 4, 2, {0, 0, 4, 2}, 12},
                      LayoutCase{"W5", 5, 2, {0, 0, 5, 2}, 16},
                      LayoutCase{"InnerRect", 9, 7, {2, 1, 7, 5}, 16},
                      LayoutCase{"NoRows", 5, 2, {0, 0, 5, 0}, 16},
                      LayoutCase{"NoColumns", 5, 2, {0, 0, 0, 2}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Bitmap, PixelBytesAreBlueGreenRedAndTheTopByteIsDropped) {
  for (const uint32_t pixel : {0x00123456u, 0xFF123456u}) {
    ImageBuffer image(1, 1);
    *image.PixelAt(0, 0) = pixel;
    const std::string path = TempPath("one_pixel");
    ASSERT_TRUE(SaveBitmap(image, path));
    const std::vector<uint8_t> f = ReadFile(path);
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 58, f.end()), (std::vector<uint8_t>{0x56, 0x34, 0x12, 0}));
    std::remove(path.c_str());
  }
}

TEST(Bitmap, OverwritingALongerFileTruncatesIt) {
  const std::string path = TempPath("overwrite");
  std::ofstream(path, std::ios::binary) << std::string(100000, 'x');
  ImageBuffer image(3, 2);
  Paint(image);
  ASSERT_TRUE(SaveBitmap(image, path));
  EXPECT_EQ(ReadFile(path).size(), 58u + 12 * 2);
  std::remove(path.c_str());
}

TEST(Bitmap, BufferWithoutPixelsWritesAnEmptyPicture) {
  platform::FailAllocations(0, 1);
  ImageBuffer image(4, 4);
  platform::FailAllocations(0, 0);
  ASSERT_EQ(image.bits, nullptr);
  const std::string path = TempPath("no_pixels");
  ASSERT_TRUE(SaveBitmap(image, path));
  const std::vector<uint8_t> f = ReadFile(path);
  ASSERT_EQ(f.size(), 58u);
  EXPECT_EQ(Le(f, 18, 4), 0u);
  EXPECT_EQ(Le(f, 22, 4), 0u);
  std::remove(path.c_str());
}

TEST(Bitmap, NoScratchLeavesTheFileAlone) {
  const std::string path = TempPath("no_scratch");
  std::ofstream(path, std::ios::binary) << "previous";
  ImageBuffer image(3, 2);
  platform::FailAllocations(0, 1);
  EXPECT_FALSE(SaveBitmap(image, path));
  platform::FailAllocations(0, 0);
  EXPECT_EQ(ReadFile(path).size(), 8u);
  std::remove(path.c_str());
}

TEST(Bitmap, UnwritablePathsWriteNothing) {
  ImageBuffer image(3, 2);
  Paint(image);
  const std::string missingFolder = TempPath("missing_folder") + "/logo.bmp";
  EXPECT_FALSE(SaveBitmap(image, missingFolder));
  EXPECT_FALSE(Exists(missingFolder));
  EXPECT_FALSE(SaveBitmap(image, ::testing::TempDir()));  // a folder
  EXPECT_FALSE(SaveBitmap(image, ""));
}

#ifdef VLE_CAN_FAIL_WRITES
// A write that fails half-way must not leave a truncated bitmap behind.
TEST(Bitmap, FailedWriteRemovesThePartialFile) {
  const std::string path = TempPath("partial");
  ImageBuffer image(154, 115);
  Paint(image);
  rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 1000;
  const auto previous = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = SaveBitmap(image, path);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
  EXPECT_FALSE(written);
  EXPECT_FALSE(Exists(path));
}

// A device that refuses the data is reported, and is not removed like a partial file would be.
TEST(Bitmap, FailedWriteToADeviceKeepsTheDevice) {
  if (!Exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const std::string link = TempPath("full_link");
  ASSERT_EQ(symlink("/dev/full", link.c_str()), 0);
  ImageBuffer image(8, 8);
  EXPECT_FALSE(SaveBitmap(image, link));
  EXPECT_TRUE(Exists("/dev/full"));
  std::remove(link.c_str());
}
#endif

// Reads the file back with ImageMagick, which knows nothing of this writer.
TEST(Bitmap, IndependentReaderSeesThePixels) {
  const std::string version = TempPath("convert_version.txt");
  const bool found = std::system(("convert -version > \"" + version + "\" 2>&1").c_str()) == 0;
  const std::vector<uint8_t> text = ReadFile(version);
  std::remove(version.c_str());
  if (!found || std::string(text.begin(), text.end()).find("ImageMagick") == std::string::npos)
    GTEST_SKIP() << "ImageMagick's convert is not available";

  ImageBuffer image(7, 5);
  Paint(image);
  image.rect = Rect{1, 1, 6, 4};
  const std::string bmp = TempPath("magick.bmp"), raw = TempPath("magick.rgb");
  ASSERT_TRUE(SaveBitmap(image, bmp));
  ASSERT_EQ(std::system(("convert \"" + bmp + "\" -depth 8 \"rgb:" + raw + "\"").c_str()), 0);
  const std::vector<uint8_t> rgb = ReadFile(raw);
  ASSERT_EQ(rgb.size(), 5u * 3 * 3);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) {
      const uint32_t p = Marker(x + 1, y + 1);
      const std::size_t at = (std::size_t(y) * 5 + x) * 3;  // top-down, red first
      EXPECT_EQ(rgb[at], uint8_t(p >> 16)) << x << "," << y;
      EXPECT_EQ(rgb[at + 1], uint8_t(p >> 8)) << x << "," << y;
      EXPECT_EQ(rgb[at + 2], uint8_t(p)) << x << "," << y;
    }
  std::remove(bmp.c_str());
  std::remove(raw.c_str());
}

}  // namespace
}  // namespace vle
