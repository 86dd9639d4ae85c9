#include "app/document_list.h"

#include <cerrno>
#include <utility>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/document_folder.h"
#include "diag/show_error.h"
#include "platform/device_paths.h"
#include "platform/file.h"
#include "platform/last_error.h"
#include "view/skin_font.h"

namespace app {
namespace {

enum Column { kNameColumn, kDateColumn, kSizeColumn, kColumnCount };

// One save or copy by another program changes a folder several times in a
// row; the folder is read again once they have settled.
constexpr int kRescanDelayMs = 100;

constexpr char16_t kDeleteQuestion[] = u"Delete \"%1\"?";
constexpr char16_t kDeleteFailed[] = u"DeleteFile(): failed.";
constexpr char16_t kRenameFailed[] = u"MoveFile(): failed.";
constexpr char16_t kNameEmpty[] = u"Type a name for the recording.";
constexpr char16_t kNameInvalid[] = u"A name cannot contain \\ or / or control characters.";
constexpr char16_t kNameExists[] = u"A recording named \"%1\" already exists in this folder.";

bool IsReturnKey(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

bool IsValidName(const QString& name) {
  for (const QChar c : name)
    if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 || c.unicode() == 0x7F)
      return false;
  return true;
}

// Whether another entry of the folder already has the new name. Letter case
// is ignored, as on the handheld: "Memo.wav" beside "memo.WAV" would be two
// rows no one can tell apart. The file itself may change its case.
bool NameTaken(const std::u16string& oldPath, const std::u16string& newPath) {
  const std::optional<std::string> host = platform::DevicePaths::ToHost(newPath);
  if (!host) return false;
  const QFileInfo target(QString::fromStdString(*host));
  const QString oldName = QString::fromStdU16String(oldPath.substr(oldPath.rfind(u'\\') + 1));
  const QStringList entries =
      target.dir().entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  for (const QString& entry : entries)
    if (entry.compare(target.fileName(), Qt::CaseInsensitive) == 0 && entry != oldName) return true;
  return false;
}

// The in-place name editor: a committed name goes to the list's rename,
// which renames the file; the row itself is rewritten from the disk.
class NameDelegate : public QStyledItemDelegate {
 public:
  using Commit = std::function<void(const QModelIndex& index, const QString& text)>;
  NameDelegate(QObject* parent, Commit commit) : QStyledItemDelegate(parent), commit_(std::move(commit)) {}

  void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
    if (auto* line = qobject_cast<QLineEdit*>(editor)) commit_(index, line->text());
  }

 private:
  Commit commit_;
};

}  // namespace

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
  std::function<void(const std::u16string&)> beforeChange;
  std::function<bool(const QString&)> confirmDelete;
  std::function<void(const std::u16string&)> exportHook;

  bool returnHeld = false;   // Return went down on an item: its release is the list's too
  int pressedRow = -1;       // row under the pen when it went down
  bool doubleClick = false;  // the pen's second tap of a double click activates nothing more
};

