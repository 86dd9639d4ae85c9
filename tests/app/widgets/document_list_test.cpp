// The document list on its own. Next/previous through the list, deleting
// the file being recorded and typed keys reaching the window are driven
// through the main window in the controller suite.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTextDocument>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "app/document_list.h"
#include "app/document_list_impl.h"
#include "diag/show_error.h"
#include "support/temp_roots.h"

namespace {

namespace fs = std::filesystem;
using Paths = std::vector<std::u16string>;
using Log = std::vector<std::u16string>;

// Runs the event loop until done() holds; false when a generous deadline
// passes first. Only the outcome is checked, never how long it took.
bool WaitFor(const std::function<bool()>& done) {
  const QDeadlineTimer deadline(20000);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QTest::qWait(10);
  }
  return true;
}

struct Note {
  int code;
  int index;
  std::u16string path;
  bool operator==(const Note&) const = default;
};
using Notes = std::vector<Note>;

std::u16string Docs(const std::u16string& rest) { return u"\\My Documents\\" + rest; }
// A recording in the documents folder's "Quillon" folder.
std::u16string Rec(const std::u16string& file) { return Docs(u"Quillon\\" + file); }

class DocumentListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    diag::SetErrorPresenter([this](void*, const std::u16string& text) {
      errors.push_back(text);
      return diag::kResultOk;
    });
  }
  void TearDown() override { diag::SetErrorPresenter(nullptr); }

  // Writes a file under the documents folder (or the card).
  std::string Doc(const std::string& relative, bool card = false) {
    const std::string host = (card ? roots.Card(u"Storage Card") : roots.Documents()) + "/" + relative;
    fs::create_directories(fs::path(host).parent_path());
    EXPECT_TRUE(testsupport::WriteHostFile(host, "RIFF"));
    return host;
  }
  static Paths Listed(const app::DocumentList& list) {
    Paths paths;
    for (int i = 0; i < list.Count(); ++i) paths.push_back(list.PathAt(i));
    return paths;
  }
  // Notifications, and in `log` their order against the before-change hook.
  void Record(app::DocumentList& list) {
    QObject::connect(&list, &app::DocumentList::Notify, [this](int code, int index, const QString& path) {
      notes.push_back({code, index, path.toStdU16String()});
      log.push_back(u"notify " + path.toStdU16String());
    });
    list.SetBeforeChange([this](const std::u16string& path) { log.push_back(u"before " + path); });
  }

  testsupport::TempRoots roots;  // one card, "Storage Card"
  std::vector<std::u16string> errors;
  Notes notes;
  Log log;
};

// Numbers in names sort by value, letter case aside; the row shows the name
// without its extension.
TEST_F(DocumentListTest, ListsTheWavFilesOfAFolderInNaturalOrder) {
  for (const char* name : {"notes.txt", ".hidden.wav", "back\\slash.wav", "Recording100.wav", "Recording99.wav",
                           "recording00.WAV"})
    Doc(std::string("Quillon/") + name);
  fs::create_directories(roots.Documents() + "/Quillon/folder.wav");
  app::DocumentList list(nullptr, u"Quillon");
  EXPECT_EQ(Listed(list), (Paths{Rec(u"recording00.WAV"), Rec(u"Recording99.wav"), Rec(u"Recording100.wav")}));
  EXPECT_EQ(list.findChild<QTreeWidget*>()->topLevelItem(0)->text(0), QStringLiteral("recording00"));
}

