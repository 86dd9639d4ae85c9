#pragma once
// The widget that shows the main view's back buffer and hands the pen (the
// mouse) to the view's hit tests. Qt's implicit mouse grab gives the capture
// the pen needs: moves and the release arrive here even outside the widget.

#include <functional>

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

  // With a handler the pen's positions go to it instead of the view's hit
  // tests: the program's transport runs the hit tests itself. Positions are
  // skin coordinates also on a scaled desktop.
  enum class Pen { Down, Move, Up };
  using PenHandler = std::function<void(Pen pen, int x, int y)>;
  void SetPenHandler(PenHandler handler) { penHandler_ = std::move(handler); }

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
  PenHandler penHandler_;
  bool penDown_ = false;
};

}  // namespace view
