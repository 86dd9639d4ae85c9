// The program as the desktop around it meets it: a screen reader's view of
// the skin (names, roles, states, values, actions through the pen's path),
// the keyboard walking the skin's controls, the sheet's controls named by
// their labels, and the startup id's time.
#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "app/mpris.h"
#include "app_fixture.h"
#include "view/error_box.h"
#include "sheet/settings_page.h"
#include "sheet/sheet_dialog.h"
#include "view/child_modal.h"
#include "view/skin_view_widget.h"
#include "view/window_activation.h"

namespace apptest {
namespace {

class DesktopTest : public AppTest {
 public:
  QAccessibleInterface* Skin() { return QAccessible::queryAccessibleInterface(window_->Skin()); }
  QAccessibleInterface* Item(const QString& name) {
    QAccessibleInterface* skin = Skin();
    for (int i = 0; skin != nullptr && i < skin->childCount(); ++i) {
      if (skin->child(i)->text(QAccessible::Name) == name) return skin->child(i);
    }
    ADD_FAILURE() << "no item named " << name.toStdString();
    return nullptr;
  }
  QString Text(const QString& name) {
    QAccessibleTextInterface* text = Item(name)->textInterface();
    return text != nullptr ? text->text(0, text->characterCount()) : QString();
  }
  void Do(const QString& name, const QString& action) {
    Item(name)->actionInterface()->doAction(action);
    Pump();
  }
};

TEST_F(DesktopTest, EverySkinControlHasItsNameRoleAndAction) {
  Start();
  const struct {
    const char* name;
    QAccessible::Role role;
    bool action, value, text;
  } items[] = {
      {"Record", QAccessible::Button, true, false, false},
      {"Play", QAccessible::Button, true, false, false},
      {"Stop", QAccessible::Button, true, false, false},
      {"Rewind", QAccessible::Button, true, false, false},
      {"Forward", QAccessible::Button, true, false, false},
      {"Previous track", QAccessible::Button, true, false, false},
      {"Next track", QAccessible::Button, true, false, false},
      {"Voice activation", QAccessible::CheckBox, true, false, false},
      {"Volume", QAccessible::Slider, true, true, false},
      {"Position", QAccessible::Slider, true, true, false},
      {"Threshold", QAccessible::Slider, true, true, false},
      {"Level", QAccessible::ProgressBar, false, true, false},
      {"Time", QAccessible::StaticText, false, false, true},
      {"Status", QAccessible::StaticText, false, false, true},
      {"File name", QAccessible::StaticText, false, false, true},
      {"Length", QAccessible::StaticText, false, false, true},
      {"Format", QAccessible::StaticText, false, false, true},
      {"Storage", QAccessible::StaticText, false, false, true},
  };
  ASSERT_EQ(Skin()->childCount(), static_cast<int>(std::size(items)));
  for (const auto& item : items) {
    QAccessibleInterface* child = Item(QString::fromLatin1(item.name));
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->role(), item.role) << item.name;
    EXPECT_EQ(child->actionInterface() != nullptr, item.action) << item.name;
    EXPECT_EQ(child->valueInterface() != nullptr, item.value) << item.name;
    EXPECT_EQ(child->textInterface() != nullptr, item.text) << item.name;
    EXPECT_EQ(child->parent(), Skin()) << item.name;
    // On the screen where the skin has it.
    const QRect rect = child->rect();
    EXPECT_TRUE(QRect(window_->Skin()->mapToGlobal(QPoint(0, 0)), window_->Skin()->size()).contains(rect))
        << item.name;
    EXPECT_EQ(Skin()->childAt(rect.center().x(), rect.center().y()), child) << item.name;
  }
  EXPECT_EQ(Text("Format"), "GSM (WAV)");
  EXPECT_EQ(Text("Status"), "Stopped");
  EXPECT_EQ(Text("File name"), "Recording00");
}

TEST_F(DesktopTest, AScreenReaderRecordsByNamesAloneAndReadsTheTime) {
  Start();
  EXPECT_TRUE(Item("Play")->state().disabled) << "nothing to play";
  EXPECT_FALSE(Item("Record")->state().disabled);
  Do("Record", QAccessibleActionInterface::pressAction());
  ASSERT_EQ(audio::RecordingActive, 1);
  EXPECT_EQ(Text("Status"), "Recording");
  EXPECT_EQ(Item("Record")->text(QAccessible::Description), "Pause recording");
  StepBuffers(30);
  EXPECT_TRUE(WaitFor([&] { return Text("Time") == "00:00:01"; })) << Text("Time").toStdString();
  Do("Stop", QAccessibleActionInterface::pressAction());
  EXPECT_EQ(audio::RecordingActive, 0);
  EXPECT_TRUE(std::filesystem::exists(InDocuments("Recording00.wav")));
  EXPECT_FALSE(Item("Play")->state().disabled);

  // The toggle's state follows the VAS.
  QAccessibleInterface* vas = Item("Voice activation");
  EXPECT_TRUE(vas->state().checkable);
  EXPECT_FALSE(vas->state().checked);
  Do("Voice activation", QAccessibleActionInterface::toggleAction());
  EXPECT_TRUE(vas->state().checked);
  EXPECT_EQ(audio::VasEnabled, 1);
  Do("Voice activation", QAccessibleActionInterface::toggleAction());
  EXPECT_FALSE(vas->state().checked);
}

// The skin looks for changes to tell a screen reader only while one listens:
// no timer wakes the program four times a second for nobody. (Offscreen has
// no accessibility bridge, so the desktop's switch is played here.)
TEST_F(DesktopTest, TheSkinLooksForChangesOnlyWhileAScreenReaderListens) {
  Start();
  const auto looking = [&] {
    const auto* poll = window_->Skin()->findChild<QTimer*>(QStringLiteral("accessibility poll"));
    return poll != nullptr && poll->isActive();
  };
  EXPECT_FALSE(looking()) << "no screen reader at start";
  QAccessible::setActive(true);
  EXPECT_TRUE(looking());
  QAccessible::setActive(false);
  EXPECT_FALSE(looking());
}

// A value set by a screen reader is the value the slider then reads, to the
// slider's resolution (the volume's 49 pixels step by about 2), through the
// pen's path (the transport hears it as a tap on the slider).
TEST_F(DesktopTest, ASliderTakesTheValueAScreenReaderSets) {
  Start();
  const struct { const char* name; int id; std::vector<int> values; } sliders[] = {
      {"Volume", view::kVolumeSlider, {0, 5, 40, 73, 100}},
      {"Threshold", view::kThresholdSlider, {0, 10, 50, 90, 94}},
  };
  for (const auto& slider : sliders) {
    QAccessibleValueInterface* value = Item(QString::fromLatin1(slider.name))->valueInterface();
    for (int percent : slider.values) {
      value->setCurrentValue(percent);
      Pump();
      EXPECT_NEAR(V().SliderPercent(slider.id), percent, 1) << slider.name;
      EXPECT_EQ(value->currentValue().toInt(), V().SliderPercent(slider.id)) << slider.name;
    }
  }
  // The transport took the volume: the icon shows it muted at 0.
  Item("Volume")->valueInterface()->setCurrentValue(0);
  Pump();
  EXPECT_EQ(V().ShownVolumeIcon(), 0);
  // Steps: 5 on the volume.
  Do("Volume", QAccessibleActionInterface::increaseAction());
  EXPECT_NEAR(V().SliderPercent(view::kVolumeSlider), 5, 1);
}

// Tab walks the skin's items that can take the keyboard, skipping disabled
// buttons, then leaves for the next widget; Space taps the focused button.
TEST_F(DesktopTest, TabWalksTheSkinAndSpaceTapsTheFocusedButton) {
  Start();
  view::SkinViewWidget* skin = window_->Skin();
  skin->FocusItem(0);
  ASSERT_TRUE(skin->hasFocus());
  QStringList walked{Skin()->child(skin->FocusedItem())->text(QAccessible::Name)};
  for (int i = 0; i < 30 && skin->hasFocus(); ++i) {
    QTest::keyClick(window_->windowHandle(), Qt::Key_Tab);
    if (skin->hasFocus()) walked << Skin()->child(skin->FocusedItem())->text(QAccessible::Name);
  }
  EXPECT_FALSE(skin->hasFocus()) << "Tab never left the skin";
  // Nothing plays: the position slider and the buttons but Record are off.
  EXPECT_EQ(walked, QStringList({"Level", "Status", "File name", "Length", "Time", "Format", "Storage", "Volume",
                                 "Record", "Voice activation", "Threshold"}))
      << walked.join(", ").toStdString();
  // Record focused, Space taps it; the focused item reports itself focused.
  skin->FocusItem(Skin()->indexOfChild(Item("Record")));
  EXPECT_TRUE(Skin()->focusChild() == Item("Record"));
  EXPECT_TRUE(Item("Record")->state().focused);
  QTest::keyClick(window_->windowHandle(), Qt::Key_Space);
  Pump();
  EXPECT_EQ(audio::RecordingActive, 1);
  T().Stop(1);
}

TEST_F(DesktopTest, TheSheetsControlsAreNamedByTheirLabels) {
  Start();
  QStringList names;
  QTimer::singleShot(0, [&] {
    auto* sheet = qobject_cast<sheet::SettingsSheet*>(view::ActiveModalWidget());
    if (sheet == nullptr) return;
    names << sheet->accessibleName();
    // Under the sheet the skin is out of a screen reader's reach too.
    EXPECT_TRUE(Item("Record")->state().disabled);
    Item("Record")->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    Pump();
    EXPECT_EQ(audio::RecordingActive, 0) << "a press under the sheet recorded";
    for (int page = 0; page < sheet::SettingsSheet::kPageCount; ++page) {
      for (QWidget* stop : sheet->Page(page)->TabStops()) {
        QAccessibleInterface* control = QAccessible::queryAccessibleInterface(stop);
        // A combo box's name is its current text; its label is related.
        const auto labels = control->relations(QAccessible::Label);
        names << (control->role() == QAccessible::ComboBox && !labels.isEmpty() ? labels.front().first->text(QAccessible::Name)
                                                                                : control->text(QAccessible::Name));
      }
    }
    sheet->OkButton()->click();
  });
  C().OnCommand(app::kCmdSettings);
  ASSERT_FALSE(names.isEmpty()) << "no sheet";
  EXPECT_EQ(names.front(), "Settings");
  EXPECT_TRUE(names.contains("Save new recording to:")) << names.join(", ").toStdString();
  EXPECT_TRUE(names.contains("Select recording format")) << names.join(", ").toStdString();
  EXPECT_TRUE(names.contains("Set Button Assignment:")) << names.join(", ").toStdString();
  EXPECT_TRUE(names.contains("Version")) << names.join(", ").toStdString();
  EXPECT_TRUE(names.contains("Record from:")) << names.join(", ").toStdString();
  EXPECT_TRUE(names.contains("Play to:")) << names.join(", ").toStdString();
  EXPECT_TRUE(names.contains("Reset"));
  EXPECT_FALSE(names.contains(QString())) << "a control without a name: " << names.join(", ").toStdString();
}

// A media key, the panel's player or a screen reader's action while a box
// or the sheet waits for an answer (a box is often shown from inside a
// transport operation): nothing acts under it, as the program's own keys do
// not; then everything does.
TEST_F(DesktopTest, NothingActsUnderABoxOrTheSheetThatWaitsForAnAnswer) {
  WriteWav(InDocuments("A.wav"), 8192, NumberedSamples(16000));
  Start();
  app::MprisService player(window_.get(), &C());
  const int volume = V().SliderPercent(view::kVolumeSlider);
  const std::function<void()> modals[] = {
      [&] { C().OnCommand(app::kCmdSettings); },
      [&] { view::ErrorBox::Show(window_.get(), QStringLiteral("Wrong file format.")); },
  };
  for (const auto& modal : modals) {
    bool asked = false;
    QTimer::singleShot(0, [&] {
      QWidget* waiting = view::ActiveModalWidget();
      ASSERT_NE(waiting, nullptr);
      asked = true;
      player.Play();
      player.SetVolume(0.2);
      Do(QStringLiteral("Play"), QAccessibleActionInterface::pressAction());
      Item(QStringLiteral("Volume"))->valueInterface()->setCurrentValue(30);
      Pump();
      EXPECT_EQ(T().AudioIO.Direction, audio::WaveDirection::None);
      EXPECT_EQ(V().SliderPercent(view::kVolumeSlider), volume);
      if (auto* sheet = qobject_cast<sheet::SettingsSheet*>(waiting)) {
        sheet->OkButton()->click();
      } else {
        waiting->close();
      }
    });
    modal();
    ASSERT_TRUE(asked);
  }
  player.Play();
  Pump();
  EXPECT_EQ(T().AudioIO.Direction, audio::WaveDirection::Output);
  player.SetVolume(0.2);
  EXPECT_EQ(V().SliderPercent(view::kVolumeSlider), 20);
  T().Stop(1);
}

TEST(StartupId, TheTimeIsTheNumberAfterTime) {
  const struct { const char* id; unsigned long time; } cases[] = {
      {"launcher-1234-host-quillon-0_TIME98765", 98765},
      {"xyz_TIME0", 0},
      {"no-time-here", 0},
      {"_TIME12_TIME34", 34},
      {"", 0},
      {"quillon_TIMEx12", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(view::StartupIdTime(QString::fromLatin1(c.id)), c.time) << c.id;
}

}  // namespace
}  // namespace apptest