TEST_F(DocumentListTest, AFolderNameListsItsFoldersAnUnknownOneAllFoldersAndAPickIsReported) {
  for (const char* name : {"a.wav", "Quillon/b.wav", "Other/c.wav", "Other/Deep/f.wav"}) Doc(name);
  Doc("Quillon/d.wav", true);
  Doc("e.wav", true);
  const std::u16string card = u"\\Storage Card\\Quillon\\d.wav";
  const Paths all = {Docs(u"a.wav"), Rec(u"b.wav"), Docs(u"Other\\c.wav"), card};
  const struct { std::u16string asked, listed; Paths paths; } cases[] = {
      {u"All Folders", u"All Folders", all},         {u"quillon", u"Quillon", {Rec(u"b.wav")}},
      {u"Other", u"Other", {Docs(u"Other\\c.wav")}}, {u"Storage Card", u"Storage Card", {card}},
      {u"Records", u"All Folders", all}};
  for (const auto& c : cases) {
    app::DocumentList list(nullptr, c.asked);
    EXPECT_EQ(list.Folder(), c.listed);
    EXPECT_EQ(Listed(list), c.paths) << QString::fromStdU16String(c.asked).toStdString();
  }
  app::DocumentList list(nullptr, u"All Folders");
  Record(list);
  auto* chooser = list.findChild<QComboBox*>();
  QStringList entries;
  for (int i = 0; i < chooser->count(); ++i) entries << chooser->itemText(i);
  EXPECT_EQ(entries, (QStringList{"All Folders", "Other", "Quillon", "Storage Card"}));
  // Another folder picked is listed and reported; the same one again is no change.
  QTest::keyClick(chooser, Qt::Key_Down);
  EXPECT_EQ(notes, (Notes{{app::kDocListFolderChanged, -1, u"Other"}}));
  EXPECT_EQ(Listed(list), Paths{Docs(u"Other\\c.wav")});
  emit chooser->activated(chooser->currentIndex());
  EXPECT_EQ(notes.size(), 1u);
}

// The refresh a new recording asks for must not report the file that
// vanished meanwhile, or the recording would stop itself at once.
TEST_F(DocumentListTest, RefreshKeepsTheSelectedFileAndNeverReportsAChange) {
  const std::string gone = Doc("Quillon/A.wav");
  Doc("Quillon/C.wav");
  app::DocumentList list(nullptr, u"Quillon");
  Record(list);
  list.Select(1);
  Doc("Quillon/B.wav");
  fs::remove(gone);
  list.Refresh();
  EXPECT_EQ(Listed(list), (Paths{Rec(u"B.wav"), Rec(u"C.wav")}));
  EXPECT_EQ(list.SelectedPath(), Rec(u"C.wav"));
  // Once the disk watch has caught up with a later file, the vanished one
  // has still not been reported.
  Doc("Quillon/D.wav");
  ASSERT_TRUE(WaitFor([&] { return list.Count() == 3; }));
  EXPECT_TRUE(notes.empty());
}

TEST_F(DocumentListTest, DeleteAsksThenStopsTheFileBeforeDeletingAndReportsTheChange) {
  for (const char* name : {"Quillon/A.wav", "Quillon/B.wav", "Quillon/C.wav"}) Doc(name);
  app::DocumentList list(nullptr, u"Quillon");
  Record(list);
  std::vector<QString> asked;
  bool answer = false;
  list.SetDeleteConfirmation([&](const QString& name) {
    asked.push_back(name);
    return answer;
  });
  list.Select(1);
  EXPECT_FALSE(list.DeleteItem(1));
  EXPECT_TRUE(log.empty()) << "declined: nothing stopped, nothing reported";
  answer = true;
  // The controller's stop refreshes the list; here a new file also shifts the rows.
  list.SetBeforeChange([&](const std::u16string& path) {
    log.push_back(u"before " + path);
    Doc("Quillon/0.wav");
    list.Refresh();
  });
  EXPECT_TRUE(list.DeleteItem(1));
  EXPECT_EQ(asked, (std::vector<QString>{"B", "B"}));
  EXPECT_EQ(Listed(list), (Paths{Rec(u"0.wav"), Rec(u"A.wav"), Rec(u"C.wav")}));
  EXPECT_EQ(log, (Log{u"before " + Rec(u"B.wav"), u"notify " + Rec(u"B.wav")}));
  EXPECT_EQ(notes, (Notes{{app::kDocListChanged, 2, Rec(u"B.wav")}}));
  EXPECT_EQ(list.SelectedPath(), Rec(u"C.wav")) << "the selection passes to the next row";
}

