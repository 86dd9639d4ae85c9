#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>

#include "app/controller.h"
#include "app/document_list.h"
#include "audio/app_flags.h"
#include "diag/show_error.h"
#include "platform/last_error.h"
#include "view/hardware_buttons.h"
#include "view/help_request.h"
#include "view/record_led.h"
#include "view/screen_blanker.h"
#include "view/skin_view_widget.h"

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
}

MainWindow::~MainWindow() {
  if (controller_ != nullptr) {
    controller_->Destroy();
    delete controller_;
    controller_ = nullptr;
  }
}

bool MainWindow::Create() {
  controller_ = new (u"main", 85) CController(this, skin_);  // tracked: null when memory runs out
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
  blanker_ = new view::ScreenBlanker(this);
  blanker_->SetWakeHandler([] { audio::DisplayOn = 1; });
  blanker_->Install();
  skin_->setFocus();
  return true;
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

void MainWindow::BringToFront() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

void MainWindow::HandleKey(QKeyEvent* event) {
  if (controller_ == nullptr) return;
  if (event->key() == Qt::Key_Help) {
    if (event->type() == QEvent::KeyPress) controller_->ShowHelp();
    return;
  }
  const uint32_t code = view::DeviceKeyCode(event->key());
  if (event->type() == QEvent::KeyPress) {
    // A held key repeats its key-down: a held arrow keeps stepping the volume.
    keysDown_.insert(code);
    controller_->Transport.OnKeyDown(code);
  } else if (event->type() == QEvent::KeyRelease && !event->isAutoRepeat()) {
    if (keysDown_.erase(code) != 0) controller_->Transport.OnKeyUp(code);
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
    view::GrabApplicationKeys(this);
    if (QWidget* focus = savedFocus_.data(); focus != nullptr && focus->isVisible()) focus->setFocus();
    return;
  }
  QWidget* focus = QApplication::focusWidget();
  if (focus != nullptr && isAncestorOf(focus)) savedFocus_ = focus;
  // What is released elsewhere is not seen here.
  keysDown_.clear();
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
