// The buffer work of a Capturing frame in one pass over its rows.
#pragma once

#include <cstdint>

#include "core/image_buffer.h"
#include "core/template_rows.h"
#include "frame/frame_adapter.h"

namespace vle {

// Leaves `max`, `min` and `*output` as the sequence
//   adapter.ImportRegion(framePixels, (0, 0), capture.bits, capture.size(), capture.rect,
//                        kBgrLuma32);
//   AccumulateMax(capture, max); AccumulateMin(capture, min);
//   BuildTemplate(max, min, *output, ...);                             (only when output != null)
// leaves them, row by row while each row is in registers, with two differences:
//  - `capture` is not written. Nothing reads the capture picture after the accumulators; its rect
//    still bounds what is captured, and a capture buffer without pixels captures nothing.
//  - Only positions the frame covers are folded into the accumulators. The sequence would also
//    fold whatever the capture picture held beyond a frame smaller than the buffers (buffers made
//    for an earlier, larger format): pixels of old frames, or memory never written.
// The template covers the whole of output's rect, as BuildTemplate does. Frame formats other than
// Yuy2 and Bgr24 capture nothing. Takes no lock; the caller holds the one that guards the buffers.
void CaptureFrame(const FrameAdapter& adapter, const uint8_t* framePixels,
                  const ImageBuffer& capture, ImageBuffer& max, ImageBuffer& min,
                  ImageBuffer* output, const TemplateParams& params);

}  // namespace vle
