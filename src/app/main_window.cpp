#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QTimer>
#include <QTreeWidget>

#include "app/controller.h"
#include "app/document_list.h"
#include "app/menu_bar.h"
#include "audio/app_flags.h"
#include "diag/show_error.h"
#include "platform/last_error.h"
#include "view/child_modal.h"
#include "view/hardware_buttons.h"
#include "view/key_input.h"
#include "view/help_request.h"
#include "view/record_led.h"
#include "view/screen_blanker.h"
#include "view/skin_view_widget.h"
#include "view/window_activation.h"

namespace app {

MainWindow::MainWindow() {
  setWindowTitle(QStringLiteral("Quillon"));
  setObjectName(QStringLiteral("Quillon"));
  setFixedSize(kClientWidth, kClientHeight);
  // White behind anything the children leave uncovered.
  setAutoFillBackground(true);
  QPalette background = palette();
  background.setColor(QPalette::Window, Qt::white);
  setPalette(background);
  skin_ = new view::SkinViewWidget(this);
  skin_->move(0, 0);
  view::InstallKeyInput();
}

MainWindow::~MainWindow() {
  if (controller_ != nullptr) {
    controller_->Destroy();
    delete controller_;
    controller_ = nullptr;
  }
}

bool MainWindow::Create() {
  creating_ = true;
  controller_ = new (u"main", 85) CController(this, skin_);  // tracked: null when memory runs out
  creating_ = false;
  if (controller_ == nullptr) {
    diag::ShowError(this, u"CController::CController(): failed.", platform::GetLastError());
    return false;
  }
  AttachSkin(controller_);
  if (DocumentList* list = controller_->DocList) {
    list->SetKeyForward([this](QKeyEvent* event) {
      if (controller_ != nullptr) controller_->KeyOrigin = 1;
      HandleKey(event);
    });
  }
  if (MenuBar* bar = controller_->Bar) bar->SetKeyForward([this](QKeyEvent* event) { HandleKey(event); });
  NameForScreenReaders();
  blanker_ = new view::ScreenBlanker(this);
  blanker_->SetWakeHandler([] { audio::DisplayOn = 1; });
  blanker_->Install();
  skin_->setFocus();
  if (exitPending_) QTimer::singleShot(0, this, [this] { RequestExit(); });
  return true;
}

void MainWindow::RequestExit() {
  if (creating_) {
    // A start-up box runs its own loop inside the controller's making.
    exitPending_ = true;
    if (QWidget* modal = view::ActiveModalWidget()) modal->close();
    return;
  }
  // An open box or sheet is closed first: the controller must not go while
  // a dialog still works on it.
  if (QWidget* modal = view::ActiveModalWidget()) {
    modal->close();
    QTimer::singleShot(0, this, [this] { RequestExit(); });
    return;
  }
  if (controller_ != nullptr) {
    // No one may be there to answer a box about what could not be saved.
    controller_->Transport.ExitBySignal = true;
    controller_->OnCommand(kCmdExit);
  } else {
    close();
  }
}

// What a screen reader calls the parts that have no text of their own.
void MainWindow::NameForScreenReaders() {
  skin_->setAccessibleName(QStringLiteral("Recorder"));
  if (MenuBar* bar = controller_->Bar) bar->setAccessibleName(QStringLiteral("Menu bar"));
  if (DocumentList* list = controller_->DocList) {
    list->setAccessibleName(QStringLiteral("Document list"));
    if (auto* chooser = list->findChild<QComboBox*>()) chooser->setAccessibleName(QStringLiteral("Folder"));
    if (auto* tree = list->findChild<QTreeWidget*>()) tree->setAccessibleName(QStringLiteral("Recordings"));
  }
}

// The skin shows the controller's view, and the pen goes to its transport.
void MainWindow::AttachSkin(CController* controller) {
  skin_->SetView(controller != nullptr ? &controller->View : nullptr);
  if (controller == nullptr) {
    skin_->SetPenHandler(nullptr);
    return;
  }
  CTransport& transport = controller->Transport;
  skin_->SetPenHandler([&transport](view::SkinViewWidget::Pen pen, int x, int y) {
    switch (pen) {
      case view::SkinViewWidget::Pen::Down: transport.OnLButtonDown(x, y); break;
      case view::SkinViewWidget::Pen::Move: transport.OnMouseMove(x, y); break;
      case view::SkinViewWidget::Pen::Up: transport.OnLButtonUp(x, y); break;
    }
  });
}

void MainWindow::BringToFront(const QString& token) {
  // A box up (at start-up, say) is what the user must see and answer; the
  // token is spent on it then.
  if (QWidget* modal = QApplication::activeModalWidget()) {
    if (isVisible()) {
      if (isMinimized()) showNormal();
      raise();
    }
    view::ActivateWithToken(modal, token);
    return;
  }
  view::ActivateWithToken(this, token);
}

void MainWindow::HandleKey(QKeyEvent* event) {
  if (controller_ == nullptr) return;
  if (event->key() == Qt::Key_Help) {
    if (event->type() == QEvent::KeyPress) controller_->ShowHelp();
    return;
  }
  const uint32_t code = view::DeviceKeyCode(event->key());
  switch (view::PhaseOf(event)) {
    case view::KeyPhase::Press:
      pressedHere_.insert(event->key());
      controller_->Transport.OnKeyDown(code);
      break;
    case view::KeyPhase::Repeat:
      // A held key repeats its key-down (a held arrow keeps stepping the
      // volume), but only when it went down here.
      if (pressedHere_.count(event->key()) != 0) controller_->Transport.OnKeyDown(code);
      break;
    case view::KeyPhase::Release:
      if (pressedHere_.erase(event->key()) != 0) controller_->Transport.OnKeyUp(code);
      break;
    case view::KeyPhase::RepeatRelease:
      break;
  }
}

void MainWindow::keyPressEvent(QKeyEvent* event) { HandleKey(event); }

void MainWindow::keyReleaseEvent(QKeyEvent* event) { HandleKey(event); }

void MainWindow::HandleHotKey(uint32_t code, bool keyUp) {
  if (controller_ == nullptr) return;
  // One key-down for the first press, one key-up for the release, nothing
  // for the repeats in between. A release whose press went to another
  // window is not taken for a press.
  if (!hotKeyHeld_) {
    if (keyUp) return;
    hotKeyHeld_ = true;
    controller_->Transport.OnKeyDown(code);
  } else if (keyUp) {
    hotKeyHeld_ = false;
    controller_->Transport.OnKeyUp(code);
  }
}

bool MainWindow::event(QEvent* event) {
  if (event->type() == view::HotKeyEvent::EventType()) {
    const auto* hotKey = static_cast<view::HotKeyEvent*>(event);
    HandleHotKey(hotKey->Code, hotKey->KeyUp);
    return true;
  }
  if (event->type() == view::HelpRequestEvent::EventType()) {
    if (controller_ != nullptr) controller_->ShowHelp();
    return true;
  }
  return QWidget::event(event);
}

void MainWindow::Activated(bool active) {
  if (active) {
    // While the sheet covers the window the buttons are its (it ignores them).
    QWidget* cover = view::ChildModalOf(this);
    view::GrabApplicationKeys(cover != nullptr ? cover : this);
    if (QWidget* focus = savedFocus_.data(); focus != nullptr && focus->isVisible()) focus->setFocus();
    return;
  }
  QWidget* focus = QApplication::focusWidget();
  if (focus != nullptr && isAncestorOf(focus)) savedFocus_ = focus;
  // The application buttons follow the window being activated (none when
  // another program takes over).
  view::GrabApplicationKeys(QApplication::activeWindow());
}

void MainWindow::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange) Activated(isActiveWindow());
  QWidget::changeEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (CController* controller = controller_) {
    controller->Transport.SaveState();
    controller_ = nullptr;
    AttachSkin(nullptr);
    controller->Destroy();
    delete controller;
  }
  view::SetRecordLed(false);
  event->accept();
}

}  // namespace app
