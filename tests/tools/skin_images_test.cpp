// Runs quillon-skin-gen into a temporary folder and checks what it draws:
// the sizes the view relies on, that resources/ holds exactly the generated
// pixels, and that each control image fits its place on the skin.

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

struct Expected {
  const char* file;
  int width, height;
};

const Expected kImages[] = {
    {"104-skin.png", 240, 269},
    {"140-record-pressed.png", 28, 28},         {"142-record-disabled.png", 28, 28},
    {"122-play-pressed.png", 34, 34},           {"121-play-disabled.png", 34, 34},
    {"113-stop-pressed.png", 28, 28},           {"125-stop-disabled.png", 28, 28},
    {"138-rewind-pressed.png", 28, 28},         {"137-rewind-disabled.png", 28, 28},
    {"135-forward-pressed.png", 28, 28},        {"134-forward-disabled.png", 28, 28},
    {"127-previous-pressed.png", 28, 28},       {"124-previous-disabled.png", 28, 28},
    {"119-next-pressed.png", 28, 28},           {"118-next-disabled.png", 28, 28},
    {"162-vas-pressed.png", 38, 38},            {"161-vas-disabled.png", 38, 38},
    {"172-record-pause.png", 28, 28},           {"167-record-pause-pressed.png", 28, 28},
    {"170-play-pause.png", 34, 34},             {"171-play-pause-pressed.png", 34, 34},
    {"168-play-playpause.png", 34, 34},         {"169-play-playpause-pressed.png", 34, 34},
    {"112-volume-fill.png", 10, 61},            {"102-volume-thumb.png", 13, 8},
    {"158-threshold-fill.png", 173, 11},        {"157-threshold-thumb.png", 10, 15},
    {"143-meter.png", 3, 75},                   {"163-vas-bar.png", 167, 3},
    {"159-volume-icons.png", 4 * 18, 18},       {"160-status-icons.png", 6 * 10, 10},
    {"103-tool-strip.png", 7 * 16, 16},         {"165-key-icons.png", 10 * 16, 16},
    {"173-logo.png", 77, 38},                   {"101-icon-48.png", 48, 48},
    {"101-icon-256.png", 256, 256},
};

struct Button {
  int left, top, size;
  const char* pressed;
  const char* disabled;
};

const Button kButtons[] = {
    {5, 84, 28, "140-record-pressed.png", "142-record-disabled.png"},
    {37, 81, 34, "122-play-pressed.png", "121-play-disabled.png"},
    {75, 84, 28, "113-stop-pressed.png", "125-stop-disabled.png"},
    {109, 84, 28, "138-rewind-pressed.png", "137-rewind-disabled.png"},
    {141, 84, 28, "135-forward-pressed.png", "134-forward-disabled.png"},
    {175, 84, 28, "127-previous-pressed.png", "124-previous-disabled.png"},
    {207, 84, 28, "119-next-pressed.png", "118-next-disabled.png"},
    {8, 128, 38, "162-vas-pressed.png", "161-vas-disabled.png"},
};

const QRgb kMagenta = qRgb(255, 0, 255);

bool isMagenta(QRgb c) { return (c & 0xFFFFFF) == (kMagenta & 0xFFFFFF); }
int luma(QRgb c) { return (30 * qRed(c) + 59 * qGreen(c) + 11 * qBlue(c)) / 100; }
bool isGreen(QRgb c) { return qGreen(c) > qRed(c) + 40 && qGreen(c) > qBlue(c) + 30; }
bool isRed(QRgb c) { return qRed(c) > qGreen(c) + 60 && qRed(c) > qBlue(c) + 60; }

double lumaSpread(const QImage& img) {
  double sum = 0, sq = 0;
  const int n = img.width() * img.height();
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const double l = luma(img.pixel(x, y));
      sum += l;
      sq += l * l;
    }
  const double mean = sum / n;
  return std::sqrt(std::max(0.0, sq / n - mean * mean));
}

class SkinImagesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(dir_->isValid());
    QProcess gen;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    gen.setProcessEnvironment(env);
    gen.start(QStringLiteral(QUILLON_SKIN_GEN), {dir_->path()});
    ASSERT_TRUE(gen.waitForFinished(120000));
    exitCode_ = gen.exitStatus() == QProcess::NormalExit ? gen.exitCode() : -1;
  }
  static void TearDownTestSuite() { dir_.reset(); }

  void SetUp() override { ASSERT_EQ(exitCode_, 0) << "quillon-skin-gen failed"; }

  static QImage generated(const char* name) {
    return QImage(QDir(dir_->path()).filePath(QString::fromLatin1(name))).convertToFormat(QImage::Format_ARGB32);
  }
  static QImage committed(const QString& name) {
    return QImage(QDir(QStringLiteral(QUILLON_RESOURCES)).filePath(name)).convertToFormat(QImage::Format_ARGB32);
  }

  static std::unique_ptr<QTemporaryDir> dir_;
  static int exitCode_;
};

std::unique_ptr<QTemporaryDir> SkinImagesTest::dir_;
int SkinImagesTest::exitCode_ = -1;

TEST_F(SkinImagesTest, EveryImageHasTheSizeTheViewExpects) {
  for (const Expected& e : kImages) {
    const QImage img = generated(e.file);
    ASSERT_FALSE(img.isNull()) << e.file;
    EXPECT_EQ(img.width(), e.width) << e.file;
    EXPECT_EQ(img.height(), e.height) << e.file;
  }
  const QStringList made = QDir(dir_->path()).entryList({QStringLiteral("*.png")}, QDir::Files);
  EXPECT_EQ(made.size(), int(std::size(kImages))) << "unexpected extra or missing images";
}

TEST_F(SkinImagesTest, CommittedResourcesAreExactlyTheGeneratedImages) {
  const QStringList made = QDir(dir_->path()).entryList({QStringLiteral("*.png")}, QDir::Files);
  const QStringList kept =
      QDir(QStringLiteral(QUILLON_RESOURCES)).entryList({QStringLiteral("*.png")}, QDir::Files);
  EXPECT_EQ(made, kept);
  for (const QString& name : made) {
    const QImage fresh = generated(name.toLatin1().constData());
    const QImage stored = committed(name);
    ASSERT_EQ(fresh.size(), stored.size()) << name.toStdString();
    int differing = 0;
    for (int y = 0; y < fresh.height(); ++y)
      for (int x = 0; x < fresh.width(); ++x)
        if (fresh.pixel(x, y) != stored.pixel(x, y)) ++differing;
    EXPECT_EQ(differing, 0) << name.toStdString() << " differs from the generator; regenerate resources/";
  }
}

TEST_F(SkinImagesTest, ButtonImagesReplaceExactlyTheirSquareOfTheSkin) {
  const QImage skin = generated("104-skin.png");
  for (const Button& b : kButtons) {
    const QImage normal = skin.copy(b.left, b.top, b.size, b.size);
    const QImage pressed = generated(b.pressed);
    const QImage disabled = generated(b.disabled);
    // Corners lie outside the round button: they must be the skin itself.
    const int last = b.size - 1;
    for (auto [x, y] : {std::pair{0, 0}, {last, 0}, {0, last}, {last, last}}) {
      EXPECT_EQ(pressed.pixel(x, y), normal.pixel(x, y)) << b.pressed << " corner " << x << "," << y;
      EXPECT_EQ(disabled.pixel(x, y), normal.pixel(x, y)) << b.disabled << " corner " << x << "," << y;
    }
    // Pressed: a lit green rim at the top of the circle that the skin lacks.
    bool litRim = false, skinRim = false;
    for (int y = 0; y < 5; ++y) {
      litRim |= isGreen(pressed.pixel(b.size / 2, y));
      skinRim |= isGreen(normal.pixel(b.size / 2, y));
    }
    EXPECT_TRUE(litRim) << b.pressed;
    EXPECT_FALSE(skinRim) << "normal look of " << b.pressed << " is already lit";
    // Disabled: washed out, so less contrast than the normal face.
    EXPECT_LT(lumaSpread(disabled), lumaSpread(normal) * 0.8) << b.disabled;
  }
  const QPoint centre(14, 14);
  EXPECT_TRUE(isRed(skin.pixel(QPoint(5, 84) + centre))) << "record glyph is a red dot";
  EXPECT_FALSE(isRed(generated("142-record-disabled.png").pixel(centre))) << "disabled record still red";
}

