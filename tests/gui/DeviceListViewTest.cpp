// The device list window over the core model: columns, widths, selection,
// column order, the context menu and the table model's change notices.
#include <QAction>
#include <QContextMenuEvent>
#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "gui/CWrenlocatorView.h"
#include "gui/DeviceTableModel.h"
#include "core/history/DeviceHistory.h"
#include "core/list/ScanReconciler.h"

namespace wren::gui {
namespace {

DeviceRecord Device(const std::string& address, const std::string& name, bool connected = false) {
  DeviceRecord r;
  r.m_address = address;
  r.m_name = name;
  r.m_radioName = "Desk";
  r.m_connected = connected;
  r.m_remembered = 0;
  r.m_authenticated = 0;
  r.m_type = "Phone";
  r.m_image = 7;
  return r;
}

class ListWindow : public ::testing::Test {
protected:
  ListWindow() : m_reconciler(m_list, m_history), m_model(m_list), m_view(m_model) {
    m_view.show();
  }

  // Sizes the view so that its client area is `width` pixels wide.
  void SetClientSize(int width, int height) {
    m_view.resize(width + (m_view.width() - m_view.viewport()->width()),
                  height + (m_view.height() - m_view.viewport()->height()));
    QApplication::processEvents();
  }
  std::vector<int> Widths() const {
    std::vector<int> widths;
    for (int c = 0; c < kColumnCount; ++c)
      widths.push_back(m_view.horizontalHeader()->sectionSize(c));
    return widths;
  }
  void Scan(std::vector<DeviceRecord> records) {
    DeviceList scan;
    for (auto& r : records) scan.push_back(std::move(r));
    m_reconciler.ReconcileScan(scan);
  }

