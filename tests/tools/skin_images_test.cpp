// Runs quillon-skin-gen into a temporary folder: the sizes the view relies on,
// resources/ holding the generated pixels (as this machine draws them), and
// buttons that fit the skin.

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include "support/pixel_match.h"

namespace {

using testsupport::ImagesMatch;
using testsupport::PixelsClose;

// Button images replace a square of the skin; the rest have only a size.
const struct { const char* file; int width, height; bool button = false; int left = 0, top = 0; } kImages[] = {
    {"104-skin.png", 240, 269},
    {"140-record-pressed.png", 28, 28, true, 5, 84},     {"142-record-disabled.png", 28, 28, true, 5, 84},
    {"122-play-pressed.png", 34, 34, true, 37, 81},      {"121-play-disabled.png", 34, 34, true, 37, 81},
    {"113-stop-pressed.png", 28, 28, true, 75, 84},      {"125-stop-disabled.png", 28, 28, true, 75, 84},
    {"138-rewind-pressed.png", 28, 28, true, 109, 84},   {"137-rewind-disabled.png", 28, 28, true, 109, 84},
    {"135-forward-pressed.png", 28, 28, true, 141, 84},  {"134-forward-disabled.png", 28, 28, true, 141, 84},
    {"127-previous-pressed.png", 28, 28, true, 175, 84}, {"124-previous-disabled.png", 28, 28, true, 175, 84},
    {"119-next-pressed.png", 28, 28, true, 207, 84},     {"118-next-disabled.png", 28, 28, true, 207, 84},
    {"162-vas-pressed.png", 38, 38, true, 8, 128},       {"161-vas-disabled.png", 38, 38, true, 8, 128},
    {"172-record-pause.png", 28, 28, true, 5, 84},          {"167-record-pause-pressed.png", 28, 28, true, 5, 84},
    {"170-play-pause.png", 34, 34, true, 37, 81},           {"171-play-pause-pressed.png", 34, 34, true, 37, 81},
    {"168-play-playpause.png", 34, 34, true, 37, 81},       {"169-play-playpause-pressed.png", 34, 34, true, 37, 81},
    {"112-volume-fill.png", 10, 61},     {"102-volume-thumb.png", 13, 8},    {"158-threshold-fill.png", 173, 11},
    {"157-threshold-thumb.png", 10, 15}, {"143-meter.png", 3, 75},           {"163-vas-bar.png", 167, 3},
    {"159-volume-icons.png", 4 * 18, 18},{"160-status-icons.png", 60, 10},   {"103-tool-strip.png", 7 * 16, 16},
    {"165-key-icons.png", 10 * 16, 16},  {"173-logo.png", 77, 38},           {"101-icon-48.png", 48, 48},
    {"101-icon-256.png", 256, 256},
};

QImage Resource(const QString& name) {
  return QImage(QDir(QStringLiteral(QUILLON_RESOURCES)).filePath(name)).convertToFormat(QImage::Format_ARGB32);
}

// What another CPU's rounding does to anti-aliased edges passes; a changed
// drawing does not.
TEST(PixelMatch, AllowsAFewLevelsOnAFewPixelsOnly) {
  const QImage logo = Resource("173-logo.png");
  ASSERT_FALSE(logo.isNull());
  const auto changed = [&](int pixels, int levels, int step) {
    QImage out = logo;
    for (int i = 0; i < pixels; ++i) {
      const int x = (i * step) % logo.width(), y = (i * step / logo.width()) % logo.height();
      const QRgb c = out.pixel(x, y);
      out.setPixel(x, y, qRgba(qRed(c) < 128 ? qRed(c) + levels : qRed(c) - levels, qGreen(c), qBlue(c), qAlpha(c)));
    }
    return out;
  };
  const int all = logo.width() * logo.height();
  const struct { int pixels, levels; bool match; } cases[] = {
      {0, 0, true}, {6, 3, true}, {all / 100, 4, true}, {1, 5, false}, {all / 100 + 1, 1, false}, {all, 2, false}};
  for (const auto& c : cases)
    EXPECT_EQ(bool(ImagesMatch(changed(c.pixels, c.levels, c.pixels == all ? 1 : 37), logo)), c.match)
        << c.pixels << " pixels by " << c.levels;
  EXPECT_FALSE(ImagesMatch(logo.copy(0, 0, 76, 38), logo.copy(1, 0, 76, 38))) << "moved by a pixel";
}

TEST(SkinImages, GeneratedImagesHaveTheirSizesFitTheSkinAndMatchTheCommittedOnes) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  qputenv("QT_QPA_PLATFORM", "offscreen");  // inherited by the generator
  QProcess gen;
  gen.start(QStringLiteral(QUILLON_SKIN_GEN), {dir.path()});
  ASSERT_TRUE(gen.waitForFinished(120000));
  ASSERT_EQ(gen.exitStatus(), QProcess::NormalExit);
  ASSERT_EQ(gen.exitCode(), 0);
  const auto load = [](const QString& folder, const QString& name) {
    return QImage(QDir(folder).filePath(name)).convertToFormat(QImage::Format_ARGB32);
  };
  const QStringList made = QDir(dir.path()).entryList({QStringLiteral("*.png")}, QDir::Files);
  EXPECT_EQ(made.size(), int(std::size(kImages))) << "unexpected extra or missing images";
  EXPECT_EQ(made, QDir(QStringLiteral(QUILLON_RESOURCES)).entryList({QStringLiteral("*.png")}, QDir::Files));
  for (const QString& name : made)
    EXPECT_TRUE(ImagesMatch(load(dir.path(), name), load(QStringLiteral(QUILLON_RESOURCES), name)))
        << name.toStdString() << " differs from the generator; regenerate resources/";

  const QImage skin = load(dir.path(), "104-skin.png");
  for (const auto& e : kImages) {
    const QImage img = load(dir.path(), e.file);
    ASSERT_EQ(img.size(), QSize(e.width, e.height)) << e.file;
    if (!e.button) continue;
    // Corners lie outside the round button: they must be the skin itself.
    const QImage normal = skin.copy(e.left, e.top, e.width, e.height);
    for (auto [x, y] : {std::pair{0, 0}, {e.width - 1, 0}, {0, e.height - 1}, {e.width - 1, e.height - 1}})
      EXPECT_TRUE(PixelsClose(img.pixel(x, y), normal.pixel(x, y))) << e.file << " corner " << x << "," << y;
    EXPECT_FALSE(ImagesMatch(img, normal)) << e.file;
  }
  // The VAS panel's dark rim is its top edge, at y 125: the darkest row
  // between the separator and the toggle button.
  for (int x : {60, 120, 200}) {
    int darkest = 120;
    for (int y = 121; y < 128; ++y)
      if (qGray(skin.pixel(x, y)) < qGray(skin.pixel(x, darkest))) darkest = y;
    EXPECT_EQ(darkest, 125) << x;
  }
}

}  // namespace
