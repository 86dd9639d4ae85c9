#include "settings/sheet/settings_sheet.h"

#include "settings/sheet/sheet_dialog.h"

namespace sheet {

int RunSettingsSheet(QWidget* owner, settings::SettingsStore* store) {
  SettingsSheet sheet(owner, store);
  return sheet.exec();
}

}  // namespace sheet
