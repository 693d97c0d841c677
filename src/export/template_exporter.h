// Resamples a rectangle of one 32-bit picture into a rectangle of another for the Save command:
// clipping, separable linear resampling in 12-bit fixed point, and a key-colour rule that never
// blends the key colour with picture colours. The two tables and the line buffer are cached between
// calls, so saving the same region at the same size again rebuilds nothing.
//
// One instance lives as long as the module. Holds no lock: the caller keeps the source unchanged
// while Convert runs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/geometry.h"

namespace vle {

// One produced row or column: how far the running source pointer moves, and the blend weight.
struct ScaleEntry {
  int32_t advanceBefore;  // bytes to the first neighbour, from where the previous entry left off
  int32_t advanceAfter;   // bytes from the first neighbour to the second: the step, or 0 when w = 0
  int32_t weight;         // the second neighbour's share in 1/4096
};

class TemplateExporter {
 public:
  // Source spans longer than this cannot be addressed by a 16.16 position.
  static constexpr int32_t kMaxSourceSpan = 65536;

  TemplateExporter() = default;
  virtual ~TemplateExporter();
  TemplateExporter(const TemplateExporter&) = delete;
  TemplateExporter& operator=(const TemplateExporter&) = delete;

  // Spare capacity given to a reallocated buffer, and how far the need may fall below the capacity
  // before the buffer is made smaller, both in percent. Values are held to 0..1000.
  void SetSlack(int32_t growPercent, int32_t shrinkPercent);

  // Stretches srcRect of the source over dstRect of the destination. Both pictures are laid out as
  // an ImageBuffer is: four bytes per pixel (blue, green, red, a fourth byte carried along), rows
  // bottom-up without padding. Rectangles are left, top,
  // right, bottom with right and bottom exclusive, y from the top. srcRect is clipped to the source
  // and only its inside is used; dstRect defines the scale as given, and only its part inside the
  // destination is written; nothing outside the clipped source rect is read. keyColor is a
  // COLORREF (0x00BBGGRR); with `keyed`, a pixel whose low three bytes equal the key is never
  // blended with a pixel that is not one: one of the two is taken whole, the second neighbour only
  // when its weight exceeds 128/4096. The fourth byte is resampled like the others.
  //
  // Writes nothing when: either pointer is null, a rectangle is empty after clipping, the source
  // image exceeds 2 GiB or its clipped rectangle kMaxSourceSpan in either direction, the
  // destination exceeds the address space, dstRect is wider or taller than INT32_MAX, or a buffer
  // cannot be allocated. Returns false only in the last case, so that a caller can tell "nothing to
  // convert" from "could not convert".
  bool Convert(const uint32_t* srcBits, int32_t srcWidth, int32_t srcHeight, const Rect& srcRect,
               uint32_t* dstBits, int32_t dstWidth, int32_t dstHeight, const Rect& dstRect,
               uint32_t keyColor, bool keyed);

  // Fills `count` entries for output positions dstStart.. of a span of dstLength mapped onto a
  // source span of srcLength, `step` bytes per source position. Positions are unsigned 16.16:
  // reducing (or equal) centres each output on its share of the source, enlarging puts the first
  // and last outputs exactly on the first and last source positions. Requires
  // 1 <= srcLength <= kMaxSourceSpan, dstLength >= 1, dstStart >= 0, dstStart + count <= dstLength,
  // and |step| x srcLength <= INT32_MAX.
  static void BuildScaleTable(int32_t srcLength, int32_t dstLength, int32_t dstStart, int32_t count,
                              int32_t step, ScaleEntry* table);

  // One output pixel from neighbours a and b, w the second one's share in 1/4096 (0..4095): per
  // byte lane a + floor((b - a) x w / 4096). With `keyed`, when exactly one of them equals
  // keyPixel in its low three bytes, both become b if w > 128 and a otherwise.
  static uint32_t BlendPixels(uint32_t a, uint32_t b, int32_t w, bool keyed, uint32_t keyPixel);

  int32_t growPercent = 0;
  int32_t shrinkPercent = 0;
  int32_t columnCapacity = 0;
  ScaleEntry* columnTable = nullptr;
  int32_t columnKey[5] = {};  // source length, destination length, destination start, count, step
  int32_t rowCapacity = 0;
  ScaleEntry* rowTable = nullptr;
  int32_t rowKey[5] = {};
  uint32_t* lineBuffer = nullptr;
  int32_t lineCapacity = 0;

  // How often each table has been built; lets tests see whether a cached table was reused.
  int32_t columnTableBuilds = 0;
  int32_t rowTableBuilds = 0;

 private:
  // Makes `buffer` hold at least `needed` elements, reallocating only outside the slack; the
  // content is not kept. On failure the buffer is null, capacity and allocated 0, returns false.
  // Releasing the old content also clears `key` (when given): a fresh buffer holds no table.
  bool EnsureCapacity(void** buffer, int32_t* capacity, int32_t* allocated, int32_t* key,
                      int32_t needed, std::size_t elementSize) const;

  // Elements actually allocated: the capacity plus the slack in force when it was allocated. The
  // slack may grow later, so the capacity alone does not bound what a buffer holds.
  int32_t columnAllocated_ = 0;
  int32_t rowAllocated_ = 0;
  int32_t lineAllocated_ = 0;
};

}  // namespace vle
