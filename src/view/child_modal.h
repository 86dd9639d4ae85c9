#pragma once
// A child widget that lies over the whole of its window and is modal to it,
// as the settings sheet is: a compositor places it with the window (Wayland
// lets no program place its own top-level windows), and while it shows,
// nothing under it takes the pen, the keyboard or the application buttons.

class QWidget;

namespace view {

// Makes cover, a child of a window, that window's modal cover whenever it
// shows: it then fills the window and follows its size, the window's other
// shown children are disabled (so neither focus nor a screen reader reaches
// them), keys that are not taken in the cover stop there, and the
// application buttons go to the cover. Hiding it gives everything back.
void MakeChildModal(QWidget* cover);

// The modal cover showing in window, or null.
QWidget* ChildModalOf(const QWidget* window);

// The widget the user must answer first: the application's modal window (a
// message box) or, failing that, a modal cover of the active window (or of
// any window, when none is active). Null when there is none.
QWidget* ActiveModalWidget();

}  // namespace view
