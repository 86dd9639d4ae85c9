#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include <QAction>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "app/help.h"
#include "app/menu_bar.h"
#include "support/pixel_match.h"
#include "view/image_list.h"
#include "view/skin_images.h"

namespace {

constexpr int kTools[] = {app::kCmdFileExplorer, app::kCmdVas, app::kCmdDisplayOff, app::kCmdSwitchPlayMode};

QToolButton* ButtonAt(app::MenuBar& bar, int command) {
  return qobject_cast<QToolButton*>(bar.childAt(bar.ButtonRect(command).center()));
}

TEST(MenuBar, MenuAndToolButtonsSendTheirCommandsAndLeaveTheCheckToTheController) {
  app::MenuBar bar(nullptr);
  bar.resize(240, app::MenuBar::kHeight);
  bar.show();
  std::vector<int> commands;
  QObject::connect(&bar, &app::MenuBar::Command, [&](int id) { commands.push_back(id); });
  const char* tips[] = {"File Explorer", "Voice Activation System (VAS)", "Display Off", "Switch Play Mode"};
  int left = bar.ToolsRect().right();
  for (size_t i = 0; i < std::size(kTools); ++i) {
    const int id = kTools[i];
    QToolButton* button = ButtonAt(bar, id);
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(bar.rect().contains(button->geometry()) && button->x() > left) << "left to right in the bar";
    left = button->geometry().right();
    EXPECT_EQ(button->toolTip(), QString::fromLatin1(tips[i]));
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
  EXPECT_EQ(texts, (QStringList{"About...", "-", "Help...", "Settings...", "-", "Exit"}));
  EXPECT_EQ(commands, (std::vector<int>{app::kCmdAbout, app::kCmdHelp, app::kCmdSettings, app::kCmdExit}));
}

// Pixels of strip image `image` that the bar does not show (by the one pixel
// rule), at the best placement inside the button; magenta is transparent.
int IconMismatches(const QImage& bar, const QRect& button, const QImage& strip, int image) {
  int best = 256;
  for (int oy = 0; oy + 16 <= button.height(); ++oy)
    for (int ox = 0; ox + 16 <= button.width(); ++ox) {
      int off = 0;
      for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
          const QRgb want = strip.pixel(image * 16 + x, y);
          const QRgb got = bar.pixel(button.left() + ox + x, button.top() + oy + y);
          off += want != view::kTransparentMagenta && !testsupport::PixelsClose(want | 0xFF000000u, got);
        }
      best = std::min(best, off);
    }
  return best;
}

// Without its strip the bar is unusable, and the controller refuses to start.
TEST(MenuBar, ShowsTheChosenStripImageAndIsInvalidWithoutTheStrip) {
  app::MenuBar bar(nullptr);
  bar.resize(240, app::MenuBar::kHeight);
  QImage strip;
  ASSERT_TRUE(view::LoadSkinImage(app::MenuBar::kToolStripImage, &strip));
  for (const int image : {6, 3, -1, app::MenuBar::kToolStripImages}) {
    bar.SetButtonImage(app::kCmdSwitchPlayMode, image);
    const int shown = image == 6 ? 6 : 3;  // an image outside the strip changes nothing
    EXPECT_EQ(bar.ButtonImage(app::kCmdSwitchPlayMode), shown);
    const QImage shot = bar.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QRect button = bar.ButtonRect(app::kCmdSwitchPlayMode);
    EXPECT_EQ(IconMismatches(shot, button, strip, shown), 0) << image;
    EXPECT_GT(IconMismatches(shot, button, strip, 9 - shown), 8) << "the other image is not shown";
  }
  QTemporaryDir empty;
  view::SetSkinImageFolder(empty.path());
  EXPECT_FALSE(app::MenuBar(nullptr).IsValid());
  view::SetSkinImageFolder(QString());
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
  for (const char* external : {"src=", "url(", "@import", "<link", "<script"})
    EXPECT_FALSE(page.contains(QLatin1String(external))) << external;

  for (const char* words :
       {"About...", "Help...", "Settings...", "Exit", "File Explorer", "Voice Activation System (VAS)",
        "Display Off", "Switch Play Mode", "Play the list once", "Repeat the list", "Play one file",
        "Repeat one file", "Save new recording to:", "Set Button Assignment:", "Input sound stream",
        "LED blinks while recording"})
    EXPECT_TRUE(page.contains(QLatin1String(words))) << words;
}

}  // namespace
