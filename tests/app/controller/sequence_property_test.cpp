// Random walks of a person through the program: taps, held buttons, keys
// (pressed, held, or only released, as when Return closes a box), menu
// commands and tool buttons, the settings sheet, the list and its folders,
// files changed behind the program's back, time passing, exit and restart.
// After every step the program must be whole (sequence_program.h says what
// that means). RC_PARAMS picks the seed and the size: `make test` runs a
// fixed one, `make explore` as many as EXPLORE_SECONDS allows.
#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>
#include <rapidcheck/state.h>

#include <cstdlib>
#include <fstream>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QSlider>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "app/export_dialog.h"
#include "app/menu_bar.h"
#include "app/playback_speed_control.h"
#include "audio/export_format.h"
#include "audio/format_presets.h"
#include "audio/playback_speed.h"
#include "sequence_program.h"
#include "sheet/audio_page.h"
#include "sheet/misc_page.h"
#include "sheet/sheet_dialog.h"
#include "view/child_modal.h"
#include "view/hardware_buttons.h"

namespace apptest {
namespace {

// What rapidcheck's model holds: nothing the program does not hold itself;
// the person's choices are kept with the program (SequenceProgram::chosen).
struct Walk {};
using Command = rc::state::Command<Walk, SequenceProgram>;

// Counted for make explore's report.
int g_steps = 0;

// A step of the walk: does its thing, then the program must be whole.
struct Step : Command {
  void run(const Walk&, SequenceProgram& p) const override {
    ++g_steps;
    p.Before();
    const bool mayEnd = Do(p);
    p.Pump();
    std::ostringstream name;
    show(name);
    p.CheckRecordingKept(name.str(), mayEnd);
    p.CheckWhole();
  }
  // Returns whether the step may end a running recording (a Stop, a Play,
  // the file deleted, ...).
  virtual bool Do(SequenceProgram& p) const = 0;
};

struct TapButton : Step {
  int id = *rc::gen::inRange(view::kFirstButton, view::kFirstButton + view::kButtonCount);
  bool moveOff = *rc::gen::weightedElement<bool>({{4, false}, {1, true}});
  bool Do(SequenceProgram& p) const override {
    // The VAS toggle lies under the list: it is reached only with the list hidden.
    if (id == view::kVasButton && p.List().isVisible()) return false;
    const view::SkinButton& button = p.V().Buttons[id - view::kFirstButton];
    const bool acts = button.Enabled != 0 && !moveOff;
    if (id == view::kVasButton && acts) p.chosen.vas = button.Toggled == 0;
    p.Press(id);
    if (moveOff) {
      p.T().OnMouseMove(239, 1);
      p.T().OnLButtonUp(239, 1);
    } else {
      p.Release(id);
    }
    return acts && (id == view::kStopButton || id == view::kPlayButton);
  }
  void show(std::ostream& os) const override { os << (moveOff ? "press and move off " : "tap ") << id; }
};

struct SetSlider : Step {
  int id = *rc::gen::element(view::kVolumeSlider, view::kPositionSlider, view::kThresholdSlider);
  int percent = *rc::gen::inRange(0, 101);
  bool Do(SequenceProgram& p) const override {
    if (id == view::kThresholdSlider && p.List().isVisible()) return false;
    p.V().SetSliderPercent(id, percent);
    p.T().OnSlider(id, 1);
    if (id == view::kVolumeSlider) p.chosen.volume = percent;
    if (id == view::kThresholdSlider) p.chosen.threshold = percent;
    return false;
  }
  void show(std::ostream& os) const override { os << "slider " << id << " to " << percent; }
};

struct HoldScan : Step {
  bool forward = *rc::gen::arbitrary<bool>();
  bool byKey = *rc::gen::arbitrary<bool>();
  int buffers = *rc::gen::inRange(1, 40);
  bool Do(SequenceProgram& p) const override {
    const int id = forward ? view::kForwardButton : view::kRewindButton;
    const uint32_t key = forward ? view::kKeyRight : view::kKeyLeft;
    if (byKey) {
      p.T().OnKeyDown(key);
    } else {
      p.Press(id);
    }
    p.StepBuffers(buffers);
    p.Settle();
    if (byKey) {
      p.T().OnKeyUp(key);
    } else {
      p.Release(id);
    }
    return false;
  }
  void show(std::ostream& os) const override {
    os << "hold " << (forward ? "Forward" : "Rewind") << (byKey ? " key " : " button ") << buffers << " buffers";
  }
};

struct Key : Step {
  enum Style { Click, LoneRelease, Held };
  enum Target { Window, List, ToolButton };
  int key = *rc::gen::element(Qt::Key_Up, Qt::Key_Down, Qt::Key_Left, Qt::Key_Right, Qt::Key_Return, Qt::Key_Enter,
                              Qt::Key_F1, Qt::Key_F2, Qt::Key_F3, Qt::Key_F4, Qt::Key_F5);
  Style style = *rc::gen::weightedElement<Style>({{5, Click}, {2, LoneRelease}, {1, Held}});
  Target target = *rc::gen::element(Window, List, ToolButton);

