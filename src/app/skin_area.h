#pragma once
// The part of the main window that shows the skinned view: it paints the
// view's back buffer and hands the pen to the transport. Qt's implicit grab
// is the pen capture: moves and the release come here even off the widget.

#include <QWidget>

namespace app {

class CController;

class SkinArea : public QWidget {
 public:
  static constexpr int kWidth = 240;
  static constexpr int kHeight = 269;

  explicit SkinArea(QWidget* parent);
  void SetController(CController* controller) { controller_ = controller; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  CController* controller_ = nullptr;
  bool penDown_ = false;
};

}  // namespace app
