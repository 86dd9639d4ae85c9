// Texts made from names, paths and the system's words are shown as they
// are: never as markup, and never larger than the screen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>

#include "view/error_box.h"
#include "view/hardware_buttons.h"

namespace {

// A file name is the part a hostile user chooses in each of these.
const QString kLink = QStringLiteral("<a href=https:evil.example>CLICK ME.wav");
const QString kImage = QStringLiteral("<img src=x width=30000 height=30000>.wav");

QLabel* TextLabel(QMessageBox& box) { return box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label")); }

TEST(PlainText, AnErrorBoxShowsMarkupInANameAsTheCharactersItIsMadeOf) {
  for (const QString& name : {kLink, kImage, QStringLiteral("<b>bold</b> &amp; %n $(id).wav")}) {
    const QString text = QStringLiteral("IAudioStream::Open(): failed.\n\n") + name;
    auto box = view::ErrorBox::Make(nullptr, text);
    QLabel* label = TextLabel(*box);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->textFormat(), Qt::PlainText) << name.toStdString();
    EXPECT_EQ(label->text(), text);
    EXPECT_FALSE(box->textInteractionFlags() & Qt::LinksAccessibleByMouse);
  }
}

// However long the name or however many its lines, the box and its button
// stay on the screen, and the box keeps its first and last words.
TEST(PlainText, AnErrorBoxFitsOnTheScreenWhateverTheName) {
  const QRect screen = QApplication::primaryScreen()->availableGeometry();
  const QString cases[] = {
      kImage,
      QStringLiteral("IAudioStream::Open(): failed.\n\n") + QString(4000, QLatin1Char('W')) + QStringLiteral(".wav"),
      QStringLiteral("Wrong file format.\n") + QStringLiteral("line\n").repeated(2000) + QStringLiteral("the end"),
      QString::fromUtf16(u"\U0001F600").repeated(1500),
  };
  for (const QString& text : cases) {
    auto box = view::ErrorBox::Make(nullptr, text);
    box->show();
    QApplication::processEvents();
    EXPECT_LE(box->frameGeometry().width(), screen.width()) << text.left(40).toStdString();
    EXPECT_LE(box->frameGeometry().height(), screen.height()) << text.left(40).toStdString();
    const QString shown = TextLabel(*box)->text();
    EXPECT_TRUE(shown.startsWith(text.left(10))) << text.left(40).toStdString();
    EXPECT_TRUE(shown.endsWith(text.right(6))) << text.left(40).toStdString();
    for (const QString& line : shown.split(u'\n')) {
      EXPECT_LE(line.size(), view::ErrorBox::kMaxLineChars);
    }
    EXPECT_LE(shown.count(u'\n') + 1, view::ErrorBox::kMaxLines);
    EXPECT_FALSE(shown.contains(QChar(0xFFFD))) << "a surrogate pair was split";
    box->close();
  }
  // A text that fits is shown unchanged; a long line breaks at a space.
  const QFontMetrics metrics(QApplication::font());
  EXPECT_EQ(view::ErrorBox::Fitted(QStringLiteral("CreateThread(): failed.\n\nCannot allocate memory"), metrics,
                                   QSize(400, 300)),
            QStringLiteral("CreateThread(): failed.\n\nCannot allocate memory"));
  const QString words = QStringLiteral("word ").repeated(30).trimmed();
  const QStringList broken = view::ErrorBox::Fitted(words, metrics, QSize(400, 300)).split(u'\n');
  ASSERT_GT(broken.size(), 1);
  EXPECT_TRUE(broken.first().endsWith(QStringLiteral("word"))) << broken.first().toStdString();
  EXPECT_EQ(broken.join(u' '), words);
}

// The box breaks a long message once, into lines its label shows whole: the
// label must not break them again, leaving a word alone on a line.
TEST(PlainText, AnErrorBoxsLinesAreNotBrokenAgainByItsLabel) {
  const QString cases[] = {
      QStringLiteral("The default device to record from disappeared. The recording stopped; it holds everything "
                     "up to that moment."),
      QStringLiteral("\"USB Headset Mono\", the device to record from, is not connected. Connect it, or choose "
                     "another one on the Audio page of the settings."),
      QStringLiteral("IAudioStream::Open(): failed.\n\n") + QString(300, QLatin1Char('W')),
  };
  for (const QString& text : cases) {
    auto box = view::ErrorBox::Make(nullptr, text);
    box->show();
    QApplication::processEvents();
    QLabel* label = TextLabel(*box);
    ASSERT_NE(label, nullptr);
    // As tall at its width as with room without end: it breaks no line.
    EXPECT_EQ(label->heightForWidth(label->width()), label->heightForWidth(100000)) << text.left(40).toStdString();
    EXPECT_GT(label->text().count(u'\n'), 0) << "broken by the box";
    box->close();
  }
}

// A value outside the tables has no name: never the name an earlier call
// left in the buffer.
TEST(PlainText, ANameOutsideTheTablesIsEmptyNotTheLastOneShown) {
  EXPECT_EQ(std::u16string(view::ButtonActionName(1)), u"Record/Pause");
  EXPECT_EQ(std::u16string(view::ButtonActionName(view::kButtonActionCount)), u"");
  EXPECT_EQ(std::u16string(view::ButtonActionName(0xFFFFFFFFu)), u"");
  EXPECT_EQ(std::u16string(view::HardwareKeyName(view::kKeyRecord)), u"Record");
  EXPECT_EQ(std::u16string(view::HardwareKeyName(12345)), u"");
  EXPECT_EQ(std::u16string(view::ButtonActionName(view::kButtonActionCount - 1)), u"Faster");
}

}  // namespace
