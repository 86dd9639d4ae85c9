#pragma once
// What the document list shows, apart from the widget: the folders a folder
// name stands for, the *.wav files in them in natural order ("Recording99"
// before "Recording100"), and the date and size texts of a row.

#include <optional>
#include <string>
#include <vector>

#include <QDateTime>
#include <QString>

namespace app {

// One recording: its device path ("\My Documents\Quillon\Recording00.wav"),
// its name without ".wav", when it was last written and its size in bytes.
struct DocumentEntry {
  std::u16string path;
  QString name;
  QDateTime modified;
  qint64 size = 0;
};

// A folder the user can pick: every listed folder ("All Folders"), a
// subfolder of the documents folder, or a storage card (its "Quillon" folder).
struct FolderChoice {
  enum class Kind { All, Subfolder, Card };
  Kind kind = Kind::All;
  QString name;  // as the settings keep it: "All Folders", "Quillon", "Storage Card"
};

// The choices as the folder chooser lists them: "All Folders", the documents
// folder's subfolders in natural order, then the storage cards.
std::vector<FolderChoice> FolderChoices();
// The choice named `name` (letter case ignored, as on the handheld), or
// nothing when no such folder exists now.
std::optional<FolderChoice> FindFolderChoice(const QString& name);

// Device paths of the folders a choice lists, whether or not they exist.
std::vector<std::u16string> ListedFolders(const FolderChoice& choice);
// Host folders to watch so that changes to a choice's files are seen: each
// listed folder that exists, else its parent (where it would appear), and the
// documents folder for subfolders coming and going.
std::vector<QString> WatchedHostFolders(const FolderChoice& choice);

// The *.wav files (letter case of ".wav" ignored, hidden files left out) of
// the folders, sorted by NaturalCompare of their names, then by folder. A
// missing folder contributes nothing. Names no device path can carry (with a
// "\") or that are not valid UTF-8 are left out: they could not be opened.
std::vector<DocumentEntry> ScanDocuments(const std::vector<std::u16string>& folders);

// The entry of one listed file read again (its size and date), or nothing
// when it is gone.
std::optional<DocumentEntry> ReadDocumentEntry(const std::u16string& path);

// The folder a recording is in, as the user knows it: the storage card's
// name, or the documents folder's subfolder ("Quillon").
QString FolderLabel(const std::u16string& path);
// What each row shows: the name, and "name (folder)" where another entry has
// the same name (letter case ignored), so that the rows can be told apart.
std::vector<QString> DisplayNames(const std::vector<DocumentEntry>& entries);

// <0, 0, >0: names compared with runs of digits taken as numbers and letter
// case ignored; equal numbers with fewer leading zeros come first.
int NaturalCompare(const QString& a, const QString& b);

// "512 B", "13 KB" (rounded up, as file lists do), "4.2 MB", "1.1 GB".
QString SizeText(qint64 bytes);
// The time of day for a file written on the day `now` falls on, else the
// date; both in the locale's short form. Empty for an invalid time.
QString DateText(const QDateTime& modified, const QDateTime& now);

}  // namespace app
