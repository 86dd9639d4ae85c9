#include "sheet/sheet_dialog.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProxyStyle>
#include <QPushButton>
#include <QTabBar>

#include "diag/show_error.h"
#include "platform/last_error.h"
#include "settings/settings_store.h"
#include "sheet/about_page.h"
#include "sheet/audio_page.h"
#include "sheet/buttons_page.h"
#include "sheet/general_page.h"
#include "sheet/misc_page.h"
#include "sheet/page_layout.h"
#include "view/child_modal.h"
#include "view/help_request.h"

namespace sheet {

namespace {

// Tab labels, in page order.
constexpr const char* kTabLabels[SettingsSheet::kPageCount] = {"General", "Buttons", "Misc", "Audio", "About"};

// Five tabs in the 240 pixels the handheld's four had: less room beside each
// label, the style's look otherwise.
class CompactTabStyle : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
    const int value = QProxyStyle::pixelMetric(metric, option, widget);
    return metric == PM_TabBarTabHSpace ? value / 3 : value;
  }
};

constexpr int kOkWidth = 32;
constexpr int kOkHeight = 20;
constexpr int kOkMargin = 2;

}  // namespace

SettingsSheet::SettingsSheet(QWidget* owner, settings::SettingsStore* store)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint), owner_(owner) {
  setFont(PageFont());
  if (owner != nullptr) {
    // Inside the main window, over all of its client area: the compositor
    // keeps it where the window is, and the bar below the tabs stands for
    // the menu bar the sheet hides.
    setWindowFlags(Qt::Widget);
    setAccessibleName(QStringLiteral("Settings"));
    setAutoFillBackground(true);
    setGeometry(owner->rect());
    view::MakeChildModal(this);
  } else {
    setModal(true);
    setFixedSize(kWidth, kHeight);
  }
  startPage_ = PageForStart(store != nullptr ? store->StartPage : 0);

  tabs_ = CreateTabControl();
  if (tabs_ == nullptr) diag::ShowError(this, u"CreateTabControl() faled.", platform::GetLastError());
  if (store != nullptr) CreatePages(store);

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setDefault(true);
  ok_->setGeometry(kWidth - kOkWidth - kOkMargin, kOkMargin, kOkWidth, kOkHeight);
  ok_->raise();  // over the pages' heading band
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  ChainTabStops();
  NameFromLabels();

  if (tabs_ != nullptr) {
    tabs_->setCurrentIndex(startPage_);
    connect(tabs_, &QTabBar::currentChanged, this, &SettingsSheet::OnTabChanged);
  }
  ShowSelectedPage();
}

SettingsSheet::~SettingsSheet() = default;

QTabBar* SettingsSheet::CreateTabControl() {
  auto* tabs = new QTabBar(this);
  auto* style = new CompactTabStyle;
  style->setParent(tabs);
  tabs->setStyle(style);
  tabs->setShape(QTabBar::RoundedSouth);
  tabs->setExpanding(false);
  tabs->setUsesScrollButtons(false);
  tabs->setDrawBase(true);
  tabs->setFocusPolicy(Qt::TabFocus);
  tabs->setGeometry(0, kHeight - kTabHeight, kWidth, kTabHeight);
  for (int i = 0; i < kPageCount; ++i) {
    if (tabs->insertTab(i, QString::fromLatin1(kTabLabels[i])) != i) {
      diag::ShowError(this, u"TabCtrl_InsertItem() failed.", platform::GetLastError());
      delete tabs;
      return nullptr;
    }
  }
  return tabs;
}

void SettingsSheet::CreatePages(settings::SettingsStore* store) {
  pages_[0] = new GeneralPage(store, this);
  pages_[1] = new ButtonsPage(store, this);
  pages_[2] = new MiscPage(store, this);
  pages_[3] = new AudioPage(store, this);
  pages_[4] = new AboutPage(store, this);
  for (SettingsPage* page : pages_) {
    page->setGeometry(0, 0, kWidth, kHeight - kTabHeight);
    page->hide();
  }
}

