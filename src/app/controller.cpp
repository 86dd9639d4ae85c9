#include "app/controller.h"

#include <cstdlib>

#include <QMetaObject>
#include <QTimer>
#include <QWidget>

#include "app/document_list.h"
#include "app/export_dialog.h"
#include "app/help.h"
#include "app/menu_bar.h"
#include "app/playback_speed_control.h"
#include "app/text_buffer.h"
#include "audio/app_flags.h"
#include "audio/device_choice.h"
#include "diag/show_error.h"
#include "platform/device_paths.h"
#include "platform/last_error.h"
#include "view/display_power.h"
#include "sheet/settings_sheet.h"

namespace app {
namespace {

constexpr int kDocListTop = 119;
// The list reaches down to the menu bar: the handheld's screen height (320)
// less the title bar, the menu bar and the controls above it.
constexpr int kDocListHeight = 320 - 171;
constexpr char16_t kEmptyFolder[] = u"Records";

void PostClose(QWidget* window) {
  QMetaObject::invokeMethod(window, &QWidget::close, Qt::QueuedConnection);
}

}  // namespace

CController::CController(QWidget* window, QWidget* viewWidget)
    : MainWindow(window), Transport(window), View(viewWidget, &Transport) {
  if (!View.Init()) {
    // The view has said why; without it there is nothing to show.
    std::_Exit(-1);
  }
  if (!Settings.Load()) Settings.SetDefaults();
  Settings.Preferences.Load();
  Transport.AudioIO.Preferences = &Settings.Preferences;
  Transport.Settings = &Settings.Record;
  Transport.Store = &Settings;
  if (!Transport.RestoreState()) {
    PostClose(MainWindow);
    return;
  }
  CreateMenuBar();
  CreateDocumentList();
  Transport.ShowFormatFor(Settings.Record.FormatId == 49);
  RestorePlaybackSpeed(Transport);
  Transport.ShowFileInfo(1);
  MainWindow->raise();
  MainWindow->activateWindow();
}

CController::~CController() { Destroy(); }

void CController::CreateMenuBar() {
  Bar = new MenuBar(MainWindow);
  if (!Bar->IsValid()) {
    const int error = platform::GetLastError();
    delete Bar;
    Bar = nullptr;
    diag::ShowError(MainWindow, u"SHCreateMenuBar failed.", error);
    return;
  }
  Bar->setGeometry(0, MainWindow->height() - MenuBar::kHeight, MainWindow->width(), MenuBar::kHeight);
  Bar->CheckButton(kCmdFileExplorer, true);
  Bar->SetButtonImage(kCmdSwitchPlayMode, Settings.Record.PlayMode + 2);
  QObject::connect(Bar, &MenuBar::Command, MainWindow, [this](int id) { OnCommand(id); });
  Bar->SetSpeedQuery([this] { return Transport.AudioIO.GetPlaybackSpeed(); });
  Bar->show();
}

void CController::CreateDocumentList() {
  DocList = new DocumentList(MainWindow, Settings.Record.Folder);
  DocList->setGeometry(0, kDocListTop, MainWindow->width(), kDocListHeight);
  DocList->SetPenDownHook([this] { KeyOrigin = 0; });
  DocList->SetKeyHook([this] { KeyOrigin = 1; });
  DocList->SetBeforeChange([this](const std::u16string& path) { BeforeListChange(path); });
  DocList->SetExportHook([this](const std::u16string& path) { RunExportDialog(MainWindow, path); });
  QObject::connect(DocList, &DocumentList::Notify, MainWindow,
                   [this](int code, int index, const QString& path) {
                     OnNotify(code, index, path.toStdU16String());
                   });
  DocList->Refresh();
  DocList->Select(0);
  CopyText(Transport.FolderPath, Settings.Record.Folder);
  if (!Transport.SetFilePath(DocList->SelectedPath())) Transport.FilePath[0] = u'\0';
  lastSelected_ = DocList->SelectedPath();
  Transport.DocList = DocList;
  // Recordings listed at start can be played at once.
  Transport.EnableTrackButtons(DocList->Count() > 0);
  // Queued: the list is read again inside transport operations (a recording
  // starting or ending), which must finish before the buttons follow it.
  QObject::connect(DocList, &DocumentList::Listed, MainWindow, [this] { FollowList(); }, Qt::QueuedConnection);
  // Runs only while a recording does: an idle program is not woken for it.
  recordingWatch_ = new QTimer(MainWindow);
  recordingWatch_->setObjectName(QStringLiteral("recording watch"));
  recordingWatch_->setInterval(1000);
  QObject::connect(recordingWatch_, &QTimer::timeout, MainWindow, [this] { WatchRecording(); });
  Transport.RecordingStarted = [this] {
    if (!destroyed_ && recordingWatch_ != nullptr) recordingWatch_->start();
  };
  DocList->show();
}

namespace {

// The card a device path lies on, empty for the documents folder.
std::u16string CardOf(const std::u16string& path) {
  const size_t second = path.find(u'\\', 1);
  if (second == std::u16string::npos || path.rfind(platform::kDocumentsRoot, 0) == 0) return {};
  return path.substr(1, second - 1);
}

bool CardPresent(const std::u16string& card) {
  return platform::DevicePaths::FindStorageCard(card, std::u16string::npos).match ==
         platform::CardLookup::Match::Found;
}

}  // namespace

void CController::WatchRecording() {
  if (!audio::RecordingActive || destroyed_) {
    recordingWatch_->stop();
    return;
  }
  const std::u16string path(Transport.FilePath);
  // A card taken out (or unmounted) under a recording: the recording goes
  // no further than what could be written to it, and the user is told.
  const std::u16string card = CardOf(path);
  if (!card.empty() && !CardPresent(card)) {
    Transport.Stop(1);
    ShowRecordingGone(path);
    return;
  }
  if (DocList != nullptr) DocList->RefreshEntry(path);
}

void CController::ShowRecordingGone(const std::u16string& path) {
  const std::u16string card = CardOf(path);
  if (!card.empty() && !CardPresent(card)) {
    diag::ShowError(MainWindow, u"The storage card \"%1\" is gone: the recording was stopped.", 0, {card});
  } else {
    diag::ShowError(MainWindow, u"\"%1\" was moved or deleted by another program: the recording was stopped.", 0,
                    {CTransport::DisplayName(path)});
  }
}

void CController::FollowList() {
  if (DocList == nullptr || destroyed_) return;
  const int count = DocList->Count();
  const bool recording = audio::RecordingActive != 0;
  const bool playing = Transport.AudioIO.Direction == audio::WaveDirection::Output;
  if (count > 0 && DocList->SelectedIndex() < 0 && !recording && !playing) DocList->Select(0);
  const std::u16string selected = DocList->SelectedPath();
  if (recording || playing) {
    // The file running stays FilePath; the moves go on from where it is listed.
    const int at = DocList->IndexOf(Transport.FilePath);
    if (at >= 0) Transport.ListIndex = at;
  } else if (selected != lastSelected_ || DocList->IndexOf(Transport.FilePath) < 0) {
    // Another row chosen, or the file named is no longer listed (deleted,
    // renamed, another folder shown): Play plays what the list shows.
    if (!Transport.SetFilePath(selected)) Transport.FilePath[0] = u'\0';
    Transport.ListIndex = std::max(DocList->SelectedIndex(), 0);
  }
  lastSelected_ = selected;
  // A recording holds its own view (Play ends it; the moves wait for Stop).
  if (recording) return;
  View.EnableButton(view::kNextButton, count > 0);
  View.EnableButton(view::kPreviousButton, count > 0);
  // Play pauses a playback whatever the list shows.
  if (!playing) View.EnableButton(view::kPlayButton, count > 0);
}

void CController::Destroy() {
  if (destroyed_) return;
  destroyed_ = true;
  if (Bar != nullptr) {
    delete Bar;
    Bar = nullptr;
  }
  // The list's hooks call into this object: it goes with it.
  Transport.DocList = nullptr;
  delete DocList;
  DocList = nullptr;
  // The device stops before the view: its callbacks measure into the view's
  // meter, and the monitor thread follows the device.
  Transport.CloseDevice();
  View.Shutdown();
  Transport.SaveSettings();
}

void CController::OnCommand(int id) {
  switch (id) {
    case kCmdExit:
      Exit();
      break;
    case kCmdFileExplorer:
      if (DocList != nullptr) DocList->show();
      if (Bar != nullptr) {
        Bar->CheckButton(kCmdFileExplorer, true);
        Bar->CheckButton(kCmdVas, false);
      }
      break;
    case kCmdVas:
      // The list lies over the VAS toggle and threshold; hiding it uncovers them.
      if (DocList != nullptr) DocList->hide();
      if (Bar != nullptr) {
        Bar->CheckButton(kCmdVas, true);
        Bar->CheckButton(kCmdFileExplorer, false);
      }
      break;
    case kCmdDisplayOff:
      audio::DisplayOn = 0;
      view::SetDisplayPower(false);
      break;
    case kCmdSettings:
      RunSettingsSheet(0);
      break;
    case kCmdSwitchPlayMode:
      SwitchPlayMode();
      break;
    case kCmdAbout:
      RunSettingsSheet(3);
      break;
    case kCmdHelp:
      ShowHelp();
      break;
    default:
      if (const uint32_t speed = SpeedForCommand(id)) SetPlaybackSpeed(Transport, speed);
      break;
  }
  if (CommandDone) CommandDone();
}

void CController::Exit() {
  // Listening ends with the program, but the VAS toggle as the user left it
  // is what the settings keep for the next start.
  const bool vasToggled = View.Buttons[view::kVasButton - view::kFirstButton].Toggled != 0;
  audio::VasEnabled = 0;
  Transport.Stop(1);
  View.SetButtonToggled(view::kVasButton, vasToggled);
  PostClose(MainWindow);
}

void CController::SwitchPlayMode() {
  // Compared unsigned: a stored 0 or a negative value starts again at 1.
  uint32_t mode = static_cast<uint32_t>(Settings.Record.PlayMode) + 1;
  if (mode > 4) mode = 1;
  if (Bar != nullptr) Bar->SetButtonImage(kCmdSwitchPlayMode, static_cast<int>(mode) + 2);
  Settings.Record.PlayMode = static_cast<int32_t>(mode);
}

void CController::RunSettingsSheet(int startPage) {
  Settings.StartPage = startPage;
  const int32_t format = Settings.Record.FormatId;
  const std::u16string storage(Settings.Record.Storage);
  const std::string microphone = audio::ReadDeviceChoice(Settings.Preferences, true).id;
  sheet::RunSettingsSheet(MainWindow, &Settings);
  // The idle panel speaks of the next recording: it names what was chosen.
  if (destroyed_ || audio::RecordingActive || Transport.AudioIO.Direction == audio::WaveDirection::Output) return;
  // Listening for voice activation moves to the microphone and format
  // chosen: the meter shows the input the next recording will take.
  if (Transport.AudioIO.Direction == audio::WaveDirection::Input &&
      (audio::ReadDeviceChoice(Settings.Preferences, true).id != microphone || Settings.Record.FormatId != format)) {
    Transport.CloseStreams();
    Transport.UpdateVas(1);
  }
  if (Settings.Record.FormatId != format) Transport.ShowFormatFor(Settings.Record.FormatId == 49);
  if (storage != Settings.Record.Storage) View.ShowStorage(Settings.Record.Storage);
}

void CController::ShowHelp() { app::ShowHelp(); }

void CController::BeforeListChange(const std::u16string& path) {
  // A file being recorded or played is closed before it is deleted or
  // renamed under the program.
  if (path != Transport.FilePath) return;
  if (audio::RecordingActive || Transport.AudioIO.Direction == audio::WaveDirection::Output) {
    Transport.Stop(1);
    Transport.FilePath[0] = u'\0';
  }
}

void CController::OnNotify(int code, int index, const std::u16string& path) {
  switch (code) {
    case kDocListActivated: {
      const bool playEnabled = View.Buttons[view::kPlayButton - view::kFirstButton].Enabled != 0;
      if (!playEnabled && KeyOrigin != 0) return;
      if (!Transport.SetFilePath(path)) {
        Transport.ShowPathTooLong(path);
        break;
      }
      Transport.ListIndex = index;
      Transport.Play(1);
      break;
    }
    case kDocListChanged: {
      // Only the file being recorded or played ends with its change: a
      // tidy-up of other recordings must not cost what is being said.
      const bool recording = audio::RecordingActive != 0;
      const bool running = recording || Transport.AudioIO.Direction == audio::WaveDirection::Output;
      if (running && path == Transport.FilePath) {
        Transport.Stop(1);
        Transport.FilePath[0] = u'\0';
        // Not the user's doing (their delete or rename stops it first): say why.
        if (recording) ShowRecordingGone(path);
      }
      // An empty list names no file; but a file playing or being recorded
      // from another folder keeps its length on the panel.
      const int count = DocList != nullptr ? DocList->Count() : 0;
      const bool stillRunning =
          audio::RecordingActive || Transport.AudioIO.Direction == audio::WaveDirection::Output;
      if (count == 0 && !stillRunning) View.ShowLength(u"");
      FollowList();
      break;
    }
    case kDocListFolderChanged: {
      CopyText(Transport.FolderPath, path);
      CopyText(Settings.Record.Folder, path.empty() ? std::u16string_view(kEmptyFolder) : path);
      break;
    }
    default:
      break;
  }
}

}  // namespace app
