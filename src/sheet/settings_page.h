#pragma once
// What the pages of the settings sheet share: the heading painted above
// a black line, the live settings record, the page-apply step the sheet
// calls when the page is left or the sheet closes, and help forwarded to the
// sheet.

#include <QList>
#include <QString>
#include <QWidget>

class QPainter;

namespace settings {
class SettingsStore;
struct SettingsRecord;
}  // namespace settings

namespace sheet {

// The heading band: a black line at y 24 across `width`, the heading in bold
// 11-pixel "Arial", RGB(0, 0, 156), from x 8, centred in the 24 pixels above.
void DrawPageHeading(QPainter& painter, const QString& heading, int width);

class SettingsPage : public QWidget {
  Q_OBJECT

 public:
  SettingsPage(const QString& heading, settings::SettingsStore* store, QWidget* parent);

  const QString& Heading() const { return heading_; }
  // Writes the page's controls into the record. Pages that write at once, or
  // change nothing, keep this empty.
  virtual void Apply() {}
  // The controls the Tab key visits, in template order.
  virtual QList<QWidget*> TabStops() const = 0;

 protected:
  settings::SettingsRecord& Record() const;
  settings::SettingsStore* Store() const { return store_; }

  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void ForwardHelp();

  QString heading_;
  settings::SettingsStore* store_;
};

}  // namespace sheet
