#include "view/DeviceListModel.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace wren {
namespace {

TEST(DeviceListColumns, TitlesInCreationOrder) {
  const char* titles[] = {"Radio-Device", "Type",         "Address",    "Producer",
                          "LastSeenTime", "LastUsedTime", "Connected",  "Remembered",
                          "Authenticated", "Services"};
  for (int i = 0; i < kColumnCount; ++i) EXPECT_EQ(DeviceListModel::ColumnTitle(i), titles[i]) << i;
  EXPECT_EQ(DeviceListModel::ColumnTitle(-1), "");
  EXPECT_EQ(DeviceListModel::ColumnTitle(kColumnCount), "");
}

TEST(DeviceListColumns, HeaderImages) {
  const int images[] = {24, 25, 20, 33, 27, 27, 8, 4, 5, 21};
  for (int i = 0; i < kColumnCount; ++i) EXPECT_EQ(kColumns[i].headerImage, images[i]) << i;
}

TEST(DeviceListColumns, WidthsFollowTheClientWidth) {
  struct Case {
    int client;
    std::array<int, kColumnCount> widths;
  };
  const Case cases[] = {
      {1000, {150, 150, 120, 220, 120, 120, 100, 100, 100, 500}},
      {1007, {150, 150, 120, 220, 120, 120, 100, 100, 100, 507}},
      {101, {60, 60, 30, 130, 30, 30, 10, 10, 10, 501}},
      {9, {50, 50, 20, 120, 20, 20, 0, 0, 0, 509}},
  };
  for (const Case& c : cases) EXPECT_EQ(ColumnWidths(c.client), c.widths) << c.client;
}

TEST(DeviceListModel, InsertPlacesRowsAndFillsColumnZeroOnly) {
  DeviceListModel model;
  EXPECT_EQ(model.InsertRow(0, "a", 3), 0);
  EXPECT_EQ(model.InsertRow(7, "c", 0), 1);  // past the end appends
  EXPECT_EQ(model.InsertRow(1, "b", 2), 1);
  EXPECT_EQ(model.InsertRow(-1, "x", 0), -1);
  ASSERT_EQ(model.RowCount(), 3);
  EXPECT_EQ(model.CellText(0, 0), "a");
  EXPECT_EQ(model.CellText(1, 0), "b");
  EXPECT_EQ(model.CellText(2, 0), "c");
  EXPECT_EQ(model.ItemImage(1), 2);
  for (int column = 1; column < kColumnCount; ++column) {
    EXPECT_EQ(model.CellText(1, column), "");
    EXPECT_EQ(model.CellImage(1, column), kNoImage);
  }
}

TEST(DeviceListModel, RowLimitRefusesInsert) {
  DeviceListModel model;
  model.SetRowLimit(1);
  EXPECT_EQ(model.InsertRow(0, "a", 0), 0);
  EXPECT_EQ(model.InsertRow(1, "b", 0), -1);
  EXPECT_EQ(model.RowCount(), 1);
}

TEST(DeviceListModel, TextOnlyWriteKeepsTheImage) {
  DeviceListModel model;
  model.InsertRow(0, "a", 0);
  EXPECT_TRUE(model.SetCell(0, 3, "Acme", 33));
  EXPECT_TRUE(model.SetCellText(0, 3, "Other"));
  EXPECT_EQ(model.CellText(0, 3), "Other");
  EXPECT_EQ(model.CellImage(0, 3), 33);
  EXPECT_TRUE(model.SetCell(0, 3, "Other", kNoImage));
  EXPECT_EQ(model.CellImage(0, 3), kNoImage);
}

TEST(DeviceListModel, CellsOutsideTheListAreRefusedAndReadEmpty) {
  DeviceListModel model;
  model.InsertRow(0, "a", 5);
  EXPECT_FALSE(model.SetCell(1, 0, "x", 0));
  EXPECT_FALSE(model.SetCell(0, kColumnCount, "x", 0));
  EXPECT_FALSE(model.SetCellText(-1, 0, "x"));
  EXPECT_FALSE(model.DeleteRow(1));
  EXPECT_EQ(model.CellText(3, 0), "");
  EXPECT_EQ(model.CellImage(0, -1), kNoImage);
  EXPECT_EQ(model.ItemImage(2), kNoImage);
  EXPECT_EQ(model.RowCount(), 1);
}

TEST(DeviceListModel, AddressLookupFollowsEdits) {
  DeviceListModel model;
  for (int i = 0; i < 4; ++i) model.InsertRow(i, "r", 0);
  model.SetCellText(0, kAddressColumn, "A");
  model.SetCellText(1, kAddressColumn, "B");
  model.SetCellText(2, kAddressColumn, "A");
  // Row 3 keeps an empty address.
  EXPECT_EQ(model.FindRowByAddress("A"), 0);
  EXPECT_EQ(model.FindRowByAddress("B"), 1);
  EXPECT_EQ(model.FindRowByAddress(""), 3);
  EXPECT_EQ(model.FindRowByAddress("a"), -1);  // letter case counts

  model.SetCell(0, kAddressColumn, "C", 36);
  EXPECT_EQ(model.FindRowByAddress("A"), 2);
  EXPECT_EQ(model.FindRowByAddress("C"), 0);

  model.DeleteRow(1);  // later rows move up
  EXPECT_EQ(model.FindRowByAddress("B"), -1);
  EXPECT_EQ(model.FindRowByAddress("A"), 1);
  EXPECT_EQ(model.FindRowByAddress(""), 2);

  model.InsertRow(0, "new", 0);  // later rows move down; the new one is empty
  EXPECT_EQ(model.FindRowByAddress(""), 0);
  EXPECT_EQ(model.FindRowByAddress("C"), 1);
  EXPECT_EQ(model.FindRowByAddress("A"), 2);

  model.Clear();
  EXPECT_EQ(model.RowCount(), 0);
  EXPECT_EQ(model.FindRowByAddress("A"), -1);
  EXPECT_EQ(model.FindRowByAddress(""), -1);
}

int LinearFind(const DeviceListModel& model, const std::string& address) {
  for (int row = 0; row < model.RowCount(); ++row)
    if (model.CellText(row, kAddressColumn) == address) return row;
  return -1;
}

// Random edits, and after each one the index must answer what a walk over
// column 2 answers, for every address in play.
TEST(DeviceListModel, AddressLookupMatchesAWalkOverRandomEdits) {
  std::mt19937 rng(20240611);
  const std::vector<std::string> addresses = {"", "00:11:22:33:44:55", "00:11:22:33:44:5a",
                                              "00:11:22:33:44:5A", "X", "Y"};
  auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
  DeviceListModel model;
  for (int step = 0; step < 4000; ++step) {
    const int rows = model.RowCount();
    switch (pick(5)) {
      case 0:
        model.InsertRow(static_cast<int>(pick(static_cast<std::size_t>(rows) + 2)), "r", 0);
        break;
      case 1:
      case 2:
        if (rows > 0)
          model.SetCellText(static_cast<int>(pick(static_cast<std::size_t>(rows))), kAddressColumn,
                            addresses[pick(addresses.size())]);
        break;
      case 3:
        if (rows > 0) model.DeleteRow(static_cast<int>(pick(static_cast<std::size_t>(rows))));
        break;
      case 4:
        if (rows > 0)
          model.SetCell(static_cast<int>(pick(static_cast<std::size_t>(rows))),
                        static_cast<int>(pick(kColumnCount)), addresses[pick(addresses.size())], 1);
        break;
    }
    for (const std::string& address : addresses)
      ASSERT_EQ(model.FindRowByAddress(address), LinearFind(model, address))
          << "step " << step << " address '" << address << "'";
  }
}

struct RecordingObserver : DeviceListObserver {
  std::vector<std::string> events;
  void RowInserted(int row) override { events.push_back("insert " + std::to_string(row)); }
  void CellChanged(int row, int column) override {
    events.push_back("cell " + std::to_string(row) + "," + std::to_string(column));
  }
  void RowRemoved(int row) override { events.push_back("remove " + std::to_string(row)); }
};

TEST(DeviceListModel, ObserverHearsEveryChangeButNotUnchangedWrites) {
  DeviceListModel model;
  RecordingObserver observer;
  model.SetObserver(&observer);
  model.InsertRow(0, "a", 0);
  model.InsertRow(0, "b", 0);
  model.SetCell(1, 2, "addr", 36);
  model.SetCell(1, 2, "addr", 36);  // same text and image: nothing to tell
  model.SetCellText(1, 2, "addr");
  model.SetCell(1, 2, "addr", 37);  // image only
  model.SetCellText(0, 9, "svc");
  model.DeleteRow(0);
  model.Clear();
  model.SetObserver(nullptr);
  model.InsertRow(0, "c", 0);
  const std::vector<std::string> expected = {"insert 0", "insert 0", "cell 1,2", "cell 1,2",
                                             "cell 0,9", "remove 0", "remove 0"};
  EXPECT_EQ(observer.events, expected);
}

}  // namespace
}  // namespace wren
