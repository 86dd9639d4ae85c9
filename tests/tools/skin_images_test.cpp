// Runs quillon-skin-gen into a temporary folder and checks what it draws:
// the sizes the view relies on, that resources/ holds exactly the generated
// pixels, and that each control image fits its place on the skin.

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

// Button images carry the square of the skin they replace.
enum Kind { Other, Pressed, Disabled, Face, LitFace };
const struct { const char* file; int width, height; Kind kind = Other; int left = 0, top = 0; } kImages[] = {
    {"104-skin.png", 240, 269},
    {"140-record-pressed.png", 28, 28, Pressed, 5, 84},     {"142-record-disabled.png", 28, 28, Disabled, 5, 84},
    {"122-play-pressed.png", 34, 34, Pressed, 37, 81},      {"121-play-disabled.png", 34, 34, Disabled, 37, 81},
    {"113-stop-pressed.png", 28, 28, Pressed, 75, 84},      {"125-stop-disabled.png", 28, 28, Disabled, 75, 84},
    {"138-rewind-pressed.png", 28, 28, Pressed, 109, 84},   {"137-rewind-disabled.png", 28, 28, Disabled, 109, 84},
    {"135-forward-pressed.png", 28, 28, Pressed, 141, 84},  {"134-forward-disabled.png", 28, 28, Disabled, 141, 84},
    {"127-previous-pressed.png", 28, 28, Pressed, 175, 84}, {"124-previous-disabled.png", 28, 28, Disabled, 175, 84},
    {"119-next-pressed.png", 28, 28, Pressed, 207, 84},     {"118-next-disabled.png", 28, 28, Disabled, 207, 84},
    {"162-vas-pressed.png", 38, 38, Pressed, 8, 128},       {"161-vas-disabled.png", 38, 38, Disabled, 8, 128},
    {"172-record-pause.png", 28, 28, Face, 5, 84},          {"167-record-pause-pressed.png", 28, 28, LitFace, 5, 84},
    {"170-play-pause.png", 34, 34, Face, 37, 81},           {"171-play-pause-pressed.png", 34, 34, LitFace, 37, 81},
    {"168-play-playpause.png", 34, 34, Face, 37, 81},       {"169-play-playpause-pressed.png", 34, 34, LitFace, 37, 81},
    {"112-volume-fill.png", 10, 61},     {"102-volume-thumb.png", 13, 8},    {"158-threshold-fill.png", 173, 11},
    {"157-threshold-thumb.png", 10, 15}, {"143-meter.png", 3, 75},           {"163-vas-bar.png", 167, 3},
    {"159-volume-icons.png", 4 * 18, 18},{"160-status-icons.png", 60, 10},   {"103-tool-strip.png", 7 * 16, 16},
    {"165-key-icons.png", 10 * 16, 16},  {"173-logo.png", 77, 38},           {"101-icon-48.png", 48, 48},
    {"101-icon-256.png", 256, 256},
};

bool isMagenta(QRgb c) { return (c & 0xFFFFFF) == 0xFF00FF; }
int luma(QRgb c) { return (30 * qRed(c) + 59 * qGreen(c) + 11 * qBlue(c)) / 100; }
bool isGreen(QRgb c) { return qGreen(c) > qRed(c) + 40 && qGreen(c) > qBlue(c) + 30; }
bool isRed(QRgb c) { return qRed(c) > qGreen(c) + 60 && qRed(c) > qBlue(c) + 60; }

int countIn(const QImage& img, const QRect& r, bool (*pred)(QRgb)) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) n += pred(img.pixel(x, y));
  return n;
}
bool litRim(const QImage& img) {  // green at the top of the round button
  return countIn(img, QRect(img.width() / 2, 0, 1, 5), isGreen) > 0;
}
double lumaSpread(const QImage& img) {
  double sum = 0, sq = 0;
  const int n = img.width() * img.height();
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const double l = luma(img.pixel(x, y));
      sum += l;
      sq += l * l;
    }
  return std::sqrt(std::max(0.0, sq / n - (sum / n) * (sum / n)));
}

class SkinImagesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(dir_->isValid());
    qputenv("QT_QPA_PLATFORM", "offscreen");  // inherited by the generator
    QProcess gen;
    gen.start(QStringLiteral(QUILLON_SKIN_GEN), {dir_->path()});
    ASSERT_TRUE(gen.waitForFinished(120000));
    exitCode_ = gen.exitStatus() == QProcess::NormalExit ? gen.exitCode() : -1;
  }
  static void TearDownTestSuite() { dir_.reset(); }
  void SetUp() override {
    ASSERT_EQ(exitCode_, 0) << "quillon-skin-gen failed";
    skin = generated("104-skin.png");
  }
  static QImage load(const QString& folder, const QString& name) {
    return QImage(QDir(folder).filePath(name)).convertToFormat(QImage::Format_ARGB32);
  }
  static QImage generated(const QString& name) { return load(dir_->path(), name); }

  static inline std::unique_ptr<QTemporaryDir> dir_;
  static inline int exitCode_ = -1;
  QImage skin;
};

TEST_F(SkinImagesTest, EveryImageHasItsSizeAndIsCommittedPixelForPixel) {
  for (const auto& e : kImages) {
    const QImage img = generated(e.file);
    ASSERT_FALSE(img.isNull()) << e.file;
    EXPECT_EQ(img.size(), QSize(e.width, e.height)) << e.file;
  }
  const QStringList made = QDir(dir_->path()).entryList({QStringLiteral("*.png")}, QDir::Files);
  EXPECT_EQ(made.size(), int(std::size(kImages))) << "unexpected extra or missing images";
  EXPECT_EQ(made, QDir(QStringLiteral(QUILLON_RESOURCES)).entryList({QStringLiteral("*.png")}, QDir::Files));
  for (const QString& name : made)
    EXPECT_TRUE(generated(name) == load(QStringLiteral(QUILLON_RESOURCES), name))
        << name.toStdString() << " differs from the generator; regenerate resources/";
}

TEST_F(SkinImagesTest, ButtonImagesReplaceExactlyTheirSquareOfTheSkin) {
  for (const auto& b : kImages) {
    if (b.kind == Other) continue;
    const int size = b.width;
    const QImage normal = skin.copy(b.left, b.top, size, size);
    const QImage img = generated(b.file);
    // Corners lie outside the round button: they must be the skin itself.
    const int last = size - 1;
    for (auto [x, y] : {std::pair{0, 0}, {last, 0}, {0, last}, {last, last}})
      EXPECT_EQ(img.pixel(x, y), normal.pixel(x, y)) << b.file << " corner " << x << "," << y;
    EXPECT_FALSE(litRim(normal)) << "normal look under " << b.file << " is already lit";
    if (b.kind == Disabled) {
      EXPECT_LT(lumaSpread(img), lumaSpread(normal) * 0.8) << b.file << " is not washed out";
    } else {
      EXPECT_EQ(litRim(img), b.kind == Pressed || b.kind == LitFace) << b.file;
      EXPECT_NE(img, normal) << b.file;
    }
  }
  EXPECT_TRUE(isRed(skin.pixel(5 + 14, 84 + 14))) << "record glyph is a red dot";
  EXPECT_FALSE(isRed(generated("142-record-disabled.png").pixel(14, 14))) << "disabled record still red";
}

TEST_F(SkinImagesTest, MeterAndVasBarRunFromGreenToRedWithTheSkinBetweenDots) {
  const QImage meter = generated("143-meter.png");
  EXPECT_TRUE(isGreen(meter.pixel(1, 74)));
  EXPECT_TRUE(isRed(meter.pixel(1, 1)));
  for (int r = 0; r < 75; ++r)
    for (int x = 0; x < 3; ++x) {
      const QRgb left = skin.pixel(4 + x, 3 + r);
      if (r % 3 == 0) {  // gaps: the skin's own background in both columns
        EXPECT_EQ(meter.pixel(x, r), left) << "row " << r;
        EXPECT_EQ(meter.pixel(x, r), skin.pixel(12 + x, 3 + r)) << "row " << r;
      } else {
        EXPECT_GT(luma(meter.pixel(x, r)), luma(left) + 40) << "dot at row " << r << " not lit";
        EXPECT_LT(luma(left), 80) << "unlit column too bright at row " << r;
      }
    }

  const QImage bar = generated("163-vas-bar.png");
  EXPECT_TRUE(isGreen(bar.pixel(0, 1)));
  EXPECT_TRUE(isRed(bar.pixel(166, 1)));
  for (int c = 0; c < 167; ++c)
    for (int y = 0; y < 3; ++y) {
      if (c % 3 == 2) {
        EXPECT_EQ(bar.pixel(c, y), skin.pixel(57 + c, 133 + y)) << "column " << c;
        EXPECT_EQ(bar.pixel(c, y), skin.pixel(57 + c, 141 + y)) << "column " << c;
      } else {
        EXPECT_GT(luma(bar.pixel(c, y)), luma(skin.pixel(57 + c, 133 + y)) + 40) << "column " << c;
      }
    }
}

