#include "view/skin_accessible.h"

#include <vector>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

#include "view/child_modal.h"
#include "view/main_view.h"
#include "view/skin_items.h"
#include "view/skin_view_widget.h"

namespace view {
namespace {

// One control or text of the skin. Not a QObject: its parent, the widget's
// interface, owns it for as long as the widget lives.
class SkinItemAccessible : public QAccessibleInterface,
                           public QAccessibleActionInterface,
                           public QAccessibleValueInterface,
                           public QAccessibleTextInterface {
 public:
  SkinItemAccessible(SkinViewWidget* widget, QAccessibleInterface* parent, int index)
      : widget_(widget), parent_(parent), index_(index) {}

  bool isValid() const override { return widget_ != nullptr && widget_->View() != nullptr; }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return parent_->window(); }
  QAccessibleInterface* parent() const override { return parent_; }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }

  QString text(QAccessible::Text t) const override {
    const SkinItem& item = SkinItemAt(index_);
    switch (t) {
      case QAccessible::Name: return QString::fromLatin1(item.name);
      case QAccessible::Description: return Description();
      case QAccessible::Value:
        if (item.kind == SkinItemKind::Text || item.kind == SkinItemKind::Status) return Text();
        if (item.kind == SkinItemKind::Slider || item.kind == SkinItemKind::Meter)
          return QString::number(Value());
        return {};
      default: return {};
    }
  }
  void setText(QAccessible::Text, const QString&) override {}

  QRect rect() const override {
    if (!isValid()) return {};
    const QRect skin = SkinItemRect(*widget_->View(), index_);
    return QRect(widget_->mapToGlobal(skin.topLeft()), skin.size());
  }

  QAccessible::Role role() const override {
    switch (Kind()) {
      case SkinItemKind::Button: return Id() == kVasButton ? QAccessible::CheckBox : QAccessible::Button;
      case SkinItemKind::Slider: return QAccessible::Slider;
      case SkinItemKind::Meter: return QAccessible::ProgressBar;
      default: return QAccessible::StaticText;
    }
  }

  QAccessible::State state() const override {
    QAccessible::State state;
    if (!isValid()) {
      state.invalid = true;
      return state;
    }
    MainView& view = *widget_->View();
    // The whole skin is off while the sheet covers it.
    const bool enabled = widget_->isEnabled() && SkinItemEnabled(view, index_);
    state.focusable = enabled;
    state.focused = widget_->hasFocus() && widget_->FocusedItem() == index_;
    state.disabled = !enabled;
    if (Kind() == SkinItemKind::Button) {
      const SkinButton& button = view.Buttons[Id() - kFirstButton];
      state.pressed = button.Pressed != 0;
      if (button.Kind == ToggleButton) {
        state.checkable = true;
        state.checked = button.Toggled != 0;
      }
    }
    if (Kind() == SkinItemKind::Text || Kind() == SkinItemKind::Status || Kind() == SkinItemKind::Meter)
      state.readOnly = true;
    return state;
  }

  void* interface_cast(QAccessible::InterfaceType type) override {
    switch (type) {
      case QAccessible::ActionInterface:
        return Kind() == SkinItemKind::Button || Kind() == SkinItemKind::Slider
                   ? static_cast<QAccessibleActionInterface*>(this)
                   : nullptr;
      case QAccessible::ValueInterface:
        return Kind() == SkinItemKind::Slider || Kind() == SkinItemKind::Meter
                   ? static_cast<QAccessibleValueInterface*>(this)
                   : nullptr;
      case QAccessible::TextInterface:
        return Kind() == SkinItemKind::Text || Kind() == SkinItemKind::Status
                   ? static_cast<QAccessibleTextInterface*>(this)
                   : nullptr;
      default: return nullptr;
    }
  }

  // Actions: a button's press (and the VAS toggle's toggle) is a tap; a
  // slider steps.
  QStringList actionNames() const override {
    if (Kind() == SkinItemKind::Slider) return {increaseAction(), decreaseAction(), setFocusAction()};
    if (Id() == kVasButton) return {toggleAction(), pressAction(), setFocusAction()};
    return {pressAction(), setFocusAction()};
  }
  // Under the sheet or a box that waits for an answer nothing of the skin
  // can be reached, by a tap or so.
  bool Reachable() const { return isValid() && widget_->isEnabled() && ActiveModalWidget() == nullptr; }
  void doAction(const QString& name) override {
    if (!Reachable()) return;
    if (name == setFocusAction()) {
      widget_->FocusItem(index_);
    } else if (Kind() == SkinItemKind::Button && (name == pressAction() || name == toggleAction())) {
      widget_->TapControl(Id());
    } else if (Kind() == SkinItemKind::Slider && (name == increaseAction() || name == decreaseAction())) {
      widget_->StepSlider(Id(), name == increaseAction() ? 1 : -1);
    }
  }
  QStringList keyBindingsForAction(const QString& name) const override {
    if (name == pressAction() || name == toggleAction()) return {QStringLiteral("Space")};
    if (name == increaseAction()) return {QStringLiteral("PgUp")};
    if (name == decreaseAction()) return {QStringLiteral("PgDown")};
    return {};
  }