void SettingsSheet::NameFromLabels() {
  // A control without a text of its own is named, for a screen reader, by
  // the label that introduces it: the nearest one above it ending in ":",
  // else the nearest one above it. The label is its buddy too: on Linux a
  // combo box's name is its current text, and its label is found through
  // that relation.
  for (SettingsPage* page : pages_) {
    if (page == nullptr) continue;
    const QList<QLabel*> labels = page->findChildren<QLabel*>();
    for (QWidget* stop : page->TabStops()) {
      if (!stop->accessibleName().isEmpty() || qobject_cast<QAbstractButton*>(stop) != nullptr) continue;
      const QRect at = stop->geometry();
      const QLabel* nearest = nullptr;
      const QLabel* introducing = nullptr;
      for (const QLabel* label : labels) {
        const QRect box = label->geometry();
        const QString text = label->text().trimmed();
        if (text.isEmpty() || box.top() >= at.top() || box.right() < at.left() || box.left() > at.right()) continue;
        if (nearest == nullptr || box.bottom() > nearest->geometry().bottom()) nearest = label;
        if (text.endsWith(QLatin1Char(':')) && (introducing == nullptr || box.bottom() > introducing->geometry().bottom()))
          introducing = label;
      }
      QLabel* name = const_cast<QLabel*>(introducing != nullptr ? introducing : nearest);
      if (name == nullptr) continue;
      QString text = name->text().simplified();
      if (text.endsWith(QLatin1Char(':'))) text.chop(1);
      stop->setAccessibleName(text);
      if (name->buddy() == nullptr) name->setBuddy(stop);
    }
  }
}

void SettingsSheet::ChainTabStops() {
  // Each page's controls in template order, then the tabs and OK; the hidden
  // pages' controls are skipped by the focus chain.
  QList<QWidget*> chain;
  for (SettingsPage* page : pages_) {
    if (page != nullptr) chain.append(page->TabStops());
  }
  if (tabs_ != nullptr) chain.append(tabs_);
  chain.append(ok_);
  for (qsizetype i = 1; i < chain.size(); ++i) setTabOrder(chain[i - 1], chain[i]);
}

int SettingsSheet::PageForStart(int startPage) {
  // StartPage keeps the handheld's numbers (3: About); the Audio page,
  // shown before About, is 4.
  switch (startPage) {
    case 3: return kAboutPage;
    case 4: return kAudioPage;
    default: return startPage >= 0 && startPage < kPageCount ? startPage : 0;
  }
}

SettingsPage* SettingsSheet::Page(int index) const {
  return index >= 0 && index < kPageCount ? pages_[index] : nullptr;
}

void SettingsSheet::ShowSelectedPage() {
  int index = tabs_ != nullptr ? tabs_->currentIndex() : startPage_;
  if (tabs_ == nullptr && Page(index) == nullptr) index = 0;  // no tabs: the start page, if any
  if (shown_ != nullptr) shown_->hide();
  shown_ = Page(index);
  if (shown_ != nullptr) shown_->show();
  ok_->raise();
  FocusShownPage();
}

void SettingsSheet::FocusShownPage() {
  // Arrow keys on the tabs keep the focus there.
  QWidget* focus = focusWidget();
  if (focus != nullptr && focus->isVisible() && (focus == tabs_ || focus == ok_)) return;
  if (shown_ != nullptr) {
    for (QWidget* stop : shown_->TabStops()) {
      if (stop->isEnabled()) {
        stop->setFocus(Qt::OtherFocusReason);
        return;
      }
    }
  }
  ok_->setFocus(Qt::OtherFocusReason);
}

void SettingsSheet::OnTabChanged() {
  // The page being left writes its values before the next one shows.
  if (shown_ != nullptr) shown_->Apply();
  ShowSelectedPage();
}

void SettingsSheet::ApplyShownPage() {
  if (closing_) return;
  closing_ = true;
  if (shown_ != nullptr) shown_->Apply();
}

void SettingsSheet::showEvent(QShowEvent* event) {
  closing_ = false;
  QDialog::showEvent(event);
  FocusShownPage();
}

void SettingsSheet::done(int result) {
  // OK, Escape and closing the window all end here.
  ApplyShownPage();
  QDialog::done(result);
}

bool SettingsSheet::event(QEvent* event) {
  if (event->type() == view::HelpRequestEvent::EventType()) {
    if (owner_ != nullptr) QCoreApplication::postEvent(owner_, new view::HelpRequestEvent);
    return true;
  }
  return QDialog::event(event);
}

void SettingsSheet::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Help) {
    view::HelpRequestEvent request;
    QCoreApplication::sendEvent(this, &request);
    return;
  }
  // Ctrl+Tab and Ctrl+Shift+Tab step through the pages, as tabbed dialogs do.
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  if (ctrl && tabs_ != nullptr && (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)) {
    const int step = event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier) ? -1 : 1;
    tabs_->setCurrentIndex((tabs_->currentIndex() + step + kPageCount) % kPageCount);
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace sheet
