#pragma once
// A stand-in for the program's menu bar: the "Tools" drop-down and the four
// tool buttons from the tool strip, drawn only.

#include <QImage>
#include <QWidget>

namespace demo {

class DemoMenuBar : public QWidget {
 public:
  static constexpr int kHeight = 26;
  explicit DemoMenuBar(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage strip_;
};

}  // namespace demo