// "Export..." in the context menu and Ctrl+E hand the item's path to the
// controller's hook; without a hook the entry is there, disabled.
TEST_F(DocumentListTest, ExportIsInTheContextMenuAndOnCtrlEForTheSelectedItem) {
  for (const char* name : {"Quillon/A.wav", "Quillon/B.wav"}) Doc(name);
  app::DocumentList list(nullptr, u"Quillon");
  list.resize(240, 150);
  list.show();
  auto* tree = list.findChild<QTreeWidget*>();
  Paths exported;
  // The menu runs a loop of its own: what it shows is looked at, and an entry chosen, from inside it.
  const auto choose = [&](const QString& entry, QStringList* shown) {
    QTimer::singleShot(0, [entry, shown] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      ASSERT_NE(menu, nullptr);
      for (QAction* action : menu->actions()) {
        const QString off = action->isEnabled() ? QString() : QStringLiteral(" (off)");
        *shown << (action->isSeparator() ? QStringLiteral("-") : action->text() + off);
      }
      for (QAction* action : menu->actions())
        if (action->text() == entry && action->isEnabled()) menu->setActiveAction(action);
      // Return chooses the active entry as a user's key does; with none it closes the menu.
      QTest::keyClick(menu, menu->activeAction() != nullptr ? Qt::Key_Return : Qt::Key_Escape);
    });
    emit tree->customContextMenuRequested(tree->visualItemRect(tree->topLevelItem(1)).center());
  };
  QStringList shown;
  choose(QStringLiteral("Export..."), &shown);
  EXPECT_EQ(shown, (QStringList{"Delete", "Rename", "-", "Export... (off)"}));
  EXPECT_FALSE(list.ExportItem(0));

  list.SetExportHook([&](const std::u16string& path) { exported.push_back(path); });
  shown.clear();
  choose(QStringLiteral("Export..."), &shown);
  EXPECT_EQ(shown, (QStringList{"Delete", "Rename", "-", "Export..."}));
  EXPECT_EQ(exported, Paths{Rec(u"B.wav")});
  list.Select(0);
  QTest::keyClick(tree, Qt::Key_E, Qt::ControlModifier);
  QTest::keyClick(tree, Qt::Key_E);  // a plain E is no export
  ASSERT_TRUE(WaitFor([&] { return exported.size() == 2; }));
  EXPECT_EQ(exported, (Paths{Rec(u"B.wav"), Rec(u"A.wav")}));
}

// Typed in place, the new name's keys are not passed on as key actions.
TEST_F(DocumentListTest, RenameRefusesBadNamesAndRenamesOnDiskKeepingTheExtension) {
  Doc("Quillon/Recording00.wav");
  Doc("Quillon/Recording01.WAV");
  app::DocumentList list(nullptr, u"Quillon");
  Record(list);
  const struct { const char* name; std::u16string message; } refused[] = {
      {"  .wav ", u"Type a name for the recording."},
      {".hidden", u"A name cannot start with a dot: the recording would be hidden."},
      {"..", u"A name cannot start with a dot: the recording would be hidden."},
      {"a\\b", u"A name cannot contain \\ or / or control characters."},
      {"RECORDING00", u"A recording named \"RECORDING00\" already exists in this folder."}};
  for (const auto& c : refused) {
    errors.clear();
    EXPECT_FALSE(list.RenameItem(1, QString::fromLatin1(c.name))) << c.name;
    EXPECT_EQ(errors, std::vector<std::u16string>{c.message}) << c.name;
  }
  EXPECT_TRUE(list.RenameItem(0, QStringLiteral("Recording00"))) << "same name: nothing to do";
  EXPECT_TRUE(log.empty());
  list.Select(1);
  EXPECT_TRUE(list.RenameItem(1, QStringLiteral(" Interview.wav ")));
  EXPECT_TRUE(fs::exists(roots.Documents() + "/Quillon/Interview.WAV"));
  EXPECT_EQ(log, (Log{u"before " + Rec(u"Recording01.WAV"), u"notify " + Rec(u"Recording01.WAV")}));
  EXPECT_EQ(notes, (Notes{{app::kDocListChanged, 1, Rec(u"Recording01.WAV")}}));
  EXPECT_EQ(list.SelectedPath(), Rec(u"Interview.WAV"));
  EXPECT_TRUE(list.RenameItem(0, QStringLiteral("INTERVIEW"))) << "a file may change its own letter case";
  EXPECT_EQ(list.PathAt(0), Rec(u"INTERVIEW.WAV"));
  list.show();
  int forwarded = 0;
  list.SetKeyForward([&](QKeyEvent*) { ++forwarded; });
  auto* tree = list.findChild<QTreeWidget*>();
  tree->editItem(tree->topLevelItem(1), 0);
  auto* editor = tree->viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->selectAll();
  QTest::keyClicks(editor, QStringLiteral("Memo"));
  QTest::keyClick(editor, Qt::Key_Return);
  ASSERT_TRUE(WaitFor([&] { return list.PathAt(1) == Rec(u"Memo.wav"); }));
  EXPECT_EQ(forwarded, 0);
}

