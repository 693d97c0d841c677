// The plug-in's module-global objects, constructed when the library loads and destroyed in reverse
// order when it unloads. The shared state (and its lock) comes first because the settings window's
// behaviour keeps references into it.
#pragma once

#include <cstdint>

#include "core/geometry.h"
#include "export/template_exporter.h"
#include "frame/frame_adapter.h"
#include "settings/ini_document.h"
#include "ui/settings_dialog.h"
#include "ui/shared_state.h"

namespace vle::plugin {

struct Module {
  Module();

  SharedState state;
  FrameAdapter adapter;
  TemplateExporter exporter;
  ui::SettingsDialog dialog;
  IniDocument ini;
  // Frame driver only (video thread).
  Size lastFrameSize{0, 0};
  int32_t settleCountdown = 0;
};

Module& TheModule();

}  // namespace vle::plugin
