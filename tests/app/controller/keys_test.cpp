// Hardware keys through the main window as Qt delivers them: each default
// binding, the volume steps, held application buttons, keys typed in the
// document list, and the single-instance handshake.
#include <filesystem>

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QWindow>

#include <unistd.h>

#include "app/single_instance.h"
#include "sheet/sheet_dialog.h"
#include "app_fixture.h"
#include "view/child_modal.h"
#include "view/hardware_buttons.h"
#include "view/skin_view_widget.h"

namespace apptest {
namespace {

namespace fs = std::filesystem;
using audio::WaveDirection;

class KeysTest : public AppTest {
 public:
  void StartWithFiles() {
    for (const char* name : {"A.wav", "B.wav"}) WriteWav(InDocuments(name), 8192, NumberedSamples(8000 * 4));
    Start();
    view::GrabApplicationKeys(window_.get());
  }
  // A key as the keyboard sends it to `target` (the window by default).
  void Key(QEvent::Type type, int key, bool repeat = false, QWidget* target = nullptr) {
    QKeyEvent event(type, key, Qt::NoModifier, QString(), repeat);
    QCoreApplication::sendEvent(target != nullptr ? target : window_.get(), &event);
    Pump();
  }
  void Click(int key, QWidget* target = nullptr) {
    Key(QEvent::KeyPress, key, false, target);
    Key(QEvent::KeyRelease, key, false, target);
  }
  int Volume() { return V().SliderPercent(view::kVolumeSlider); }
};

TEST_F(KeysTest, EveryDefaultBindingDoesWhatItsButtonWould) {
  StartWithFiles();
  const int start = Volume();
  Click(Qt::Key_Down);
  EXPECT_EQ(Volume(), start - 5);
  Click(Qt::Key_Up);
  EXPECT_EQ(Volume(), start);

  Click(Qt::Key_F1);  // Notes: Record/Pause
  EXPECT_EQ(audio::RecordingActive, 1);
  StepBuffers(5);
  Click(Qt::Key_Return);  // Play/Pause stops the recording and plays
  EXPECT_EQ(T().AudioIO.Direction, WaveDirection::Output);
  EXPECT_EQ(audio::RecordingActive, 0);
  Key(QEvent::KeyPress, Qt::Key_Left);  // Rewind, held
  EXPECT_EQ(T().AudioIO.ScanMode, audio::ScanBackward);
  Key(QEvent::KeyRelease, Qt::Key_Left);
  EXPECT_EQ(T().AudioIO.ScanMode, audio::ScanNone);

  const int listed = List().Count();
  ASSERT_EQ(listed, 3);
  T().ListIndex = 0;
  Click(Qt::Key_F4);  // Task: Next Track
  EXPECT_EQ(T().ListIndex, 1);
  Click(Qt::Key_F3);  // Calendar: Prev track
  EXPECT_EQ(T().ListIndex, 0);
  Click(Qt::Key_F2);  // Contacts: Stop
  EXPECT_EQ(T().AudioIO.Direction, WaveDirection::None);
  Click(Qt::Key_F5);  // Record: Record/Pause
  EXPECT_EQ(audio::RecordingActive, 1);
  Click(Qt::Key_MediaRecord);  // the same button: pauses
  EXPECT_EQ(T().AudioIO.Paused, 1);

  // Keys outside the table, and bound keys whose button is disabled, do nothing.
  Click(Qt::Key_A);
  Click(Qt::Key_Right);  // Forward is disabled while recording
  EXPECT_EQ(T().AudioIO.Direction, WaveDirection::Input);
  EXPECT_EQ(T().AudioIO.Paused, 1);
  EXPECT_TRUE(errors_.empty());
}

TEST_F(KeysTest, VolumeStepsStopAtTheEndsAndLeaveTheIconBetweenLevels) {
  Start();
  struct Case {
    int from;
    int key;
    int to;
    int icon;  // -1: the icon drawn before stays
  };
  for (const Case& c : {Case{100, Qt::Key_Up, 100, 3}, Case{3, Qt::Key_Down, 0, 0}, Case{38, Qt::Key_Down, 33, -1},
                        Case{62, Qt::Key_Up, 67, 3}, Case{30, Qt::Key_Up, 35, 2}}) {
    V().SetSliderPercent(view::kVolumeSlider, c.from);
    V().ShowVolumeIcon(1);
    Click(c.key);
    EXPECT_EQ(Volume(), c.to);
    EXPECT_EQ(V().ShownVolumeIcon(), c.icon < 0 ? 1 : c.icon) << c.from;
  }
  EXPECT_EQ(device_->Captures().size(), 0u) << "nothing plays: the device is not touched";
}

TEST_F(KeysTest, AHeldApplicationButtonActsOnceOnRelease) {
  Start();
  view::GrabApplicationKeys(window_.get());
  Key(QEvent::KeyPress, Qt::Key_F1);
  for (int i = 0; i < 3; ++i) {
    Key(QEvent::KeyRelease, Qt::Key_F1, true);
    Key(QEvent::KeyPress, Qt::Key_F1, true);
  }
  EXPECT_EQ(audio::RecordingActive, 0) << "Record/Pause acts on release";
  Key(QEvent::KeyRelease, Qt::Key_F1);
  EXPECT_EQ(audio::RecordingActive, 1);
  EXPECT_EQ(T().AudioIO.Paused, 0);
  EXPECT_TRUE(fs::exists(InDocuments("Recording00.wav")));
  EXPECT_FALSE(fs::exists(InDocuments("Recording01.wav")));
  // A release whose press went elsewhere is no press.
  Key(QEvent::KeyRelease, Qt::Key_F1);
  EXPECT_EQ(T().AudioIO.Paused, 0);
}

TEST_F(KeysTest, KeysTypedInTheListActAsOnTheWindow) {
  StartWithFiles();
  auto* list = List().findChild<QAbstractItemView*>();
  ASSERT_NE(list, nullptr);
  const int start = Volume();
  Click(Qt::Key_Down, list);
  EXPECT_EQ(Volume(), start - 5);
  EXPECT_EQ(C().KeyOrigin, 1);
  Click(Qt::Key_Return, list);  // the list's activation: plays the selected file once
  EXPECT_EQ(T().AudioIO.Direction, WaveDirection::Output);
  EXPECT_EQ(T().AudioIO.Paused, 0);

  // Return on an item is a key, not a tap, even after the pen was there:
  // with Play disabled its activation is refused.
  C().KeyOrigin = 0;
  T().Stop(1);
  V().EnableButton(view::kPlayButton, false);
  Click(Qt::Key_Return, list);
  EXPECT_EQ(C().KeyOrigin, 1);
  EXPECT_EQ(T().AudioIO.Direction, WaveDirection::None);

  // A focused tool button (reached with Tab) lets the bound arrows act.
  auto* tool = C().Bar->findChild<QToolButton*>(QStringLiteral("QuillonTool%1").arg(app::kCmdDisplayOff));
  ASSERT_NE(tool, nullptr);
  tool->setFocus();
  const int before = Volume();
  Click(Qt::Key_Down, tool);
  EXPECT_EQ(Volume(), before - 5);
  EXPECT_TRUE(tool->hasFocus());
}

// The sheet lies inside the main window over all of it and is modal to it:
// what lies under it takes neither the keyboard nor the application buttons
// until it closes; then everything is back, the keyboard where it was.
TEST_F(KeysTest, TheSheetCoversTheWindowAndKeepsItsKeysUntilItCloses) {
  StartWithFiles();
  window_->Skin()->setFocus();
  const int volume = Volume();
  bool seen = false;
  QTimer::singleShot(0, [&] {
    auto* sheet = qobject_cast<sheet::SettingsSheet*>(view::ActiveModalWidget());
    if (sheet == nullptr) return;
    seen = true;
    EXPECT_EQ(sheet->parentWidget(), window_.get());
    EXPECT_EQ(sheet->geometry(), window_->rect());
    EXPECT_EQ(view::ChildModalOf(window_.get()), sheet);
    EXPECT_FALSE(window_->Skin()->isEnabled());
    EXPECT_FALSE(C().Bar->isEnabled());
    EXPECT_TRUE(sheet->isAncestorOf(QApplication::focusWidget()));
    // Down on the tabs is not theirs, nor the sheet's: it stops there. F1
    // (Record) is the sheet's while it shows.
    sheet->TabBar()->setFocus();
    QTest::keyClick(window_->windowHandle(), Qt::Key_Down);
    QTest::keyClick(window_->windowHandle(), Qt::Key_F1);
    Pump();
    EXPECT_EQ(Volume(), volume);
    EXPECT_EQ(audio::RecordingActive, 0);
    sheet->OkButton()->click();
  });
  C().OnCommand(app::kCmdSettings);
  ASSERT_TRUE(seen) << "no sheet";
  EXPECT_EQ(view::ActiveModalWidget(), nullptr);
  EXPECT_TRUE(window_->Skin()->isEnabled());
  EXPECT_TRUE(C().Bar->isEnabled());
  EXPECT_TRUE(window_->Skin()->hasFocus());
  EXPECT_EQ(view::ApplicationKeysOwner(), window_.get());
  QTest::keyClick(window_->windowHandle(), Qt::Key_Down);
  EXPECT_EQ(Volume(), volume - 5);
  QTest::keyClick(window_->windowHandle(), Qt::Key_F1);
  Pump();
  EXPECT_EQ(audio::RecordingActive, 1);
  T().Stop(1);
}

// A release acts only where its press went: the Return that closes the
// sheet, commits a name or dismisses a box is that window's, not Play/Pause.
TEST_F(KeysTest, AReleaseWhosePressWentElsewhereDoesNothing) {
  StartWithFiles();
  Click(Qt::Key_F1);
  ASSERT_EQ(audio::RecordingActive, 1);
  // Tools > Settings..., Return closes it; the release lands on the window.
  QTimer::singleShot(0, [] {
    QWidget* sheet = view::ActiveModalWidget();
    if (sheet == nullptr) return;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(sheet, &press);
  });
  C().OnCommand(app::kCmdSettings);
  ASSERT_EQ(view::ActiveModalWidget(), nullptr) << "Return closed the sheet";
  Key(QEvent::KeyRelease, Qt::Key_Return);
  EXPECT_EQ(audio::RecordingActive, 1);
  EXPECT_EQ(T().AudioIO.Direction, WaveDirection::Input);

  // A name typed in the list and committed with Enter.
  auto* tree = List().findChild<QTreeWidget*>();
  tree->editItem(tree->topLevelItem(0), 0);
  Pump();
  auto* editor = tree->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  editor->setText(QStringLiteral("Renamed"));
  Key(QEvent::KeyPress, Qt::Key_Enter, false, editor);
  Key(QEvent::KeyRelease, Qt::Key_Enter, false, tree);
  EXPECT_TRUE(fs::exists(InDocuments("Renamed.wav")));
  EXPECT_EQ(audio::RecordingActive, 1);
  EXPECT_EQ(T().AudioIO.Direction, WaveDirection::Input);
  // Pressed here, its release acts.
  Click(Qt::Key_Return);
  EXPECT_EQ(audio::RecordingActive, 0);
}

// A held key acts once per real press, however the window system sends its
// repeats: as presses only (X11 with detectable auto-repeat) or as marked
// release/press pairs (Wayland, X11 when Qt sees the pair).
TEST_F(KeysTest, AHeldKeyActsOncePerPressAtTheWindow) {
  for (const char* name : {"A.wav", "B.wav", "C.wav", "D.wav"}) WriteWav(InDocuments(name), 8192, NumberedSamples(8000));
  Start();
  view::GrabApplicationKeys(window_.get());
  QWindow* window = window_->windowHandle();
  ASSERT_NE(window, nullptr);
  auto send = [&](bool press, int key, bool repeat) {
    QTest::simulateEvent(window, press, key, Qt::NoModifier, QString(), repeat);
    Pump();
  };
  T().ListIndex = 0;
  for (const bool marked : {false, true}) {
    SCOPED_TRACE(marked);
    const int from = T().ListIndex;
    send(true, Qt::Key_F4, false);  // Task: Next Track
    for (int i = 0; i < 5; ++i) {
      if (marked) send(false, Qt::Key_F4, true);
      send(true, Qt::Key_F4, marked);
    }
    send(false, Qt::Key_F4, false);
    EXPECT_EQ(T().ListIndex, from + 1);
  }
  // Return held in the list plays its item once, and its release stays the list's.
  T().Stop(1);
  auto* tree = List().findChild<QTreeWidget*>();
  tree->setFocus();
  const int opens = device_->OutputOpens();
  send(true, Qt::Key_Return, false);
  for (int i = 0; i < 5; ++i) send(true, Qt::Key_Return, false);
  send(false, Qt::Key_Return, false);
  EXPECT_EQ(device_->OutputOpens(), opens + 1);
  EXPECT_EQ(T().AudioIO.Paused, 0);
  EXPECT_TRUE(T().AudioIO.IsPlaying());
}

// Another window taking over gets the application buttons; coming back
// takes them back and gives the focus to the control that had it.
TEST_F(KeysTest, ActivationHandsTheButtonsOverAndBringsTheFocusBack) {
  StartWithFiles();
  auto* list = List().findChild<QAbstractItemView*>();
  ASSERT_NE(list, nullptr);
  window_->activateWindow();
  ASSERT_TRUE(WaitFor([&] { return window_->isActiveWindow(); }));
  EXPECT_EQ(view::ApplicationKeysOwner(), window_.get());
  list->setFocus();
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(WaitFor([&] { return other.isActiveWindow(); }));
  EXPECT_EQ(view::ApplicationKeysOwner(), &other);
  window_->activateWindow();
  ASSERT_TRUE(WaitFor([&] { return window_->isActiveWindow(); }));
  EXPECT_EQ(view::ApplicationKeysOwner(), window_.get());
  EXPECT_EQ(QApplication::focusWidget(), list);
}

// The lock decides who runs, in a folder that must be the user's own; the
// socket beside it only carries the request to come forward.
TEST(SingleInstanceTest, TheLockDecidesWhoRunsAndOnlyAPrivateFolderIsUsed) {
  QTemporaryDir dir;
  const QString folder = dir.filePath(QStringLiteral("private"));
  ASSERT_TRUE(QDir().mkdir(folder));
  ASSERT_TRUE(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
  // A file left where the socket goes (a crashed copy's, say) locks nobody out.
  testsupport::WriteHostFile(QDir(folder).filePath(QStringLiteral("quillon.socket")).toStdString(), "");

  auto first = std::make_unique<app::SingleInstance>(folder);
  ASSERT_EQ(first->Claim(), app::SingleInstance::Role::First);
  QSignalSpy raised(first.get(), &app::SingleInstance::ActivationRequested);
  // Claimed at the same moment as the first: the lock is held, so it is second.
  app::SingleInstance second(folder);
  EXPECT_EQ(second.Claim(QStringLiteral("token-42")), app::SingleInstance::Role::Second);
  ASSERT_TRUE(raised.wait(10000));
  EXPECT_EQ(raised.first().first().toString(), QStringLiteral("token-42"));

  // The first copy gone (even without tidying up), the next one runs.
  first.reset();
  app::SingleInstance third(folder);
  EXPECT_EQ(third.Claim(), app::SingleInstance::Role::First);

  // A folder others may enter, or a link to one, is never used.
  const QString open = dir.filePath(QStringLiteral("open"));
  ASSERT_TRUE(QDir().mkdir(open));
  QFile::setPermissions(open, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                  QFileDevice::ReadOther | QFileDevice::ExeOther);
  const QString link = dir.filePath(QStringLiteral("link"));
  ASSERT_TRUE(QFile::link(folder, link));
  EXPECT_TRUE(app::SingleInstance::IsPrivateFolder(folder));
  EXPECT_FALSE(app::SingleInstance::IsPrivateFolder(open));
  EXPECT_FALSE(app::SingleInstance::IsPrivateFolder(link));
  EXPECT_EQ(app::SingleInstance(open).Claim(), app::SingleInstance::Role::Alone);
  // Without a runtime folder: a private one in a fresh home's cache, made
  // with the folders above it.
  {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"), home = qgetenv("HOME"), cache = qgetenv("XDG_CACHE_HOME");
    qunsetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_CACHE_HOME");
    qputenv("HOME", QFile::encodeName(dir.filePath(QStringLiteral("home"))));
    const QString made = app::SingleInstance::PrivateFolder();
    EXPECT_EQ(made, dir.filePath(QStringLiteral("home/.cache/quillon")));
    EXPECT_TRUE(app::SingleInstance::IsPrivateFolder(made));
    qputenv("HOME", home);
    if (!runtime.isNull()) qputenv("XDG_RUNTIME_DIR", runtime);
    if (!cache.isNull()) qputenv("XDG_CACHE_HOME", cache);
  }
  if (::geteuid() == 0) {
    // Another user's folder, private as it may be, is not ours.
    const QString foreign = dir.filePath(QStringLiteral("foreign"));
    ASSERT_TRUE(QDir().mkdir(foreign));
    ASSERT_EQ(::chown(QFile::encodeName(foreign).constData(), 65534, 65534), 0);
    ::chmod(QFile::encodeName(foreign).constData(), 0700);
    EXPECT_FALSE(app::SingleInstance::IsPrivateFolder(foreign));
  }
}

}  // namespace
}  // namespace apptest
