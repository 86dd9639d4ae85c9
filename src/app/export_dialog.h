#pragma once
// "Export..." for one recording: a save dialog with the recording's name and
// a choice of format (Ogg Opus, the default, FLAC, MP3, WAV), the export on a
// thread of its own behind a progress dialog with Cancel, and a message when
// it was cancelled or failed. The recording is only read; a cancelled or
// failed export leaves no file behind (audio/export_job.h).

#include <functional>
#include <optional>
#include <string>

#include <QString>

#include "audio/export_format.h"
#include "audio/export_job.h"

class QWidget;

namespace app {

struct ExportChoice {
  QString Path;  // host path of the file to write
  audio::ExportFormat Format = audio::ExportFormat::Opus;
};

// Asks where and in which format to export; nothing when the user cancels.
// suggested: the recording's folder and name with the default extension.
using ExportTargetChooser =
    std::function<std::optional<ExportChoice>(QWidget* parent, const QString& suggested)>;
// Tests replace the save dialog; an empty function brings it back.
void SetExportTargetChooser(ExportTargetChooser chooser);

// What exports, on the dialog's thread of its own: audio::ExportRecording
// unless a test puts another in (an empty function brings it back).
using ExportJob =
    std::function<audio::ExportResult(const audio::ExportRequest&, const audio::ExportProgress&)>;
void SetExportJob(ExportJob job);

// The whole dialog, modal to parent. Nothing when no file was chosen,
// else the export's result (already reported to the user when it failed or
// was cancelled).
std::optional<audio::ExportResult> RunExportDialog(QWidget* parent, const std::u16string& recording);

// The path a choice ends up with: the format's extension added unless the
// name already ends in it; a name ending in another format's extension
// chooses that format instead.
ExportChoice NormalizeExportChoice(ExportChoice choice);

}  // namespace app
