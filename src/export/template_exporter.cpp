#include "export/template_exporter.h"

#include <algorithm>
#include <cstdint>

#include "core/image_buffer.h"
#include "core/muldiv.h"
#include "core/settings_block.h"
#include "platform/memory.h"

namespace vle {
namespace {

constexpr int32_t kKeyCount = 5;

// One source row pair into the line buffer: `first` is the first neighbour row's first pixel, the
// second lies `toSecond` bytes on.
void VerticalPass(const uint8_t* first, int32_t toSecond, uint32_t* line, int32_t count,
                  int32_t weight, bool keyed, uint32_t keyPixel) {
  const auto* a = reinterpret_cast<const uint32_t*>(first);
  const auto* b = reinterpret_cast<const uint32_t*>(first + toSecond);
  for (int32_t x = 0; x < count; ++x)
    line[x] = TemplateExporter::BlendPixels(a[x], b[x], weight, keyed, keyPixel);
}

// The line buffer across the columns into one destination row.
void HorizontalPass(const uint32_t* line, const ScaleEntry* columns, int32_t count,
                    uint32_t* target, bool keyed, uint32_t keyPixel) {
  const auto* running = reinterpret_cast<const uint8_t*>(line);
  for (int32_t i = 0; i < count; ++i) {
    running += columns[i].advanceBefore;
    const uint32_t a = *reinterpret_cast<const uint32_t*>(running);
    running += columns[i].advanceAfter;
    const uint32_t b = *reinterpret_cast<const uint32_t*>(running);
    target[i] = TemplateExporter::BlendPixels(a, b, columns[i].weight, keyed, keyPixel);
  }
}

void UpdateTable(ScaleEntry* table, int32_t key[kKeyCount], int32_t* builds,
                 const int32_t (&inputs)[kKeyCount]) {
  if (std::equal(inputs, inputs + kKeyCount, key)) return;
  TemplateExporter::BuildScaleTable(inputs[0], inputs[1], inputs[2], inputs[3], inputs[4], table);
  std::copy(inputs, inputs + kKeyCount, key);
  ++*builds;
}

int32_t FloorDiv4096(int32_t value) {
  return value >= 0 ? value / 4096 : -((-value + 4095) / 4096);
}

}  // namespace

TemplateExporter::~TemplateExporter() {
  platform::AlignedFree(columnTable);
  platform::AlignedFree(rowTable);
  platform::AlignedFree(lineBuffer);
}

void TemplateExporter::SetSlack(int32_t grow, int32_t shrink) {
  // Beyond these bounds the percent arithmetic would overflow or hand out less than was asked for.
  growPercent = std::clamp(grow, 0, 1000);
  shrinkPercent = std::clamp(shrink, 0, 1000);
}

uint32_t TemplateExporter::BlendPixels(uint32_t a, uint32_t b, int32_t w, bool keyed,
                                       uint32_t keyPixel) {
  if (keyed && ((a & 0x00FFFFFFu) == keyPixel) != ((b & 0x00FFFFFFu) == keyPixel)) {
    // 1/32, not half: saved templates have always been cut at this point, so keep it.
    if (w > 128)
      a = b;
    else
      b = a;
  }
  if (a == b || w == 0) return a;
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const int32_t from = int32_t(a >> shift & 0xFF);
    const int32_t to = int32_t(b >> shift & 0xFF);
    const int32_t value = std::clamp(from + FloorDiv4096((to - from) * w), 0, 255);
    out |= uint32_t(value) << shift;
  }
  return out;
}

void TemplateExporter::BuildScaleTable(int32_t srcLength, int32_t dstLength, int32_t dstStart,
                                       int32_t count, int32_t step, ScaleEntry* table) {
  if (srcLength < 1 || dstLength < 1 || dstStart < 0 || count < 1) return;
  uint64_t source = uint64_t(srcLength);
  uint64_t target = uint64_t(dstLength);
  uint32_t bias = uint32_t((source << 16) / target / 2) - 32768u;
  if (source < target) {
    // Enlarging: spans measured between first and last pixel, so both ends land on source pixels.
    --source;
    --target;
    bias = 0;
  }
  uint64_t acc = (uint64_t(dstStart) << 16) * source;
  uint32_t previous = 0;
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t position = uint32_t(acc / target) + bias;
    const uint32_t whole = position >> 16;
    const auto fraction = static_cast<int16_t>((position & 0xFFFFu) >> 4);
    ScaleEntry& entry = table[i];
    entry.advanceBefore = static_cast<int32_t>((int64_t(whole) - int64_t(previous)) * step);
    entry.advanceAfter = fraction != 0 ? step : 0;
    previous = fraction != 0 ? whole + 1 : whole;
    entry.weight = fraction;
    acc += source << 16;
  }
}

