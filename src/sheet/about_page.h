#pragma once
// The About page: the logo, the version text (program, copyright line and
// the GSM 06.10 library's notice), and links to the web site and to a
// support mail. It changes nothing.

#include <QImage>

#include "sheet/settings_page.h"

class QTextEdit;

namespace sheet {

class LinkLabel;

inline constexpr char kWebAddress[] = "https://www.example.org/quillon";
inline constexpr char kSupportMail[] = "mailto:support@example.org?subject=Quillon%20v1.2%20support";

// The version text as the page shows it, one item a line.
QString VersionText();

class AboutPage : public SettingsPage {
  Q_OBJECT

 public:
  AboutPage(settings::SettingsStore* store, QWidget* parent);

  QList<QWidget*> TabStops() const override;

  QTextEdit* VersionBox() const { return version_; }
  LinkLabel* WebLink() const { return web_; }
  LinkLabel* MailLink() const { return mail_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QTextEdit* version_ = nullptr;
  LinkLabel* web_ = nullptr;
  LinkLabel* mail_ = nullptr;
  QImage logo_;  // transparent where the bitmap is magenta; null when missing
};

}  // namespace sheet
