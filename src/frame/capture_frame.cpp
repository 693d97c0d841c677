#include "frame/capture_frame.h"

#include "core/template_kernels.h"
#include "frame/capture_rows.h"
#include "frame/import_rows.h"
#include "frame/surface_size.h"
#include "platform/cpu.h"

namespace vle {
namespace {

int32_t Smaller(int32_t a, int32_t b) { return a < b ? a : b; }

// The frame's rows, top row first, when its layout is one the capture converts.
struct FrameRows {
  const uint8_t* top;
  int64_t pitch;
  int32_t bytesPerPixel;
};

bool RowsOfFrame(const FrameAdapter& adapter, const uint8_t* pixels, FrameRows* rows) {
  if (pixels == nullptr || (adapter.format != kYuy2 && adapter.format != kBgr24)) return false;
  const int32_t bytesPerPixel = adapter.format == kYuy2 ? 2 : 3;
  if (!SurfaceAddressable(adapter.width, adapter.height, bytesPerPixel)) return false;
  const int64_t rowBytes = int64_t{bytesPerPixel} * adapter.width;
  if (adapter.format == kYuy2) {
    *rows = FrameRows{pixels, rowBytes, 2};
  } else {  // bottom-up: the top picture row is the last one in memory
    *rows = FrameRows{pixels + rowBytes * (adapter.height - 1), -rowBytes, 3};
  }
  return true;
}

}  // namespace

void CaptureFrame(const FrameAdapter& adapter, const uint8_t* framePixels,
                  const ImageBuffer& capture, ImageBuffer& max, ImageBuffer& min,
                  ImageBuffer* output, const TemplateParams& params) {
  PixelRows mx, mn, captured, out;
  if (!RowsOf(max, &mx) || !RowsOf(min, &mn)) return;
  FrameRows frame;
  // The captured block: what frame, capture picture and both accumulators hold, from the top-left.
  int32_t width = 0, height = 0;
  if (RowsOf(capture, &captured) && RowsOfFrame(adapter, framePixels, &frame)) {
    width = Smaller(Smaller(adapter.width, captured.width), Smaller(mx.width, mn.width));
    height = Smaller(Smaller(adapter.height, captured.height), Smaller(mx.height, mn.height));
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
  // In a Yuy2 frame of odd width the last column is half a pair: its Cr would be the next row's
  // first chroma byte, or lie beyond the frame on the last row. The import converts it on its own
  // with neutral Cr; so does the capture.
  const bool halfPairAtEnd = adapter.format == kYuy2 && (adapter.width & 1) && width == adapter.width;
  const int32_t paired = halfPairAtEnd ? width - 1 : width;
  const TemplateParams* withTemplate = fused ? &params : nullptr;
  // Rows in memory order, bottom picture row first: the buffers are bottom-up, and read as one
  // ascending stream each they keep the processor's prefetchers ahead. A top-down Yuy2 frame then
  // runs against its memory order; its next row is fetched while this one is worked on.
  const int64_t frameRowBytes = int64_t{frame.bytesPerPixel} * width;
  for (int32_t y = height - 1; y >= 0; --y) {
    const uint8_t* src = frame.top + frame.pitch * y;
    if (frame.pitch > 0 && y >= 2) {
      const uint8_t* ahead = src - 2 * frame.pitch;
      for (int64_t b = 0; b < frameRowBytes; b += 64) __builtin_prefetch(ahead + b, 0, 3);
    }
    uint32_t* maxRow = mx.topLeft + mx.pitch * y;
    uint32_t* minRow = mn.topLeft + mn.pitch * y;
    uint32_t* outRow = fused ? out.topLeft + out.pitch * y : nullptr;
    if (paired > 0) convert(src, maxRow, minRow, outRow, paired, withTemplate);
    if (halfPairAtEnd) {
      const uint8_t* last = src + 2 * (int64_t{adapter.width} - 1);
      const uint8_t pair[4] = {last[0], last[1], last[0], 128};
      CaptureYuy2Row_C(pair, maxRow + paired, minRow + paired, fused ? outRow + paired : nullptr, 1,
                       withTemplate);
    }
  }
  if (buildTemplate && !fused) BuildTemplate(max, min, *output, params);
}

}  // namespace vle
