#include "sheet/buttons_page.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>

#include "settings/settings_store.h"
#include "sheet/page_layout.h"
#include "view/hardware_buttons.h"
#include "view/skin_font.h"
#include "view/skin_images.h"

namespace sheet {

namespace {

constexpr int kKeyIconsImage = 165;
constexpr int kKeyIconSize = 16;
constexpr int kButtonColumnWidth = 70;
// What the assignment column leaves of the list's width (border and scroll bar).
constexpr int kAssignmentColumnMargin = 85;

QString ActionName(uint32_t action) { return QString::fromUtf16(view::ButtonActionName(action)); }
QString KeyName(uint32_t key) { return QString::fromUtf16(view::HardwareKeyName(key)); }

}  // namespace

ButtonsPage::ButtonsPage(settings::SettingsStore* store, QWidget* parent)
    : SettingsPage(QStringLiteral("Buttons"), store, parent) {
  setFont(PageFont());
  BuildControls();
  FillButtonList();
  SelectListItem(0);  // the sheet gives the list the focus when the page shows
  for (uint32_t action = 0; action < view::kButtonActionCount; ++action) {
    actions_->addItem(ActionName(action), action);
  }
  ShowBinding();
  connect(list_, &QTreeWidget::currentItemChanged, this, &ButtonsPage::ShowBinding);
  connect(actions_, &QComboBox::currentIndexChanged, this, &ButtonsPage::OnActionChosen);
  connect(reset_, &QPushButton::clicked, this, [this] { ResetBindings(false); });
  connect(restore_, &QPushButton::clicked, this, [this] { ResetBindings(true); });
}

void ButtonsPage::BuildControls() {
  auto* caption = new QLabel(QStringLiteral("Assign actions to the program hardware"), this);
  PlaceLabel(caption, 4, 17, 130, 8);

  list_ = new QTreeWidget(this);
  list_->setColumnCount(2);
  list_->setHeaderLabels({QStringLiteral("Button"), QStringLiteral("Assignment")});
  list_->setRootIsDecorated(false);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setIconSize(QSize(kKeyIconSize, kKeyIconSize));
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list_->header()->setSectionsClickable(false);
  list_->header()->setSectionsMovable(false);
  Place(list_, 4, 29, 130, 72);
  list_->setColumnWidth(0, kButtonColumnWidth);
  list_->setColumnWidth(1, list_->width() - kAssignmentColumnMargin);

  auto* assignment = new QLabel(QStringLiteral("Set Button Assignment:"), this);
  PlaceLabel(assignment, 40, 103, 82, 8);

  keyLabel_ = new QLabel(QStringLiteral("Btn"), this);
  keyLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  keyLabel_->setFont(view::CreateSkinFont(QStringLiteral("Arial"), 10, 700));
  QStringList keyNames;
  for (const uint32_t key : view::kBindableKeys) keyNames.append(KeyName(key));
  PlaceLabel(keyLabel_, 4, 114, 35, 11, keyNames);

  actions_ = new QComboBox(this);
  actions_->setMaxVisibleItems(static_cast<int>(view::kButtonActionCount));
  Place(actions_, 40, 113, 94, 12);  // closed height; the template's 150 is the list

  reset_ = new QPushButton(QStringLiteral("Reset"), this);
  Place(reset_, 40, 128, 28, 11);
  restore_ = new QPushButton(QStringLiteral("Restore Defaults"), this);
  Place(restore_, 70, 128, 64, 11);
}

void ButtonsPage::FillButtonList() {
  QImage icons;
  view::LoadSkinImage(kKeyIconsImage, &icons);  // rows go without icons when it is missing
  const QSignalBlocker blocker(list_);
  list_->clear();
  for (int i = 0; i < settings::kButtonCount; ++i) {
    const settings::ButtonBinding& binding = Record().Buttons[i];
    auto* item = new QTreeWidgetItem(list_);
    item->setText(0, KeyName(binding.Key));
    if (!icons.isNull()) {
      item->setIcon(0,
                    QIcon(QPixmap::fromImage(icons.copy(i * kKeyIconSize, 0, kKeyIconSize, kKeyIconSize))));
    }
    item->setData(0, Qt::UserRole, i);  // the row's entry in the record
    item->setText(1, ActionName(binding.Action));
  }
}

void ButtonsPage::SelectListItem(int row) {
  QTreeWidgetItem* item = list_->topLevelItem(row);
  if (item == nullptr) return;
  list_->setCurrentItem(item);
  list_->scrollToItem(item, QAbstractItemView::EnsureVisible);
}

settings::ButtonBinding* ButtonsPage::SelectedBinding() const {
  QTreeWidgetItem* item = list_->currentItem();
  if (item == nullptr) return nullptr;
  const int entry = item->data(0, Qt::UserRole).toInt();
  if (entry < 0 || entry >= settings::kButtonCount) return nullptr;
  return &Record().Buttons[entry];
}

void ButtonsPage::ShowBinding() {
  const settings::ButtonBinding* binding = SelectedBinding();
  if (binding == nullptr) return;
  // An action outside the list keeps the box's previous choice.
  const int index = actions_->findData(binding->Action);
  if (index >= 0) {
    const QSignalBlocker blocker(actions_);
    actions_->setCurrentIndex(index);
  }
  keyLabel_->setText(KeyName(binding->Key));
}

void ButtonsPage::OnActionChosen() {
  settings::ButtonBinding* binding = SelectedBinding();
  if (binding == nullptr || actions_->currentIndex() < 0) return;
  binding->Action = actions_->currentData().toUInt();
  list_->currentItem()->setText(1, ActionName(binding->Action));
}

void ButtonsPage::ResetBindings(bool full) {
  QTreeWidgetItem* current = list_->currentItem();
  const int row = current != nullptr ? list_->indexOfTopLevelItem(current) : -1;
  view::GrabApplicationKeys(this);
  settings::SettingsStore::SetDefaultBindings(Record().Buttons, full);
  FillButtonList();
  SelectListItem(row);  // shows the row's binding
}

QList<QWidget*> ButtonsPage::TabStops() const { return {list_, actions_, reset_, restore_}; }

}  // namespace sheet
