#pragma once
// The Buttons page: the ten hardware keys with the action bound to each, a
// box to change the selected key's action, and "Reset" / "Restore Defaults".
// Every change goes into the live record at once, so a new binding is in
// force for the next key press; applying the page writes nothing.

#include "settings/settings_record.h"
#include "sheet/settings_page.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace sheet {

class ButtonsPage : public SettingsPage {
  Q_OBJECT

 public:
  ButtonsPage(settings::SettingsStore* store, QWidget* parent);

  QList<QWidget*> TabStops() const override;

  QTreeWidget* ButtonList() const { return list_; }
  QComboBox* ActionBox() const { return actions_; }
  QLabel* KeyLabel() const { return keyLabel_; }
  QPushButton* ResetButton() const { return reset_; }
  QPushButton* RestoreButton() const { return restore_; }

 private:
  void BuildControls();
  // Rebuilds the ten rows from the record.
  void FillButtonList();
  void SelectListItem(int row);
  // Shows the selected row's action in the box and its key in the label.
  void ShowBinding();
  void OnActionChosen();
  // "Reset" (full false) and "Restore Defaults" (full true).
  void ResetBindings(bool full);
  // The binding of the selected row, or null.
  settings::ButtonBinding* SelectedBinding() const;

  QTreeWidget* list_ = nullptr;
  QComboBox* actions_ = nullptr;
  QLabel* keyLabel_ = nullptr;
  QPushButton* reset_ = nullptr;
  QPushButton* restore_ = nullptr;
};

}  // namespace sheet
