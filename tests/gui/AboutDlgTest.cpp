// The About box: its banner with colours, icon and texts, and its links.
#include <gtest/gtest.h>

#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "gui/CAboutDlg.h"
#include "gui/CHyperlinkLabel.h"
#include "gui/CSideBanner.h"
#include "gui/FakeUrlOpener.h"
#include "core/datafile/XmlDataFile.h"

namespace wren::gui {
namespace {

TEST(AboutDlg, TitleAndBanner) {
  test::FakeUrlOpener opener;
  CAboutDlg dialog(opener);
  EXPECT_EQ(dialog.windowTitle(), "About Wrenlocator");
  CSideBanner* banner = dialog.findChild<CSideBanner*>(QStringLiteral("aboutBanner"));
  ASSERT_NE(banner, nullptr);
  EXPECT_EQ(banner->Edge(), CSideBanner::kEdgeTop);
  EXPECT_EQ(banner->ControlId(), 65520);
  EXPECT_EQ(banner->FirstColor(), QColor(204, 254, 255));
  EXPECT_EQ(banner->SecondColor(), QColor(138, 223, 255));
  EXPECT_EQ(banner->FillStyle(), CSideBanner::kFillGradient);
  EXPECT_EQ(banner->Title(), "Wireless Private Area Network Auditor Version 1.7.4.0");
  EXPECT_TRUE(banner->Caption().contains("Pelmark LLC."));

  // The program icon, 32 by 32, at the near end and centred.
  EXPECT_EQ(banner->IconSize(), QSize(32, 32));
  const auto layout = banner->Layout();
  EXPECT_EQ(layout.icon, QRect(5, 9, 32, 32));
  EXPECT_EQ(layout.titleOrigin, QPoint(42, 3));

  dialog.show();
  EXPECT_EQ(banner->geometry(), QRect(0, 0, dialog.width(), 50));
  // The title fits beside the icon.
  EXPECT_GE(dialog.width(),
            42 + QFontMetrics(banner->TitleFont()).horizontalAdvance(banner->Title()));
  // Every control lies below the band.
  for (QWidget* child : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child == banner || !child->isVisible()) continue;
    EXPECT_GE(child->y(), 50) << child->objectName().toStdString();
  }

  // Painted: the gradient runs from the first colour at the left to the
  // second at the right, and the icon shows some of its own colours.
  const QImage image = banner->Render();
  const QRgb left = image.pixel(1, 47), right = image.pixel(image.width() - 1, 47);
  EXPECT_LE(std::abs(qRed(left) - 204) + std::abs(qGreen(left) - 254) + std::abs(qBlue(left) - 255),
            6);
  EXPECT_LE(
      std::abs(qRed(right) - 138) + std::abs(qGreen(right) - 223) + std::abs(qBlue(right) - 255),
      6);
  const QImage icon = CAboutDlg::ProgramIcon()
                          .pixmap(QSize(32, 32), 1.0)
                          .toImage()
                          .convertToFormat(QImage::Format_ARGB32);
  ASSERT_FALSE(icon.isNull());
  int same = 0, opaque = 0;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) {
      if (qAlpha(icon.pixel(x, y)) < 255) continue;
      ++opaque;
      if ((image.pixel(5 + x, 9 + y) & 0xFFFFFF) == (icon.pixel(x, y) & 0xFFFFFF)) ++same;
    }
  EXPECT_GT(opaque, 100);
  EXPECT_EQ(same, opaque);
}

TEST(AboutDlg, LinksOpenTheHomePageAndAMailToSupport) {
  test::FakeUrlOpener opener;
  CAboutDlg dialog(opener);
  dialog.show();
  auto* info = dialog.findChild<QLabel*>(QStringLiteral("aboutInfoLabel"));
  auto* support = dialog.findChild<QLabel*>(QStringLiteral("aboutSupportLabel"));
  ASSERT_NE(info, nullptr);
  ASSERT_NE(support, nullptr);
  EXPECT_EQ(info->text(), "Application Info:");
  EXPECT_EQ(support->text(), "Technical Support:");
  auto* home = dialog.findChild<CHyperlinkLabel*>(QStringLiteral("aboutHomePageLink"));
  auto* mail = dialog.findChild<CHyperlinkLabel*>(QStringLiteral("aboutSupportLink"));
  ASSERT_NE(home, nullptr);
  ASSERT_NE(mail, nullptr);
  // Each link sits beside its caption.
  EXPECT_EQ(home->geometry().center().y() / 4, info->geometry().center().y() / 4);
  EXPECT_GT(home->x(), info->x());
  EXPECT_EQ(mail->text(), "support@pelmark.example");
  QTest::mouseClick(home, Qt::LeftButton, {}, QPoint(3, 3));
  QTest::mouseClick(mail, Qt::LeftButton, {}, QPoint(3, 3));
  EXPECT_EQ(opener.opened, (std::vector<std::string>{std::string(kHomePageUrl),
                                                     "mailto:support@pelmark.example"}));

  auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("aboutOk"));
  ASSERT_NE(ok, nullptr);
  QTest::mouseClick(ok, Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(dialog.isVisible());
}

// A look as a user would have it: with WREN_SCREENSHOT_DIR set (under a
// virtual display), the box is saved there as a picture.
TEST(AboutDlg, Screenshot) {
  const QByteArray folder = qgetenv("WREN_SCREENSHOT_DIR");
  if (folder.isEmpty()) GTEST_SKIP() << "WREN_SCREENSHOT_DIR not set";
  test::FakeUrlOpener opener;
  CAboutDlg dialog(opener);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QTest::qWait(200);
  EXPECT_TRUE(dialog.grab().save(QDir(QString::fromLocal8Bit(folder)).filePath("about-box.png")));
}

}  // namespace
}  // namespace wren::gui
