#pragma once
// A text link: blue, underlined, opened when the pen is lifted over it (or
// with Space or Return while it has the focus). Opening goes through the
// desktop unless a test installs its own opener.

#include <functional>

#include <QLabel>
#include <QUrl>

namespace sheet {

// Returns whether something was started; the links ignore the answer.
using LinkOpener = std::function<bool(const QUrl& url)>;
// An empty opener restores the desktop's (QDesktopServices::openUrl).
void SetLinkOpener(LinkOpener opener);
bool OpenLink(const QUrl& url);

class LinkLabel : public QLabel {
  Q_OBJECT

 public:
  LinkLabel(const QString& text, const QUrl& url, QWidget* parent);
  const QUrl& Url() const { return url_; }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QUrl url_;
};

}  // namespace sheet
