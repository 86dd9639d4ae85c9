// The sheet with names a hostile user chose and bindings a damaged file left.
#include <QComboBox>
#include <QLabel>
#include <QTreeWidget>

#include "sheet/buttons_page.h"
#include "sheet/general_page.h"
#include "sheet_fixture.h"
#include "view/hardware_buttons.h"

namespace sheettest {
namespace {

constexpr char16_t kMarkupCard[] = u"<b>SD</b><img src=x width=30000 height=30000>";

class HostileSheetTest : public SheetTest {
 protected:
  HostileSheetTest() : SheetTest({kMarkupCard}) {}
};

// A card's name with markup is listed as it is, and every label of every
// page shows its text as plain text.
TEST_F(HostileSheetTest, NamesWithMarkupShowAsTheyAreAndEveryLabelIsPlainText) {
  Open(0);
  QComboBox* storage = nullptr;
  for (QComboBox* box : sheet_->findChildren<QComboBox*>()) {
    if (box->findText(QString::fromUtf16(kMarkupCard)) >= 0) storage = box;
  }
  ASSERT_NE(storage, nullptr) << "the card is listed under its own name";
  for (int page = 0; page < 4; ++page) {
    Switch(page);
    QApplication::processEvents();
    for (const QLabel* label : sheet_->Page(page)->findChildren<QLabel*>()) {
      EXPECT_EQ(label->textFormat(), Qt::PlainText) << "page " << page << ": " << label->text().toStdString();
    }
  }
}

// Keys and actions out of the tables (a record not mended on the way, as the
// page may meet one) are named as nothing, never as the row before them.
TEST_F(HostileSheetTest, BindingsOutsideTheTablesShowNoNameNotAStaleOne) {
  for (settings::ButtonBinding& binding : store_.Record.Buttons) {
    binding.Key = 0xDEADBEEF;
    binding.Action = 99;
  }
  Open(1);
  auto* page = PageAt<sheet::ButtonsPage>(1);
  for (int row = 0; row < settings::kButtonCount; ++row) {
    const QTreeWidgetItem* item = page->ButtonList()->topLevelItem(row);
    EXPECT_EQ(item->text(0), QString()) << row;
    EXPECT_EQ(item->text(1), QString()) << row;
  }
  EXPECT_EQ(page->KeyLabel()->text(), QString());
  EXPECT_EQ(page->ActionBox()->count(), static_cast<int>(view::kButtonActionCount));
}

}  // namespace
}  // namespace sheettest
