// quillon-sheet-shots: opens the settings sheet over a main-window-sized
// owner at the top left of the screen and saves each page as the screen
// shows it, over the whole 240 x 294 client area, into OUT_DIR/settings-{general,buttons,misc,about}.png.
// Settings, registry and recordings go to a temporary folder; the sound
// device is the virtual one, which takes every format, and the free space is
// fixed so that the pictures do not depend on the machine.
//
//   quillon-sheet-shots OUT_DIR
#include <cstdio>

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QScreen>
#include <QTabBar>
#include <QTemporaryDir>
#include <QWidget>

#include "platform/device_paths.h"
#include "platform/virtual_wave_device.h"
#include "settings/settings_store.h"
#include "sheet/settings_page.h"
#include "sheet/sheet_dialog.h"
#include "sheet/storage_list.h"

namespace {

constexpr const char* kNames[sheet::SettingsSheet::kPageCount] = {"general", "buttons", "misc", "audio", "about"};

void Settle() {
  for (int i = 0; i < 20; ++i) QApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: quillon-sheet-shots OUT_DIR\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  QTemporaryDir temp;
  if (!temp.isValid() || !out.exists()) {
    std::fprintf(stderr, "quillon-sheet-shots: no temporary folder, or %s does not exist\n", argv[1]);
    return 1;
  }
  platform::DevicePaths::SetDocumentsRoot(temp.filePath(QStringLiteral("documents")).toStdString());
  platform::DevicePaths::SetConfigRoot(temp.filePath(QStringLiteral("config")).toStdString());
  QDir(temp.path()).mkpath(QStringLiteral("Storage Card"));
  platform::DevicePaths::SetStorageCards(
      {{u"Storage Card", temp.filePath(QStringLiteral("Storage Card")).toStdString()}});
  sheet::SetFreeSpaceQuery([](const std::u16string&, uint64_t* freeBytes) {
    *freeBytes = 1'000'000'000;
    return true;
  });
  auto device = platform::VirtualWaveDevice::Install();
  // The Audio page with devices as a desktop lists them.
  device->SetEndpoints(true, {{"builtin", "Built-in Audio Analog Stereo", true}, {"usb", "USB Headset Mono"}});
  device->SetEndpoints(false, {{"speakers", "Built-in Audio Analog Stereo", true}});

  settings::SettingsStore store;
  store.SetDefaults();
  store.Record.FormatId = 16;  // 22 kHz 8-bit: the page shows its warning
  store.Preferences.Set("RecordDevice", "usb");

  QWidget owner;
  owner.setWindowFlags(Qt::FramelessWindowHint);
  owner.setGeometry(0, 0, 240, 294);
  owner.show();
  Settle();

  sheet::SettingsSheet sheet(&owner, &store);
  sheet.show();
  Settle();
  int failures = 0;
  for (int page = 0; page < sheet::SettingsSheet::kPageCount; ++page) {
    sheet.TabBar()->setCurrentIndex(page);
    sheet.activateWindow();
    Settle();
    // The screen's pixels where it can be read (X); the widget's own drawing elsewhere.
    const QPoint at = sheet.mapToGlobal(QPoint(0, 0));
    QPixmap shot = sheet.screen()->grabWindow(0, at.x(), at.y(), sheet.width(), sheet.height());
    if (shot.isNull() || shot.size() != sheet.size()) shot = sheet.grab();
    const QString path = out.filePath(QStringLiteral("settings-%1.png").arg(QLatin1String(kNames[page])));
    if (!shot.save(path)) {
      std::fprintf(stderr, "quillon-sheet-shots: cannot write %s\n", qPrintable(path));
      ++failures;
      continue;
    }
    std::printf("wrote %s\n", qPrintable(path));
  }
  sheet.reject();
  return failures == 0 ? 0 : 1;
}
