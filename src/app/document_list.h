#pragma once
// The list of recordings below the transport controls: the *.wav files of
// the chosen folder with name, date and size, a folder chooser above them,
// Delete and Rename in a context menu. It answers the controller's requests
// (refresh, selected path, select, next, previous, count) and sends three
// notifications with the item's index and path. It follows the disk: files
// added, removed or renamed by another program show up without a restart.
//
// Paths are device paths ("\My Documents\Quillon\Recording00.wav",
// "\Storage Card\Quillon\Recording01.wav"). Folders are named as the
// settings record keeps them: "All Folders" (the documents folder, its
// subfolders and the "Quillon" folder of each storage card), the name of a
// subfolder of the documents folder ("Quillon"), or a storage card's name
// (its "Quillon" folder).

#include <functional>
#include <string>

#include <QWidget>

class QKeyEvent;

namespace app {

// Notification codes, as the controller's OnNotify receives them.
inline constexpr int kDocListActivated = 11000;      // an item was tapped or chosen by key
inline constexpr int kDocListChanged = 11006;        // an item was deleted, renamed or vanished
inline constexpr int kDocListFolderChanged = 11012;  // the user picked another folder

inline constexpr char16_t kAllFolders[] = u"All Folders";

class DocumentList : public QWidget {
  Q_OBJECT

 public:
  // folder: the folder to list (SettingsRecord.Folder); an unknown name
  // lists "All Folders" without changing what the settings hold.
  DocumentList(QWidget* parent, const std::u16string& folder);
  ~DocumentList() override;

  // Reads the folder again (the transport asks for it when a recording
  // starts or ends). Sends no notification; keeps the selected file selected
  // when it is still there.
  void Refresh();
  // Full device path of the selected item, empty when none is selected.
  std::u16string SelectedPath() const;
  // Selects item index (out of range: nothing selected).
  void Select(int index);
  // Replace *index with the following / preceding item's index; at the last
  // / first item (or with an empty list) *index stays as it is.
  void Next(int* index) const;
  void Previous(int* index) const;
  int Count() const;
  // Device path of item index, empty when out of range.
  std::u16string PathAt(int index) const;
  // The folder name listed now.
  std::u16string Folder() const;

  // Every key press and release that reaches the list (and its folder
  // chooser) goes here first, and is then handled by the list as well, so
  // the hardware-button bindings act while the list has the focus.
  // Return/Enter on an item is the list's activation key: it activates the
  // item and is not passed on (it would otherwise play and at once pause).
  using KeyForward = std::function<void(QKeyEvent* event)>;
  void SetKeyForward(KeyForward forward);
  // Called when the pen goes down in the list (the controller's KeyOrigin = 0)
  // and when a key goes down in it, Return included (KeyOrigin = 1).
  void SetPenDownHook(std::function<void()> hook);
  void SetKeyHook(std::function<void()> hook);
  // Called before the user's delete or rename touches a file, with its path:
  // the controller stops a recording or playback of that file first.
  void SetBeforeChange(std::function<void(const std::u16string& path)> hook);
  // Asked before a file is deleted, with its display name; true deletes.
  // The default asks the user in a message box.
  void SetDeleteConfirmation(std::function<bool(const QString& name)> confirm);

  // What the context menu does, also callable directly (tests, keys).
  bool DeleteItem(int index);
  bool RenameItem(int index, const QString& newName);

  // Index of the item with this device path, -1 when it is not listed.
  int IndexOf(const std::u16string& path) const;
  // Index of the selected item, -1 when none is.
  int SelectedIndex() const;
  // Reads the size and date of one listed file again (a recording growing)
  // without rewriting the rows.
  void RefreshEntry(const std::u16string& path);
  // The text a row shows for item index: the recording's name, followed by
  // its folder where another listed recording has the same name.
  QString DisplayNameAt(int index) const;

  // The insides, shared by the list's sources (document_list_impl.h).
  struct Impl;

 signals:
  // code: kDocListActivated, kDocListChanged or kDocListFolderChanged;
  // path: the item's full device path, or the new folder's name.
  void Notify(int code, int index, const QString& path);
  // The rows or the selection changed (the disk, a folder picked, a delete,
  // a rename, the user moving the selection). Sent after the change.
  void Listed();

 private:
  Impl* d_;
};

}  // namespace app
