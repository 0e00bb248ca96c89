// The editor's export: the project as it is being edited (nothing is saved first), with the
// dialog's quality, speed, play size, play mode and dither.
#include "editor/dialog_rules.h"
#include "editor/editor_texts.h"
#include "editor/picture_pane.h"
#include "engine/messages.h"
#include "engine/morph_engine.h"
#include "export/morph_export.h"
#include "glide/platform.h"

void EditorDialogRules::OnExport() {
  if (m_previewRunning) return;
  ControlsToSettings();
  if (g_engine.pictureCount < 2) {
    platform::showMessage(kTooFewPicturesMessage, kPlayerErrorCaption);
    return;
  }
  const std::optional<std::string> path = RunExportDialog();
  if (!path) return;
  morph_export::Settings settings;
  // A dither box without a selection plays as the programs' own 2x2.
  settings.dither = g_engine.ditherMode >= 0 && g_engine.ditherMode <= 2 ? g_engine.ditherMode : 0;
  // The export draws from the pictures and their textures as the preview does.
  m_previewRunning = true;
  morph_export::Summary summary;
  std::string why;
  const bool exported = morph_export::exportMorph(
      g_engine, *path, settings,
      [this](int64_t done, int64_t total) {
        return ShowProgress(kExportTitle, kExportingText, done, total);
      },
      summary, why);
  EndProgress();
  m_previewRunning = false;
  if (!exported && why != morph_export::kCancelledReason) {
    platform::showMessage(std::string(kExportFailedMessage) + "\n" + *path + "\n\n" + why,
                          kEngineErrorCaption);
  }
}