TEST_F(SkinImagesTest, AlternativeFacesFitTheRecordAndPlaySquares) {
  const QImage skin = generated("104-skin.png");
  struct Face {
    const char* file;
    int left, top, size;
    bool lit;
  };
  const Face faces[] = {{"172-record-pause.png", 5, 84, 28, false},   {"167-record-pause-pressed.png", 5, 84, 28, true},
                        {"170-play-pause.png", 37, 81, 34, false},    {"171-play-pause-pressed.png", 37, 81, 34, true},
                        {"168-play-playpause.png", 37, 81, 34, false}, {"169-play-playpause-pressed.png", 37, 81, 34, true}};
  for (const Face& f : faces) {
    const QImage img = generated(f.file);
    const QImage normal = skin.copy(f.left, f.top, f.size, f.size);
    EXPECT_EQ(img.pixel(0, 0), normal.pixel(0, 0)) << f.file;
    EXPECT_EQ(img.pixel(f.size - 1, f.size - 1), normal.pixel(f.size - 1, f.size - 1)) << f.file;
    EXPECT_NE(img, normal) << f.file << " shows the normal face";
    bool litRim = false;
    for (int y = 0; y < 5; ++y) litRim |= isGreen(img.pixel(f.size / 2, y));
    EXPECT_EQ(litRim, f.lit) << f.file;
  }
}

TEST_F(SkinImagesTest, MeterColumnIsGreenAtTheBottomAndRedAtTheTop) {
  const QImage meter = generated("143-meter.png");
  const QImage skin = generated("104-skin.png");
  EXPECT_TRUE(isGreen(meter.pixel(1, 74)));
  EXPECT_TRUE(isRed(meter.pixel(1, 1)));
  for (int r = 0; r < 75; ++r) {
    for (int x = 0; x < 3; ++x) {
      const QRgb left = skin.pixel(4 + x, 3 + r), right = skin.pixel(12 + x, 3 + r);
      if (r % 3 == 0) {
        // Gaps between dots are the skin's own background in both columns.
        EXPECT_EQ(meter.pixel(x, r), left) << "row " << r;
        EXPECT_EQ(meter.pixel(x, r), right) << "row " << r;
      } else {
        EXPECT_GT(luma(meter.pixel(x, r)), luma(left) + 40) << "dot at row " << r << " not lit";
        EXPECT_LT(luma(left), 80) << "unlit column too bright at row " << r;
      }
    }
  }
}