TEST_F(DocumentListTest, FollowsFilesThatOtherProgramsAddRemoveAndRename) {
  const std::string a = Doc("Quillon/A.wav"), b = Doc("Quillon/B.wav");
  app::DocumentList list(nullptr, u"All Folders");
  Record(list);
  list.Select(1);
  Doc("Quillon/C.wav");
  Doc("Quillon/D.wav", true);  // the card's recording folder appears too
  ASSERT_TRUE(WaitFor([&] { return list.Count() == 4; }));
  EXPECT_TRUE(notes.empty()) << "new files are no change to an item";
  fs::remove(a);
  ASSERT_TRUE(WaitFor([&] { return !notes.empty(); }));
  EXPECT_EQ(notes, (Notes{{app::kDocListChanged, 0, Rec(u"A.wav")}}));
  EXPECT_EQ(list.SelectedPath(), Rec(u"B.wav")) << "the selection stays on its file";
  notes.clear();
  fs::rename(b, roots.Documents() + "/Quillon/E.wav");
  ASSERT_TRUE(WaitFor([&] { return list.PathAt(2) == Rec(u"E.wav"); }));
  EXPECT_EQ(notes, (Notes{{app::kDocListChanged, 0, Rec(u"B.wav")}}));
}

// A tap plays an item; a desktop double click must not play it and pause it
// at once, with or without a second press before the double-click event.
TEST_F(DocumentListTest, ATapActivatesOnceAndADoubleClickToo) {
  for (const char* name : {"Quillon/A.wav", "Quillon/B.wav"}) Doc(name);
  app::DocumentList list(nullptr, u"Quillon");
  list.show();
  Record(list);
  int penDowns = 0;
  list.SetPenDownHook([&] { ++penDowns; });
  auto* tree = list.findChild<QTreeWidget*>();
  QWidget* viewport = tree->viewport();
  const QPoint a = tree->visualItemRect(tree->topLevelItem(0)).center();
  const QPoint b = tree->visualItemRect(tree->topLevelItem(1)).center();
  QTest::mouseClick(viewport, Qt::LeftButton, {}, b);
  EXPECT_EQ(notes, (Notes{{app::kDocListActivated, 1, Rec(u"B.wav")}}));
  EXPECT_EQ(penDowns, 1);
  for (const bool secondPress : {false, true}) {
    notes.clear();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, a);
    if (secondPress) QTest::mousePress(viewport, Qt::LeftButton, {}, a);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, a);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, a);
    EXPECT_EQ(notes, (Notes{{app::kDocListActivated, 0, Rec(u"A.wav")}})) << secondPress;
  }
  notes.clear();
  QTest::mousePress(viewport, Qt::LeftButton, {}, a);
  QTest::mouseRelease(viewport, Qt::LeftButton, {}, b);
  EXPECT_TRUE(notes.empty()) << "sliding off the item activates nothing";
}

}  // namespace

namespace {

// Names that look like markup are shown as the characters they are: in the
// row, in its tool tip and in the delete question, whose box stays on the
// screen however large the name says it is.
TEST_F(DocumentListTest, NamesLikeMarkupAreShownAsTheyAre) {
  const std::string link = "<a href=https:evil.example>CLICK ME";
  const std::string image = "<img src=x width=30000 height=30000>";
  Doc("Quillon/" + link + ".wav");
  Doc("Quillon/" + image + ".wav");
  app::DocumentList list(nullptr, u"Quillon");
  ASSERT_EQ(list.Count(), 2);
  auto* tree = list.findChild<QTreeWidget*>();
  for (int row = 0; row < 2; ++row) {
    const QString name = list.DisplayNameAt(row);
    EXPECT_TRUE(name.toStdString() == link || name.toStdString() == image) << name.toStdString();
    EXPECT_EQ(tree->topLevelItem(row)->text(0), name);
    QTextDocument tip;
    tip.setHtml(tree->topLevelItem(row)->toolTip(0));
    EXPECT_EQ(tip.toPlainText().toStdU16String(), list.PathAt(row));

    std::unique_ptr<QMessageBox> box = app::DeleteQuestion(&list, name);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_TRUE(box->text().contains(name));
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    EXPECT_LE(box->sizeHint().width(), screen.width());
    EXPECT_LE(box->sizeHint().height(), screen.height());
  }
}

}  // namespace
