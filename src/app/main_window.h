#pragma once
// The main window: 240 × 294 pixels of client area titled "Quillon", the
// skinned view at the top, the document list over its lower part from y 119,
// the menu bar in the bottom 26 pixels. It creates the controller when it is
// built, hands it every pen event, key, hot key, command and notification,
// and tears it down in order when it closes.

#include <cstdint>
#include <set>

#include <QPointer>
#include <QWidget>

class QKeyEvent;

namespace view {
class ScreenBlanker;
class SkinViewWidget;
}

namespace app {

class CController;

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kClientWidth = 240;
  static constexpr int kClientHeight = 294;

  MainWindow();
  ~MainWindow() override;

  // Creates the controller (the window's creation). False when it cannot be
  // allocated: the user has been told and the window is to be closed.
  bool Create();
  CController* Controller() const { return controller_; }
  view::SkinViewWidget* Skin() const { return skin_; }
  // Brings the window to the front (a second copy of the program asked),
  // with the box or sheet it shows, if any; token: the second copy's
  // activation token, empty when it had none.
  void BringToFront(const QString& token = {});
  // Ends the program as its Exit command does (the session ends it). A box
  // or the sheet is closed first; while the window is still being made the
  // exit waits until it is.
  void RequestExit();
  // A key going down or up, from the window or forwarded by the list.
  void HandleKey(QKeyEvent* event);

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void HandleHotKey(uint32_t code, bool keyUp);
  void Activated(bool active);

  void AttachSkin(CController* controller);
  void NameForScreenReaders();

  view::SkinViewWidget* skin_ = nullptr;
  view::ScreenBlanker* blanker_ = nullptr;
  CController* controller_ = nullptr;
  bool creating_ = false;
  bool exitPending_ = false;
  // A hot-key press has been seen and its release not yet.
  bool hotKeyHeld_ = false;
  // Keys whose press reached this window (directly or from the list) and
  // whose release has not: only their release acts. A release whose press
  // closed a box, the sheet or a name being typed belongs to that.
  std::set<int> pressedHere_;
  // The widget that had the keyboard when the window was last deactivated.
  QPointer<QWidget> savedFocus_;
};

}  // namespace app
