// quillon-skin-gen OUTPUT_DIR: draws the skin and every control image, icon
// strip, logo and program icon into OUTPUT_DIR as PNG files named by
// resource id and role. Needs only a headless Qt (QT_QPA_PLATFORM=offscreen)
// and the Liberation fonts, so every run gives the same pixels.

#include <QDir>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QStringList>
#include <cstdio>
#include <utility>
#include <vector>

#include "brand_painter.h"
#include "icon_painter.h"
#include "paint_utils.h"
#include "skin_painter.h"

namespace {

using skingen::ButtonLook;
using skingen::Glyph;

QString loadFontFamily(const QString& fileName) {
  const QStringList dirs = {QStringLiteral("/usr/share/fonts/truetype/liberation"),
                            QStringLiteral("/usr/share/fonts/truetype/liberation2"),
                            QStringLiteral("/usr/share/fonts/liberation")};
  for (const QString& dir : dirs) {
    const int id = QFontDatabase::addApplicationFont(dir + QLatin1Char('/') + fileName);
    if (id >= 0) {
      const QStringList families = QFontDatabase::applicationFontFamilies(id);
      if (!families.isEmpty()) return families.first();
    }
  }
  return {};
}

QFont makeFont(const QString& family, int pixels, bool bold) {
  QFont font(family);
  font.setPixelSize(pixels);
  font.setBold(bold);
  font.setHintingPreference(QFont::PreferVerticalHinting);
  font.setStyleStrategy(QFont::PreferAntialias);
  return font;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: quillon-skin-gen OUTPUT_DIR\n");
    return 2;
  }
  const QString outDir = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(outDir)) {
    std::fprintf(stderr, "quillon-skin-gen: cannot create %s\n", argv[1]);
    return 1;
  }

  const QString regular = loadFontFamily(QStringLiteral("LiberationSans-Regular.ttf"));
  const QString bold = loadFontFamily(QStringLiteral("LiberationSans-Bold.ttf"));
  if (regular.isEmpty() || bold.isEmpty()) {
    std::fprintf(stderr, "quillon-skin-gen: Liberation Sans not found (install fonts-liberation)\n");
    return 1;
  }

  const skingen::SkinPainter skin(makeFont(regular, 10, false), makeFont(bold, 11, true));
  std::vector<std::pair<QString, QImage>> out;
  auto add = [&](const QString& name, const QImage& image) { out.emplace_back(name, image); };

  add(QStringLiteral("104-skin.png"), skingen::toRgb(skin.skin()));
  for (const skingen::ButtonPlace& b : skingen::kButtons) {
    const QString role = QString::fromLatin1(b.role);
    add(QStringLiteral("%1-%2-pressed.png").arg(b.pressedId).arg(role),
        skingen::toRgb(skin.button(b, b.glyph, ButtonLook::Pressed)));
    add(QStringLiteral("%1-%2-disabled.png").arg(b.disabledId).arg(role),
        skingen::toRgb(skin.button(b, b.glyph, ButtonLook::Disabled)));
  }
  const auto& rec = skingen::kButtons[skingen::kRecordRow];
  const auto& play = skingen::kButtons[skingen::kPlayRow];
  add(QStringLiteral("172-record-pause.png"), skingen::toRgb(skin.button(rec, Glyph::RecordPause, ButtonLook::Normal)));
  add(QStringLiteral("167-record-pause-pressed.png"),
      skingen::toRgb(skin.button(rec, Glyph::RecordPause, ButtonLook::Pressed)));
  add(QStringLiteral("170-play-pause.png"), skingen::toRgb(skin.button(play, Glyph::Pause, ButtonLook::Normal)));
  add(QStringLiteral("171-play-pause-pressed.png"), skingen::toRgb(skin.button(play, Glyph::Pause, ButtonLook::Pressed)));
  add(QStringLiteral("168-play-playpause.png"), skingen::toRgb(skin.button(play, Glyph::PlayPause, ButtonLook::Normal)));
  add(QStringLiteral("169-play-playpause-pressed.png"),
      skingen::toRgb(skin.button(play, Glyph::PlayPause, ButtonLook::Pressed)));

  add(QStringLiteral("112-volume-fill.png"), skingen::toRgb(skin.volumeFill()));
  add(QStringLiteral("102-volume-thumb.png"), skin.volumeThumb());
  add(QStringLiteral("158-threshold-fill.png"), skingen::toRgb(skin.thresholdFill()));
  add(QStringLiteral("157-threshold-thumb.png"), skin.thresholdThumb());
  add(QStringLiteral("143-meter.png"), skingen::toRgb(skin.meterColumn()));
  add(QStringLiteral("163-vas-bar.png"), skingen::toRgb(skin.vasBar()));
  add(QStringLiteral("159-volume-icons.png"), skingen::toRgb(skin.volumeIcons()));
  add(QStringLiteral("160-status-icons.png"), skingen::statusIcons());

  add(QStringLiteral("103-tool-strip.png"), skingen::toolStrip(makeFont(bold, 12, true)));
  add(QStringLiteral("165-key-icons.png"), skingen::toRgb(skingen::keyIcons()));
  add(QStringLiteral("173-logo.png"), skingen::logo(makeFont(bold, 13, true)));
  for (int size : {48, 256})
    add(QStringLiteral("101-icon-%1.png").arg(size),
        skingen::programIcon(size).convertToFormat(QImage::Format_ARGB32));

  for (const auto& [name, image] : out) {
    const QString path = QDir(outDir).filePath(name);
    if (!image.save(path, "PNG")) {
      std::fprintf(stderr, "quillon-skin-gen: cannot write %s\n", qPrintable(path));
      return 1;
    }
  }
  std::printf("quillon-skin-gen: %zu images in %s\n", out.size(), qPrintable(outDir));
  return 0;
}