TEST_F(SkinImagesTest, SliderFillsAreGreenWedgesOverTheSkin) {
  const QImage volume = generated("112-volume-fill.png");
  const QImage threshold = generated("158-threshold-fill.png");
  // Every pixel is green or the skin where it lands (volume: one row below the top).
  for (auto [fill, at] : {std::pair{&volume, QPoint(223, 4)}, {&threshold, QPoint(57, 151)}}) {
    for (int y = 0; y < fill->height(); ++y)
      for (int x = 0; x < fill->width(); ++x)
        EXPECT_TRUE(isGreen(fill->pixel(x, y)) || fill->pixel(x, y) == skin.pixel(at + QPoint(x, y))) << x << "," << y;
    EXPECT_GT(countIn(*fill, fill->rect(), isGreen), fill->width() * fill->height() / 4);
  }
  // Full width at the loud end, narrow at the quiet end.
  EXPECT_TRUE(isGreen(volume.pixel(0, 0)));
  EXPECT_FALSE(isGreen(volume.pixel(0, 60)));
  EXPECT_TRUE(isGreen(volume.pixel(9, 60)));
  EXPECT_TRUE(isGreen(threshold.pixel(172, 0)));
  EXPECT_FALSE(isGreen(threshold.pixel(0, 0)));
  EXPECT_TRUE(isGreen(threshold.pixel(0, 10)));
}

TEST_F(SkinImagesTest, ThumbsAndIconsUseMagentaForTransparency) {
  for (const char* name : {"102-volume-thumb.png", "157-threshold-thumb.png", "173-logo.png"}) {
    const QImage img = generated(name);
    EXPECT_TRUE(isMagenta(img.pixel(0, 0))) << name;
    const int area = img.width() * img.height();
    EXPECT_GT(area - countIn(img, img.rect(), isMagenta), area / 4) << name;
  }
  // The thumbs cover the middle of their tracks.
  EXPECT_FALSE(isMagenta(generated("102-volume-thumb.png").pixel(8, 4)));
  EXPECT_FALSE(isMagenta(generated("157-threshold-thumb.png").pixel(5, 10)));

  const QImage status = generated("160-status-icons.png");
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(isMagenta(status.pixel(10 * i, 0))) << "status icon " << i;

  // Volume icons are drawn without restoring the skin: opaque but for the
  // corners, so one icon fully covers another.
  const QImage volume = generated("159-volume-icons.png");
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(isMagenta(volume.pixel(18 * i, 0))) << "volume icon " << i;
    EXPECT_EQ(countIn(volume, QRect(18 * i + 2, 2, 14, 14), isMagenta), 0) << "volume icon " << i;
  }
}

TEST_F(SkinImagesTest, SkinHasLightPanelsUnderTheTextsAndADarkInformationPanel) {
  const QRect texts[] = {QRect(QPoint(45, 4), QPoint(147, 20)),  QRect(QPoint(148, 4), QPoint(210, 20)),
                         QRect(QPoint(33, 33), QPoint(115, 52)), QRect(QPoint(131, 25), QPoint(215, 41)),
                         QRect(QPoint(131, 40), QPoint(215, 54)), QRect(29, 7, 10, 10)};
  for (const QRect& r : texts)
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x)
        ASSERT_GT(luma(skin.pixel(x, y)), 140) << "black text would not read at " << x << "," << y;
  double track = 0;  // under the red position line
  for (int x = 29; x <= 209; ++x) track += luma(skin.pixel(x, 62));
  EXPECT_GT(track / 181, 150);
  const QRect info(8, 175, 224, 87);  // dark with light words on it
  EXPECT_GT(countIn(skin, info, [](QRgb c) { return luma(c) < 50; }), 224 * 87 / 2);
  EXPECT_GT(countIn(skin, info, [](QRgb c) { return luma(c) > 150; }), 300);
}

}  // namespace
