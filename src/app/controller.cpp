#include "app/controller.h"

#include <cstdlib>

#include <QMetaObject>
#include <QWidget>

#include "app/document_list.h"
#include "app/help.h"
#include "app/menu_bar.h"
#include "app/text_buffer.h"
#include "audio/app_flags.h"
#include "diag/show_error.h"
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
  Bar->show();
}

void CController::CreateDocumentList() {
  DocList = new DocumentList(MainWindow, Settings.Record.Folder);
  DocList->setGeometry(0, kDocListTop, MainWindow->width(), kDocListHeight);
  DocList->SetPenDownHook([this] { KeyOrigin = 0; });
  DocList->SetBeforeChange([this](const std::u16string& path) { BeforeListChange(path); });
  QObject::connect(DocList, &DocumentList::Notify, MainWindow,
                   [this](int code, int index, const QString& path) {
                     OnNotify(code, index, path.toStdU16String());
                   });
  DocList->Refresh();
  DocList->Select(0);
  CopyText(Transport.FolderPath, Settings.Record.Folder);
  Transport.SetFilePath(DocList->SelectedPath());
  Transport.DocList = DocList;
  // Recordings listed at start can be played at once.
  Transport.EnableTrackButtons(DocList->Count() > 0);
  DocList->show();
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
      audio::VasEnabled = 0;
      Transport.Stop(1);
      PostClose(MainWindow);
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
      break;
  }
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
  sheet::RunSettingsSheet(MainWindow, &Settings);
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
      Transport.SetFilePath(path);
      Transport.ListIndex = index;
      Transport.Play(1);
      break;
    }
    case kDocListChanged: {
      if (Transport.AudioIO.IsPlaying() && path == Transport.FilePath) {
        Transport.Stop(1);
        Transport.FilePath[0] = u'\0';
      }
      if (Transport.AudioIO.IsRecording() && audio::RecordingActive) {
        Transport.Stop(1);
        Transport.FilePath[0] = u'\0';
      }
      const int count = DocList != nullptr ? DocList->Count() : 0;
      if (count == 0) {
        View.ShowLength(u"");
        Transport.EnableTrackButtons(false);
      } else {
        Transport.EnableTrackButtons(true);
      }
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
