#include "view/error_box.h"

#include <algorithm>
#include <atomic>

#include <QApplication>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QMetaObject>
#include <QStringList>
#include <QStyle>
#include <QThread>

#include "diag/show_error.h"

namespace view {

namespace {

// Breaks a line into pieces that each fit: at the last space of a piece
// where there is one, never inside a surrogate pair.
void AppendBroken(const QString& line, const QFontMetrics& metrics, int width, QStringList* out) {
  const auto fits = [&](QStringView piece) {
    return piece.size() <= ErrorBox::kMaxLineChars && metrics.horizontalAdvance(piece.toString()) <= width;
  };
  QStringView rest(line);
  while (!fits(rest)) {
    // The longest start that fits, found by halving; at least one character.
    qsizetype low = 1;
    qsizetype high = std::min<qsizetype>(rest.size(), ErrorBox::kMaxLineChars);
    while (low < high) {
      const qsizetype middle = (low + high + 1) / 2;
      if (fits(rest.left(middle))) {
        low = middle;
      } else {
        high = middle - 1;
      }
    }
    qsizetype cut = low;
    const qsizetype space = rest.left(cut + 1).lastIndexOf(u' ');
    if (space > 0) {
      out->append(rest.left(space).toString());
      rest = rest.mid(space + 1);
      continue;
    }
    if (cut > 1 && rest[cut - 1].isHighSurrogate()) --cut;
    if (cut == 1 && rest[0].isHighSurrogate() && rest.size() > 1) cut = 2;
    out->append(rest.left(cut).toString());
    rest = rest.mid(cut);
  }
  out->append(rest.toString());
}

// What of the box's width is not its text: the layout's margins, the icon
// and the space beside it, the label's own margins and indent.
int TextChrome(QMessageBox& box) {
  box.ensurePolished();
  const auto* grid = qobject_cast<const QGridLayout*>(box.layout());
  const auto* label = box.findChild<const QLabel*>(QStringLiteral("qt_msgbox_label"));
  const auto* icon = box.findChild<const QLabel*>(QStringLiteral("qt_msgboxex_icon_label"));
  if (grid == nullptr || label == nullptr) return 0;
  const QMargins outer = grid->contentsMargins(), inner = label->contentsMargins();
  int spacing = grid->horizontalSpacing();
  if (spacing < 0) spacing = box.style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing, nullptr, &box);
  const int indent = label->indent() > 0 ? label->indent() : 0;
  return outer.left() + outer.right() + (icon != nullptr ? icon->sizeHint().width() + std::max(spacing, 0) : 0) +
         inner.left() + inner.right() + 2 * label->margin() + indent + 2 * label->frameWidth();
}

}  // namespace

QString ErrorBox::Fitted(const QString& text, const QFontMetrics& metrics, QSize room) {
  QStringList lines;
  for (const QString& line : text.split(u'\n')) AppendBroken(line, metrics, std::max(room.width(), 1), &lines);
  const int most = std::clamp(room.height() / std::max(metrics.lineSpacing(), 1), 3, kMaxLines);
  if (lines.size() > most) {
    // The program's own words come first, the system's reason last: both stay.
    const qsizetype head = most / 2;
    const qsizetype tail = most - head - 1;
    lines = lines.mid(0, head) + QStringList{QStringLiteral("\u2026")} + lines.mid(lines.size() - tail);
  }
  return lines.join(u'\n');
}

std::unique_ptr<QMessageBox> PlainMessageBox(QMessageBox::Icon icon, const QString& caption, const QString& text,
                                             QWidget* owner) {
  auto box = std::make_unique<QMessageBox>(icon, caption, QString(), QMessageBox::Ok, owner);
  box->setTextFormat(Qt::PlainText);
  // Selectable, so that a path can be copied; no link can be followed.
  box->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // The box grows to half the screen's width (500 pixels at most) with its
  // icon and margins; a text wider than what that leaves it is broken again
  // by its label, which strands a word on a line of its own. So the lines
  // are broken here to that room. Half the screen's height for the lines
  // leaves room for the button.
  const QScreen* screen = owner != nullptr && owner->screen() != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
  const QSize available = screen != nullptr ? screen->availableGeometry().size() : QSize(640, 480);
  const int boxWidth = std::min(available.width() / 2, 500);
  box->setText(ErrorBox::Fitted(text, QFontMetrics(box->font()),
                                QSize(std::max(boxWidth - TextChrome(*box), boxWidth / 2), available.height() / 2)));
  return box;
}

std::unique_ptr<QMessageBox> ErrorBox::Make(QWidget* owner, const QString& text) {
  return PlainMessageBox(QMessageBox::Critical, QApplication::applicationDisplayName(), text, owner);
}

int ErrorBox::Show(QWidget* owner, const QString& text) { return Make(owner, text)->exec(); }

void ErrorBox::Install(QWidget* owner) {
  QPointer<QWidget> guarded(owner);
  diag::SetErrorPresenter([guarded](void*, const std::u16string& text) -> int {
    const QString message = QString::fromStdU16String(text);
    QApplication* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (app == nullptr) return -1;
    if (QThread::currentThread() == app->thread()) return Show(guarded.data(), message);
    // Atomic: the hand-back happens inside Qt, where the race checker cannot see it.
    std::atomic<int> result{-1};
    QMetaObject::invokeMethod(
        app, [&] { result = Show(guarded.data(), message); }, Qt::BlockingQueuedConnection);
    return result.load();
  });
}

void ErrorBox::Uninstall() { diag::SetErrorPresenter(nullptr); }

}  // namespace view
