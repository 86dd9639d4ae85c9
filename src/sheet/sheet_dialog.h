#pragma once
// The settings sheet: a child of the main window covering its client area and
// modal to it, the "OK" button at the top right, the five pages (created
// once, kept until the sheet goes) and their tabs along the bottom of the
// area above the menu bar.
// The page being left is applied before the next one shows; the page shown
// when the sheet closes is applied too, however it closes.

#include <QDialog>

class QPushButton;
class QTabBar;

namespace settings {
class SettingsStore;
}

namespace sheet {

class SettingsPage;

class SettingsSheet : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kWidth = 240;
  static constexpr int kHeight = 268;  // pages and tabs: the client area above its 26-pixel menu bar
  static constexpr int kTabHeight = 21;
  static constexpr int kPageCount = 5;
  // Page indexes, in tab order.
  static constexpr int kAudioPage = 3;
  static constexpr int kAboutPage = 4;

  // Opens at store->StartPage (0 General, 1 Buttons, 2 Misc, 3 About,
  // 4 Audio). With an owner the sheet lies inside it; without one it is a
  // window of its own.
  SettingsSheet(QWidget* owner, settings::SettingsStore* store);
  ~SettingsSheet() override;

  // Null when the tabs could not be created.
  QTabBar* TabBar() const { return tabs_; }
  QPushButton* OkButton() const { return ok_; }
  SettingsPage* Page(int index) const;
  // The page index a StartPage value opens.
  static int PageForStart(int startPage);
  SettingsPage* ShownPage() const { return shown_; }

  void done(int result) override;

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  QTabBar* CreateTabControl();
  void CreatePages(settings::SettingsStore* store);
  void ChainTabStops();
  void NameFromLabels();
  // Hides the shown page and shows the selected tab's page.
  void ShowSelectedPage();
  void OnTabChanged();
  // The page-apply step, at most once per closing.
  void ApplyShownPage();
  void FocusShownPage();

  QWidget* owner_;
  QTabBar* tabs_ = nullptr;
  QPushButton* ok_ = nullptr;
  SettingsPage* pages_[kPageCount] = {};
  SettingsPage* shown_ = nullptr;
  int startPage_ = 0;
  bool closing_ = false;
};

}  // namespace sheet
