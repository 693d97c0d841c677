// The buffer work of a Capturing frame in one pass over its rows.
#pragma once

#include <cstdint>

#include "core/image_buffer.h"
#include "core/template_rows.h"
#include "frame/frame_adapter.h"

namespace vle {

// Folds the frame into `max` and `min` and, when `output` is given, rebuilds the template, row
// by row while each row is in registers. Leaves the buffers as the sequence
//   capture = the frame converted into BgrLuma32 (ImportRegion of the whole frame, kBgrLuma32)
//   AccumulateMax(capture, max); AccumulateMin(capture, min);
//   BuildTemplate(max, min, *output, ...);                             (only when output != null)
// leaves them, except that the converted frame is never stored, and only positions the frame
// covers are folded in: the captured block is what the frame and both accumulators' rects hold,
// from the top-left. The template covers the whole of output's rect, as BuildTemplate does. Frame
// formats other than Yuy2 and Bgr24 capture nothing. Takes no lock; the caller holds the one that
// guards the buffers.
void CaptureFrame(const FrameAdapter& adapter, const uint8_t* framePixels, ImageBuffer& max,
                  ImageBuffer& min, ImageBuffer* output, const TemplateParams& params);

}  // namespace vle
