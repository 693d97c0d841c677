// The Save command's two back ends with whatever a hostile settings file can make of them:
//
// TemplateExporter::Convert with source and destination pictures up to 64 x 64 in exactly sized
// heap blocks, rectangles anywhere in int32, any key colour and slack, several calls
// on one long-lived exporter (its tables and line buffer are cached between calls) with
// allocations failing now and then. Checked: nothing outside the destination rectangle changes;
// the cached exporter writes exactly what a fresh one writes, or nothing when one of its
// allocations failed, and is whole again on the next call; equal sizes copy exactly; a keyed
// conversion of a picture made of the key and one other colour writes only those two colours.
//
// SaveBitmap of pictures whose rectangle was set to anything: the file holds exactly
// the rectangle's pixels when it lies inside the allocation, else only the header.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "core/image_buffer.h"
#include "export/template_export.h"
#include "core/settings_block.h"
#include "export/template_exporter.h"
#include "fuzz_support.h"
#include "platform/memory.h"

namespace {

namespace fs = std::filesystem;
using vle::Rect;
using vle::TemplateExporter;
using vle::fuzz::Check;
using vle::fuzz::ExactBlock;
using vle::fuzz::HostileInt;
using vle::fuzz::ReadFile;

constexpr const char* kName = "exporter_fuzz";
constexpr int32_t kMaxSide = 64;

void Expect(bool ok, const char* what) { Check(ok, kName, what); }

bool InRange(int64_t v, int64_t lo, int64_t hi) { return lo <= v && v < hi; }

// A bottom-up 32-bit picture in an exactly sized block.
struct Picture {
  Picture(int32_t w, int32_t h, FuzzedDataProvider& in)
      : width(w), height(h), block(w > 0 && h > 0 ? std::size_t(w) * std::size_t(h) * 4 : 0, in) {}
  uint32_t* bits() { return reinterpret_cast<uint32_t*>(block.data()); }
  // Pixel (x, y), y from the top.
  uint32_t At(int32_t x, int32_t y) const {
    uint32_t v;
    std::memcpy(&v, block.data() + 4 * ((int64_t{height} - 1 - y) * width + x), 4);
    return v;
  }
  int32_t width, height;
  ExactBlock block;
};

Rect PickRect(FuzzedDataProvider& in) {
  return Rect{HostileInt(in, -80, 80), HostileInt(in, -80, 80), HostileInt(in, -80, 144),
              HostileInt(in, -80, 144)};
}

// One conversion's arguments.
struct Call {
  Rect srcRect, dstRect;
  uint32_t key;
  bool keyed;
};

void Run(TemplateExporter& exporter, Picture& src, Picture& dst, const Call& c) {
  exporter.Convert(src.bits(), src.width, src.height, c.srcRect, dst.bits(), dst.width, dst.height,
                   c.dstRect, c.key, c.keyed);
}

// Paints the picture with the key (any fourth byte: it still counts as the key) and one other
// colour, which is returned.
uint32_t PaintTwoColors(Picture& p, FuzzedDataProvider& in, uint32_t keyPixel) {
  const uint32_t other = in.ConsumeIntegral<uint32_t>();
  for (int32_t y = 0; y < p.height; ++y) {
    for (int32_t x = 0; x < p.width; ++x) {
      const uint32_t v = (x * 7 + y * 3) % 5 < 2 ? (keyPixel | (uint32_t(x) << 24)) : other;
      std::memcpy(p.block.data() + 4 * ((int64_t{p.height} - 1 - y) * p.width + x), &v, 4);
    }
  }
  return other;
}

void FuzzConvert(TemplateExporter& cached, FuzzedDataProvider& in) {
  Picture src(in.ConsumeIntegralInRange<int32_t>(-1, kMaxSide), in.ConsumeIntegralInRange<int32_t>(-1, kMaxSide), in);
  Picture dst(in.ConsumeIntegralInRange<int32_t>(-1, kMaxSide), in.ConsumeIntegralInRange<int32_t>(-1, kMaxSide), in);
  Call c;
  c.key = in.ConsumeIntegral<uint32_t>();
  c.keyed = in.ConsumeBool();
  const uint32_t keyPixel = vle::KeyPixel(c.key) & 0x00FFFFFFu;
  const bool twoColors = in.ConsumeBool();
  const uint32_t other = twoColors ? PaintTwoColors(src, in, keyPixel) : 0;
  c.srcRect = PickRect(in);
  // Equal sizes now and then: the conversion must then copy.
  if (in.ConsumeBool()) {
    const int32_t x = HostileInt(in, -80, 80), y = HostileInt(in, -80, 80);
    c.dstRect = Rect{x, y, int32_t(uint32_t(x) + uint32_t(c.srcRect.right) - uint32_t(c.srcRect.left)),
                     int32_t(uint32_t(y) + uint32_t(c.srcRect.bottom) - uint32_t(c.srcRect.top))};
  } else {
    c.dstRect = PickRect(in);
  }
  const int32_t grow = HostileInt(in, -10, 300), shrink = HostileInt(in, -10, 300);
  const std::string srcBefore = src.block.Snapshot();
  const std::string dstBefore = dst.block.Snapshot();

  // What a fresh exporter writes is the reference for the long-lived one.
  TemplateExporter fresh;
  fresh.SetSlack(grow, shrink);
  Run(fresh, src, dst, c);
  const std::string reference = dst.block.Snapshot();
  Expect(src.block.Snapshot() == srcBefore, "Convert wrote into its source");

  for (int32_t y = 0; y < dst.height; ++y) {
    for (int32_t x = 0; x < dst.width; ++x) {
      const std::size_t at = std::size_t(4 * ((int64_t{dst.height} - 1 - y) * dst.width + x));
      const bool inside = InRange(x, c.dstRect.left, c.dstRect.right) && InRange(y, c.dstRect.top, c.dstRect.bottom);
      if (!inside) {
        Expect(std::memcmp(reference.data() + at, dstBefore.data() + at, 4) == 0,
               "Convert wrote outside the destination rectangle");
        continue;
      }
      uint32_t got;
      std::memcpy(&got, reference.data() + at, 4);
      if (twoColors && c.keyed) {
        Expect((got & 0xFFFFFFu) == keyPixel || (got & 0xFFFFFFu) == (other & 0xFFFFFFu) ||
                   std::memcmp(reference.data() + at, dstBefore.data() + at, 4) == 0,
               "a keyed conversion mixed the key colour with a picture colour");
      }
      // Equal sizes, the source rectangle wholly inside its picture: an exact copy.
      const int64_t w = int64_t{c.srcRect.right} - c.srcRect.left, h = int64_t{c.srcRect.bottom} - c.srcRect.top;
      const bool copies = w > 0 && h > 0 && w == int64_t{c.dstRect.right} - c.dstRect.left &&
                          h == int64_t{c.dstRect.bottom} - c.dstRect.top && c.srcRect.left >= 0 &&
                          c.srcRect.top >= 0 && c.srcRect.right <= src.width &&
                          c.srcRect.bottom <= src.height;
      if (copies) {
        const uint32_t want = src.At(int32_t(c.srcRect.left + (x - int64_t{c.dstRect.left})),
                                     int32_t(c.srcRect.top + (y - int64_t{c.dstRect.top})));
        Expect(got == want, "equal sizes did not copy");
      }
    }
  }

  // The long-lived exporter, its allocations failing now and then: all or nothing, then whole.
  cached.SetSlack(grow, shrink);
  const bool failing = in.ConsumeIntegralInRange<int>(0, 5) == 0;
  std::memcpy(dst.block.data(), dstBefore.data(), dst.block.size());
  if (failing) vle::platform::FailAllocations(in.ConsumeIntegralInRange<int>(0, 2), 1);
  Run(cached, src, dst, c);
  vle::platform::FailAllocations(0, 0);
  const std::string got = dst.block.Snapshot();
  if (failing) {
    Expect(got == reference || got == dstBefore, "a failed allocation left half a conversion");
    std::memcpy(dst.block.data(), dstBefore.data(), dst.block.size());
    Run(cached, src, dst, c);
  }
  Expect(dst.block.Snapshot() == reference, "the cached exporter wrote other pixels than a fresh one");
}

uint32_t Get32(const std::string& bytes, std::size_t at) {
  uint32_t v;
  std::memcpy(&v, bytes.data() + at, 4);
  return v;
}

void FuzzSaveBitmap(FuzzedDataProvider& in) {
  const int32_t w = in.ConsumeIntegralInRange<int32_t>(-1, kMaxSide);
  const int32_t h = in.ConsumeIntegralInRange<int32_t>(-1, kMaxSide);
  vle::ImageBuffer buffer(w, h);
  if (buffer.bits != nullptr) {
    for (int64_t i = 0, n = int64_t{buffer.allocWidth} * buffer.allocHeight; i < n; ++i)
      buffer.bits[i] = uint32_t(i * 2654435761u) ^ in.ConsumeIntegral<uint8_t>();
  }
  if (in.ConsumeBool()) buffer.rect = PickRect(in);
  const Rect r = buffer.rect;
  const bool failing = in.ConsumeIntegralInRange<int>(0, 7) == 0;
  const fs::path path = vle::fuzz::PrivateFolder(kName) / "picture.bmp";
  std::error_code ec;
  fs::remove(path, ec);

  if (failing) vle::platform::FailAllocations(0, 1);
  const bool saved = SaveBitmap(buffer, path.string());
  vle::platform::FailAllocations(0, 0);

  int64_t width = std::max<int64_t>(int64_t{r.right} - r.left, 0);
  int64_t height = std::max<int64_t>(int64_t{r.bottom} - r.top, 0);
  const bool inside = buffer.bits != nullptr && r.left >= 0 && r.top >= 0 && r.right <= buffer.allocWidth &&
                      r.bottom <= buffer.allocHeight;
  if (width != 0 && height != 0 && !inside) width = height = 0;
  const int64_t rowBytes = (width * 3 + 3) & ~int64_t{3};
  const int64_t imageBytes = rowBytes * height;
  if (imageBytes > int64_t{UINT32_MAX} - 58 || (failing && imageBytes != 0)) {
    Expect(!saved && !fs::exists(path), "a bitmap that cannot be made was written");
    return;
  }
  Expect(saved, "the bitmap was not written");
  const std::string bytes = ReadFile(path);
  Expect(int64_t(bytes.size()) == 58 + imageBytes, "the bitmap's length is not its header's");
  Expect(bytes[0] == 'B' && bytes[1] == 'M' && Get32(bytes, 2) == bytes.size() && Get32(bytes, 10) == 58 &&
             Get32(bytes, 18) == uint32_t(width) && Get32(bytes, 22) == uint32_t(height),
         "the bitmap header is wrong");
  // An empty rectangle keeps its other side in the header, and has no rows to compare.
  for (int64_t row = 0; imageBytes != 0 && row < height; ++row) {
    const char* line = bytes.data() + 58 + (height - 1 - row) * rowBytes;  // bottom-up
    for (int64_t x = 0; x < width; ++x) {
      const uint32_t p = *buffer.PixelAt(int32_t(r.left + x), int32_t(r.top + row));
      Expect(uint8_t(line[3 * x]) == uint8_t(p) && uint8_t(line[3 * x + 1]) == uint8_t(p >> 8) &&
                 uint8_t(line[3 * x + 2]) == uint8_t(p >> 16),
             "a bitmap pixel differs from the picture");
    }
    for (int64_t k = width * 3; k < rowBytes; ++k) Expect(line[k] == 0, "row padding is not zero");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  // One exporter for the whole input, as the module keeps one for its lifetime.
  TemplateExporter cached;
  for (int step = 0; step < 6 && in.remaining_bytes() > 0; ++step) {
    if (in.ConsumeIntegralInRange<int>(0, 3) == 0) {
      FuzzSaveBitmap(in);
    } else {
      FuzzConvert(cached, in);
    }
  }
  return 0;
}
