#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSlider>

#include "platform/registry.h"
#include "sheet/general_page.h"
#include "sheet/misc_page.h"
#include "sheet/settings_sheet.h"
#include "sheet_fixture.h"
#include "view/default_recorder.h"

namespace sheettest {
namespace {

using sheet::SettingsSheet;

TEST_F(SheetTest, OpensAtItsStartPageWithTabOrderAndHelpOnEveryPage) {
  // StartPage keeps the handheld's numbers (3 About); Audio is 4 and shows
  // before About.
  const struct { int start; int page; const char* heading; } starts[] = {
      {0, 0, "General"}, {1, 1, "Buttons"}, {2, 2, "Miscellaneous"}, {3, 4, "About"}, {4, 3, "Audio"}};
  for (const auto& [start, page, heading] : starts) {
    SettingsSheet& sheet = Open(start);
    EXPECT_EQ(sheet.ShownPage()->Heading(), heading);
    for (int i = 0; i < SettingsSheet::kPageCount; ++i) EXPECT_EQ(sheet.Page(i)->isVisible(), i == page);
    // Inside the main window over all of its client area, the tabs above
    // where the menu bar was, OK at the top right.
    EXPECT_EQ(sheet.parentWidget(), &owner_);
    EXPECT_FALSE(sheet.isWindow());
    EXPECT_EQ(sheet.geometry(), owner_.rect());
    EXPECT_EQ(sheet.TabBar()->geometry().bottom(), 267);
    EXPECT_TRUE(QRect(160, 0, 80, 24).contains(sheet.OkButton()->geometry())) << sheet.OkButton()->x();

    // Tab: the page's controls in template order, the tabs, OK, round again;
    // the Help key (not F1) anywhere reaches the main window.
    QList<QWidget*> stops = sheet.ShownPage()->TabStops();
    stops << sheet.TabBar() << sheet.OkButton() << stops.front();
    ASSERT_EQ(sheet.focusWidget(), stops.front()) << "page " << start;
    for (qsizetype i = 1; i < stops.size(); ++i) {
      const int before = owner_.helpRequests;
      QTest::keyClick(sheet.focusWidget(), Qt::Key_F1);
      QTest::keyClick(sheet.focusWidget(), Qt::Key_Help);
      QApplication::processEvents();
      EXPECT_EQ(owner_.helpRequests, before + 1) << "page " << start << ", stop " << i - 1;
      QTest::keyClick(sheet.focusWidget(), Qt::Key_Tab);
      EXPECT_EQ(sheet.focusWidget(), stops[i]) << "page " << start << ", stop " << i;
    }
  }
  QStringList tabs;
  for (int i = 0; i < sheet_->TabBar()->count(); ++i) tabs << sheet_->TabBar()->tabText(i);
  EXPECT_EQ(tabs, QStringList({"General", "Buttons", "Misc", "Audio", "About"}));
}

// Records what the record holds when a page shows.
struct RecordAtShow : QObject {
  const settings::SettingsRecord* record;
  settings::SettingsRecord seen{};
  explicit RecordAtShow(const settings::SettingsRecord* r) : record(r) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Show) seen = *record;
    return false;
  }
};

TEST_F(SheetTest, LeavingAPageWritesItsValuesBeforeTheNextPageShows) {
  Open(0);
  PageAt<sheet::GeneralPage>(0)->FormatSlider()->setValue(7);
  PageAt<sheet::GeneralPage>(0)->StorageBox()->setCurrentText("Storage Card");
  EXPECT_EQ(store_.Record.FormatId, 49) << "nothing is written while the page stays";
  RecordAtShow buttons(&store_.Record);
  sheet_->Page(1)->installEventFilter(&buttons);
  Switch(1);
  EXPECT_EQ(buttons.seen.FormatId, 64);
  EXPECT_EQ(std::u16string(buttons.seen.Storage), u"Storage Card");
}

TEST_F(SheetTest, EveryWayOfClosingAppliesTheShownPage) {
  const struct { const char* how; std::function<void(SettingsSheet&)> close; int result; } ways[] = {
      {"OK", [](SettingsSheet& s) { s.OkButton()->click(); }, QDialog::Accepted},
      {"Return", [](SettingsSheet& s) { QTest::keyClick(s.focusWidget(), Qt::Key_Return); }, QDialog::Accepted},
      {"Escape", [](SettingsSheet& s) { QTest::keyClick(s.focusWidget(), Qt::Key_Escape); }, QDialog::Rejected},
      {"window closed", [](SettingsSheet& s) { s.close(); }, QDialog::Rejected},
  };
  for (const auto& way : ways) {
    store_.Record.LedBlink = 1;
    SettingsSheet& sheet = Open(2);
    PageAt<sheet::MiscPage>(2)->LedBlinkBox()->setChecked(false);
    way.close(sheet);
    EXPECT_FALSE(sheet.isVisible()) << way.how;
    EXPECT_EQ(sheet.result(), way.result) << way.how;
    EXPECT_EQ(store_.Record.LedBlink, 0) << way.how;
  }
}

TEST_F(SheetTest, APageNeverShownIsNeverApplied) {
  SettingsSheet& sheet = Open(0);
  PageAt<sheet::MiscPage>(2)->LedBlinkBox()->setChecked(false);
  PageAt<sheet::MiscPage>(2)->DefaultRecorderBox()->setChecked(true);
  Switch(1);
  Switch(3);
  sheet.OkButton()->click();
  EXPECT_EQ(store_.Record.LedBlink, 1);
  EXPECT_EQ(platform::Registry::ReadDefault(view::kRecordButtonKey), std::nullopt);
  EXPECT_EQ(testsupport::ReadHostFile(roots_.Config() + "/registry.txt"), "") << "nothing was written";
}

}  // namespace
}  // namespace sheettest
