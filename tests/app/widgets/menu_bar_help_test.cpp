#include <gtest/gtest.h>

#include <vector>

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "app/help.h"
#include "app/menu_bar.h"
#include "audio/playback_speed.h"
#include "view/skin_images.h"

namespace {

constexpr int kTools[] = {app::kCmdFileExplorer, app::kCmdVas, app::kCmdDisplayOff, app::kCmdSwitchPlayMode};

QToolButton* ButtonAt(app::MenuBar& bar, int command) {
  return qobject_cast<QToolButton*>(bar.childAt(bar.ButtonRect(command).center()));
}

TEST(MenuBar, MenuAndToolButtonsSendTheirCommandsLeaveTheCheckToTheControllerAndShowTheirImage) {
  app::MenuBar bar(nullptr);
  bar.resize(240, app::MenuBar::kHeight);
  bar.show();
  std::vector<int> commands;
  QObject::connect(&bar, &app::MenuBar::Command, [&](int id) { commands.push_back(id); });
  int left = bar.ToolsRect().right();  // the tool buttons follow Tools, left to right
  for (size_t i = 0; i < std::size(kTools); ++i) {
    const int id = kTools[i];
    QToolButton* button = ButtonAt(bar, id);
    ASSERT_TRUE(button != nullptr && bar.rect().contains(button->geometry()) && button->x() > left) << id;
    left = button->geometry().right();
    EXPECT_EQ(bar.ButtonImage(id), static_cast<int>(i));
    // File Explorer and VAS take a check, from the controller only.
    bar.CheckButton(id, true);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(bar.IsChecked(id), i < 2) << id;
    bar.CheckButton(id, false);
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_FALSE(bar.IsChecked(id)) << id;
  }
  EXPECT_EQ(commands, (std::vector<int>{kTools[0], kTools[0], kTools[1], kTools[1], kTools[2], kTools[2],
                                        kTools[3], kTools[3]}));

  commands.clear();
  QStringList texts;
  for (QAction* action : bar.findChild<QMenu*>()->actions()) {
    texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    if (!action->isSeparator()) action->trigger();
  }
  EXPECT_EQ(texts, (QStringList{"About...", "-", "Help...", "Settings...", "Playback Speed", "-", "Exit"}));
  EXPECT_EQ(commands, (std::vector<int>{app::kCmdAbout, app::kCmdHelp, app::kCmdSettings, app::kCmdExit}));

  for (const int image : {6, 3, -1, app::MenuBar::kToolStripImages}) {  // outside the strip: ignored
    bar.SetButtonImage(app::kCmdSwitchPlayMode, image);
    EXPECT_EQ(bar.ButtonImage(app::kCmdSwitchPlayMode), image == 6 ? 6 : 3) << image;
  }
  // Without its strip the bar is unusable, and the controller refuses to start.
  QTemporaryDir empty;
  view::SetSkinImageFolder(empty.path());
  EXPECT_FALSE(app::MenuBar(nullptr).IsValid());
  view::SetSkinImageFolder(QString());
}

// The "Playback Speed" submenu: one checkable entry per speed, each sending
// its own command; opened, it checks the speed in force however it was set.
TEST(MenuBar, PlaybackSpeedOffersEverySpeedAndChecksTheOneInForce) {
  app::MenuBar bar(nullptr);
  std::vector<int> commands;
  QObject::connect(&bar, &app::MenuBar::Command, [&](int id) { commands.push_back(id); });
  auto* speeds = bar.findChild<QMenu*>(QStringLiteral("QuillonSpeedMenu"));
  ASSERT_NE(speeds, nullptr);
  QStringList texts;
  for (QAction* action : speeds->actions()) {
    texts << action->text();
    action->trigger();
  }
  EXPECT_EQ(texts, (QStringList{QString::fromUtf8("0.5\u00D7"), QString::fromUtf8("0.75\u00D7"),
                                QString::fromUtf8("1\u00D7"), QString::fromUtf8("1.25\u00D7"),
                                QString::fromUtf8("1.5\u00D7"), QString::fromUtf8("2\u00D7")}));
  std::vector<int> expected;
  for (uint32_t percent : {50u, 75u, 100u, 125u, 150u, 200u}) {
    expected.push_back(app::SpeedCommand(percent));
    EXPECT_EQ(app::SpeedForCommand(app::SpeedCommand(percent)), percent);
  }
  EXPECT_EQ(commands, expected);
  EXPECT_EQ(app::SpeedForCommand(app::kCmdExit), 0u);
  EXPECT_EQ(app::SpeedCommand(80), 0);

  uint32_t current = 75;
  bar.SetSpeedQuery([&current] { return current; });
  for (uint32_t shown : {75u, 200u}) {
    current = shown;
    emit speeds->aboutToShow();
    QStringList checked;
    for (QAction* action : speeds->actions())
      if (action->isChecked()) checked << action->text();
    EXPECT_EQ(checked, QStringList{QString::fromStdU16String(audio::PlaybackSpeedText(shown))});
  }
}

TEST(Help, PointsAtTheBundledSelfContainedPageAtItsMainContents) {
  const QString path = app::HelpFilePath();
  EXPECT_TRUE(path.endsWith(QStringLiteral("/help/Quillon.htm")));
  EXPECT_EQ(app::HelpUrl(), QUrl::fromLocalFile(path).resolved(QUrl(QStringLiteral("#Main_Contents"))));
  // Self-contained: every link leads to an anchor of the page itself.
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString page = QString::fromUtf8(file.readAll());
  QSet<QString> ids;
  for (const auto& match : QRegularExpression(QStringLiteral("id=\"([^\"]+)\"")).globalMatch(page))
    ids.insert(match.captured(1));
  EXPECT_TRUE(ids.contains(QStringLiteral("Main_Contents")));
  for (const auto& match : QRegularExpression(QStringLiteral("href=\"([^\"]*)\"")).globalMatch(page)) {
    const QString target = match.captured(1);
    EXPECT_TRUE(target.startsWith(QLatin1Char('#')) && ids.contains(target.mid(1))) << target.toStdString();
  }
}

}  // namespace
