#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include <QAction>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QToolButton>

#include "app/help.h"
#include "app/menu_bar.h"
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
  ASSERT_TRUE(bar.IsValid());
  std::vector<int> commands;
  QObject::connect(&bar, &app::MenuBar::Command, [&](int id) { commands.push_back(id); });

  const QRect tools = bar.ToolsRect();
  EXPECT_TRUE(bar.rect().contains(tools));
  int left = tools.right();
  const char* tips[] = {"File Explorer", "Voice Activation System (VAS)", "Display Off", "Switch Play Mode"};
  for (size_t i = 0; i < std::size(kTools); ++i) {
    const QRect rect = bar.ButtonRect(kTools[i]);
    EXPECT_TRUE(bar.rect().contains(rect)) << kTools[i];
    EXPECT_GT(rect.left(), left) << "left to right in bar order";
    left = rect.right();
    QToolButton* button = ButtonAt(bar, kTools[i]);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->toolTip(), QString::fromLatin1(tips[i]));
    EXPECT_EQ(bar.ButtonImage(kTools[i]), static_cast<int>(i));
  }

  for (const int id : kTools) {
    const bool checkable = id == app::kCmdFileExplorer || id == app::kCmdVas;
    bar.CheckButton(id, true);
    EXPECT_EQ(bar.IsChecked(id), checkable) << id;
    QTest::mouseClick(ButtonAt(bar, id), Qt::LeftButton);
    EXPECT_EQ(bar.IsChecked(id), checkable) << "a click only reports " << id;
    bar.CheckButton(id, false);
    QTest::keyClick(ButtonAt(bar, id), Qt::Key_Space);
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
  EXPECT_FALSE(bar.IsChecked(12345));
  EXPECT_EQ(bar.ButtonImage(12345), -1);
  EXPECT_TRUE(bar.ButtonRect(12345).isNull());
}

// Largest colour difference of the strip image's opaque pixels against the
// bar's pixels, at the best placement inside the button.
int IconDifference(const QImage& bar, const QRect& button, const QImage& strip, int image) {
  int best = 255;
  for (int oy = 0; oy + 16 <= button.height(); ++oy) {
    for (int ox = 0; ox + 16 <= button.width(); ++ox) {
      int worst = 0;
      for (int y = 0; y < 16 && worst < best; ++y) {
        for (int x = 0; x < 16; ++x) {
          const QRgb want = strip.pixel(image * 16 + x, y);
          if (want == view::kTransparentMagenta) continue;
          const QRgb got = bar.pixel(button.left() + ox + x, button.top() + oy + y);
          worst = std::max({worst, std::abs(qRed(want) - qRed(got)), std::abs(qGreen(want) - qGreen(got)),
                            std::abs(qBlue(want) - qBlue(got))});
        }
      }
      best = std::min(best, worst);
    }
  }
  return best;
}

TEST(MenuBar, ShowsStripImagesPixelForPixelAndSwitchesThem) {
  app::MenuBar bar(nullptr);
  bar.resize(240, app::MenuBar::kHeight);
  QImage strip;
  ASSERT_TRUE(view::LoadSkinImage(app::MenuBar::kToolStripImage, &strip));
  for (const int image : {6, 3}) {
    bar.SetButtonImage(app::kCmdSwitchPlayMode, image);
    EXPECT_EQ(bar.ButtonImage(app::kCmdSwitchPlayMode), image);
    const QImage shot = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect button = bar.ButtonRect(app::kCmdSwitchPlayMode);
    EXPECT_LE(IconDifference(shot, button, strip, image), 8) << image;
    EXPECT_GT(IconDifference(shot, button, strip, image == 6 ? 3 : 6), 8) << "the other image is not shown";
  }
  for (const int invalid : {-1, app::MenuBar::kToolStripImages}) {
    bar.SetButtonImage(app::kCmdSwitchPlayMode, invalid);
    EXPECT_EQ(bar.ButtonImage(app::kCmdSwitchPlayMode), 3);
  }
}

TEST(MenuBar, IsInvalidWithoutItsToolStrip) {
  const auto empty = std::filesystem::temp_directory_path() / "quillon-no-images";
  std::filesystem::create_directories(empty);
  view::SetSkinImageFolder(QString::fromStdString(empty.string()));
  {
    app::MenuBar bar(nullptr);
    EXPECT_FALSE(bar.IsValid());
    bar.SetButtonImage(app::kCmdVas, 2);
    EXPECT_EQ(bar.ButtonImage(app::kCmdVas), 2);
  }
  view::SetSkinImageFolder(QString());
  std::filesystem::remove_all(empty);
}

TEST(Help, PointsAtTheBundledSelfContainedPageAtItsMainContents) {
  const QString path = app::HelpFilePath();
  ASSERT_FALSE(path.isEmpty());
  EXPECT_TRUE(path.endsWith(QStringLiteral("/help/Quillon.htm")));
  const QUrl url = app::HelpUrl();
  EXPECT_TRUE(url.isLocalFile());
  EXPECT_EQ(url.toLocalFile(), path);
  EXPECT_EQ(url.fragment(), QStringLiteral("Main_Contents"));

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
