#pragma once
// The one object behind the main window. It owns the engine (CTransport),
// the skinned view and the settings store, and drives the menu bar and the
// document list; every pen event, key, menu command and list notification of
// the main window ends in one of its operations or its transport's.

#include <cstdint>
#include <functional>
#include <string>

#include "app/transport.h"
#include "diag/tracker.h"
#include "settings/settings_store.h"
#include "view/main_view.h"

class QTimer;
class QWidget;

namespace app {

class DocumentList;
class MenuBar;

class CController : public diag::Tracked {
 public:
  // window: the main window (owner of every box and of the list and bar);
  // viewWidget: the widget showing the skinned view inside it. Construction
  // never fails as a whole: it reports and goes on, or asks the window to
  // close. A view that cannot be built ends the process with -1.
  CController(QWidget* window, QWidget* viewWidget);
  ~CController();
  CController(const CController&) = delete;
  CController& operator=(const CController&) = delete;

  // The tear-down before the object is deleted: menu bar, device, view with
  // its monitor thread, then the one save of settings.dat.
  void Destroy();
  void OnCommand(int id);
  void OnNotify(int code, int index, const std::u16string& path);
  void ShowHelp();
  // A user's delete or rename is about to touch the file at path.
  void BeforeListChange(const std::u16string& path);
  // The track buttons and the file Play would play follow what the list
  // shows now (run after every change of its rows or selection).
  void FollowList();

  QWidget* MainWindow;
  DocumentList* DocList = nullptr;
  MenuBar* Bar = nullptr;
  CTransport Transport;
  view::MainView View;
  settings::SettingsStore Settings;
  int32_t KeyOrigin = 0;
  // Called after every command (the play mode, say, which the view does not
  // show): watchers of the player's state look then.
  std::function<void()> CommandDone;

 private:
  void CreateMenuBar();
  void CreateDocumentList();
  void RunSettingsSheet(int startPage);
  void SwitchPlayMode();
  void Exit();
  bool destroyed_ = false;
  // The list's selection as FollowList last saw it: only a change of it
  // moves FilePath while nothing plays, so Stop keeps the recording just made.
  std::u16string lastSelected_;
  // Every second while recording: the list's row of the file shows its size,
  // and a recording whose card has gone is stopped.
  QTimer* recordingWatch_ = nullptr;
  void WatchRecording();
  // Says why a recording ended under the program: its card or its file went.
  void ShowRecordingGone(const std::u16string& path);
};

}  // namespace app
