// The new-version dialog and the window's update check around it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "gui/CNewVersionDialog.h"
#include "gui/DeviceImageStrip.h"
#include "gui/FakeUrlOpener.h"
#include "adapters/qt/QtHttpClient.h"
#include "update/LoopbackHttpServer.h"

namespace wren::gui {
namespace {

const std::string kManifest =
    "<?xml version=\"1.0\"?>\r\n<Wrenlocator version=\"1.8.0.0\" created=\"12/01/2026 "
    "10:00:00\">\r\n"
    "<update type=\"Feature\" comment=\"Pairing from the list\">"
    "<info action=\"Added\" name=\"Pair and trust from the device list\"/>"
    "<info action=\"Fixed\" name=\"Times of devices seen before midnight\"/></update>\r\n"
    "</Wrenlocator>\r\n";

std::vector<std::string> Rows(const QTreeWidget& list) {
  std::vector<std::string> rows;
  for (int i = 0; i < list.topLevelItemCount(); ++i)
    rows.push_back(
        (list.topLevelItem(i)->text(0) + "|" + list.topLevelItem(i)->text(1)).toStdString());
  return rows;
}

TEST(NewVersionDialog, ListsTheManifestAndDownloadsWithoutClosing) {
  test::FakeUrlOpener opener;
  std::vector<int> asked;
  CNewVersionDialog dialog(kManifest, opener, "http://www.pelmark.example/setup.exe",
                           [&](int index) {
                             asked.push_back(index);
                             QPixmap picture(16, 15);
                             picture.fill(index == 33 ? Qt::red : Qt::blue);
                             return QIcon(picture);
                           });
  EXPECT_EQ(dialog.windowTitle(), "New Version Available!");
  QTreeWidget* list = dialog.findChild<QTreeWidget*>(QStringLiteral("newVersionList"));
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->columnCount(), 2);
  EXPECT_EQ(list->headerItem()->text(0), "");
  EXPECT_EQ(list->headerItem()->text(1), "Version Information");
  EXPECT_EQ(Rows(*list),
            (std::vector<std::string>{"Product|Wrenlocator 1.8.0.0", "Date|12/01/2026 10:00:00",
                                      "Type|Feature", "Description|Pairing from the list",
                                      "Added|Pair and trust from the device list",
                                      "Fixed|Times of devices seen before midnight"}));
  EXPECT_EQ(asked, (std::vector<int>{33, 34, 34, 34, 34, 34}));
  EXPECT_FALSE(list->topLevelItem(0)->icon(0).isNull());

  dialog.show();
  const int width = list->viewport()->width();
  EXPECT_EQ(list->columnWidth(0), width / 4);
  EXPECT_EQ(list->columnWidth(1), 3 * (width / 4));

  auto* download = dialog.findChild<QPushButton*>(QStringLiteral("newVersionDownload"));
  ASSERT_NE(download, nullptr);
  EXPECT_EQ(download->text(), "Download...");
  QTest::mouseClick(download, Qt::LeftButton);
  QTest::mouseClick(download, Qt::LeftButton);
  EXPECT_EQ(opener.opened, (std::vector<std::string>{"http://www.pelmark.example/setup.exe",
                                                     "http://www.pelmark.example/setup.exe"}));
  EXPECT_TRUE(dialog.isVisible());
  QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("newVersionOk")), Qt::LeftButton);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(NewVersionDialog, WithoutPicturesAndWithoutAnUpdateElement) {
  test::FakeUrlOpener opener;
  CNewVersionDialog dialog("<m version=\"1.7.4.1\" created=\"now\"/>", opener, "http://x.example/");
  QTreeWidget* list = dialog.findChild<QTreeWidget*>(QStringLiteral("newVersionList"));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Rows(*list), (std::vector<std::string>{"Product|Wrenlocator 1.7.4.1", "Date|now"}));
  EXPECT_TRUE(list->topLevelItem(0)->icon(0).isNull());
}

