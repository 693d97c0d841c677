// The logo extractor's arithmetic over BgrLuma32 pictures (luma in the top byte).
//
// Geometry: the processed rectangle is the last buffer's rect (W x H); every input is read from its
// own rect's top-left corner on and must hold at least W x H. Buffers without pixels are empty:
// nothing is read or written when any buffer involved has none. Every column is processed,
// including the last one of an odd width.
#pragma once

#include <cstdint>

#include "core/image_buffer.h"

namespace vle {

// dst keeps, per position, the pixel with the larger luma; ties keep dst (colour bytes included).
void AccumulateMax(const ImageBuffer& source, ImageBuffer& destination);
// dst keeps, per position, the pixel with the smaller luma; ties keep dst.
void AccumulateMin(const ImageBuffer& source, ImageBuffer& destination);

// out = KeyPixel(colorKey) where ((maxY - minY) > threshold || blackLevel > minY) XOR inverse,
// else the whole min pixel. Comparisons are signed 32-bit.
void BuildTemplate(const ImageBuffer& max, const ImageBuffer& min, ImageBuffer& output,
                   uint32_t colorKey, int32_t threshold, int32_t blackLevel,
                   uint32_t inverseSelection);
// The same with the settings already prepared (core/template_rows.h).
struct TemplateParams;
void BuildTemplate(const ImageBuffer& max, const ImageBuffer& min, ImageBuffer& output,
                   const TemplateParams& params);

// max <- 0x00000000, min <- 0xFFFFFFFF over their rects; a null pointer is skipped.
void ResetAccumulators(ImageBuffer* max, ImageBuffer* min);

}  // namespace vle
