// Deleting and renaming recordings from the list: the user is asked, bad
// names are refused with a reason, and the file being recorded or played is
// closed before it is touched.
#include <cerrno>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTimer>

#include "app/document_list_impl.h"
#include "diag/show_error.h"
#include "platform/device_paths.h"
#include "platform/file.h"
#include "platform/last_error.h"
#include "view/error_box.h"

namespace app {
namespace {

constexpr char16_t kDeleteQuestion[] = u"Delete \"%1\"?";
constexpr char16_t kDeleteFailed[] = u"DeleteFile(): failed.";
constexpr char16_t kRenameFailed[] = u"MoveFile(): failed.";
constexpr char16_t kNameEmpty[] = u"Type a name for the recording.";
constexpr char16_t kNameInvalid[] = u"A name cannot contain \\ or / or control characters.";
constexpr char16_t kNameHidden[] = u"A name cannot start with a dot: the recording would be hidden.";
constexpr char16_t kNameExists[] = u"A recording named \"%1\" already exists in this folder.";

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

// The in-place name editor: it starts from the recording's own name (the
// row may show its folder as well), and a committed name goes to the list's
// rename, which renames the file; the row itself is rewritten from the disk.
class NameDelegate : public QStyledItemDelegate {
 public:
  explicit NameDelegate(DocumentList::Impl* impl) : QStyledItemDelegate(impl->list), impl_(impl) {}

  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    auto* line = qobject_cast<QLineEdit*>(editor);
    if (line != nullptr && impl_ != nullptr && impl_->InRange(index.row()))
      line->setText(impl_->items[index.row()].name);
    else
      QStyledItemDelegate::setEditorData(editor, index);
  }

  void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
    auto* line = qobject_cast<QLineEdit*>(editor);
    // An editor losing the focus while the list goes away commits too.
    if (line == nullptr || impl_.isNull() || !impl_->InRange(index.row())) return;
    DocumentList::Impl* impl = impl_.data();
    const std::u16string path = impl->items[index.row()].path;
    const QString text = line->text();
    // The rename rewrites the rows; it runs once the editor has closed.
    QTimer::singleShot(0, impl, [impl, path, text] {
      const int row = impl->IndexOf(path);
      if (row >= 0) impl->self->RenameItem(row, text);
    });
  }

 private:
  QPointer<DocumentList::Impl> impl_;
};

}  // namespace

QStyledItemDelegate* NewNameDelegate(DocumentList::Impl* impl) { return new NameDelegate(impl); }

std::unique_ptr<QMessageBox> DeleteQuestion(QWidget* owner, const QString& name) {
  // A name is shown as it is, never as a link or an image, and however long
  // it is the box and its buttons stay on the screen.
  std::unique_ptr<QMessageBox> box = view::PlainMessageBox(
      QMessageBox::Question, QApplication::applicationDisplayName(), QString::fromUtf16(kDeleteQuestion).arg(name), owner);
  box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
  box->setDefaultButton(QMessageBox::No);
  return box;
}

bool DocumentList::Impl::Confirm(const QString& name) const {
  if (confirmDelete) return confirmDelete(name);
  return DeleteQuestion(self, name)->exec() == QMessageBox::Yes;
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

bool DocumentList::DeleteItem(int index) {
  if (!d_->InRange(index)) return false;
  const std::u16string path = d_->items[index].path;
  // The question names the row as the list shows it, folder included where
  // names repeat, so that the user knows which of two "Recording00" goes.
  if (!d_->Confirm(DisplayNameAt(index))) return false;
  return d_->DeletePath(path);
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
  // ".hidden" or ".." would vanish from every list for good.
  if (name.startsWith(QLatin1Char('.'))) {
    diag::ShowError(this, kNameHidden, 0);
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
