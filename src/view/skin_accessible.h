#pragma once
// What a screen reader (AT-SPI on Linux) finds in the skinned view: the one
// widget that shows the skin has a child for every control and text of it,
// with its name, role, state, value and action. Actions go through the same
// pen path as a tap, so a screen reader's "press" on Record is a tap on it.

namespace view {

// Makes Qt's accessibility describe every SkinViewWidget this way; later
// calls do nothing.
void InstallSkinAccessibility();

}  // namespace view
