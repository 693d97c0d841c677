// Row routines of a Capturing frame: one frame row converted into BgrLuma32 and folded into the
// maximum and minimum rows, and, given template parameters, the template row rebuilt from them,
// all in one pass while the row's pixels are in registers. The converted row is never stored.
//
// The definition is the composition of the scalar references, pixel for pixel:
//   capture = Yuy2ToImageRow_C / Yuy2ToImageRowSplit_C / Bgr24ToImageRow_C <kBgrLuma32> (src)
//   AccumulateMaxRow_C(capture, max); AccumulateMinRow_C(capture, min);
//   BuildTemplateRow_C(max, min, out, *params)                         (only when params != null)
// Every SIMD variant leaves max, min and out exactly as that composition does.
//
// fn(src, max, min, out, count, params): `src` as for the import rows (Yuy2: the first byte of a
// pair; the split routine converts that pair's second pixel first), count >= 0 pixels. Frame bytes
// are read as the import rows read them; max, min and out are read and written in [0, count) only,
// out not at all without params. A SIMD step in which no pixel changes stores nothing. The rows
// must not overlap one another.
#pragma once

#include <cstdint>

#include "core/template_rows.h"

namespace vle {

using CaptureRowFn = void (*)(const uint8_t* src, uint32_t* max, uint32_t* min, uint32_t* out,
                              int count, const TemplateParams* params);

// A capture starts every row at the frame's first column, so only even-start rows have SIMD
// variants.
struct CaptureRows {
  CaptureRowFn yuy2;  // the row starts at a pair
  CaptureRowFn bgr24;
};

// Per level, as core/row_levels.h describes.
const CaptureRows& CaptureRowsC();
const CaptureRows* CaptureRowsSse2();
const CaptureRows* CaptureRowsAvx2();
CaptureRows SelectCaptureRows(int cpuFeatures);

// The scalar composition; the SIMD variants finish their remainders with it.
void CaptureYuy2Row_C(const uint8_t* src, uint32_t* max, uint32_t* min, uint32_t* out, int count,
                      const TemplateParams* params);
// The row starts at the second pixel of the pair at src: that pixel, then CaptureYuy2Row_C from
// the next pair.
void CaptureYuy2SplitRow_C(const uint8_t* src, uint32_t* max, uint32_t* min, uint32_t* out,
                           int count, const TemplateParams* params);
void CaptureBgr24Row_C(const uint8_t* src, uint32_t* max, uint32_t* min, uint32_t* out, int count,
                       const TemplateParams* params);

}  // namespace vle