TEST_F(SkinImagesTest, VasBarRunsFromGreenToRedOverBothDottedRows) {
  const QImage bar = generated("163-vas-bar.png");
  const QImage skin = generated("104-skin.png");
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

// A fill is the skin with its wedge lit: every pixel either equals the skin
// where the fill lands or is green.
void expectGreenWedgeOverSkin(const QImage& fill, const QImage& skin, QPoint at, const char* name) {
  int green = 0;
  for (int y = 0; y < fill.height(); ++y)
    for (int x = 0; x < fill.width(); ++x) {
      const QRgb c = fill.pixel(x, y);
      if (isGreen(c))
        ++green;
      else
        EXPECT_EQ(c, skin.pixel(at + QPoint(x, y))) << name << " at " << x << "," << y;
    }
  EXPECT_GT(green, fill.width() * fill.height() / 4) << name;
}

TEST_F(SkinImagesTest, SliderFillsAreGreenWedgesAlignedWithTheSkin) {
  const QImage skin = generated("104-skin.png");
  const QImage volume = generated("112-volume-fill.png");
  const QImage threshold = generated("158-threshold-fill.png");
  // The volume fill lands one row below the slider's top (row r at y r + 4).
  expectGreenWedgeOverSkin(volume, skin, QPoint(223, 4), "112-volume-fill.png");
  expectGreenWedgeOverSkin(threshold, skin, QPoint(57, 151), "158-threshold-fill.png");
  // Wedges: full width at the loud end, narrow at the quiet end.
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
    int solid = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) solid += !isMagenta(img.pixel(x, y));
    EXPECT_GT(solid, img.width() * img.height() / 4) << name;
  }
  // The thumbs cover the middle of their tracks.
  EXPECT_FALSE(isMagenta(generated("102-volume-thumb.png").pixel(8, 4)));
  EXPECT_FALSE(isMagenta(generated("157-threshold-thumb.png").pixel(5, 10)));

  const QImage status = generated("160-status-icons.png");
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(isMagenta(status.pixel(10 * i, 0))) << "status icon " << i;
  EXPECT_TRUE(isRed(status.pixel(5, 5))) << "recording";
  EXPECT_TRUE(isGreen(status.pixel(14, 5))) << "playing";
  EXPECT_LT(luma(status.pixel(25, 5)), 40) << "stopped";

  // Volume icons are drawn without restoring the skin: opaque but for the
  // corners, so one icon fully covers another.
  const QImage volume = generated("159-volume-icons.png");
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(isMagenta(volume.pixel(18 * i, 0))) << "volume icon " << i;
    for (int y = 2; y < 16; ++y)
      for (int x = 2; x < 16; ++x) EXPECT_FALSE(isMagenta(volume.pixel(18 * i + x, y))) << i << ":" << x << "," << y;
  }

  const QImage tools = generated("103-tool-strip.png");
  for (int i = 0; i < 7; ++i) {
    int solid = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) solid += !isMagenta(tools.pixel(16 * i + x, y));
    EXPECT_GT(solid, 20) << "tool image " << i << " is empty";
    EXPECT_LT(solid, 256) << "tool image " << i << " has no transparency";
  }
}

TEST_F(SkinImagesTest, KeyIconsAreOpaqueAndDistinct) {
  const QImage keys = generated("165-key-icons.png");
  std::vector<QImage> cells;
  for (int i = 0; i < 10; ++i) {
    cells.push_back(keys.copy(16 * i, 0, 16, 16));
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) ASSERT_FALSE(isMagenta(cells.back().pixel(x, y))) << "key icon " << i;
  }
  for (int i = 0; i < 10; ++i)
    for (int j = i + 1; j < 10; ++j) EXPECT_NE(cells[i], cells[j]) << "key icons " << i << " and " << j;
  EXPECT_TRUE(isRed(cells[9].pixel(8, 8))) << "Record key";
}

TEST_F(SkinImagesTest, SkinHasLightPanelsUnderTheTextsAndADarkInformationPanel) {
  const QImage skin = generated("104-skin.png");
  const QRect texts[] = {QRect(QPoint(45, 4), QPoint(147, 20)), QRect(QPoint(148, 4), QPoint(210, 20)),
                         QRect(QPoint(33, 33), QPoint(115, 52)), QRect(QPoint(131, 25), QPoint(215, 41)),
                         QRect(QPoint(131, 40), QPoint(215, 54)), QRect(29, 7, 10, 10)};
  for (const QRect& r : texts)
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x)
        ASSERT_GT(luma(skin.pixel(x, y)), 140) << "black text would not read at " << x << "," << y;
  // The position line is red on a light track.
  double track = 0;
  for (int x = 29; x <= 209; ++x) track += luma(skin.pixel(x, 62));
  EXPECT_GT(track / 181, 150);
  // Information panel: dark with light words on it.
  int dark = 0, light = 0;
  for (int y = 175; y < 262; ++y)
    for (int x = 8; x < 232; ++x) {
      const int l = luma(skin.pixel(x, y));
      dark += l < 50;
      light += l > 150;
    }
  EXPECT_GT(dark, 224 * 87 / 2);
  EXPECT_GT(light, 300);
}

TEST_F(SkinImagesTest, ProgramIconsHaveRealTransparency) {
  for (const char* name : {"101-icon-48.png", "101-icon-256.png"}) {
    const QImage img = generated(name);
    ASSERT_TRUE(img.hasAlphaChannel()) << name;
    EXPECT_EQ(qAlpha(img.pixel(0, 0)), 0) << name;
    EXPECT_EQ(qAlpha(img.pixel(img.width() / 2, img.height() / 2)), 255) << name;
  }
}

}  // namespace
