#pragma once
// The skin's controls and texts as the keyboard and a screen reader meet
// them: one row each, in the order Tab walks them, with the name a screen
// reader speaks. The pen never sees this table; it hits the controls
// themselves.

#include <QRect>
#include <QString>

namespace view {

class MainView;

enum class SkinItemKind { Button, Slider, Meter, Text, Status };

struct SkinItem {
  SkinItemKind kind;
  int id;            // control id, or the text area (MainView::TextArea) for texts
  const char* name;  // what a screen reader says
};

int SkinItemCount();
const SkinItem& SkinItemAt(int index);
// The row of a control id, -1 for none.
int SkinItemOfControl(int id);

// The item's rectangle in skin pixels.
QRect SkinItemRect(MainView& view, int index);
// Whether the item can take the keyboard now (a disabled button cannot).
bool SkinItemEnabled(MainView& view, int index);
// The text a text item shows now ("00:00:05"; the status in words).
QString SkinItemText(MainView& view, int index);
// A slider's or the meter's value now (0-100).
int SkinItemValue(MainView& view, int index);

// Where the pen must go down and come up on a slider for it to read
// percent (skin pixels).
QPoint SliderPointFor(MainView& view, int id, int percent);

}  // namespace view
