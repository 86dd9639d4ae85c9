#pragma once
// The settings sheet: a modal dialog over the main window with the pages
// General, Buttons, Misc, Audio and About, tabs along its bottom edge and an "OK"
// button at the top right. The pages read the live settings record and
// write back into it; nothing is re-applied when the sheet returns.

class QWidget;

namespace settings {
class SettingsStore;
}

namespace sheet {

// Runs the sheet modally, owned by `owner` (the main window), opening at
// store->StartPage (0 General, 3 About). Returns when the sheet is closed.
int RunSettingsSheet(QWidget* owner, settings::SettingsStore* store);

}  // namespace sheet
