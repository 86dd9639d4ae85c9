#include "app/export_dialog.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QProgressDialog>
#include <QStringList>
#include <QTimer>

#include "diag/show_error.h"
#include "platform/device_paths.h"

namespace app {
namespace {

constexpr int kProgressSteps = 1000;
// A short export is over before a progress dialog would be worth showing.
constexpr int kProgressShowMs = 400;
constexpr int kProgressPollMs = 30;

ExportTargetChooser& Chooser() {
  static ExportTargetChooser chooser;
  return chooser;
}

ExportJob& Job() {
  static ExportJob job;
  return job;
}

QString FilterOf(const audio::ExportFormatInfo& info) {
  return QStringLiteral("%1 (*%2)").arg(QString::fromUtf16(info.Name), QString::fromLatin1(info.Extension));
}

// The widget's save dialog: the name filters are the formats, Ogg Opus
// first and chosen; picking another filter changes the typed name's ending.
std::optional<ExportChoice> AskWithFileDialog(QWidget* parent, const QString& suggested) {
  QFileDialog dialog(parent, QStringLiteral("Export"));
  dialog.setObjectName(QStringLiteral("QuillonExportDialog"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  QStringList filters;
  for (const audio::ExportFormatInfo& info : audio::ExportFormats()) filters.append(FilterOf(info));
  dialog.setNameFilters(filters);
  dialog.selectNameFilter(filters.first());
  const QFileInfo suggestion(suggested);
  dialog.setDirectory(suggestion.absolutePath());
  dialog.selectFile(suggestion.fileName());
  dialog.setDefaultSuffix(QString::fromLatin1(audio::ExportFormats().front().Extension + 1));
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                   [&dialog, &filters, &suggestion](const QString& f) {
                     const int index = static_cast<int>(filters.indexOf(f));
                     if (index < 0) return;
                     const char* extension = audio::ExportFormats()[static_cast<size_t>(index)].Extension;
                     dialog.setDefaultSuffix(QString::fromLatin1(extension + 1));
                     dialog.selectFile(suggestion.completeBaseName() + QString::fromLatin1(extension));
                   });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  const int index = std::max<int>(0, static_cast<int>(filters.indexOf(dialog.selectedNameFilter())));
  return ExportChoice{dialog.selectedFiles().first(),
                      audio::ExportFormats()[static_cast<size_t>(index)].Format};
}

// What the exporting thread and the dialog share.
struct Progress {
  std::atomic<uint64_t> done{0};
  std::atomic<uint64_t> total{0};
  std::atomic<bool> cancel{false};
  std::atomic<bool> finished{false};
  audio::ExportResult result;  // the thread's until finished
};

}  // namespace

void SetExportTargetChooser(ExportTargetChooser chooser) { Chooser() = std::move(chooser); }

void SetExportJob(ExportJob job) { Job() = std::move(job); }

ExportChoice NormalizeExportChoice(ExportChoice choice) {
  const std::optional<audio::ExportFormat> named = audio::ExportFormatForPath(choice.Path.toStdString());
  if (named) {
    choice.Format = *named;
    return choice;
  }
  choice.Path += QString::fromLatin1(audio::ExportFormatInfoFor(choice.Format).Extension);
  return choice;
}

std::optional<audio::ExportResult> RunExportDialog(QWidget* parent, const std::u16string& recording) {
  // A device path ("\My Documents\...") or, from tools and tests, a host path.
  const std::optional<std::string> host = !recording.empty() && recording[0] == u'/'
                                              ? QString::fromStdU16String(recording).toStdString()
                                              : platform::DevicePaths::ToHost(recording);
  if (!host) return std::nullopt;
  const QFileInfo source(QString::fromStdString(*host));
  const QString suggested = source.absolutePath() + QLatin1Char('/') + source.completeBaseName() +
                            QString::fromLatin1(audio::ExportFormats().front().Extension);
  const std::optional<ExportChoice> asked =
      Chooser() ? Chooser()(parent, suggested) : AskWithFileDialog(parent, suggested);
  if (!asked || asked->Path.isEmpty()) return std::nullopt;
  const ExportChoice choice = NormalizeExportChoice(*asked);

  audio::ExportRequest request;
  request.Source = recording;
  request.Target = choice.Path.toStdString();
  request.Format = choice.Format;
  auto job = std::make_shared<Progress>();
  const ExportJob run = Job() ? Job() : ExportJob(audio::ExportRecording);
  std::thread worker([job, request, run] {
    job->result = run(request, [&job = *job](uint64_t done, uint64_t total) {
      job.done = done;
      job.total = total;
      return !job.cancel.load();
    });
    job->finished = true;
  });

  QPointer<QWidget> owner(parent);
  QProgressDialog progress(QStringLiteral("Exporting \"%1\"...").arg(source.completeBaseName()),
                           QStringLiteral("Cancel"), 0, kProgressSteps, parent);
  progress.setObjectName(QStringLiteral("QuillonExportProgress"));
  progress.setWindowTitle(QStringLiteral("Export"));
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(kProgressShowMs);
  progress.setAutoClose(false);
  progress.setAutoReset(false);
  QEventLoop loop;
  QTimer poll;
  poll.setInterval(kProgressPollMs);
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (job->finished) {
      loop.quit();
      return;
    }
    const uint64_t total = job->total;
    if (total > 0 && !job->cancel) progress.setValue(static_cast<int>(job->done * kProgressSteps / total));
  });
  QObject::connect(&progress, &QProgressDialog::canceled, &loop, [&] {
    job->cancel = true;
    progress.setLabelText(QStringLiteral("Cancelling..."));
  });
  progress.setValue(0);
  poll.start();
  // The program ending meanwhile ends this loop too: the export is then cancelled.
  if (!job->finished) loop.exec();
  if (!job->finished) job->cancel = true;
  worker.join();
  progress.reset();

  const audio::ExportResult result = job->result;
  if (owner.isNull()) return result;
  if (result.Outcome == audio::ExportOutcome::Failed || result.Outcome == audio::ExportOutcome::Cancelled) {
    diag::ShowError(parent, result.Message.c_str(), result.Error);
  }
  return result;
}

}  // namespace app
