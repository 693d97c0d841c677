#include "export/template_exporter.h"

#include <algorithm>
#include <cstdint>

#include "core/muldiv.h"
#include "core/settings_block.h"
#include "platform/memory.h"

namespace vle {
namespace {

constexpr int32_t kKeyCount = 5;

struct Layout {
  int32_t bytesPerPixel;
  bool bottomUp;
};

// Indexed by layout code; rows carry no padding.
constexpr Layout kLayouts[] = {{2, false}, {2, false}, {4, false}, {4, false},
                               {3, true},  {4, true},  {4, true},  {4, true}};

struct Image {
  const uint8_t* top;  // first byte of the top row
  std::ptrdiff_t stride;  // bytes from row y to row y + 1
  int32_t bytesPerPixel;
};

// Refuses unknown codes and images whose byte count exceeds maxBytes, so that every offset into
// the image fits the types it is computed in.
bool Describe(const void* bits, int32_t width, int32_t height, int32_t code, uint64_t maxBytes,
              Image* image) {
  if (code < 0 || code >= int32_t(sizeof(kLayouts) / sizeof(kLayouts[0]))) return false;
  const Layout& layout = kLayouts[code];
  const uint64_t rowBytes = uint64_t(width) * uint64_t(layout.bytesPerPixel);
  if (width < 1 || height < 1 || rowBytes > maxBytes / uint64_t(height)) return false;
  const auto* base = static_cast<const uint8_t*>(bits);
  const auto row = static_cast<std::ptrdiff_t>(rowBytes);
  image->bytesPerPixel = layout.bytesPerPixel;
  image->stride = layout.bottomUp ? -row : row;
  image->top = layout.bottomUp ? base + (height - 1) * row : base;
  return true;
}

using VerticalPass = void (*)(const uint8_t* first, int32_t toSecond, uint32_t* line, int32_t count,
                              int32_t weight, bool keyed, uint32_t keyPixel);
using HorizontalPass = void (*)(const uint32_t* line, const ScaleEntry* columns, int32_t count,
                                uint8_t* out, bool keyed, uint32_t keyPixel);

void VerticalPass32(const uint8_t* first, int32_t toSecond, uint32_t* line, int32_t count,
                    int32_t weight, bool keyed, uint32_t keyPixel) {
  const auto* a = reinterpret_cast<const uint32_t*>(first);
  const auto* b = reinterpret_cast<const uint32_t*>(first + toSecond);
  for (int32_t x = 0; x < count; ++x)
    line[x] = TemplateExporter::BlendPixels(a[x], b[x], weight, keyed, keyPixel);
}

void HorizontalPass32(const uint32_t* line, const ScaleEntry* columns, int32_t count, uint8_t* out,
                      bool keyed, uint32_t keyPixel) {
  const auto* running = reinterpret_cast<const uint8_t*>(line);
  auto* target = reinterpret_cast<uint32_t*>(out);
  for (int32_t i = 0; i < count; ++i) {
    running += columns[i].advanceBefore;
    const uint32_t a = *reinterpret_cast<const uint32_t*>(running);
    running += columns[i].advanceAfter;
    const uint32_t b = *reinterpret_cast<const uint32_t*>(running);
    target[i] = TemplateExporter::BlendPixels(a, b, columns[i].weight[0], keyed, keyPixel);
  }
}

struct KernelPair {
  int32_t source;
  int32_t destination;
  VerticalPass vertical;
  HorizontalPass horizontal;
};

// The Save command only ever converts an image buffer into another; other pairs find nothing.
constexpr KernelPair kKernels[] = {
    {TemplateExporter::kLayoutBottomUp32, TemplateExporter::kLayoutBottomUp32, VerticalPass32,
     HorizontalPass32},
};

const KernelPair* FindKernels(int32_t source, int32_t destination) {
  for (const KernelPair& pair : kKernels)
    if (pair.source == source && pair.destination == destination) return &pair;
  return nullptr;
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
    std::fill(entry.weight, entry.weight + 4, fraction);
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

bool TemplateExporter::Convert(const void* srcBits, int32_t srcWidth, int32_t srcHeight,
                               const Rect& srcRect, int32_t srcLayout, void* dstBits,
                               int32_t dstWidth, int32_t dstHeight, const Rect& dstRect,
                               int32_t dstLayout, int32_t opacityPercent, uint32_t keyColor,
                               bool keyed) {
  if (srcBits == nullptr || dstBits == nullptr || opacityPercent != 100) return true;
  const KernelPair* kernels = FindKernels(srcLayout, dstLayout);
  if (kernels == nullptr) return true;

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
  Image source, target;
  if (!Describe(srcBits, srcWidth, srcHeight, srcLayout, INT32_MAX, &source)) return true;
  if (!Describe(dstBits, dstWidth, dstHeight, dstLayout, PTRDIFF_MAX, &target)) return true;

  if (!EnsureCapacity(reinterpret_cast<void**>(&lineBuffer), &lineCapacity, &lineAllocated_,
                      nullptr, srcW + 2, sizeof(uint32_t)) ||
      !EnsureCapacity(reinterpret_cast<void**>(&columnTable), &columnCapacity, &columnAllocated_,
                      columnKey, dstW, sizeof(ScaleEntry)) ||
      !EnsureCapacity(reinterpret_cast<void**>(&rowTable), &rowCapacity, &rowAllocated_, rowKey,
                      dstH, sizeof(ScaleEntry)))
    return false;

  UpdateTable(rowTable, rowKey, &rowTableBuilds,
              {srcH, int32_t(scaleHeight), int32_t(int64_t{dst.top} - dstRect.top), dstH,
               int32_t(source.stride)});
  UpdateTable(columnTable, columnKey, &columnTableBuilds,
              {srcW, int32_t(scaleWidth), int32_t(int64_t{dst.left} - dstRect.left), dstW,
               int32_t(sizeof(uint32_t))});

  const uint32_t keyPixel = KeyPixel(keyColor) & 0x00FFFFFFu;
  const uint8_t* running = source.top + src.top * source.stride +
                           std::ptrdiff_t{src.left} * source.bytesPerPixel;
  // Rows are addressed from the first one rather than stepped, so no pointer ever leaves the image.
  uint8_t* const firstRow = const_cast<uint8_t*>(target.top) + dst.top * target.stride +
                            std::ptrdiff_t{dst.left} * target.bytesPerPixel;
  for (int32_t k = 0; k < dstH; ++k) {
    const ScaleEntry& row = rowTable[k];
    running += row.advanceBefore;
    kernels->vertical(running, row.advanceAfter, lineBuffer, srcW, row.weight[0], keyed, keyPixel);
    running += row.advanceAfter;
    kernels->horizontal(lineBuffer, columnTable, dstW, firstRow + k * target.stride, keyed,
                        keyPixel);
  }
  return true;
}

}  // namespace vle
