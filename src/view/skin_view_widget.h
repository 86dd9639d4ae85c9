#pragma once
// The widget that shows the main view's back buffer and hands the pen (the
// mouse) to the view's hit tests. Qt's implicit mouse grab gives the capture
// the pen needs: moves and the release arrive here even outside the widget.
//
// The keyboard reaches the skin's controls too: Tab walks them (a dotted
// frame shows which), Space taps a button, Page Up and Page Down step a
// slider; every other key goes on to the window. A screen reader's actions
// (skin_accessible.h) come here and take the pen's path.

#include <functional>
#include <vector>

#include <QAccessible>
#include <QPoint>
#include <QWidget>

class QTimer;

namespace view {

class MainView;

class SkinViewWidget : public QWidget, private QAccessible::ActivationObserver {
  Q_OBJECT

 public:
  static constexpr int kWidth = 240;
  static constexpr int kHeight = 269;

  explicit SkinViewWidget(QWidget* parent = nullptr);
  ~SkinViewWidget() override;
  void SetView(MainView* view);
  MainView* View() const { return view_; }

  // With a handler the pen's positions go to it instead of the view's hit
  // tests: the program's transport runs the hit tests itself. Positions are
  // skin coordinates also on a scaled desktop.
  enum class Pen { Down, Move, Up };
  using PenHandler = std::function<void(Pen pen, int x, int y)>;
  void SetPenHandler(PenHandler handler) { penHandler_ = std::move(handler); }
  // The pen at p (skin pixels), as the mouse gives it.
  void PenAt(Pen pen, QPoint p);

  // A tap at the centre of the control.
  void TapControl(int id);
  // The pen down and up where the slider reads percent.
  void SetSliderPercent(int id, int percent);
  // One step up (direction 1) or down (-1): 5 on the volume, 10 elsewhere.
  void StepSlider(int id, int direction);

  // The row of the skin item (skin_items.h) the keyboard is on, -1 for none.
  int FocusedItem() const { return focusItem_; }
  // Gives the widget the keyboard, on that item.
  void FocusItem(int index);

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
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  bool focusNextPrevChild(bool next) override;

 private:
  void SetFocusItem(int index);
  // The next item that can take the keyboard from `from` on, -1 past the end.
  int NextFocusable(int from, int step) const;
  // Tells a screen reader what changed since the last look (states, values,
  // texts): the monitor thread draws without the UI thread knowing.
  void NotifyChanges();
  // The look runs only while a screen reader listens: no wake-ups otherwise.
  void accessibilityActiveChanged(bool active) override;

  MainView* view_ = nullptr;
  PenHandler penHandler_;
  bool penDown_ = false;
  int focusItem_ = -1;
  QTimer* accessibilityPoll_ = nullptr;
  struct Seen {
    quint64 state = 0;
    int value = 0;
    QString text;
  };
  std::vector<Seen> seen_;
};

}  // namespace view