bool TemplateExporter::EnsureCapacity(void** buffer, int32_t* capacity, int32_t* allocated,
                                      int32_t* key, int32_t needed, std::size_t elementSize) const {
  int32_t wanted = *capacity;
  // MulDiv's -1 on overflow only makes the first test pass, which is the safe direction.
  if (needed > MulDiv(wanted, 100 + growPercent, 100) || needed > *allocated) wanted = needed;
  if (needed < MulDiv(wanted, 100 - shrinkPercent, 100)) wanted = needed;
  if (wanted == *capacity && *buffer != nullptr) return true;

  platform::AlignedFree(*buffer);
  *buffer = nullptr;
  *capacity = 0;
  *allocated = 0;
  if (key != nullptr) std::fill(key, key + kKeyCount, 0);

  const int32_t entries = std::max(wanted, MulDiv(wanted, 100 + growPercent, 100));
  const uint64_t bytes = uint64_t(entries) * elementSize;
  if (entries < 1 || bytes > SIZE_MAX) return false;
  *buffer = platform::AlignedAlloc(static_cast<std::size_t>(bytes));
  if (*buffer == nullptr) return false;
  *capacity = wanted;
  *allocated = entries;
  return true;
}

bool TemplateExporter::Convert(const uint32_t* srcBits, int32_t srcWidth, int32_t srcHeight,
                               const Rect& srcRect, uint32_t* dstBits, int32_t dstWidth,
                               int32_t dstHeight, const Rect& dstRect, uint32_t keyColor,
                               bool keyed) {
  if (srcBits == nullptr || dstBits == nullptr) return true;

  Rect src, dst;
  if (!Intersect(srcRect, Rect{0, 0, srcWidth, srcHeight}, &src)) return true;
  if (!Intersect(dstRect, Rect{0, 0, dstWidth, dstHeight}, &dst)) return true;
  const int64_t scaleWidth = int64_t{dstRect.right} - dstRect.left;
  const int64_t scaleHeight = int64_t{dstRect.bottom} - dstRect.top;
  if (scaleWidth > INT32_MAX || scaleHeight > INT32_MAX) return true;
  const int32_t srcW = src.right - src.left;
  const int32_t srcH = src.bottom - src.top;
  if (srcW > kMaxSourceSpan || srcH > kMaxSourceSpan) return true;
  const int32_t dstW = dst.right - dst.left;
  const int32_t dstH = dst.bottom - dst.top;

  // Table offsets are 32-bit, so the source must be addressable with them throughout.
  PixelRows source, target;
  if (!PictureRows(const_cast<uint32_t*>(srcBits), Size{srcWidth, srcHeight}, false, &source,
                   INT32_MAX) ||
      !PictureRows(dstBits, Size{dstWidth, dstHeight}, false, &target)) {
    return true;
  }
  const int32_t sourceRowBytes = int32_t(source.pitch * int32_t(sizeof(uint32_t)));

  if (!EnsureCapacity(reinterpret_cast<void**>(&lineBuffer), &lineCapacity, &lineAllocated_,
                      nullptr, srcW + 2, sizeof(uint32_t)) ||
      !EnsureCapacity(reinterpret_cast<void**>(&columnTable), &columnCapacity, &columnAllocated_,
                      columnKey, dstW, sizeof(ScaleEntry)) ||
      !EnsureCapacity(reinterpret_cast<void**>(&rowTable), &rowCapacity, &rowAllocated_, rowKey,
                      dstH, sizeof(ScaleEntry)))
    return false;

  UpdateTable(rowTable, rowKey, &rowTableBuilds,
              {srcH, int32_t(scaleHeight), int32_t(int64_t{dst.top} - dstRect.top), dstH,
               sourceRowBytes});
  UpdateTable(columnTable, columnKey, &columnTableBuilds,
              {srcW, int32_t(scaleWidth), int32_t(int64_t{dst.left} - dstRect.left), dstW,
               int32_t(sizeof(uint32_t))});

  const uint32_t keyPixel = KeyPixel(keyColor) & 0x00FFFFFFu;
  const auto* running = reinterpret_cast<const uint8_t*>(source.Row(src.top) + src.left);
  // Rows are addressed from the first one rather than stepped, so no pointer ever leaves the image.
  const PixelRows out = target.Block(dst.left, dst.top, dstW, dstH);
  for (int32_t k = 0; k < dstH; ++k) {
    const ScaleEntry& row = rowTable[k];
    running += row.advanceBefore;
    VerticalPass(running, row.advanceAfter, lineBuffer, srcW, row.weight, keyed, keyPixel);
    running += row.advanceAfter;
    HorizontalPass(lineBuffer, columnTable, dstW, out.Row(k), keyed, keyPixel);
  }
  return true;
}

}  // namespace vle
