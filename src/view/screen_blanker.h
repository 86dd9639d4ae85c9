#pragma once
// The black cover that stands for a switched-off display: it lies over the
// whole window, swallows the pen, and comes away when the screen is switched
// on again (or, as a desktop user expects, when it is clicked).

#include <functional>

#include <QWidget>

namespace view {

class ScreenBlanker : public QWidget {
 public:
  // Covers target (usually the main window's central widget).
  explicit ScreenBlanker(QWidget* target);
  ~ScreenBlanker() override;

  // Installs this cover as the program's display switch.
  void Install();
  void SetScreenOn(bool on);
  bool IsScreenOn() const { return isHidden(); }
  // Called on the UI thread when the user clicks the dark screen.
  void SetWakeHandler(std::function<void()> handler) { wake_ = std::move(handler); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* target_;
  std::function<void()> wake_;
  bool installed_ = false;
};

}  // namespace view
