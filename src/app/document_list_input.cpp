// The document list's input: keys (forwarded to the bindings, Return
// activates, Delete asks), the pen (a tap activates) and the context menu.
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include "app/document_list_impl.h"
#include "view/key_input.h"

namespace app {

bool DocumentList::Impl::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      auto* key = static_cast<QKeyEvent*>(event);
      // Keys the list or the chooser left unhandled end here: they have been
      // forwarded already, and must not reach the main window a second time.
      if (watched == self) return true;
      if (watched == list) return EditingName() ? false : ListKey(key);
      if (watched == chooser) Forward(key);
      return false;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease:
      if (watched == list->viewport()) {
        ListMouse(static_cast<QMouseEvent*>(event));
      } else if (watched == chooser && event->type() == QEvent::MouseButtonPress) {
        PenDown();
      }
      return false;
    default:
      return false;
  }
}

bool DocumentList::Impl::ListKey(QKeyEvent* event) {
  const view::KeyPhase phase = view::PhaseOf(event);
  const bool press = event->type() == QEvent::KeyPress;
  // Any key going down here makes what follows keyed, not tapped.
  if (press && keyHook) keyHook();
  if (IsReturnKey(event->key())) {
    // The list's activation key: not passed on, or the bound action would
    // pause at once what the activation started. Its repeats and its
    // release are the list's too.
    if (phase == view::KeyPhase::Press) {
      const int row = SelectedRow();
      returnHeld = row >= 0;
      if (returnHeld) {
        Activate(row);
        return true;
      }
    } else if (returnHeld) {
      if (phase == view::KeyPhase::Release) returnHeld = false;
      return true;
    }
  }
  Forward(event);
  if (phase == view::KeyPhase::Press && event->key() == Qt::Key_Delete) {
    const int row = SelectedRow();
    if (row >= 0) {
      // Asked after this key event is over: the question runs a loop of its own.
      const std::u16string path = items[row].path;
      QTimer::singleShot(0, this, [this, path] {
        const int at = IndexOf(path);
        if (at >= 0) self->DeleteItem(at);
      });
    }
    return true;
  }
  return false;
}

void DocumentList::Impl::ListMouse(QMouseEvent* event) {
  if (event->type() != QEvent::MouseButtonRelease) PenDown();
  if (event->button() != Qt::LeftButton) return;
  const int row = RowAt(event->position().toPoint());
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      pressedRow = row;
      doubleClick = false;
      break;
    case QEvent::MouseButtonDblClick:
      // A desktop user's double click: the first tap has activated the item.
      pressedRow = row;
      doubleClick = true;
      break;
    default:
      // A tap activates the item it went down and came up on.
      if (!doubleClick && row >= 0 && row == pressedRow) Activate(row);
      pressedRow = -1;
      doubleClick = false;
      break;
  }
}

void DocumentList::Impl::ShowContextMenu(const QPoint& viewportPos) {
  const int row = RowAt(viewportPos);
  if (row < 0) return;
  SelectRow(row);
  const std::u16string path = items[row].path;
  QMenu menu(self);
  QAction* remove = menu.addAction(QStringLiteral("Delete"));
  QAction* rename = menu.addAction(QStringLiteral("Rename"));
  QAction* chosen = menu.exec(list->viewport()->mapToGlobal(viewportPos));
  // The menu ran a loop of its own: the rows may have changed meanwhile.
  const int at = IndexOf(path);
  if (chosen == nullptr || at < 0) return;
  if (chosen == remove) self->DeleteItem(at);
  if (chosen == rename) StartRename(at);
}

void DocumentList::Impl::StartRename(int row) {
  if (!InRange(row)) return;
  SelectRow(row);
  list->editItem(list->topLevelItem(row), kNameColumn);
}

}  // namespace app
