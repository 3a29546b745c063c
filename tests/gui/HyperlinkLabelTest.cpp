// The hyperlink label: its look inside a dialog and what a click opens.
#include <gtest/gtest.h>

#include <QDialog>
#include <QImage>
#include <QPalette>
#include <QTest>

#include "gui/CHyperlinkLabel.h"
#include "gui/FakeUrlOpener.h"
#include "core/datafile/XmlDataFile.h"

namespace wren::gui {
namespace {

struct Fixture {
  test::FakeUrlOpener opener;
  QDialog dialog;
  CHyperlinkLabel* label;
  Fixture() {
    QFont font(QStringLiteral("Liberation Serif"));
    font.setPointSize(13);
    dialog.setFont(font);
    QPalette background = dialog.palette();
    background.setColor(QPalette::Window, QColor(255, 255, 0));
    dialog.setPalette(background);
    dialog.setAutoFillBackground(true);
    label = new CHyperlinkLabel(QStringLiteral("www.pelmark.example/wrenlocator"), opener, &dialog);
    label->setObjectName(QStringLiteral("link"));
    label->setGeometry(10, 10, 300, 30);
    dialog.resize(320, 60);
    dialog.show();
  }
  void Click(Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(label, button, {}, QPoint(5, 10));
  }
};

TEST(HyperlinkLabel, DialogsFontUnderlinedBlueOnTheDialogsBackground) {
  Fixture f;
  const QFont font = f.label->font();
  EXPECT_EQ(font.family(), f.dialog.font().family());
  EXPECT_EQ(font.pointSize(), 13);
  EXPECT_TRUE(font.underline());
  EXPECT_FALSE(f.dialog.font().underline());
  EXPECT_EQ(f.label->palette().color(QPalette::WindowText), QColor(0, 0, 255));
  EXPECT_EQ(f.label->cursor().shape(), Qt::PointingHandCursor);

  // Later changes of the dialog's font reach the label, still underlined.
  QFont bigger = f.dialog.font();
  bigger.setPointSize(16);
  f.dialog.setFont(bigger);
  EXPECT_EQ(f.label->font().pointSize(), 16);
  EXPECT_TRUE(f.label->font().underline());

  // Drawn: blue ink, and the dialog's yellow shows around it.
  const QImage image = f.dialog.grab(f.label->geometry()).toImage();
  int blue = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      if (qBlue(p) > 150 && qRed(p) < 100 && qGreen(p) < 100) ++blue;
    }
  EXPECT_GT(blue, 20);
  EXPECT_EQ(image.pixel(image.width() - 1, image.height() - 1), qRgb(255, 255, 0));
}

TEST(HyperlinkLabel, StartsWithTheHomePageAndOpensTheTargetOnEveryClick) {
  Fixture f;
  EXPECT_EQ(f.label->Target(), std::string(kHomePageUrl));
  f.Click();
  f.Click();
  EXPECT_EQ(f.opener.opened,
            (std::vector<std::string>{std::string(kHomePageUrl), std::string(kHomePageUrl)}));

  f.opener.opened.clear();
  f.label->SetTarget("mailto:support@pelmark.example");
  f.Click();
  f.Click(Qt::RightButton);
  f.Click(Qt::MiddleButton);
  EXPECT_EQ(f.opener.opened, std::vector<std::string>{"mailto:support@pelmark.example"});
}

TEST(HyperlinkLabel, EmptyTargetTakesTheLabelsTextAndKeepsIt) {
  Fixture f;
  f.label->SetTarget("");
  EXPECT_TRUE(f.opener.opened.empty());
  f.Click();
  EXPECT_EQ(f.label->Target(), "www.pelmark.example/wrenlocator");
  f.label->setText(QStringLiteral("http://elsewhere.example/"));
  f.Click();
  EXPECT_EQ(f.opener.opened, (std::vector<std::string>{"http://www.pelmark.example/wrenlocator",
                                                       "http://www.pelmark.example/wrenlocator"}));
}

TEST(HyperlinkLabel, TargetsWithoutASchemeOpenAsWebAddresses) {
  const std::pair<std::string, std::string> cases[] = {
      {"http://www.pelmark.example/a?b=c", "http://www.pelmark.example/a?b=c"},
      {"mailto:support@pelmark.example", "mailto:support@pelmark.example"},
      {"https://pelmark.example/", "https://pelmark.example/"},
      {"www.pelmark.example", "http://www.pelmark.example"},
      {"pelmark.example/wrenlocator", "http://pelmark.example/wrenlocator"},
  };
  for (const auto& [target, opened] : cases)
    EXPECT_EQ(CHyperlinkLabel::OpenableAddress(target), opened) << target;
}

}  // namespace
}  // namespace wren::gui
