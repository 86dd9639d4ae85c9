#pragma once
// The 26-pixel bar at the bottom of the main window: the "Tools" drop-down
// (About..., Help..., Settings..., Exit) and four tool buttons drawn from the
// seven-image tool strip 103: File Explorer and Voice Activation System
// (VAS), a checked pair, Display Off, and Switch Play Mode, whose image shows
// the play mode.

#include <functional>

#include <QWidget>

class QKeyEvent;

namespace app {

// Command ids of the menu and the tool buttons.
inline constexpr int kCmdExit = 40033;
inline constexpr int kCmdFileExplorer = 40035;
inline constexpr int kCmdVas = 40036;
inline constexpr int kCmdDisplayOff = 40037;
inline constexpr int kCmdSettings = 40041;
inline constexpr int kCmdSwitchPlayMode = 40042;
inline constexpr int kCmdAbout = 40043;
inline constexpr int kCmdHelp = 40044;

class MenuBar : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHeight = 26;
  static constexpr int kToolStripImage = 103;
  static constexpr int kToolStripImages = 7;

  explicit MenuBar(QWidget* parent);
  // False when the tool strip could not be loaded (the bar is then unusable).
  bool IsValid() const;

  // Checks or unchecks a tool button (File Explorer, VAS).
  void CheckButton(int commandId, bool checked);
  bool IsChecked(int commandId) const;
  // Shows image `image` (0..6) of the strip on a tool button.
  void SetButtonImage(int commandId, int image);
  int ButtonImage(int commandId) const;
  // Where a tool button or the "Tools" drop-down sits (for tests and e2e).
  QRect ButtonRect(int commandId) const;
  QRect ToolsRect() const;

  // A bound key (an arrow, Return, F1-F5) typed while one of the bar's
  // buttons has the focus goes here instead of moving the focus along the
  // bar: the keys keep their bindings wherever the focus is.
  using KeyForward = std::function<void(QKeyEvent* event)>;
  void SetKeyForward(KeyForward forward) { keyForward_ = std::move(forward); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 signals:
  void Command(int commandId);

 private:
  KeyForward keyForward_;
};

}  // namespace app