  // Value: sliders and the meter, in percent.
  QVariant currentValue() const override { return Value(); }
  void setCurrentValue(const QVariant& value) override {
    if (Reachable() && Kind() == SkinItemKind::Slider)
      widget_->SetSliderPercent(Id(), value.toInt());
  }
  QVariant maximumValue() const override { return 100; }
  QVariant minimumValue() const override { return 0; }
  QVariant minimumStepSize() const override { return 1; }

  // Text: what the area shows now.
  void selection(int, int* start, int* end) const override { *start = *end = 0; }
  int selectionCount() const override { return 0; }
  void addSelection(int, int) override {}
  void removeSelection(int) override {}
  void setSelection(int, int, int) override {}
  int cursorPosition() const override { return 0; }
  void setCursorPosition(int) override {}
  QString text(int start, int end) const override {
    const QString all = Text();
    if (end < 0 || end > all.size()) end = static_cast<int>(all.size());
    start = std::clamp(start, 0, end);
    return all.mid(start, end - start);
  }
  int characterCount() const override { return static_cast<int>(Text().size()); }
  QRect characterRect(int) const override { return rect(); }
  int offsetAtPoint(const QPoint&) const override { return -1; }
  void scrollToSubstring(int, int) override {}
  QString attributes(int offset, int* start, int* end) const override {
    *start = *end = offset;
    return {};
  }

 private:
  SkinItemKind Kind() const { return SkinItemAt(index_).kind; }
  int Id() const { return SkinItemAt(index_).id; }
  QString Text() const { return isValid() ? SkinItemText(*widget_->View(), index_) : QString(); }
  int Value() const { return isValid() ? SkinItemValue(*widget_->View(), index_) : 0; }

  // What a button does now, when its face says more than its name.
  QString Description() const {
    if (!isValid() || Kind() != SkinItemKind::Button) return {};
    const SkinButton& button = widget_->View()->Buttons[Id() - kFirstButton];
    if (Id() == kRecordButton && button.Face == FaceActive) return QStringLiteral("Pause recording");
    if (Id() == kPlayButton && button.Face == FaceActive) return QStringLiteral("Pause");
    if (Id() == kPlayButton && button.Face == FacePaused) return QStringLiteral("Resume");
    return {};
  }

  QPointer<SkinViewWidget> widget_;
  QAccessibleInterface* parent_;
  int index_;
};

class SkinViewAccessible : public QAccessibleWidget {
 public:
  explicit SkinViewAccessible(SkinViewWidget* widget) : QAccessibleWidget(widget, QAccessible::Grouping) {
    for (int i = 0; i < SkinItemCount(); ++i) {
      auto* item = new SkinItemAccessible(widget, this, i);
      QAccessible::registerAccessibleInterface(item);
      items_.push_back(item);
    }
  }
  ~SkinViewAccessible() override {
    for (SkinItemAccessible* item : items_) QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(item));
  }

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name) return QStringLiteral("Recorder");
    return QAccessibleWidget::text(t);
  }
  int childCount() const override { return Skin()->View() != nullptr ? static_cast<int>(items_.size()) : 0; }
  QAccessibleInterface* child(int index) const override {
    return index >= 0 && index < childCount() ? items_[static_cast<size_t>(index)] : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    for (size_t i = 0; i < items_.size(); ++i) {
      if (items_[i] == child) return static_cast<int>(i);
    }
    return -1;
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    for (int i = childCount() - 1; i >= 0; --i) {
      if (items_[static_cast<size_t>(i)]->rect().contains(x, y)) return items_[static_cast<size_t>(i)];
    }
    return nullptr;
  }
  QAccessibleInterface* focusChild() const override {
    const int index = Skin()->FocusedItem();
    return Skin()->hasFocus() && index >= 0 && index < childCount() ? items_[static_cast<size_t>(index)] : nullptr;
  }

 private:
  SkinViewWidget* Skin() const { return static_cast<SkinViewWidget*>(widget()); }
  std::vector<SkinItemAccessible*> items_;
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (className == QLatin1String("view::SkinViewWidget") && object != nullptr && object->isWidgetType())
    return new SkinViewAccessible(static_cast<SkinViewWidget*>(object));
  return nullptr;
}

}  // namespace

void InstallSkinAccessibility() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  QAccessible::installFactory(Factory);
}

}  // namespace view