DocumentList::Impl::Impl(DocumentList* owner) : self(owner) {
  self->setFont(view::CreateSkinFont(QStringLiteral("Arial"), 10, 400));
  auto* layout = new QVBoxLayout(self);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  chooser = new QComboBox(self);
  // Picked with the pen; reached by Tab only, so that the arrow keys keep
  // their bindings instead of flipping folders after a pick.
  chooser->setFocusPolicy(Qt::TabFocus);
  chooser->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  chooser->setMinimumContentsLength(8);
  layout->addWidget(chooser);

  list = new QTreeWidget(self);
  list->setColumnCount(kColumnCount);
  list->setHeaderHidden(true);
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setAllColumnsShowFocus(true);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list->setTextElideMode(Qt::ElideRight);
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  list->header()->setStretchLastSection(false);
  list->header()->setSectionResizeMode(kNameColumn, QHeaderView::Stretch);
  list->header()->setSectionResizeMode(kDateColumn, QHeaderView::ResizeToContents);
  list->header()->setSectionResizeMode(kSizeColumn, QHeaderView::ResizeToContents);
  list->setItemDelegateForColumn(
      kNameColumn, new NameDelegate(list, [this, alive = QPointer<Impl>(this)](const QModelIndex& index,
                                                                               const QString& text) {
        // An editor losing the focus while the list goes away commits too.
        if (alive.isNull() || !InRange(index.row())) return;
        // The rename rewrites the rows; it runs once the editor has closed.
        const std::u16string path = items[index.row()].path;
        QTimer::singleShot(0, this, [this, path, text] {
          const int row = IndexOf(path);
          if (row >= 0) self->RenameItem(row, text);
        });
      }));
  layout->addWidget(list, 1);

  self->setFocusProxy(list);
  self->installEventFilter(this);
  chooser->installEventFilter(this);
  list->installEventFilter(this);
  list->viewport()->installEventFilter(this);

  connect(chooser, &QComboBox::activated, this, [this](int index) { PickFolder(index); });
  connect(list, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { ShowContextMenu(pos); });
  rescan.setSingleShot(true);
  rescan.setInterval(kRescanDelayMs);
  connect(&rescan, &QTimer::timeout, this, [this] {
    // Rewriting the rows would close a name being typed: the disk waits.
    if (EditingName())
      rescan.start();
    else
      Load(true);
  });
  connect(&watcher, &QFileSystemWatcher::directoryChanged, this, [this] { rescan.start(); });
}

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
  const bool press = event->type() == QEvent::KeyPress;
  if (IsReturnKey(event->key())) {
    // The list's activation key: not passed on, or the bound action would
    // pause at once what the activation started.
    if (press && !event->isAutoRepeat()) {
      const int row = SelectedRow();
      returnHeld = row >= 0;
      if (returnHeld) {
        Activate(row);
        return true;
      }
    } else if (returnHeld) {
      if (!press && !event->isAutoRepeat()) returnHeld = false;
      return true;
    }
  }
  Forward(event);
  if (press && event->key() == Qt::Key_Delete && !event->isAutoRepeat()) {
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
  if (press && event->key() == Qt::Key_E && event->modifiers() == Qt::ControlModifier && !event->isAutoRepeat()) {
    // After this key event, as Delete: the dialogs run loops of their own.
    const int row = SelectedRow();
    if (row >= 0) {
      const std::u16string path = items[row].path;
      QTimer::singleShot(0, this, [this, path] {
        const int at = IndexOf(path);
        if (at >= 0) self->ExportItem(at);
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

void DocumentList::Impl::Load(bool notify, const std::u16string& select) {
  const int selectedRow = SelectedRow();
  const std::u16string selected = select.empty() && selectedRow >= 0 ? items[selectedRow].path : select;

  std::vector<DocumentEntry> fresh = ScanDocuments(ListedFolders(folder));
  std::vector<std::pair<int, std::u16string>> vanished;
  for (size_t i = 0; i < items.size(); ++i) {
    bool present = false;
    for (const DocumentEntry& entry : fresh) present = present || entry.path == items[i].path;
    if (!present) vanished.emplace_back(static_cast<int>(i), items[i].path);
  }
  items = std::move(fresh);
  FillRows();

  int row = IndexOf(selected);
  if (row < 0 && selectedRow >= 0 && !items.empty())
    row = std::min(selectedRow, static_cast<int>(items.size()) - 1);
  SelectRow(row);
  FillChooser();
  UpdateWatcher();

  if (!notify) return;
  for (const auto& [index, path] : vanished)
    emit self->Notify(kDocListChanged, index, QString::fromStdU16String(path));
}

void DocumentList::Impl::FillRows() {
  const int scroll = list->verticalScrollBar()->value();
  list->clear();
  const QDateTime now = QDateTime::currentDateTime();
  QList<QTreeWidgetItem*> rows;
  rows.reserve(static_cast<qsizetype>(items.size()));
  for (const DocumentEntry& entry : items) {
    auto* row = new QTreeWidgetItem({entry.name, DateText(entry.modified, now), SizeText(entry.size)});
    row->setFlags(row->flags() | Qt::ItemIsEditable);
    row->setTextAlignment(kDateColumn, Qt::AlignRight | Qt::AlignVCenter);
    row->setTextAlignment(kSizeColumn, Qt::AlignRight | Qt::AlignVCenter);
    const QString path = QString::fromStdU16String(entry.path);
    for (int column = 0; column < kColumnCount; ++column) row->setToolTip(column, path);
    rows.append(row);
  }
  list->addTopLevelItems(rows);
  list->verticalScrollBar()->setValue(scroll);
}

void DocumentList::Impl::FillChooser() {
  std::vector<FolderChoice> choices = FolderChoices();
  bool listed = false;
  for (const FolderChoice& choice : choices)
    listed = listed || (choice.kind == folder.kind && choice.name == folder.name);
  // A chosen folder that has gone stays chosen (and lists nothing) until it is back.
  if (!listed) choices.push_back(folder);

  const QSignalBlocker block(chooser);
  // Rebuilt only when the folders changed, so that a rescan leaves an open
  // drop-down alone.
  bool same = chooser->count() == static_cast<int>(choices.size());
  for (int i = 0; same && i < chooser->count(); ++i)
    same = chooser->itemText(i) == choices[i].name &&
           chooser->itemData(i).toInt() == static_cast<int>(choices[i].kind);
  if (!same) {
    chooser->clear();
    for (const FolderChoice& choice : choices) chooser->addItem(choice.name, static_cast<int>(choice.kind));
  }
  for (int i = 0; i < chooser->count(); ++i)
    if (chooser->itemText(i) == folder.name && chooser->itemData(i).toInt() == static_cast<int>(folder.kind))
      chooser->setCurrentIndex(i);
}

void DocumentList::Impl::UpdateWatcher() {
  QStringList wanted;
  for (const QString& host : WatchedHostFolders(folder)) wanted.append(host);
  QStringList current = watcher.directories();
  std::sort(wanted.begin(), wanted.end());
  std::sort(current.begin(), current.end());
  if (wanted == current) return;
  if (!current.isEmpty()) watcher.removePaths(current);
  if (!wanted.isEmpty()) watcher.addPaths(wanted);
}

void DocumentList::Impl::PickFolder(int chooserIndex) {
  if (chooserIndex < 0) return;
  const FolderChoice choice{static_cast<FolderChoice::Kind>(chooser->itemData(chooserIndex).toInt()),
                            chooser->itemText(chooserIndex)};
  if (choice.kind == folder.kind && choice.name == folder.name) return;
  folder = choice;
  Load(false);
  emit self->Notify(kDocListFolderChanged, -1, folder.name);
}

void DocumentList::Impl::ShowContextMenu(const QPoint& viewportPos) {
  const int row = RowAt(viewportPos);
  if (row < 0) return;
  SelectRow(row);
  const std::u16string path = items[row].path;
  QMenu menu(self);
  QAction* remove = menu.addAction(QStringLiteral("Delete"));
  QAction* rename = menu.addAction(QStringLiteral("Rename"));
  menu.addSeparator();
  QAction* exportAs = menu.addAction(QStringLiteral("Export..."));
  exportAs->setEnabled(static_cast<bool>(exportHook));
  QAction* chosen = menu.exec(list->viewport()->mapToGlobal(viewportPos));
  // The menu ran a loop of its own: the rows may have changed meanwhile.
  const int at = IndexOf(path);
  if (chosen == nullptr || at < 0) return;
  if (chosen == remove) self->DeleteItem(at);
  if (chosen == rename) StartRename(at);
  if (chosen == exportAs) self->ExportItem(at);
}

void DocumentList::Impl::StartRename(int row) {
  if (!InRange(row)) return;
  SelectRow(row);
  list->editItem(list->topLevelItem(row), kNameColumn);
}

int DocumentList::Impl::RowAt(const QPoint& viewportPos) const {
  QTreeWidgetItem* item = list->itemAt(viewportPos);
  return item != nullptr ? list->indexOfTopLevelItem(item) : -1;
}

int DocumentList::Impl::SelectedRow() const {
  const QList<QTreeWidgetItem*> selected = list->selectedItems();
  if (selected.isEmpty()) return -1;
  const int row = list->indexOfTopLevelItem(selected.first());
  return InRange(row) ? row : -1;
}

void DocumentList::Impl::SelectRow(int row) {
  if (!InRange(row)) {
    list->clearSelection();
    list->setCurrentItem(nullptr);
    return;
  }
  QTreeWidgetItem* item = list->topLevelItem(row);
  list->setCurrentItem(item);
  item->setSelected(true);
  list->scrollToItem(item);
}

int DocumentList::Impl::IndexOf(const std::u16string& path) const {
  if (path.empty()) return -1;
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].path == path) return static_cast<int>(i);
  return -1;
}

bool DocumentList::Impl::Confirm(const QString& name) const {
  if (confirmDelete) return confirmDelete(name);
  return QMessageBox::question(self, QApplication::applicationDisplayName(),
                               QString::fromUtf16(kDeleteQuestion).arg(name),
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

bool DocumentList::Impl::DeletePath(const std::u16string& path) {
  if (beforeChange) beforeChange(path);
  if (!platform::DeleteFile(path)) {
    const int error = platform::GetLastError();
    // Gone already (another program was quicker): what the user wanted.
    if (error != ENOENT) {
      diag::ShowError(self, kDeleteFailed, error);
      Load(true);
      return false;
    }
  }
  Load(true);
  return true;
}

DocumentList::DocumentList(QWidget* parent, const std::u16string& folder)
    : QWidget(parent), d_(new Impl(this)) {
  d_->folder = FindFolderChoice(QString::fromStdU16String(folder))
                   .value_or(FolderChoice{FolderChoice::Kind::All, QString::fromUtf16(kAllFolders)});
  d_->Load(false);
}

DocumentList::~DocumentList() { delete d_; }

void DocumentList::Refresh() { d_->Load(false); }

std::u16string DocumentList::SelectedPath() const {
  const int row = d_->SelectedRow();
  return row >= 0 ? d_->items[row].path : std::u16string();
}

void DocumentList::Select(int index) { d_->SelectRow(index); }

void DocumentList::Next(int* index) const {
  if (index == nullptr || d_->items.empty()) return;
  const int last = Count() - 1;
  if (*index < 0)
    *index = 0;
  else if (*index < last)
    *index += 1;
}

void DocumentList::Previous(int* index) const {
  if (index == nullptr || d_->items.empty()) return;
  const int last = Count() - 1;
  if (*index > last)
    *index = last;
  else if (*index > 0)
    *index -= 1;
}

int DocumentList::Count() const { return static_cast<int>(d_->items.size()); }

std::u16string DocumentList::PathAt(int index) const {
  return d_->InRange(index) ? d_->items[index].path : std::u16string();
}

std::u16string DocumentList::Folder() const { return d_->folder.name.toStdU16String(); }

void DocumentList::SetKeyForward(KeyForward forward) { d_->keyForward = std::move(forward); }

void DocumentList::SetPenDownHook(std::function<void()> hook) { d_->penDownHook = std::move(hook); }

void DocumentList::SetBeforeChange(std::function<void(const std::u16string& path)> hook) {
  d_->beforeChange = std::move(hook);
}

void DocumentList::SetExportHook(std::function<void(const std::u16string& path)> hook) {
  d_->exportHook = std::move(hook);
}

void DocumentList::SetDeleteConfirmation(std::function<bool(const QString& name)> confirm) {
  d_->confirmDelete = std::move(confirm);
}

bool DocumentList::DeleteItem(int index) {
  if (!d_->InRange(index)) return false;
  const std::u16string path = d_->items[index].path;
  if (!d_->Confirm(d_->items[index].name)) return false;
  return d_->DeletePath(path);
}

bool DocumentList::ExportItem(int index) {
  if (!d_->InRange(index) || !d_->exportHook) return false;
  d_->exportHook(d_->items[index].path);
  return true;
}

bool DocumentList::RenameItem(int index, const QString& newName) {
  if (!d_->InRange(index)) return false;
  static const QString kExtension = QStringLiteral(".wav");
  QString name = newName.trimmed();
  if (name.endsWith(kExtension, Qt::CaseInsensitive)) name = name.chopped(kExtension.size()).trimmed();
  if (name.isEmpty()) {
    diag::ShowError(this, kNameEmpty, 0);
    return false;
  }
  if (!IsValidName(name)) {
    diag::ShowError(this, kNameInvalid, 0);
    return false;
  }
  const std::u16string oldPath = d_->items[index].path;
  const size_t slash = oldPath.rfind(u'\\');
  // The file keeps its own spelling of the extension (".wav" or ".WAV").
  const std::u16string newPath = oldPath.substr(0, slash + 1) + name.toStdU16String() +
                                 oldPath.substr(oldPath.size() - kExtension.size());
  if (newPath == oldPath) return true;
  if (NameTaken(oldPath, newPath)) {
    diag::ShowError(this, kNameExists, 0, {name.toStdU16String()});
    return false;
  }
  if (d_->beforeChange) d_->beforeChange(oldPath);
  if (!platform::MoveFile(oldPath, newPath)) {
    const int error = platform::GetLastError();
    if (error == EEXIST)
      diag::ShowError(this, kNameExists, 0, {name.toStdU16String()});
    else
      diag::ShowError(this, kRenameFailed, error);
    d_->Load(true);
    return false;
  }
  // The old name is gone from the disk: that reports the change.
  d_->Load(true, newPath);
  return true;
}

}  // namespace app
