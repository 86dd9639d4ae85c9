#include "sheet/link_label.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace sheet {

namespace {

LinkOpener& Opener() {
  static LinkOpener opener;
  return opener;
}

constexpr QRgb kLinkColour = 0xFF0000FFu;

}  // namespace

void SetLinkOpener(LinkOpener opener) { Opener() = std::move(opener); }

bool OpenLink(const QUrl& url) {
  const LinkOpener& opener = Opener();
  return opener ? opener(url) : QDesktopServices::openUrl(url);
}

LinkLabel::LinkLabel(const QString& text, const QUrl& url, QWidget* parent)
    : QLabel(text, parent), url_(url) {
  setAlignment(Qt::AlignCenter);
  QFont underlined = font();
  underlined.setUnderline(true);
  setFont(underlined);
  QPalette palette = this->palette();
  palette.setColor(QPalette::WindowText, QColor::fromRgb(kLinkColour));
  setPalette(palette);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::TabFocus);
  setToolTip(url.toString());
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) OpenLink(url_);
  QLabel::mouseReleaseEvent(event);
}

void LinkLabel::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      OpenLink(url_);
      event->accept();
      return;
    default: QLabel::keyPressEvent(event);
  }
}

void LinkLabel::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (!hasFocus()) return;
  // A label draws no focus of its own; keyboard users need to see it.
  QStylePainter painter(this);
  QStyleOptionFocusRect option;
  option.initFrom(this);
  option.rect = contentsRect();
  painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}

}  // namespace sheet
