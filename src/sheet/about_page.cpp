#include "sheet/about_page.h"

#include <algorithm>

#include <QPainter>
#include <QTextEdit>
#include <QTextOption>

#include "sheet/link_label.h"
#include "sheet/page_layout.h"
#include "view/image_list.h"

namespace sheet {

namespace {

constexpr int kLogoImage = 173;
constexpr int kLogoWidth = 77;
constexpr QPoint kLogoAt(8, 30);
// The version box starts this far right of the logo's right edge; at its
// template position it would cover the logo's last columns.
constexpr int kLogoGap = 3;

QImage LoadLogo() {
  view::ImageList list;
  if (!list.Create(kLogoImage, kLogoWidth, true)) return {};
  QImage logo(list.ImageWidth(), list.ImageHeight(), QImage::Format_ARGB32_Premultiplied);
  logo.fill(Qt::transparent);
  list.Draw(logo, 0, 0, 0);
  return logo;
}

}  // namespace

QString VersionText() {
  // The codec's notice as libgsm's header states it.
  return QStringLiteral(
      "Quillon v1.2\n"
      "\u00A9 2026 Quillon developers\n"
      "GSM 06.10 codec: Copyright 1992 by Jutta Degener and Carsten Bormann, Technische Universitaet "
      "Berlin.  See the accompanying file \"COPYRIGHT\" for details.  THERE IS ABSOLUTELY NO WARRANTY FOR "
      "THIS SOFTWARE.");
}

AboutPage::AboutPage(settings::SettingsStore* store, QWidget* parent)
    : SettingsPage(QStringLiteral("About"), store, parent), logo_(LoadLogo()) {
  setFont(PageFont());
  version_ = new QTextEdit(this);
  version_->setAccessibleName(QStringLiteral("Version"));
  version_->setReadOnly(true);  // no caret, nothing typed lands
  version_->setTabChangesFocus(true);
  version_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  version_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  version_->document()->setDefaultTextOption(QTextOption(Qt::AlignHCenter));
  version_->setPlainText(VersionText());
  QRect box = DialogRect(52, 15, 81, 32);
  box.setLeft(std::max(box.left(), kLogoAt.x() + kLogoWidth + kLogoGap));
  version_->setGeometry(box);

  web_ =
      new LinkLabel(QStringLiteral("www.example.org/quillon"), QUrl(QString::fromLatin1(kWebAddress)), this);
  PlaceLabel(web_, 34, 117, 70, 9);
  mail_ = new LinkLabel(QStringLiteral("support@example.org"), QUrl(QString::fromLatin1(kSupportMail)), this);
  PlaceLabel(mail_, 28, 130, 82, 10);
}

void AboutPage::paintEvent(QPaintEvent* event) {
  SettingsPage::paintEvent(event);
  if (logo_.isNull()) return;
  QPainter painter(this);
  painter.drawImage(kLogoAt, logo_);
}

QList<QWidget*> AboutPage::TabStops() const { return {version_, web_, mail_}; }

}  // namespace sheet