  bool Do(SequenceProgram& p) const override {
    QWidget* to = p.window_.get();
    if (target == List && p.List().isVisible()) to = p.List().findChild<QTreeWidget*>();
    if (target == ToolButton)
      to = p.C().Bar->findChild<QToolButton*>(QStringLiteral("QuillonTool%1").arg(app::kCmdSwitchPlayMode));
    const bool application = view::IsApplicationButton(view::DeviceKeyCode(key));
    if (application) view::GrabApplicationKeys(p.window_.get());
    const int presses = style == LoneRelease ? 0 : style == Held ? 4 : 1;
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      for (int i = 0; i < presses; ++i)
        p.chosen.volume = std::clamp(p.chosen.volume + (key == Qt::Key_Up ? 5 : -5), 0, 100);
    }
    for (int i = 0; i < presses; ++i) {
      if (i > 0) Send(to, QEvent::KeyRelease, true);
      Send(to, QEvent::KeyPress, i > 0);
    }
    Send(to, QEvent::KeyRelease, false);
    if (application) p.Pump();  // hot keys arrive posted
    // Play/Pause ends a recording to play, and so does Return on an item;
    // Stop stops. A release on its own never acts.
    const bool ending = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F2;
    return presses > 0 && ending;
  }
  void Send(QWidget* to, QEvent::Type type, bool repeat) const {
    QKeyEvent event(type, key, Qt::NoModifier, QString(), repeat);
    QCoreApplication::sendEvent(to, &event);
  }
  void show(std::ostream& os) const override {
    static const char* styles[] = {"click", "lone release", "held"};
    static const char* targets[] = {"window", "list", "tool button"};
    os << "key " << std::hex << key << std::dec << " " << styles[style] << " on the " << targets[target];
  }
};

struct Menu : Step {
  int command = *rc::gen::element(app::kCmdFileExplorer, app::kCmdVas, app::kCmdSwitchPlayMode, app::kCmdAbout);
  bool Do(SequenceProgram& p) const override {
    if (command == app::kCmdSwitchPlayMode) p.chosen.playMode = p.chosen.playMode >= 4 ? 1 : p.chosen.playMode + 1;
    if (command == app::kCmdAbout) QTimer::singleShot(0, [] { CloseSheet(false); });
    p.C().OnCommand(command);
    return false;
  }
  void show(std::ostream& os) const override { os << "command " << command; }