  DeviceListModel m_list;
  DeviceHistory m_history;
  ScanReconciler m_reconciler;
  DeviceTableModel m_model;
  CWrenlocatorView m_view;
};

TEST_F(ListWindow, TenColumnsWithTitlesAndHeaderImages) {
  const char* titles[] = {"Radio-Device",  "Type",         "Address",   "Producer",
                          "LastSeenTime",  "LastUsedTime", "Connected", "Remembered",
                          "Authenticated", "Services"};
  ASSERT_EQ(m_model.columnCount(), 10);
  for (int c = 0; c < 10; ++c) {
    EXPECT_EQ(m_model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), titles[c]);
    EXPECT_FALSE(m_model.headerData(c, Qt::Horizontal, Qt::DecorationRole).isNull()) << c;
  }
  EXPECT_FALSE(m_view.verticalHeader()->isVisible());
  EXPECT_TRUE(m_view.showGrid());
  EXPECT_FALSE(m_view.isSortingEnabled());
  EXPECT_EQ(m_view.selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(m_view.selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_TRUE(m_view.horizontalHeader()->sectionsMovable());
}

TEST_F(ListWindow, WidthsFollowTheFormulaAtAThousandPixels) {
  SetClientSize(1000, 400);
  ASSERT_EQ(m_view.viewport()->width(), 1000);
  EXPECT_EQ(Widths(), (std::vector<int>{150, 150, 120, 220, 120, 120, 100, 100, 100, 500}));
  SetClientSize(1003, 400);  // the remainder goes to Services
  EXPECT_EQ(Widths(), (std::vector<int>{150, 150, 120, 220, 120, 120, 100, 100, 100, 503}));
}

TEST_F(ListWindow, EveryLargerResizeResetsWidthsAndSmallOnesKeepThem) {
  SetClientSize(1000, 400);
  m_view.horizontalHeader()->resizeSection(3, 77);  // the user's own width
  const struct {
    int width, height;
    bool reset;
  } cases[] = {{100, 400, false}, {400, 100, false}, {90, 90, false}, {101, 101, true}};
  for (const auto& c : cases) {
    m_view.horizontalHeader()->resizeSection(3, 77);
    SetClientSize(c.width, c.height);
    if (m_view.viewport()->width() != c.width || m_view.viewport()->height() != c.height)
      GTEST_SKIP() << "the window system would not size the list to " << c.width << "x" << c.height;
    EXPECT_EQ(m_view.horizontalHeader()->sectionSize(3), c.reset ? c.width / 10 + 120 : 77)
        << c.width << "x" << c.height;
  }
}

TEST_F(ListWindow, DraggedColumnsKeepTheirIndexesAndTheAddressStaysColumnTwo) {
  Scan({Device("00:11:22:33:44:55", "Phone"), Device("00:11:22:33:44:66", "Watch")});
  QHeaderView* header = m_view.horizontalHeader();
  header->moveSection(header->visualIndex(2), 0);  // Address dragged to the front
  header->moveSection(header->visualIndex(9), 1);
  EXPECT_EQ(header->logicalIndex(0), 2);
  EXPECT_EQ(m_model.headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "Address");
  EXPECT_EQ(m_model.index(1, 2).data().toString(), "00:11:22:33:44:66");
  m_view.setCurrentIndex(m_model.index(1, 5));
  EXPECT_EQ(m_view.SelectedAddress(), "00:11:22:33:44:66");
  SetClientSize(1000, 400);
  EXPECT_EQ(header->sectionSize(2), 120);  // the formula by index, not by place
  EXPECT_EQ(header->sectionSize(9), 500);
}

TEST_F(ListWindow, NewDevicesGoToTheBottomAndSeenOnesKeepTheirRow) {
  Scan({Device("00:00:00:00:00:09", "Zed"), Device("00:00:00:00:00:01", "Abe")});
  Scan({Device("00:00:00:00:00:05", "Mid"), Device("00:00:00:00:00:01", "Abe", true)});
  ASSERT_EQ(m_model.rowCount(), 3);
  EXPECT_EQ(m_model.index(0, 2).data().toString(), "00:00:00:00:00:09");
  EXPECT_EQ(m_model.index(1, 2).data().toString(), "00:00:00:00:00:01");
  EXPECT_EQ(m_model.index(2, 2).data().toString(), "00:00:00:00:00:05");
  EXPECT_EQ(m_model.index(1, 6).data().toString(), "Connected");
}

TEST_F(ListWindow, ModelTellsTheViewOfInsertsAndChanges) {
  QSignalSpy inserted(&m_model, &QAbstractItemModel::rowsInserted);
  QSignalSpy changed(&m_model, &QAbstractItemModel::dataChanged);
  Scan({Device("00:00:00:00:00:01", "Abe")});
  EXPECT_EQ(inserted.count(), 1);
  changed.clear();
  Scan({Device("00:00:00:00:00:01", "Abe", true)});
  EXPECT_EQ(inserted.count(), 1);
  QCoreApplication::processEvents();
  // One notice for the row, across all ten columns.
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed[0].at(0).value<QModelIndex>(), m_model.index(0, 0));
  EXPECT_EQ(changed[0].at(1).value<QModelIndex>(), m_model.index(0, 9));
  EXPECT_EQ(m_model.index(0, 6).data().toString(), "Connected");

  // A rescan that changes nothing says nothing.
  changed.clear();
  Scan({Device("00:00:00:00:00:01", "Abe", true)});
  QCoreApplication::processEvents();
  EXPECT_EQ(changed.count(), 0);

  // Clearing the list resets what the view shows.
  QSignalSpy reset(&m_model, &QAbstractItemModel::modelReset);
  m_list.Clear();
  EXPECT_EQ(reset.count(), 1);
  EXPECT_EQ(m_model.rowCount(), 0);
  EXPECT_EQ(m_view.model()->rowCount(), 0);
}

TEST_F(ListWindow, ChangedNeighbourRowsBecomeOneNoticeAndGapsSplitIt) {
  std::vector<DeviceRecord> devices;
  for (int i = 0; i < 6; ++i)
    devices.push_back(Device("00:00:00:00:00:0" + std::to_string(i), "D"));
  Scan(devices);
  QCoreApplication::processEvents();
  QSignalSpy changed(&m_model, &QAbstractItemModel::dataChanged);
  // Rows 1, 2, 3 and 5 change; row 4 does not.
  std::vector<DeviceRecord> rescan = devices;
  for (int i : {1, 2, 3, 5}) rescan[static_cast<std::size_t>(i)].m_connected = 1;
  Scan(rescan);
  QCoreApplication::processEvents();
  ASSERT_EQ(changed.count(), 2);
  EXPECT_EQ(changed[0].at(0).value<QModelIndex>().row(), 1);
  EXPECT_EQ(changed[0].at(1).value<QModelIndex>().row(), 3);
  EXPECT_EQ(changed[1].at(0).value<QModelIndex>().row(), 5);
  EXPECT_EQ(changed[1].at(1).value<QModelIndex>().row(), 5);

  // A change waiting when a row is inserted goes out first, so views never
  // hear of rows by stale numbers.
  changed.clear();
  QSignalSpy inserted(&m_model, &QAbstractItemModel::rowsAboutToBeInserted);
  m_list.SetCell(2, 3, "Another producer", kNoImage);  // outside a merge: told at once
  EXPECT_EQ(changed.count(), 0);
  rescan.push_back(Device("00:00:00:00:00:09", "New"));
  Scan(rescan);
  ASSERT_EQ(inserted.count(), 1);
  ASSERT_GE(changed.count(), 1);
  EXPECT_EQ(changed[0].at(0).value<QModelIndex>().row(), 2);
}

// A merge's new devices reach the views as one insertion of their rows, as
// Qt wants it: announced while the model still has its old rows, done once
// it has the new ones. The selection stays on its device.
TEST_F(ListWindow, NewDevicesOfAMergeAreOneRangeInsert) {
  Scan({Device("00:00:00:00:00:01", "Abe"), Device("00:00:00:00:00:02", "Bea")});
  m_view.setCurrentIndex(m_model.index(1, 0));
  ASSERT_EQ(m_view.GetSelectedRow(), 1);
  QCoreApplication::processEvents();
  QSignalSpy aboutToInsert(&m_model, &QAbstractItemModel::rowsAboutToBeInserted);
  QSignalSpy inserted(&m_model, &QAbstractItemModel::rowsInserted);
  QSignalSpy changed(&m_model, &QAbstractItemModel::dataChanged);
  std::vector<int> rowCounts;
  QObject::connect(&m_model, &QAbstractItemModel::rowsAboutToBeInserted,
                   [&] { rowCounts.push_back(m_model.rowCount()); });
  QObject::connect(&m_model, &QAbstractItemModel::rowsInserted,
                   [&] { rowCounts.push_back(m_model.rowCount()); });

  constexpr int kNew = 1000;
  std::vector<DeviceRecord> scan = {Device("00:00:00:00:00:01", "Abe", true)};
  for (int i = 0; i < kNew; ++i) {
    char address[18];
    std::snprintf(address, sizeof address, "00:1A:00:00:%02X:%02X", (i >> 8) & 0xFF, i & 0xFF);
    scan.push_back(Device(address, "New " + std::to_string(i)));
  }
  Scan(scan);

  ASSERT_EQ(aboutToInsert.count(), 1);
  ASSERT_EQ(inserted.count(), 1);
  for (const QSignalSpy* spy : {&aboutToInsert, &inserted}) {
    const QList<QVariant>& args = spy->at(0);
    EXPECT_FALSE(args.at(0).value<QModelIndex>().isValid());
    EXPECT_EQ(args.at(1).toInt(), 2);
    EXPECT_EQ(args.at(2).toInt(), kNew + 1);
  }
  EXPECT_EQ(rowCounts, (std::vector<int>{2, kNew + 2}));
  ASSERT_EQ(m_model.rowCount(), kNew + 2);
  EXPECT_EQ(m_view.model()->rowCount(), kNew + 2);
  EXPECT_EQ(m_model.index(2, 0).data().toString(), "Desk -> New 0");
  EXPECT_EQ(m_model.index(kNew + 1, 2).data().toString(), "00:1A:00:00:03:E7");
  EXPECT_EQ(m_view.GetSelectedRow(), 1);
  EXPECT_EQ(m_view.SelectedAddress(), "00:00:00:00:00:02");
  // The known row that changed is told on its own; the new rows are not
  // told again.
  QCoreApplication::processEvents();
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed[0].at(0).value<QModelIndex>(), m_model.index(0, 0));
  EXPECT_EQ(changed[0].at(1).value<QModelIndex>(), m_model.index(0, 9));
}

TEST_F(ListWindow, CellImagesFollowTheRecord) {
  Scan({Device("00:00:00:00:00:01", "Abe", false), Device("00:00:00:00:00:02", "Bea", true)});
  // Remembered and Authenticated are off: no image there.
  EXPECT_TRUE(m_model.index(0, 7).data(Qt::DecorationRole).isNull());
  EXPECT_TRUE(m_model.index(0, 8).data(Qt::DecorationRole).isNull());
  for (int c : {0, 1, 2, 6})
    EXPECT_FALSE(m_model.index(0, c).data(Qt::DecorationRole).isNull()) << c;
  EXPECT_TRUE(m_model.index(0, 3).data(Qt::DecorationRole).isNull());
}

TEST_F(ListWindow, SelectedRowIsTheOneBothSelectedAndFocused) {
  Scan({Device("00:00:00:00:00:01", "Abe"), Device("00:00:00:00:00:02", "Bea")});
  EXPECT_EQ(m_view.GetSelectedRow(), -1);
  // Focused but not selected.
  m_view.selectionModel()->setCurrentIndex(m_model.index(1, 0), QItemSelectionModel::NoUpdate);
  EXPECT_EQ(m_view.GetSelectedRow(), -1);
  // Selected but the focus elsewhere.
  m_view.selectionModel()->select(m_model.index(0, 0),
                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  EXPECT_EQ(m_view.GetSelectedRow(), -1);
  m_view.setCurrentIndex(m_model.index(0, 4));
  EXPECT_EQ(m_view.GetSelectedRow(), 0);
  EXPECT_EQ(m_view.SelectedAddress(), "00:00:00:00:00:01");
}

TEST_F(ListWindow, ContextMenuOnAnEmptyListOpensAndItsDeviceCommandsDoNothing) {
  std::vector<std::string> asked;
  m_view.SetDeviceInformationHandler([&](const std::string& a) { asked.push_back("info " + a); });
  m_view.SetAuditHandler([&](const std::string& a) { asked.push_back("audit " + a); });
  QMenu* shown = nullptr;
  QObject::connect(&m_view, &CWrenlocatorView::contextMenuShown,
                   [&](QMenu* menu) { shown = menu; });
  QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(40, 40),
                               m_view.viewport()->mapToGlobal(QPoint(40, 40)));
  QApplication::sendEvent(m_view.viewport(), &rightClick);
  ASSERT_NE(shown, nullptr);
  std::vector<std::string> entries;
  for (QAction* a : shown->actions())
    entries.push_back(a->isSeparator() ? "-" : a->text().toStdString());
  EXPECT_EQ(entries,
            (std::vector<std::string>{"Device Services", "-", "Device Information", "-",
                                      "Copy Row...", "Copy All...", "-", "Save As...", "-"}));
  shown->findChild<QAction*>("contextDeviceInformation")->trigger();
  shown->findChild<QAction*>("contextDeviceServices")->trigger();
  EXPECT_TRUE(asked.empty());
  shown->close();

  // With a device selected the same entries act on it.
  Scan({Device("00:00:00:00:00:07", "Gus")});
  m_view.setCurrentIndex(m_model.index(0, 0));
  QMenu* menu = m_view.CreateContextMenu(&m_view);
  menu->findChild<QAction*>("contextDeviceInformation")->trigger();
  menu->findChild<QAction*>("contextDeviceServices")->trigger();
  EXPECT_EQ(asked, (std::vector<std::string>{"info 00:00:00:00:00:07", "audit 00:00:00:00:00:07"}));
  delete menu;
}

TEST_F(ListWindow, DoubleClickActsOnTheSelectedDevice) {
  std::vector<std::string> asked;
  m_view.SetDeviceInformationHandler([&](const std::string& a) { asked.push_back(a); });
  QTest::mouseDClick(m_view.viewport(), Qt::LeftButton, {}, QPoint(5, 300));  // empty space, no row
  EXPECT_TRUE(asked.empty());
  Scan({Device("00:00:00:00:00:03", "Cy")});
  m_view.setCurrentIndex(m_model.index(0, 0));
  const QRect cell = m_view.visualRect(m_model.index(0, 1));
  QTest::mouseDClick(m_view.viewport(), Qt::LeftButton, {}, cell.center());
  EXPECT_EQ(asked, std::vector<std::string>{"00:00:00:00:00:03"});
}

}  // namespace
}  // namespace wren::gui
