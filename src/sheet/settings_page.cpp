#include "sheet/settings_page.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPainter>

#include "settings/settings_store.h"
#include "view/help_request.h"

namespace sheet {

namespace {

constexpr int kHeadingLineY = 24;
constexpr int kHeadingX = 8;
constexpr QRgb kHeadingColour = 0xFF00009Cu;  // RGB(0, 0, 156)

}  // namespace

void DrawPageHeading(QPainter& painter, const QString& heading, int width) {
  painter.save();
  painter.setPen(QPen(Qt::black, 1));
  painter.drawLine(0, kHeadingLineY, width, kHeadingLineY);
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(11);
  font.setWeight(QFont::Bold);
  painter.setFont(font);
  painter.setPen(QColor::fromRgb(kHeadingColour));
  painter.drawText(QRect(kHeadingX, 0, width - kHeadingX, kHeadingLineY),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, heading);
  painter.restore();
}

SettingsPage::SettingsPage(const QString& heading, settings::SettingsStore* store, QWidget* parent)
    : QWidget(parent), heading_(heading), store_(store) {
  // White like the handheld's pages, whatever the desktop's theme.
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::white);
  setPalette(palette);
  setAutoFillBackground(true);
}

settings::SettingsRecord& SettingsPage::Record() const { return store_->Record; }

void SettingsPage::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  DrawPageHeading(painter, heading_, width());
}

void SettingsPage::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Help) {
    ForwardHelp();
    return;
  }
  QWidget::keyPressEvent(event);
}

bool SettingsPage::event(QEvent* event) {
  if (event->type() == view::HelpRequestEvent::EventType()) {
    ForwardHelp();
    return true;
  }
  return QWidget::event(event);
}

void SettingsPage::ForwardHelp() {
  if (parentWidget() == nullptr) return;
  view::HelpRequestEvent request;
  QCoreApplication::sendEvent(parentWidget(), &request);
}

}  // namespace sheet
