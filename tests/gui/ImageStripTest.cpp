#include "gui/DeviceImageStrip.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace wren {
namespace {

constexpr QRgb kKey = DeviceImageStrip::kTransparentColour;

int OpaquePixels(const QImage& image) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (qAlpha(image.pixel(x, y)) != 0) ++n;
  return n;
}

QImage Argb(const QPixmap& pixmap) {
  return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

TEST(DeviceImageStrip, EmbeddedStripGivesFortyEightImagesOfTheirSize) {
  const DeviceImageStrip& strip = DeviceImageStrip::Shared();
  ASSERT_TRUE(strip.IsValid());
  for (int i = 0; i < DeviceImageStrip::kCount; ++i) {
    SCOPED_TRACE(i);
    QPixmap small = strip.Pixmap(i);
    ASSERT_FALSE(small.isNull());
    EXPECT_EQ(small.size(), QSize(16, 15));
    EXPECT_EQ(small.devicePixelRatio(), 1.0);
    QPixmap big = strip.Pixmap(i, 2.0);
    EXPECT_EQ(big.size(), QSize(32, 30));
    EXPECT_EQ(big.devicePixelRatio(), 2.0);
    EXPECT_EQ(big.deviceIndependentSize(), QSizeF(16, 15));
    QIcon icon = strip.Icon(i);
    ASSERT_FALSE(icon.isNull());
    EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 15)));
    // On a high-density screen the icon draws the 2x picture, not a blow-up.
    QPixmap fromIcon = icon.pixmap(QSize(16, 15), 2.0);
    EXPECT_EQ(fromIcon.size(), QSize(32, 30));
    EXPECT_EQ(Argb(fromIcon), Argb(big));
  }
  EXPECT_TRUE(strip.Pixmap(-1).isNull());
  EXPECT_TRUE(strip.Pixmap(48).isNull());
  EXPECT_TRUE(strip.Icon(48).isNull());
}

TEST(DeviceImageStrip, DrawnPicturesAreDistinctAndTheLastSevenEmpty) {
  const DeviceImageStrip& strip = DeviceImageStrip::Shared();
  std::vector<QImage> seen;
  for (int i = 0; i < DeviceImageStrip::kCount; ++i) {
    SCOPED_TRACE(i);
    QImage small = Argb(strip.Pixmap(i));
    QImage big = Argb(strip.Pixmap(i, 2.0));
    if (i >= 41) {
      EXPECT_EQ(OpaquePixels(small), 0);
      EXPECT_EQ(OpaquePixels(big), 0);
      continue;
    }
    // A picture, with see-through background around it.
    int opaque = OpaquePixels(small);
    EXPECT_GT(opaque, 10);
    EXPECT_LT(opaque, 16 * 15);
    EXPECT_GT(OpaquePixels(big), 3 * opaque / 2);
    for (const QImage& other : seen) EXPECT_NE(small, other);
    seen.push_back(small);
  }
}

TEST(DeviceImageStrip, KeyColourBecomesTransparentAndNothingElse) {
  // A strip of 48 images where image i has the key colour in its left
  // column and a colour of its own elsewhere, so a cut that is off by a
  // pixel or an image shows.
  QImage strip(16 * 48, 15, QImage::Format_RGB32);
  for (int i = 0; i < 48; ++i)
    for (int y = 0; y < 15; ++y)
      for (int x = 0; x < 16; ++x)
        strip.setPixel(i * 16 + x, y, x == 0 ? kKey : qRgb(i * 5, 255 - i * 5, y * 10));
  // Near-key colours stay opaque.
  strip.setPixel(3 * 16 + 5, 7, qRgb(0, 128, 129));
  strip.setPixel(3 * 16 + 6, 7, qRgb(1, 128, 128));

  DeviceImageStrip cut(strip, QImage());
  ASSERT_TRUE(cut.IsValid());
  for (int i = 0; i < 48; ++i) {
    SCOPED_TRACE(i);
    QImage image = Argb(cut.Pixmap(i));
    for (int y = 0; y < 15; ++y) {
      EXPECT_EQ(qAlpha(image.pixel(0, y)), 0);
      EXPECT_EQ(image.pixel(1, y), qRgb(i * 5, 255 - i * 5, y * 10));
    }
    EXPECT_EQ(OpaquePixels(image), 15 * 15);
  }
  QImage three = Argb(cut.Pixmap(3));
  EXPECT_EQ(three.pixel(5, 7), qRgb(0, 128, 129));
  EXPECT_EQ(three.pixel(6, 7), qRgb(1, 128, 128));
  // Without a 2x strip, high-density screens get the 1x picture.
  EXPECT_EQ(cut.Pixmap(3, 2.0).size(), QSize(16, 15));
}

TEST(DeviceImageStrip, WrongSizedStripGivesEmptyPicturesNotGarbage) {
  struct Case {
    const char* name;
    QSize size;
  };
  const Case cases[] = {{"null", QSize()},
                        {"too narrow", QSize(16 * 47, 15)},
                        {"too short", QSize(16 * 48, 14)},
                        {"2x given as 1x", QSize(32 * 48, 30)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QImage strip;
    if (c.size.isValid()) {
      strip = QImage(c.size, QImage::Format_RGB32);
      strip.fill(Qt::red);
    }
    DeviceImageStrip cut(strip, QImage());
    EXPECT_FALSE(cut.IsValid());
    for (int i : {0, 20, 47}) {
      QPixmap p = cut.Pixmap(i);
      ASSERT_FALSE(p.isNull());
      EXPECT_EQ(p.size(), QSize(16, 15));
      EXPECT_EQ(OpaquePixels(Argb(p)), 0);
    }
  }
}

TEST(DeviceImageStrip, PaintsTransparentlyOverABackground) {
  // As a list row draws it: the background shows through the key colour.
  QImage canvas(16, 15, QImage::Format_ARGB32);
  canvas.fill(Qt::white);
  {
    QPainter painter(&canvas);
    painter.drawPixmap(0, 0, DeviceImageStrip::Shared().Pixmap(36));  // red dot
  }
  EXPECT_EQ(canvas.pixel(0, 0), qRgb(255, 255, 255));
  QRgb centre = canvas.pixel(8, 8);
  EXPECT_GT(qRed(centre), 150);
  EXPECT_LT(qGreen(centre), 100);
  for (int y = 0; y < 15; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_NE(canvas.pixel(x, y) & RGB_MASK, kKey & RGB_MASK);
}

}  // namespace
}  // namespace wren
