// The Save command's picture: the settings' region of the template, resampled to the scale of a
// 768 x 576 reference frame with the key colour kept apart, and its bitmap file.
#pragma once

#include <memory>
#include <string>

#include "core/geometry.h"
#include "core/image_buffer.h"
#include "core/settings_block.h"

namespace vle {

class TemplateExporter;

// Writes image.rect as an uncompressed 24-bit bottom-up bitmap file (export/bitmap_writer.cpp).
// Returns whether the file was written whole; a failed write leaves no partial regular file.
bool SaveBitmap(const ImageBuffer& image, const std::string& path);

class TemplateExport {
 public:
  static constexpr int32_t kReferenceWidth = 768;
  static constexpr int32_t kReferenceHeight = 576;

  // Allocates the picture for the region size of `settings`, filled with the key colour: whatever
  // the resampler does not cover (a region wholly outside the frame) reads as "not logo".
  explicit TemplateExport(const SettingsBlock& settings);

  // Whether the picture could be allocated (a picture without area always can).
  bool ready() const;

  // Resamples `region` of `source` into the picture; the caller keeps `source` unchanged meanwhile.
  // False when there is nothing to write: no source, a source without pixels, or a conversion that
  // could not get its tables (the key colour alone would pass for a template without a logo).
  bool Render(const ImageBuffer* source, const Rect& region, TemplateExporter& exporter);

  bool Write(const std::string& path) const { return SaveBitmap(*picture_, path); }

 private:
  SettingsBlock settings_;
  std::unique_ptr<ImageBuffer> picture_;
};

}  // namespace vle
