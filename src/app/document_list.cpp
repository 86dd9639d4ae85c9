#include "app/document_list.h"

#include <utility>
#include <vector>

#include <QDir>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "app/document_list_impl.h"
#include "view/skin_font.h"

namespace app {
namespace {

// One save or copy by another program changes a folder several times in a
// row; the folder is read again once they have settled.
constexpr int kRescanDelayMs = 100;

}  // namespace

QString PlainToolTip(const QString& text) { return QStringLiteral("<p>%1</p>").arg(text.toHtmlEscaped()); }

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
  list->setItemDelegateForColumn(kNameColumn, NewNameDelegate(this));
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
  connect(list, &QTreeWidget::itemSelectionChanged, self, &DocumentList::Listed);
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
  {
    // One Listed for the whole reload, after it, not one per row selected.
    const QSignalBlocker quiet(list);
    FillRows();
    int row = IndexOf(selected);
    if (row < 0 && selectedRow >= 0 && !items.empty())
      row = std::min(selectedRow, static_cast<int>(items.size()) - 1);
    SelectRow(row);
  }
  FillChooser();
  UpdateWatcher();

  if (notify) {
    for (const auto& [index, path] : vanished)
      emit self->Notify(kDocListChanged, index, QString::fromStdU16String(path));
  }
  emit self->Listed();
}

void DocumentList::Impl::FillRows() {
  const int scroll = list->verticalScrollBar()->value();
  list->clear();
  const QDateTime now = QDateTime::currentDateTime();
  QList<QTreeWidgetItem*> rows;
  rows.reserve(static_cast<qsizetype>(items.size()));
  displayNames = DisplayNames(items);
  for (size_t i = 0; i < items.size(); ++i) {
    const DocumentEntry& entry = items[i];
    auto* row = new QTreeWidgetItem({displayNames[i], DateText(entry.modified, now), SizeText(entry.size)});
    row->setFlags(row->flags() | Qt::ItemIsEditable);
    row->setTextAlignment(kDateColumn, Qt::AlignRight | Qt::AlignVCenter);
    row->setTextAlignment(kSizeColumn, Qt::AlignRight | Qt::AlignVCenter);
    const QString path = QString::fromStdU16String(entry.path);
    const QString tip = PlainToolTip(path);
    for (int column = 0; column < kColumnCount; ++column) row->setToolTip(column, tip);
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

int DocumentList::IndexOf(const std::u16string& path) const { return d_->IndexOf(path); }

int DocumentList::SelectedIndex() const { return d_->SelectedRow(); }

QString DocumentList::DisplayNameAt(int index) const {
  return d_->InRange(index) && index < static_cast<int>(d_->displayNames.size()) ? d_->displayNames[index]
                                                                                 : QString();
}

void DocumentList::RefreshEntry(const std::u16string& path) {
  const int row = d_->IndexOf(path);
  if (row < 0) return;
  const std::optional<DocumentEntry> fresh = ReadDocumentEntry(path);
  if (!fresh) return;
  DocumentEntry& entry = d_->items[row];
  if (fresh->size == entry.size && fresh->modified == entry.modified) return;
  entry.size = fresh->size;
  entry.modified = fresh->modified;
  QTreeWidgetItem* item = d_->list->topLevelItem(row);
  item->setText(kDateColumn, DateText(entry.modified, QDateTime::currentDateTime()));
  item->setText(kSizeColumn, SizeText(entry.size));
}

int DocumentList::Count() const { return static_cast<int>(d_->items.size()); }

std::u16string DocumentList::PathAt(int index) const {
  return d_->InRange(index) ? d_->items[index].path : std::u16string();
}

std::u16string DocumentList::Folder() const { return d_->folder.name.toStdU16String(); }

void DocumentList::SetKeyForward(KeyForward forward) { d_->keyForward = std::move(forward); }

void DocumentList::SetPenDownHook(std::function<void()> hook) { d_->penDownHook = std::move(hook); }

void DocumentList::SetKeyHook(std::function<void()> hook) { d_->keyHook = std::move(hook); }

void DocumentList::SetBeforeChange(std::function<void(const std::u16string& path)> hook) {
  d_->beforeChange = std::move(hook);
}

void DocumentList::SetExportHook(std::function<void(const std::u16string& path)> hook) {
  d_->exportHook = std::move(hook);
}

bool DocumentList::ExportItem(int index) {
  if (!d_->InRange(index) || !d_->exportHook) return false;
  d_->exportHook(d_->items[index].path);
  return true;
}

void DocumentList::SetDeleteConfirmation(std::function<bool(const QString& name)> confirm) {
  d_->confirmDelete = std::move(confirm);
}

}  // namespace app
