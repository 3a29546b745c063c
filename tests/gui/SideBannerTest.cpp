// The side banner: attaching to each edge, the fills, the edge line, the
// icon and text layout, rendered into images.
#include <gtest/gtest.h>

#include <QDialog>
#include <QDir>
#include <QTest>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>
#include <memory>

#include "gui/CSideBanner.h"

namespace wren::gui {
namespace {

// A dialog laid out by hand, 400 x 300, with two controls.
struct Fixture {
  QDialog dialog;
  QPushButton* button;
  QLabel* label;
  CSideBanner* banner;
  Fixture() {
    dialog.move(120, 80);
    dialog.resize(400, 300);
    button = new QPushButton("OK", &dialog);
    button->setGeometry(300, 260, 80, 25);
    label = new QLabel("Text", &dialog);
    label->setGeometry(10, 10, 200, 20);
    banner = new CSideBanner(&dialog);
  }
};

bool Near(QRgb pixel, const QColor& colour, int tolerance = 2) {
  return std::abs(qRed(pixel) - colour.red()) <= tolerance &&
         std::abs(qGreen(pixel) - colour.green()) <= tolerance &&
         std::abs(qBlue(pixel) - colour.blue()) <= tolerance;
}

// Pixels that are clearly darker than the background: the text's ink.
int Ink(const QImage& image, const QRect& area) {
  int count = 0;
  const QRect r = area.intersected(image.rect());
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if (qGray(image.pixel(x, y)) < 128) ++count;
  return count;
}

void Plain(CSideBanner& banner, const QString& title = {}, const QString& caption = {}) {
  banner.SetFirstColor(Qt::white);
  banner.SetSecondColor(Qt::white);
  banner.SetTitle(title);
  banner.SetCaption(caption);
}

TEST(SideBanner, TopEdgeGrowsTheDialogAndMovesItsControls) {
  Fixture f;
  const QPoint corner = f.dialog.pos();
  ASSERT_TRUE(f.banner->AttachToParent(&f.dialog, CSideBanner::kEdgeTop, 65520));
  EXPECT_EQ(f.dialog.size(), QSize(400, 350));
  EXPECT_EQ(f.dialog.pos(), corner);
  EXPECT_EQ(f.button->geometry(), QRect(300, 310, 80, 25));
  EXPECT_EQ(f.label->geometry(), QRect(10, 60, 200, 20));
  EXPECT_EQ(f.banner->geometry(), QRect(0, 0, 400, 50));
  EXPECT_EQ(f.banner->ControlId(), 65520);
  EXPECT_EQ(f.banner->Edge(), CSideBanner::kEdgeTop);

  // Rows 0 to 49, the edge line on row 49 only.
  const QImage image = f.banner->Render();
  ASSERT_EQ(image.size(), QSize(400, 50));
  for (int x = 0; x < 400; x += 7) {
    EXPECT_EQ(image.pixel(x, 49), qRgb(0, 0, 0)) << x;
    EXPECT_NE(image.pixel(x, 48), qRgb(0, 0, 0)) << x;
  }
}

TEST(SideBanner, EachEdgeGrowsOnItsSideAndCutsItsBand) {
  struct Case {
    int edge;
    QSize size;
    QPoint buttonAt;
    QRect band;
  };
  const Case cases[] = {
      {CSideBanner::kEdgeLeft, {450, 300}, {350, 260}, {0, 0, 50, 300}},
      {CSideBanner::kEdgeRight, {450, 300}, {300, 260}, {400, 0, 50, 300}},
      {CSideBanner::kEdgeBottom, {400, 350}, {300, 260}, {0, 300, 400, 50}},
  };
  for (const auto& c : cases) {
    Fixture f;
    const QPoint corner = f.dialog.pos();
    ASSERT_TRUE(f.banner->AttachToParent(&f.dialog, c.edge, 7));
    EXPECT_EQ(f.dialog.size(), c.size) << c.edge;
    EXPECT_EQ(f.dialog.pos(), corner) << c.edge;
    EXPECT_EQ(f.button->pos(), c.buttonAt) << c.edge;
    EXPECT_EQ(f.banner->geometry(), c.band) << c.edge;
  }
}

TEST(SideBanner, EdgeLineFacesTheDialog) {
  struct Case {
    int edge;
    QRect line;     // where the black line is
    QPoint inside;  // a pixel next to it, not black
  };
  const Case cases[] = {
      {CSideBanner::kEdgeBottom, {0, 0, 400, 1}, {200, 1}},
      {CSideBanner::kEdgeLeft, {49, 0, 1, 300}, {48, 150}},
      {CSideBanner::kEdgeRight, {0, 0, 1, 300}, {1, 150}},
  };
  for (const auto& c : cases) {
    Fixture f;
    Plain(*f.banner);
    ASSERT_TRUE(f.banner->AttachToParent(&f.dialog, c.edge, 1));
    const QImage image = f.banner->Render();
    for (int y = c.line.top(); y <= c.line.bottom(); y += 5)
      for (int x = c.line.left(); x <= c.line.right(); x += 5)
        EXPECT_EQ(image.pixel(x, y), qRgb(0, 0, 0));
    EXPECT_EQ(image.pixel(c.inside), qRgb(255, 255, 255)) << c.edge;
  }
}

TEST(SideBanner, AttachingNowhereChangesNothing) {
  Fixture f;
  EXPECT_FALSE(f.banner->AttachToParent(nullptr, CSideBanner::kEdgeTop, 1));
  EXPECT_FALSE(f.banner->AttachToParent(&f.dialog, 3, 1));
  EXPECT_FALSE(f.banner->AttachToParent(&f.dialog, 0, 1));
  EXPECT_EQ(f.dialog.size(), QSize(400, 300));
  EXPECT_EQ(f.button->pos(), QPoint(300, 260));
  EXPECT_EQ(f.banner->Edge(), 0);
  // Never attached: nothing on screen.
  f.dialog.show();
  EXPECT_FALSE(f.banner->isVisible());
  f.banner->AttachToParent(&f.dialog, CSideBanner::kEdgeTop, 1);
  EXPECT_TRUE(f.banner->isVisible());
}

TEST(SideBanner, LaidOutDialogKeepsItsControlsBelowTheBand) {
  QDialog dialog;
  auto* layout = new QVBoxLayout(&dialog);
  auto* first = new QLabel("First", &dialog);
  layout->addWidget(first);
  layout->addWidget(new QPushButton("OK", &dialog));
  dialog.resize(300, 200);
  layout->activate();
  const int before = first->y();
  CSideBanner banner(&dialog);
  ASSERT_TRUE(banner.AttachToParent(&dialog, CSideBanner::kEdgeTop, 1));
  dialog.show();
  layout->activate();
  EXPECT_EQ(dialog.height(), 250);
  EXPECT_EQ(first->y(), before + 50);
  EXPECT_EQ(banner.geometry(), QRect(0, 0, 300, 50));
  // The band follows a later resize of the dialog.
  dialog.resize(360, 260);
  EXPECT_EQ(banner.geometry(), QRect(0, 0, 360, 50));
}

TEST(SideBanner, FlatFillWhenSolidOrBothColoursEqual) {
  struct Case {
    int style;
    QColor first, second;
  };
  const Case cases[] = {
      {CSideBanner::kFillGradient, QColor(204, 254, 255), QColor(204, 254, 255)},
      {CSideBanner::kFillSolid, QColor(10, 120, 30), QColor(250, 0, 0)},
  };
  for (const auto& c : cases) {
    Fixture f;
    f.banner->SetTitle({});
    f.banner->SetCaption({});
    f.banner->SetFillStyle(c.style);
    f.banner->SetFirstColor(c.first);
    f.banner->SetSecondColor(c.second);
    ASSERT_TRUE(f.banner->AttachToParent(&f.dialog, CSideBanner::kEdgeTop, 1));
    const QImage image = f.banner->Render();
    for (int y = 0; y < 49; y += 3)
      for (int x = 0; x < 400; x += 3) ASSERT_EQ(image.pixel(x, y), c.first.rgb()) << x << "," << y;
  }
}

TEST(SideBanner, GradientRunsInEachEdgesDirection) {
  const QColor first(255, 0, 0), second(0, 0, 255);
  struct Case {
    int edge;
    QPoint start, end;  // first and last pixel along the gradient
    QColor atStart, atEnd;
  };
  const Case cases[] = {
      {CSideBanner::kEdgeTop, {0, 20}, {399, 20}, first, second},
      {CSideBanner::kEdgeBottom, {0, 20}, {399, 20}, first, second},
      {CSideBanner::kEdgeLeft, {20, 0}, {20, 299}, second, first},
      {CSideBanner::kEdgeRight, {20, 0}, {20, 299}, first, second},
  };
  for (const auto& c : cases) {
    Fixture f;
    f.banner->SetTitle({});
    f.banner->SetCaption({});
    f.banner->SetFirstColor(first);
    f.banner->SetSecondColor(second);
    ASSERT_TRUE(f.banner->AttachToParent(&f.dialog, c.edge, 1));
    const QImage image = f.banner->Render();
    EXPECT_TRUE(Near(image.pixel(c.start), c.atStart, 4))
        << c.edge << " " << std::hex << image.pixel(c.start);
    EXPECT_TRUE(Near(image.pixel(c.end), c.atEnd, 4))
        << c.edge << " " << std::hex << image.pixel(c.end);
    // Steady in between: the first colour's share only falls.
    int previousRed = c.atStart == first ? 256 : -1;
    for (int i = 0; i <= 10; ++i) {
      const QPoint at(c.start.x() + (c.end.x() - c.start.x()) * i / 10,
                      c.start.y() + (c.end.y() - c.start.y()) * i / 10);
      const int red = qRed(image.pixel(at));
      if (c.atStart == first)
        EXPECT_LE(red, previousRed) << c.edge << " step " << i;
      else
        EXPECT_GE(red, previousRed) << c.edge << " step " << i;
      previousRed = red;
    }
  }
}

TEST(SideBanner, IconAtTheNearEndCentredAndTitleBesideIt) {
  Fixture f;
  Plain(*f.banner, "Title", {});
  QPixmap icon(32, 32);
  icon.fill(QColor(150, 255, 150));
  ASSERT_TRUE(f.banner->SetIcon(icon, CSideBanner::kIconNearEnd | CSideBanner::kIconCentred));
  EXPECT_EQ(f.banner->IconSize(), QSize(32, 32));
  ASSERT_TRUE(f.banner->AttachToParent(&f.dialog, CSideBanner::kEdgeTop, 1));
  const auto layout = f.banner->Layout();
  EXPECT_EQ(layout.icon, QRect(5, 9, 32, 32));
  EXPECT_EQ(layout.titleOrigin, QPoint(42, 3));
  EXPECT_EQ(layout.captionOrigin, QPoint(46, 13 + f.banner->TitlePitch()));

  const QImage image = f.banner->Render();
  EXPECT_EQ(image.pixel(5, 9), qRgb(150, 255, 150));
  EXPECT_EQ(image.pixel(36, 40), qRgb(150, 255, 150));
  EXPECT_EQ(image.pixel(4, 25), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(37, 25), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(20, 8), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(20, 41), qRgb(255, 255, 255));
  // The title's ink begins at its origin, not over the icon.
  EXPECT_EQ(Ink(image, QRect(0, 0, 42, 49)), 0);
  EXPECT_GT(Ink(image, QRect(42, 3, 60, f.banner->TitlePitch())), 0);
}

TEST(SideBanner, IconPlacementsAcrossAndAlongTheBand) {
  struct Case {
    int placement;
    QRect icon;
    int titleX;
  };
  const Case cases[] = {
      {CSideBanner::kIconNearEnd | CSideBanner::kIconTop, {5, 1, 20, 16}, 5 + 20 + 5},
      {CSideBanner::kIconNearEnd | CSideBanner::kIconBottom, {5, 50 - 16 - 1, 20, 16}, 30},
      {CSideBanner::kIconNearEnd, {5, 0, 20, 16}, 30},
      {CSideBanner::kIconFarEnd | CSideBanner::kIconCentred, {400 - 5 - 20, 25 - 8, 20, 16}, 5},
  };
  for (const auto& c : cases) {
    Fixture f;
    QPixmap icon(20, 16);
    icon.fill(Qt::red);
    f.banner->SetIcon(icon, c.placement);
    ASSERT_TRUE(f.banner->AttachToParent(&f.dialog, CSideBanner::kEdgeTop, 1));
    const auto layout = f.banner->Layout();
    EXPECT_EQ(layout.icon, c.icon) << c.placement;
    EXPECT_EQ(layout.titleOrigin.x(), c.titleX) << c.placement;
  }
  Fixture f;
  EXPECT_FALSE(f.banner->SetIcon(QPixmap(), CSideBanner::kIconNearEnd));
  f.banner->AttachToParent(&f.dialog, CSideBanner::kEdgeTop, 1);
  EXPECT_TRUE(f.banner->Layout().icon.isEmpty());
  EXPECT_EQ(f.banner->Layout().titleOrigin, QPoint(5, 3));
}

TEST(SideBanner, LineFeedStartsANewLineOnePitchLower) {
  Fixture f;
  Plain(*f.banner, {}, "AB\r\nCD");
  ASSERT_TRUE(f.banner->AttachToParent(&f.dialog, CSideBanner::kEdgeTop, 1));
  const auto layout = f.banner->Layout();
  const int pitch = f.banner->CaptionPitch();
  ASSERT_EQ(layout.caption.size(), 4u);
  EXPECT_EQ(layout.caption[0].pos, layout.captionOrigin);
  EXPECT_EQ(layout.caption[2].ch, QChar('C'));
  EXPECT_EQ(layout.caption[2].pos, layout.captionOrigin + QPoint(0, pitch));
  EXPECT_GT(layout.caption[3].pos.x(), layout.caption[2].pos.x());

  // Drawn there too: ink in the second line's cell, none without the break.
  const QRect secondLine(layout.captionOrigin.x(), layout.captionOrigin.y() + pitch, 3 * pitch,
                         49 - layout.captionOrigin.y() - pitch);
  EXPECT_GT(Ink(f.banner->Render(), secondLine), 0);
  f.banner->SetCaption("ABCD");
  EXPECT_EQ(Ink(f.banner->Render(), secondLine), 0);
}

TEST(SideBanner, LongWordBreaksAtTheRightSide) {
  Fixture f;
  const QString word(60, QChar('W'));
  Plain(*f.banner, {}, word);
  ASSERT_TRUE(f.banner->AttachToParent(&f.dialog, CSideBanner::kEdgeTop, 1));
  const auto layout = f.banner->Layout();
  ASSERT_EQ(layout.caption.size(), 60u);
  const int advance = QFontMetrics(f.banner->CaptionFont()).horizontalAdvance(QChar('W'));
  ASSERT_GT(advance, 0);
  int lines = 1;
  for (std::size_t i = 0; i < layout.caption.size(); ++i) {
    const auto& g = layout.caption[i];
    EXPECT_LE(g.pos.x() + advance, 400) << i;
    if (i > 0 && g.pos.y() > layout.caption[i - 1].pos.y()) {
      ++lines;
      EXPECT_EQ(g.pos.x(), layout.captionOrigin.x()) << i;
      EXPECT_EQ(g.pos.y() - layout.caption[i - 1].pos.y(), f.banner->CaptionPitch());
      // The line before was full: one more W would have passed the side.
      EXPECT_GT(layout.caption[i - 1].pos.x() + 2 * advance, 400) << i;
    }
  }
  EXPECT_GE(lines, 2);
  // A narrower band breaks sooner; an icon at the far end narrows it.
  QPixmap icon(32, 32);
  icon.fill(Qt::red);
  f.banner->SetIcon(icon, CSideBanner::kIconFarEnd | CSideBanner::kIconCentred);
  for (const auto& g : f.banner->Layout().caption) EXPECT_LE(g.pos.x() + advance, 400 - 5 - 32);
}

TEST(SideBanner, SideBandsReadAlongTheirLength) {
  // Left: upwards from the bottom, so a short title lies in the lower half
  // near the outer side; right: downwards from the top, near the outer side.
  struct Case {
    int edge;
    QRect inked, blank;
  };
  const Case cases[] = {
      {CSideBanner::kEdgeLeft, {0, 150, 25, 150}, {0, 0, 49, 150}},
      {CSideBanner::kEdgeRight, {25, 0, 25, 150}, {1, 150, 49, 150}},
  };
  for (const auto& c : cases) {
    Fixture f;
    Plain(*f.banner, "Wren", {});
    ASSERT_TRUE(f.banner->AttachToParent(&f.dialog, c.edge, 1));
    EXPECT_EQ(f.banner->Layout().titleOrigin, QPoint(5, 3));
    const QImage image = f.banner->Render();
    EXPECT_GT(Ink(image, c.inked), 0) << c.edge;
    EXPECT_EQ(Ink(image, c.blank), 0) << c.edge;
    // Ink runs along the band: taller than wide.
    QRect box;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 1; x < image.width() - 1; ++x)
        if (qGray(image.pixel(x, y)) < 128) box |= QRect(x, y, 1, 1);
    EXPECT_GT(box.height(), box.width()) << c.edge;
  }
}

TEST(SideBanner, PaintsTheOffScreenImageInOneCopy) {
  Fixture f;
  f.banner->SetTitle("Wireless");
  f.banner->SetCaption("Caption text");
  ASSERT_TRUE(f.banner->AttachToParent(&f.dialog, CSideBanner::kEdgeTop, 1));
  f.dialog.show();
  const QImage painted = f.banner->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QImage rendered = f.banner->Render();
  ASSERT_EQ(painted.size(), rendered.size());
  EXPECT_TRUE(painted == rendered);
}

TEST(SideBanner, FontsAndPitches) {
  CSideBanner banner;
  EXPECT_TRUE(banner.TitleFont().bold());
  EXPECT_FALSE(banner.CaptionFont().bold());
  EXPECT_EQ(banner.TitleFont().pixelSize(), banner.TitlePitch());
  EXPECT_EQ(banner.CaptionFont().pixelSize(), banner.CaptionPitch());
  const double dpi = banner.logicalDpiY();
  EXPECT_EQ(banner.TitlePitch(), static_cast<int>(std::lround(11 * dpi / 72)));
  EXPECT_EQ(banner.CaptionPitch(), static_cast<int>(std::lround(8.5 * dpi / 72)));
  EXPECT_EQ(banner.Thickness(), 50);
  EXPECT_EQ(banner.Title(), "Title");
  EXPECT_EQ(banner.Caption(), "Caption...");
  EXPECT_EQ(banner.FirstColor(), QColor(255, 255, 255));
  EXPECT_EQ(banner.SecondColor(), QColor(128, 128, 192));
  EXPECT_EQ(banner.FillStyle(), CSideBanner::kFillGradient);
}

// With WREN_SCREENSHOT_DIR set, a dialog with a banner on each edge is
// saved there, to look at as a user would.
TEST(SideBanner, Screenshot) {
  const QByteArray folder = qgetenv("WREN_SCREENSHOT_DIR");
  if (folder.isEmpty()) GTEST_SKIP() << "WREN_SCREENSHOT_DIR not set";
  const std::pair<int, const char*> edges[] = {{CSideBanner::kEdgeLeft, "left"},
                                               {CSideBanner::kEdgeTop, "top"},
                                               {CSideBanner::kEdgeRight, "right"},
                                               {CSideBanner::kEdgeBottom, "bottom"}};
  for (const auto& [edge, name] : edges) {
    Fixture f;
    QPixmap icon(32, 32);
    icon.fill(QColor(40, 90, 200));
    f.banner->SetIcon(icon, CSideBanner::kIconNearEnd | CSideBanner::kIconCentred);
    f.banner->SetTitle("Banner Title");
    f.banner->SetCaption("A caption that runs on and wraps by character at the side\nSecond line");
    f.banner->SetFirstColor(QColor(204, 254, 255));
    f.banner->SetSecondColor(QColor(138, 223, 255));
    ASSERT_TRUE(f.banner->AttachToParent(&f.dialog, edge, 1));
    f.dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f.dialog));
    EXPECT_TRUE(f.dialog.grab().save(
        QDir(QString::fromLocal8Bit(folder)).filePath(QStringLiteral("banner-%1.png").arg(name))));
  }
}

}  // namespace
}  // namespace wren::gui
