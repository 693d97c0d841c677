#include "export/template_export.h"

#include "core/muldiv.h"
#include "export/template_exporter.h"

namespace vle {

TemplateExport::TemplateExport(const SettingsBlock& settings)
    : settings_(settings),
      picture_(new ImageBuffer(MulDiv(settings.logoSizeX, kReferenceWidth, 1000),
                               MulDiv(settings.logoSizeY, kReferenceHeight, 1000))) {
  const uint32_t key = KeyPixel(settings.colorKey);
  picture_->Fill(int(key >> 24), int(key >> 16), int(key >> 8), int(key));
}

bool TemplateExport::ready() const { return IsEmpty(picture_->rect) || picture_->bits != nullptr; }

bool TemplateExport::Render(const ImageBuffer* source, const Rect& region, TemplateExporter& exporter) {
  if (!ready()) return false;
  const bool hasArea = !IsEmpty(picture_->rect);
  if (source == nullptr || (hasArea && source->bits == nullptr)) return false;
  return !hasArea || exporter.Convert(source->bits, source->allocWidth, source->allocHeight, region,
                                      picture_->bits, picture_->allocWidth, picture_->allocHeight,
                                      picture_->rect, settings_.colorKey, true);
}

}  // namespace vle
