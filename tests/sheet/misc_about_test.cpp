#include <QCheckBox>
#include <QFile>
#include <QTextEdit>
#include <QUrlQuery>

#include "platform/registry.h"
#include "sheet/about_page.h"
#include "sheet/misc_page.h"
#include "sheet_fixture.h"
#include "view/default_recorder.h"
#include "view/hardware_buttons.h"

namespace sheettest {
namespace {

using sheet::AboutPage;
using sheet::MiscPage;

// The desktop's launcher reads the entry: the program's path in double
// quotes, or the platform's own command once switched off.
TEST_F(SheetTest, RecorderBoxFollowsTheEntryAndEveryApplyRewritesIt) {
  const std::u16string quoted = u"\"" + QCoreApplication::applicationFilePath().toStdU16String() + u"\"";
  const struct { std::optional<std::u16string> entry; bool ticked; } cases[] = {
      {quoted, true},
      {QString::fromStdU16String(quoted).toUpper().toStdU16String(), false},
      {quoted.substr(1, quoted.size() - 2), false},  // without the quotes
      {std::nullopt, false},
  };
  for (const auto& c : cases) {
    roots_.RemoveConfig();  // the store and its folder are made on the way
    ASSERT_TRUE(!c.entry || platform::Registry::WriteDefault(view::kRecordButtonKey, *c.entry));
    store_.Record.AmplifyOutput = c.ticked ? 5 : 0;
    settings::WriteAmplifyInput(store_.Record, c.ticked ? 0 : 1);
    Open(2);
    auto* misc = PageAt<MiscPage>(2);
    EXPECT_EQ(misc->DefaultRecorderBox()->isChecked(), c.ticked);
    EXPECT_EQ(misc->AmplifyOutputBox()->isChecked(), c.ticked);
    misc->AmplifyInputBox()->setChecked(!misc->AmplifyInputBox()->isChecked());
    // Untouched, the page still writes the entry when left, and the flags as 0 or 1.
    ASSERT_TRUE(platform::Registry::WriteDefault(view::kRecordButtonKey, u"changed meanwhile"));
    Switch(0);
    EXPECT_EQ(platform::Registry::ReadDefault(view::kRecordButtonKey),
              c.ticked ? quoted : u"\"\\Windows\\AppButtons\\Record.lnk\" -b");
    EXPECT_EQ(store_.Record.AmplifyOutput, c.ticked ? 1 : 0);
    // Written into the live record at once: a running recording takes it from its
    // next buffer (the WaveIO suite records across such a switch).
    EXPECT_EQ(settings::ReadAmplifyInput(store_.Record), c.ticked ? 1 : 0);
    EXPECT_EQ(view::ApplicationKeysOwner(), sheet_.get()) << "the keys are grabbed for the page's parent";
  }
}

TEST_F(SheetTest, AboutShowsTheVersionWithTheCodecsNoticeAndLinksToTheBrowserAndMail) {
  std::vector<QUrl> opened;
  sheet::SetLinkOpener([&](const QUrl& url) {
    opened.push_back(url);
    return true;
  });
  Open(3);
  auto* about = PageAt<AboutPage>(sheet::SettingsSheet::kAboutPage);
  EXPECT_TRUE(about->VersionBox()->isReadOnly());
  const QStringList lines = about->VersionBox()->toPlainText().split('\n');
  ASSERT_EQ(lines.size(), 3);
  EXPECT_EQ(lines[0], "Quillon v1.2");
  EXPECT_TRUE(lines[1].startsWith(QString::fromUtf8("\u00A9 2026 "))) << lines[1].toStdString();
  // Word for word the notice of the linked libgsm's header.
  QFile header("/usr/include/gsm.h");
  ASSERT_TRUE(header.open(QIODevice::ReadOnly));
  const auto words = [](QString s) { return s.remove('*').remove('/').simplified(); };
  EXPECT_TRUE(words(QString::fromLatin1(header.readAll()).section("*/", 0, 0))
                  .contains(words(lines[2].section(": ", 1))));

  // Opened when the pen is lifted, or from the keyboard; the sheet stays.
  QTest::mouseClick(about->WebLink(), Qt::LeftButton);
  QTest::mouseClick(about->MailLink(), Qt::LeftButton);
  QTest::keyClick(about->WebLink(), Qt::Key_Space);
  ASSERT_EQ(opened.size(), 3u);
  EXPECT_EQ(opened[0].toString(), "https://www.example.org/quillon");
  EXPECT_EQ(opened[1].scheme() + ":" + opened[1].path(), "mailto:support@example.org");
  EXPECT_EQ(QUrlQuery(opened[1]).queryItemValue("subject", QUrl::FullyDecoded), "Quillon v1.2 support");
  EXPECT_EQ(opened[2], opened[0]);
  EXPECT_TRUE(sheet_->isVisible());
}

}  // namespace
}  // namespace sheettest
