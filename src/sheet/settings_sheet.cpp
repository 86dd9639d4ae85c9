#include "sheet/settings_sheet.h"

#include "sheet/sheet_dialog.h"

namespace sheet {

int RunSettingsSheet(QWidget* owner, settings::SettingsStore* store) {
  SettingsSheet sheet(owner, store);
  return sheet.exec();
}

}  // namespace sheet
