#include <cstring>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "sheet/buttons_page.h"
#include "sheet_fixture.h"
#include "view/hardware_buttons.h"

namespace sheettest {
namespace {

using sheet::ButtonsPage;

class ButtonsPageTest : public SheetTest {
 protected:
  ButtonsPage* OpenButtons() {
    Open(1);
    return PageAt<ButtonsPage>(1);
  }
  static void Select(ButtonsPage* page, int row) {
    page->ButtonList()->setCurrentItem(page->ButtonList()->topLevelItem(row));
  }
  static QString Row(ButtonsPage* page, int row) {
    const QTreeWidgetItem* item = page->ButtonList()->topLevelItem(row);
    return item->icon(0).isNull() ? "no icon" : item->text(0) + " " + item->text(1);
  }
};

TEST_F(ButtonsPageTest, ChoosingAnActionWritesTheLiveRecordAtOnce) {
  ButtonsPage* page = OpenButtons();
  EXPECT_EQ(sheet_->focusWidget(), page->ButtonList());
  EXPECT_EQ(page->ButtonList()->headerItem()->text(1), "Assignment");
  EXPECT_EQ(Row(page, 0), "Up Volume up");
  Select(page, 5);
  EXPECT_EQ(page->KeyLabel()->text(), "Notes");
  EXPECT_EQ(page->ActionBox()->currentText(), "Record/Pause");
  page->ActionBox()->setCurrentIndex(page->ActionBox()->findText("Stop"));
  EXPECT_EQ(store_.Record.Buttons[5].Action, 3u);
  EXPECT_EQ(store_.Record.Buttons[5].Key, 193u) << "a key never changes";
  EXPECT_EQ(Row(page, 5), "Notes Stop");

  // A row bound outside the action table keeps the box as it was.
  store_.Record.Buttons[2].Action = 42;
  Select(page, 2);
  EXPECT_EQ(page->KeyLabel()->text() + " " + page->ActionBox()->currentText(), "Left Stop");

  // Applying the page writes nothing.
  const settings::SettingsRecord before = store_.Record;
  page->ActionBox()->blockSignals(true);
  page->ActionBox()->setCurrentIndex(9);  // shown but never chosen
  Switch(0);
  sheet_->OkButton()->click();
  EXPECT_EQ(std::memcmp(&before.Buttons, &store_.Record.Buttons, sizeof before.Buttons), 0);
}

// The two playback-speed actions come after the eleven of the handheld, so
// the numbers a settings.dat holds keep their meaning.
TEST_F(ButtonsPageTest, TheActionsEndWithSlowerAndFaster) {
  ButtonsPage* page = OpenButtons();
  QStringList actions;
  for (int i = 0; i < page->ActionBox()->count(); ++i) actions << page->ActionBox()->itemText(i);
  EXPECT_EQ(actions, (QStringList{"No action", "Record/Pause", "Play/Pause", "Stop", "Volume up", "Volume down",
                                  "Forward", "Rewind", "Prev track", "Next Track", "On/Off screen", "Slower",
                                  "Faster"}));
  Select(page, 8);
  page->ActionBox()->setCurrentIndex(page->ActionBox()->findText("Faster"));
  EXPECT_EQ(store_.Record.Buttons[8].Action, 12u);
  EXPECT_EQ(Row(page, 8), "Task Faster");
}

TEST_F(ButtonsPageTest, ResetAndRestoreDefaultsRefillAndKeepTheSelectedRow) {
  const std::pair<const char*, std::vector<uint32_t>> cases[] = {
      {"Reset", {4, 5, 7, 6, 2, 0, 0, 0, 0, 0}},
      {"Restore Defaults", {4, 5, 7, 6, 2, 1, 3, 8, 9, 1}},
  };
  for (const auto& [button, actions] : cases) {
    for (auto& binding : store_.Record.Buttons) binding.Action = 10;
    ButtonsPage* page = OpenButtons();
    Select(page, 7);
    (page->ResetButton()->text() == button ? page->ResetButton() : page->RestoreButton())->click();
    std::vector<uint32_t> now;
    for (const auto& binding : store_.Record.Buttons) now.push_back(binding.Action);
    EXPECT_EQ(now, actions) << button;
    EXPECT_EQ(view::ApplicationKeysOwner(), page) << "the keys are grabbed for the page";
    EXPECT_EQ(page->ButtonList()->indexOfTopLevelItem(page->ButtonList()->currentItem()), 7) << button;
    EXPECT_TRUE(page->ButtonList()->currentItem()->isSelected());
    EXPECT_EQ(page->ActionBox()->currentData().toUInt(), actions[7]) << button;
    EXPECT_EQ(Row(page, 9), "Record " + QString::fromUtf16(view::ButtonActionName(actions[9])));
  }
}

}  // namespace
}  // namespace sheettest
