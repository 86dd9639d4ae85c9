#include "app/menu_bar.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QPixmap>
#include <QToolButton>

#include "view/hardware_buttons.h"
#include "view/image_list.h"
#include "view/skin_font.h"
#include "view/skin_images.h"

namespace app {
namespace {

constexpr int kImageSize = 16;
constexpr QSize kButtonSize(24, 22);

// The four tool buttons in bar order: command, first image, tool tip, and
// whether the button shows a checked state.
struct ToolButtonRow {
  int command;
  int image;
  const char* toolTip;
  bool checkable;
};
constexpr ToolButtonRow kToolButtons[] = {
    {kCmdFileExplorer, 0, "File Explorer", true},
    {kCmdVas, 1, "Voice Activation System (VAS)", true},
    {kCmdDisplayOff, 2, "Display Off", false},
    {kCmdSwitchPlayMode, 3, "Switch Play Mode", false},
};

struct MenuRow {
  const char* text;  // null: a separator
  int command;
};
constexpr MenuRow kToolsMenu[] = {
    {"About...", kCmdAbout},       {nullptr, 0}, {"Help...", kCmdHelp},
    {"Settings...", kCmdSettings}, {nullptr, 0}, {"Exit", kCmdExit},
};

const char kCommandProperty[] = "quillonCommand";
const char kImageProperty[] = "quillonImage";
const char kStripProperty[] = "quillonToolStrip";

// A tool button whose checked state only the controller sets: a click
// reports the command and leaves the check to whoever answers it.
class StripButton : public QToolButton {
 public:
  using QToolButton::QToolButton;

 protected:
  void nextCheckState() override {}
};

// The strip with magenta made transparent, or a null image when it is
// missing or too small for its seven images.
QImage LoadToolStrip() {
  QImage strip;
  if (!view::LoadSkinImage(MenuBar::kToolStripImage, &strip, QImage::Format_ARGB32)) return {};
  if (strip.width() < MenuBar::kToolStripImages * kImageSize || strip.height() < kImageSize) return {};
  for (int y = 0; y < strip.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(strip.scanLine(y));
    for (int x = 0; x < strip.width(); ++x)
      if (line[x] == view::kTransparentMagenta) line[x] = 0;
  }
  return strip;
}

const char kStyle[] = R"(
#QuillonMenuBar {
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 rgb(238, 240, 243), stop:1 rgb(214, 218, 224));
  border-top: 1px solid rgb(150, 156, 166);
}
#QuillonMenuBar QToolButton {
  border: 1px solid transparent;
  border-radius: 3px;
  background: transparent;
  color: rgb(20, 24, 30);
}
#QuillonMenuBar QToolButton:hover { border-color: rgb(150, 156, 166); background: rgba(255, 255, 255, 110); }
#QuillonMenuBar QToolButton:checked,
#QuillonMenuBar QToolButton:pressed { border-color: rgb(120, 128, 140); background: rgb(196, 202, 212); }
#QuillonMenuBar QToolButton:focus { border-color: rgb(52, 101, 164); }
#QuillonMenuBar QToolButton#QuillonTools { padding: 0 14px 0 6px; }
#QuillonMenuBar QToolButton#QuillonTools::menu-indicator { subcontrol-position: right center; right: 4px; }
#QuillonMenuBar QFrame#QuillonSeparator { color: rgb(160, 166, 176); }
)";

}  // namespace

