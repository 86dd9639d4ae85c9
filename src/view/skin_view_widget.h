#pragma once
// The widget that shows the main view's back buffer and hands the pen (the
// mouse) to the view's hit tests. Qt's implicit mouse grab gives the capture
// the pen needs: moves and the release arrive here even outside the widget.

#include <QWidget>

namespace view {

class MainView;

class SkinViewWidget : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 240;
  static constexpr int kHeight = 269;

  explicit SkinViewWidget(QWidget* parent = nullptr);
  void SetView(MainView* view) { view_ = view; }

 signals:
  // The result of the view's hit test and the control id it returned.
  void PenDown(bool handled, int id);
  void PenMove(bool handled, int id);
  void PenUp(bool handled, int id);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  MainView* view_ = nullptr;
  bool penDown_ = false;
};

}  // namespace view
