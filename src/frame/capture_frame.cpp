#include "frame/capture_frame.h"

#include "core/template_kernels.h"
#include "frame/capture_rows.h"
#include "frame/frame_layout.h"
#include "frame/import_rows.h"
#include "platform/cpu.h"

namespace vle {
namespace {

int32_t Smaller(int32_t a, int32_t b) { return a < b ? a : b; }

}  // namespace

void CaptureFrame(const FrameAdapter& adapter, const uint8_t* framePixels, ImageBuffer& max,
                  ImageBuffer& min, ImageBuffer* output, const TemplateParams& params) {
  PixelRows mx, mn, out;
  if (!RowsOf(max, &mx) || !RowsOf(min, &mn)) return;
  FrameLayout frame{};
  // The captured block: what the frame and both accumulators hold, from the top-left.
  int32_t width = 0, height = 0;
  if (DescribeFrame(adapter, framePixels, &frame)) {
    width = Smaller(frame.width, Smaller(mx.width, mn.width));
    height = Smaller(frame.height, Smaller(mx.height, mn.height));
  }
  // The template's block, as BuildTemplate forms it.
  bool buildTemplate = output != nullptr && RowsOf(*output, &out);
  if (buildTemplate) {
    out.width = Smaller(out.width, Smaller(mx.width, mn.width));
    out.height = Smaller(out.height, Smaller(mx.height, mn.height));
  }
  // One pass when the template covers exactly the captured block, as it does whenever the frame
  // has the size the buffers were made for.
  const bool fused = buildTemplate && out.width == width && out.height == height;

  const CaptureRows rows = SelectCaptureRows(platform::CpuFeatures());
  const CaptureRowFn convert = adapter.format == kYuy2 ? rows.yuy2 : rows.bgr24;
  // The half pair that ends a Yuy2 row of odd width is converted on its own, as the import does.
  const bool halfPairAtEnd = adapter.format == kYuy2 && (frame.width & 1) && width == frame.width;
  const int32_t paired = halfPairAtEnd ? width - 1 : width;
  const TemplateParams* withTemplate = fused ? &params : nullptr;
  // Rows in memory order, bottom picture row first: the buffers are bottom-up, and read as one
  // ascending stream each they keep the processor's prefetchers ahead. A top-down Yuy2 frame then
  // runs against its memory order; its next row is fetched while this one is worked on.
  const int64_t frameRowBytes = int64_t{frame.bytesPerPixel} * width;
  for (int32_t y = height - 1; y >= 0; --y) {
    const uint8_t* src = frame.Row(y);
    if (frame.rowStep > 0 && y >= 2) {
      const uint8_t* ahead = src - 2 * frame.rowStep;
      for (int64_t b = 0; b < frameRowBytes; b += 64) __builtin_prefetch(ahead + b, 0, 3);
    }
    uint32_t* maxRow = mx.Row(y);
    uint32_t* minRow = mn.Row(y);
    uint32_t* outRow = fused ? out.Row(y) : nullptr;
    if (paired > 0) convert(src, maxRow, minRow, outRow, paired, withTemplate);
    if (halfPairAtEnd) {
      const HalfPair pair = HalfPairAtEnd(src + 2 * (int64_t{frame.width} - 1));
      CaptureYuy2Row_C(pair.bytes, maxRow + paired, minRow + paired,
                       fused ? outRow + paired : nullptr, 1, withTemplate);
    }
  }
  if (buildTemplate && !fused) BuildTemplate(max, min, *output, params);
}

}  // namespace vle