MenuBar::MenuBar(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("QuillonMenuBar"));
  setAttribute(Qt::WA_StyledBackground, true);
  setFixedHeight(kHeight);
  setMinimumWidth(240);
  setStyleSheet(QString::fromLatin1(kStyle));

  const QImage strip = LoadToolStrip();
  setProperty(kStripProperty, QVariant::fromValue(strip));

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(3, 2, 4, 2);
  layout->setSpacing(2);

  auto* tools = new QToolButton(this);
  tools->setObjectName(QStringLiteral("QuillonTools"));
  tools->setText(QStringLiteral("&Tools"));
  tools->setFont(view::CreateSkinFont(QStringLiteral("Arial"), 9, 700));
  tools->setPopupMode(QToolButton::InstantPopup);
  tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
  tools->setFixedHeight(kButtonSize.height());
  auto* menu = new QMenu(tools);
  for (const MenuRow& row : kToolsMenu) {
    if (row.text == nullptr) {
      menu->addSeparator();
      continue;
    }
    const int command = row.command;
    connect(menu->addAction(QString::fromLatin1(row.text)), &QAction::triggered, this,
            [this, command] { emit Command(command); });
  }
  tools->setMenu(menu);
  tools->installEventFilter(this);
  layout->addWidget(tools);
  layout->addStretch(1);

  for (const ToolButtonRow& row : kToolButtons) {
    if (row.command == kCmdSwitchPlayMode) {
      auto* separator = new QFrame(this);
      separator->setObjectName(QStringLiteral("QuillonSeparator"));
      separator->setFrameShape(QFrame::VLine);
      separator->setFixedSize(6, kButtonSize.height() - 4);
      layout->addWidget(separator);
    }
    auto* button = new StripButton(this);
    button->setObjectName(QStringLiteral("QuillonTool%1").arg(row.command));
    button->setProperty(kCommandProperty, row.command);
    button->setCheckable(row.checkable);
    button->setToolTip(QString::fromLatin1(row.toolTip));
    button->setAccessibleName(button->toolTip());
    button->setFixedSize(kButtonSize);
    // Drawn at its own size: a 16-pixel image scaled by the style turns blurry.
    button->setIconSize(QSize(kImageSize, kImageSize));
    const int command = row.command;
    connect(button, &QToolButton::clicked, this, [this, command] { emit Command(command); });
    button->installEventFilter(this);
    layout->addWidget(button);
    SetButtonImage(row.command, row.image);
  }
}

bool MenuBar::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
    return QWidget::eventFilter(watched, event);
  auto* key = static_cast<QKeyEvent*>(event);
  if (!keyForward_ || (view::DeviceKeyCode(key->key()) == 0 && key->key() != Qt::Key_Help)) return false;
  keyForward_(key);
  return true;
}

bool MenuBar::IsValid() const { return !property(kStripProperty).value<QImage>().isNull(); }

namespace {

QToolButton* FindButton(const QWidget* bar, int commandId) {
  for (QToolButton* button : bar->findChildren<QToolButton*>())
    if (button->property(kCommandProperty).toInt() == commandId) return button;
  return nullptr;
}

}  // namespace

void MenuBar::CheckButton(int commandId, bool checked) {
  if (QToolButton* button = FindButton(this, commandId); button != nullptr && button->isCheckable())
    button->setChecked(checked);
}

bool MenuBar::IsChecked(int commandId) const {
  const QToolButton* button = FindButton(this, commandId);
  return button != nullptr && button->isChecked();
}

void MenuBar::SetButtonImage(int commandId, int image) {
  QToolButton* button = FindButton(this, commandId);
  if (button == nullptr || image < 0 || image >= kToolStripImages) return;
  button->setProperty(kImageProperty, image);
  const QImage strip = property(kStripProperty).value<QImage>();
  if (strip.isNull()) {
    button->setIcon(QIcon());
    return;
  }
  button->setIcon(QIcon(QPixmap::fromImage(strip.copy(image * kImageSize, 0, kImageSize, kImageSize))));
}

int MenuBar::ButtonImage(int commandId) const {
  const QToolButton* button = FindButton(this, commandId);
  if (button == nullptr) return -1;
  const QVariant image = button->property(kImageProperty);
  return image.isValid() ? image.toInt() : -1;
}

QRect MenuBar::ButtonRect(int commandId) const {
  const QToolButton* button = FindButton(this, commandId);
  return button != nullptr ? button->geometry() : QRect();
}

QRect MenuBar::ToolsRect() const {
  const auto* tools = findChild<QToolButton*>(QStringLiteral("QuillonTools"));
  return tools != nullptr ? tools->geometry() : QRect();
}

}  // namespace app