  // Closes the sheet shown with OK, or with Return (whose release then lands
  // on the main window, as it does for a person).
  static void CloseSheet(bool byReturn) {
    auto* sheet = qobject_cast<sheet::SettingsSheet*>(view::ActiveModalWidget());
    if (sheet == nullptr) return;
    if (byReturn) {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
      QCoreApplication::sendEvent(sheet, &press);
    } else {
      sheet->OkButton()->click();
    }
  }
};

struct Sheet : Step {
  enum Change { Nothing, Format, Led, PreRoll, Microphone };
  Change change = *rc::gen::element(Nothing, Format, Led, PreRoll, Microphone);
  int position = *rc::gen::inRange(1, 8);
  bool byReturn = *rc::gen::arbitrary<bool>();
  bool Do(SequenceProgram& p) const override {
    Chosen& chosen = p.chosen;
    QTimer::singleShot(0, [this, &chosen] {
      auto* sheet = qobject_cast<sheet::SettingsSheet*>(view::ActiveModalWidget());
      if (sheet == nullptr) return;
      if (change == Format) {
        auto* slider = sheet->Page(0)->findChild<QSlider*>();
        slider->setValue(std::clamp(position, slider->minimum(), slider->maximum()));
      } else if (change == Led) {
        sheet->TabBar()->setCurrentIndex(2);
        auto* misc = static_cast<sheet::MiscPage*>(sheet->Page(2));
        misc->LedBlinkBox()->setChecked(!misc->LedBlinkBox()->isChecked());
        chosen.ledBlink = misc->LedBlinkBox()->isChecked() ? 1 : 0;
      } else if (change == PreRoll) {
        sheet->TabBar()->setCurrentIndex(sheet::SettingsSheet::kAudioPage);
        auto* audio = static_cast<sheet::AudioPage*>(sheet->Page(sheet::SettingsSheet::kAudioPage));
        audio->PreRollSlider()->setValue(position);
        chosen.preRollMs = static_cast<uint32_t>(audio->PreRollSlider()->value()) * audio::kPreRollStepMs;
      } else if (change == Microphone) {
        sheet->TabBar()->setCurrentIndex(sheet::SettingsSheet::kAudioPage);
        auto* audio = static_cast<sheet::AudioPage*>(sheet->Page(sheet::SettingsSheet::kAudioPage));
        const auto& [description, id] = kMicrophones[position % std::size(kMicrophones)];
        audio->RecordBox()->setCurrentIndex(audio->RecordBox()->findText(description));
        chosen.microphone = id;
      }
      Menu::CloseSheet(byReturn);
    });
    p.C().OnCommand(app::kCmdSettings);
    // The General page keeps whatever its slider shows.
    chosen.formatId = p.C().Settings.Record.FormatId;
    if (change == Format) RC_ASSERT(chosen.formatId == static_cast<int32_t>(audio::PresetToFormatId(
                                                           std::clamp(position, 1, 7))));
    if (byReturn) {
      QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
      QCoreApplication::sendEvent(p.window_.get(), &release);
    }
    return false;
  }
  void show(std::ostream& os) const override {
    static const char* changes[] = {"nothing", "the format", "the LED", "the pre-roll", "the microphone"};
    os << "sheet: change " << changes[change] << " (" << position << "), close with "
       << (byReturn ? "Return" : "OK");
  }
};

struct ListAction : Step {
  enum Kind { Tap, Select, Delete, Rename };
  Kind kind = *rc::gen::weightedElement<Kind>({{3, Tap}, {2, Select}, {1, Delete}, {1, Rename}});
  int row = *rc::gen::inRange(0, 6);
  bool Do(SequenceProgram& p) const override {
    auto* tree = p.List().findChild<QTreeWidget*>();
    if (row >= p.List().Count() || !p.List().isVisible()) return false;
    const bool running = p.List().PathAt(row) == p.Running();
    switch (kind) {
      case Tap: {
        const QRect rect = tree->visualItemRect(tree->topLevelItem(row));
        if (!tree->viewport()->rect().contains(rect.center())) return false;
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
        return true;
      }
      case Select:
        tree->setCurrentItem(tree->topLevelItem(row));
        return false;
      case Delete:
        p.List().SetDeleteConfirmation([](const QString&) { return true; });
        p.List().DeleteItem(row);
        return running;
      case Rename:
        p.List().RenameItem(row, QStringLiteral("Renamed%1").arg(g_steps));
        return running;
    }
    return false;
  }
  void show(std::ostream& os) const override {
    static const char* kinds[] = {"tap", "select", "delete", "rename"};
    os << "list: " << kinds[kind] << " row " << row;
  }
};

struct Folder : Step {
  int index = *rc::gen::inRange(0, 4);
  bool Do(SequenceProgram& p) const override {
    auto* chooser = p.List().findChild<QComboBox*>();
    if (index >= chooser->count() || !p.List().isVisible()) return false;
    chooser->setCurrentIndex(index);
    emit chooser->activated(index);
    p.chosen.folder = chooser->itemText(index).toStdU16String();
    return false;
  }
  void show(std::ostream& os) const override { os << "folder " << index; }
};

struct BehindItsBack : Step {
  bool add = *rc::gen::arbitrary<bool>();
  bool onCard = *rc::gen::arbitrary<bool>();
  // Some are empty: a voice-activated recording that heard nothing.
  int buffers = *rc::gen::weightedElement<int>({{1, 0}, {4, 3}, {1, 12}});
  int row = *rc::gen::inRange(0, 6);
  bool Do(SequenceProgram& p) const override {
    bool ending = false;
    if (add) {
      const std::string folder = onCard ? p.roots_.Card(u"Storage Card") + "/Quillon" : p.DocumentsFolder();
      p.AddFile(folder, "Copied" + std::to_string(g_steps) + ".wav", buffers);
      // The list reads the folder again a moment after the change; in "All
      // Folders" it shows every file there is.
      const std::multiset<std::string> onDisk = NamesOnDisk(p);
      if (p.List().Folder() == app::kAllFolders)
        RC_ASSERT(p.WaitFor([&] {
          p.Pump();
          return Listed(p) == onDisk;
        }));
    } else {
      if (row >= p.List().Count()) return false;
      const std::u16string path = p.List().PathAt(row);
      ending = path == p.Running();
      fs::remove(platform::DevicePaths::ToHost(path).value_or(""));
      RC_ASSERT(p.WaitFor([&] {
        p.Pump();
        return p.List().IndexOf(path) < 0;
      }));
    }
    return ending;
  }
  static std::multiset<std::string> NamesOnDisk(SequenceProgram& p) {
    std::multiset<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(p.roots_.Base()))
      if (entry.path().extension() == ".wav") names.insert(entry.path().filename().string());
    return names;
  }
  static std::multiset<std::string> Listed(SequenceProgram& p) {
    std::multiset<std::string> names;
    for (int i = 0; i < p.List().Count(); ++i) {
      const std::u16string path = p.List().PathAt(i);
      names.insert(platform::ToUtf8(path.substr(path.rfind(u'\\') + 1)));
    }
    return names;
  }
  void show(std::ostream& os) const override {
    if (add)
      os << "another program adds a file of " << buffers << " buffers " << (onCard ? "on the card" : "in the documents");
    else
      os << "another program removes row " << row;
  }
};

