#pragma once
// The document list's insides, shared by its sources: document_list.cpp
// (rows, folders, the public requests), document_list_input.cpp (keys, the
// pen, the context menu) and document_list_edit.cpp (delete and rename).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QComboBox>
#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <QTreeWidget>

#include "app/document_folder.h"
#include "app/document_list.h"

class QKeyEvent;
class QMessageBox;
class QMouseEvent;
class QStyledItemDelegate;

namespace app {

enum DocumentColumn { kNameColumn, kDateColumn, kSizeColumn, kColumnCount };

inline bool IsReturnKey(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

struct DocumentList::Impl : public QObject {
  explicit Impl(DocumentList* owner);

  bool eventFilter(QObject* watched, QEvent* event) override;
  bool ListKey(QKeyEvent* event);
  void ListMouse(QMouseEvent* event);
  void Forward(QKeyEvent* event) const {
    if (keyForward) keyForward(event);
  }
  // Typing a new name is no key for the bound actions.
  bool EditingName() const {
    const QWidget* focus = list->window()->focusWidget();
    return focus != nullptr && focus != list && list->isAncestorOf(focus);
  }
  void PenDown() const {
    if (penDownHook) penDownHook();
  }

  // Reads the folder again. With notify, every file that was listed and is
  // gone now is reported as changed. The selection stays on its file, or on
  // `select` when given; a selected file that is gone passes the selection
  // to the row that took its place.
  void Load(bool notify, const std::u16string& select = {});
  void FillRows();
  // The name column's text for each item (name, or "name (folder)" where
  // names repeat), worked out by FillRows.
  std::vector<QString> displayNames;
  void FillChooser();
  void UpdateWatcher();
  void PickFolder(int chooserIndex);
  void ShowContextMenu(const QPoint& viewportPos);
  void StartRename(int row);

  int RowAt(const QPoint& viewportPos) const;
  int SelectedRow() const;
  void SelectRow(int row);
  int IndexOf(const std::u16string& path) const;
  bool InRange(int index) const { return index >= 0 && index < static_cast<int>(items.size()); }
  void Activate(int row) {
    emit self->Notify(kDocListActivated, row, QString::fromStdU16String(items[row].path));
  }
  bool Confirm(const QString& name) const;
  bool DeletePath(const std::u16string& path);

  DocumentList* self;
  QComboBox* chooser;
  QTreeWidget* list;
  QFileSystemWatcher watcher;
  QTimer rescan;
  FolderChoice folder;
  std::vector<DocumentEntry> items;

  KeyForward keyForward;
  std::function<void()> penDownHook;
  std::function<void()> keyHook;
  std::function<void(const std::u16string&)> beforeChange;
  std::function<bool(const QString&)> confirmDelete;
  std::function<void(const std::u16string&)> exportHook;

  bool returnHeld = false;   // Return went down on an item: its release is the list's too
  int pressedRow = -1;       // row under the pen when it went down
  bool doubleClick = false;  // the pen's second tap of a double click activates nothing more
};


// The question Delete asks, in plain text, not yet shown.
std::unique_ptr<QMessageBox> DeleteQuestion(QWidget* owner, const QString& name);
// A path as a tool tip shows it: the characters as they are, whatever they
// look like to a rich-text reader.
QString PlainToolTip(const QString& text);

// The in-place name editor of the name column: a committed name goes to the
// list's rename once the editor has closed.
QStyledItemDelegate* NewNameDelegate(DocumentList::Impl* impl);

}  // namespace app