// Closes whatever modal window the check opens and remembers what it said.
struct ModalWatcher {
  QString title, text;
  QString className;
  std::vector<std::string> rows;
  void Arm() {
    QTimer::singleShot(50, [this] { Look(); });
  }
  void Look() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) {
      Arm();
      return;
    }
    title = modal->windowTitle();
    className = modal->metaObject()->className();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) text = box->text();
    if (auto* list = modal->findChild<QTreeWidget*>(QStringLiteral("newVersionList")))
      rows = Rows(*list);
    qobject_cast<QDialog*>(modal)->accept();
  }
};

class WindowUpdateCheck : public ::testing::Test {
protected:
  test::FakeUrlOpener opener;
  test::LoopbackHttpServer server;
  platform::QtHttpClient http{1500};
  QWidget window;
  ModalWatcher watcher;

  UpdateOutcome Run(const std::string& path) {
    watcher.Arm();
    return CNewVersionDialog::CheckForUpdates(&window, http, opener, server.Url(path),
                                              "http://x.example/setup");
  }
};

TEST_F(WindowUpdateCheck, EachOutcomeShowsItsWindow) {
  window.show();
  server.Serve("/new.xml", QByteArray::fromStdString(kManifest));
  server.Serve("/same.xml", "<m version=\"1.7.4.0\"/>");
  server.Answer("/nolength.xml",
                "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n<m version=\"9.0.0.0\"/>");

  EXPECT_EQ(Run("/new.xml"), UpdateOutcome::NewVersion);
  EXPECT_EQ(watcher.title, "New Version Available!");
  ASSERT_FALSE(watcher.rows.empty());
  EXPECT_EQ(watcher.rows.front(), "Product|Wrenlocator 1.8.0.0");

  watcher = {};
  EXPECT_EQ(Run("/same.xml"), UpdateOutcome::NoNewVersion);
  EXPECT_EQ(watcher.title, "Wrenlocator");
  EXPECT_EQ(watcher.text, "There are no new versions available.");

  watcher = {};
  EXPECT_EQ(Run("/nolength.xml"), UpdateOutcome::Failed);
  EXPECT_EQ(watcher.title, "Wrenlocator");
  EXPECT_EQ(watcher.text, "Internet Connection Failed...");
}

// While the fetch waits the window keeps painting; the check then gives up
// with the failure message.
class PaintCounter : public QWidget {
public:
  int paints = 0;

protected:
  void paintEvent(QPaintEvent*) override { ++paints; }
};

TEST_F(WindowUpdateCheck, WindowRepaintsWhileWaitingAndTheCheckGivesUp) {
  PaintCounter painted;
  painted.resize(200, 100);
  painted.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&painted));
  QApplication::processEvents();
  server.Hang("/silent.xml");
  int paintsBefore = -1;
  bool waitCursor = false;
  QTimer::singleShot(300, [&] {
    paintsBefore = painted.paints;
    waitCursor = QGuiApplication::overrideCursor() != nullptr &&
                 QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
    painted.update();
  });
  EXPECT_EQ(Run("/silent.xml"), UpdateOutcome::Failed);
  EXPECT_EQ(watcher.text.toStdString(),
            "Internet Connection Failed...The server did not answer within 2 seconds.");
  ASSERT_GE(paintsBefore, 0) << "the window's own events did not run during the wait";
  EXPECT_GT(painted.paints, paintsBefore);
  EXPECT_TRUE(waitCursor);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(NewVersionDialog, Screenshot) {
  const QByteArray folder = qgetenv("WREN_SCREENSHOT_DIR");
  if (folder.isEmpty()) GTEST_SKIP() << "WREN_SCREENSHOT_DIR not set";
  test::FakeUrlOpener opener;
  CNewVersionDialog dialog(kManifest, opener, "http://www.pelmark.example/setup.exe",
                           [](int index) { return DeviceImageStrip::Shared().Icon(index); });
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QTest::qWait(200);
  EXPECT_TRUE(dialog.grab().save(QDir(QString::fromLocal8Bit(folder)).filePath("new-version.png")));
}

}  // namespace
}  // namespace wren::gui