// Tools > Playback Speed, or the Slower and Faster actions: the device
// plays at the speed asked at once, and the next start keeps it.
struct Speed : Step {
  enum How { FromMenu, Slower, Faster };
  How how = *rc::gen::element(FromMenu, Slower, Faster);
  size_t index = *rc::gen::inRange<size_t>(0, audio::PlaybackSpeeds().size());
  bool Do(SequenceProgram& p) const override {
    const std::span<const uint32_t> speeds = audio::PlaybackSpeeds();
    size_t expected = index;
    if (how == FromMenu) {
      p.C().OnCommand(app::SpeedCommand(speeds[index]));
    } else {
      const size_t now = static_cast<size_t>(std::find(speeds.begin(), speeds.end(), p.chosen.speed) - speeds.begin());
      expected = how == Slower ? (now > 0 ? now - 1 : 0) : std::min(now + 1, speeds.size() - 1);
      app::StepPlaybackSpeed(p.T(), how == Slower ? -1 : 1);
    }
    p.chosen.speed = speeds[expected];
    RC_ASSERT(p.T().AudioIO.GetPlaybackSpeed() == p.chosen.speed);
    return false;
  }
  void show(std::ostream& os) const override {
    static const char* ways[] = {"speed from the menu", "slower", "faster"};
    os << ways[how];
    if (how == FromMenu) os << " " << audio::PlaybackSpeeds()[index] << "%";
  }
};

// The list's Export... of a row (playing, recording or idle): the file in
// the format chosen, or a message saying why not; the recording goes on.
struct Export : Step {
  int row = *rc::gen::inRange(0, 6);
  audio::ExportFormat format = *rc::gen::element(audio::ExportFormat::Opus, audio::ExportFormat::Flac,
                                                  audio::ExportFormat::Mp3, audio::ExportFormat::Wav);
  bool Do(SequenceProgram& p) const override {
    if (row >= p.List().Count() || !p.List().isVisible()) return false;
    const std::string target = p.DocumentsFolder() + "/Export" + std::to_string(g_steps);
    app::SetExportTargetChooser([&](QWidget*, const QString&) {
      return std::optional<app::ExportChoice>({QString::fromStdString(target), format});
    });
    const size_t errors = p.errors_.size();
    p.List().ExportItem(row);
    app::SetExportTargetChooser({});
    const bool written = fs::exists(target + audio::ExportFormatInfoFor(format).Extension);
    RC_ASSERT(written != (p.errors_.size() > errors));
    return false;
  }
  void show(std::ostream& os) const override {
    os << "export row " << row << " as " << audio::ExportFormatInfoFor(format).Key;
  }
};

struct TimePasses : Step {
  int buffers = *rc::gen::inRange(1, 50);
  bool Do(SequenceProgram& p) const override {
    p.StepBuffers(buffers);
    return false;
  }
  void show(std::ostream& os) const override { os << buffers << " buffers of time"; }
};

struct ExitAndStart : Step {
  bool Do(SequenceProgram& p) const override {
    p.Restart();
    return true;
  }
  void show(std::ostream& os) const override { os << "exit and start again"; }
};

void ReportSteps() {
  // make explore sums these up over its runs.
  if (const char* report = std::getenv("QUILLON_EXPLORE_REPORT")) {
    std::ofstream(report, std::ios::app) << "steps " << g_steps << "\n";
  }
}

RC_GTEST_FIXTURE_PROP(SequenceProgram, APersonsStepsLeaveTheProgramWhole, ()) {
  Begin(*rc::gen::arbitrary<bool>());
  rc::state::check(Walk{}, static_cast<SequenceProgram&>(*this),
                   rc::state::gen::execOneOfWithArgs<TapButton, TapButton, SetSlider, HoldScan, Key, Key, Menu,
                                                     Sheet, ListAction, ListAction, Folder, BehindItsBack,
                                                     Speed, Export, TimePasses, TimePasses, ExitAndStart>());
  // Whatever happened, the settings read back at the next start are the
  // person's.
  Restart();
  if (const char* report = std::getenv("QUILLON_EXPLORE_REPORT")) {
    std::ofstream(report, std::ios::app) << "sequence\n";
  }
  ReportSteps();
  g_steps = 0;
}

}  // namespace
}  // namespace apptest
