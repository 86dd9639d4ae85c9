#include "demo_menu_bar.h"

#include <QPainter>

#include "view/skin_font.h"
#include "view/skin_images.h"

namespace demo {
namespace {

constexpr int kIconSize = 16;
// The images shown: "File Explorer", voice activation (checked: the list is
// hidden), display off, and play mode 4.
constexpr int kIcons[] = {0, 1, 2, 6};
constexpr int kChecked = 1;

}  // namespace

DemoMenuBar::DemoMenuBar(QWidget* parent) : QWidget(parent) {
  setFixedSize(240, kHeight);
  QImage strip;
  if (view::LoadSkinImage(103, &strip, QImage::Format_ARGB32)) {
    // Magenta is the strip's transparent colour.
    for (int y = 0; y < strip.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(strip.scanLine(y));
      for (int x = 0; x < strip.width(); ++x)
        if ((line[x] & 0xFFFFFF) == 0xFF00FF) line[x] = 0;
    }
    strip_ = strip;
  }
}

void DemoMenuBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QLinearGradient fill(0, 0, 0, kHeight);
  fill.setColorAt(0, QColor(238, 240, 243));
  fill.setColorAt(1, QColor(214, 218, 224));
  p.fillRect(rect(), fill);
  p.setPen(QColor(150, 156, 166));
  p.drawLine(0, 0, width(), 0);

  p.setFont(view::CreateSkinFont(QStringLiteral("Arial"), 9, 700));
  p.setPen(QColor(20, 24, 30));
  p.drawText(QRect(8, 0, 40, kHeight), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Tools"));
  // The drop-down arrow.
  const QPolygon arrow({QPoint(45, 12), QPoint(51, 12), QPoint(48, 15)});
  p.setBrush(QColor(20, 24, 30));
  p.setPen(Qt::NoPen);
  p.drawPolygon(arrow);

  int x = width() - 4 * 26 - 6;
  for (int icon : kIcons) {
    const QRect button(x, 3, 22, 20);
    if (icon == kChecked) {
      p.setPen(QColor(120, 128, 140));
      p.setBrush(QColor(196, 202, 212));
      p.drawRoundedRect(button.adjusted(0, 0, -1, -1), 3, 3);
    }
    if (!strip_.isNull())
      p.drawImage(button.left() + 3, button.top() + 2, strip_, icon * kIconSize, 0, kIconSize, kIconSize);
    x += 26;
  }
}

}  // namespace demo
