#include "core/list/DeviceListModel.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace wren {
namespace {

TEST(DeviceListColumns, TitlesInCreationOrder) {
  const char* titles[] = {"Radio-Device",  "Type",         "Address",   "Producer",
                          "LastSeenTime",  "LastUsedTime", "Connected", "Remembered",
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
  const std::vector<std::string> addresses = {
      "", "00:11:22:33:44:55", "00:11:22:33:44:5a", "00:11:22:33:44:5A", "X", "Y"};
  auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
  };
  DeviceListModel model;
  for (int step = 0; step < 4000; ++step) {
    const int rows = model.RowCount();
    switch (pick(6)) {
      case 0:
        model.InsertRow(static_cast<int>(pick(static_cast<std::size_t>(rows) + 2)), "r", 0);
        break;
      case 5: {
        std::vector<ListRow> run(pick(4));
        for (ListRow& row : run) row[kAddressColumn].text = addresses[pick(addresses.size())];
        model.InsertRows(static_cast<int>(pick(static_cast<std::size_t>(rows) + 2)),
                         std::move(run));
        break;
      }
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

// Records every notice, and checks at each one that the model is in the
// state the notice promises: rows not yet there (or still there) before,
// and there (or gone) after.
struct RecordingObserver : DeviceListObserver {
  explicit RecordingObserver(const DeviceListModel& m) : model(m) {}
  const DeviceListModel& model;
  std::vector<std::string> events;
  int countBefore = -1;

  static std::string Range(int first, int last) {
    return std::to_string(first) + "-" + std::to_string(last);
  }
  void RowsAboutToBeInserted(int first, int last) override {
    events.push_back("insert? " + Range(first, last));
    countBefore = model.RowCount();
    EXPECT_LE(first, countBefore);
  }
  void RowsInserted(int first, int last) override {
    events.push_back("insert " + Range(first, last));
    EXPECT_EQ(model.RowCount(), countBefore + (last - first + 1));
  }
  void RowsAboutToBeRemoved(int first, int last) override {
    events.push_back("remove? " + Range(first, last));
    countBefore = model.RowCount();
    EXPECT_LT(last, countBefore);
  }
  void RowsRemoved(int first, int last) override {
    events.push_back("remove " + Range(first, last));
    EXPECT_EQ(model.RowCount(), countBefore - (last - first + 1));
  }
  void RowChanged(int row) override {
    events.push_back("row " + std::to_string(row));
    EXPECT_LT(row, model.RowCount());
    EXPECT_FALSE(model.InBatch());
  }
  void AboutToReset() override { events.push_back("reset? " + std::to_string(model.RowCount())); }
  void Reset() override { events.push_back("reset " + std::to_string(model.RowCount())); }
};

using Events = std::vector<std::string>;

TEST(DeviceListModel, OutsideABatchEveryChangeIsToldAtOnceButUnchangedWritesAreNot) {
  DeviceListModel model;
  RecordingObserver observer(model);
  model.SetObserver(&observer);
  model.InsertRow(0, "a", 0);
  model.InsertRow(0, "b", 0);
  model.SetCell(1, 2, "addr", 36);
  model.SetCell(1, 2, "addr", 36);  // same text and image: nothing to tell
  model.SetCellText(1, 2, "addr");
  model.SetCell(1, 2, "addr", 37);  // image only
  model.SetCellText(0, 9, "svc");
  model.SetCellText(5, 9, "no such row");
  model.InsertRow(-1, "refused", 0);
  model.DeleteRow(0);
  model.DeleteRow(3);
  model.Clear();
  model.SetObserver(nullptr);
  model.InsertRow(0, "c", 0);
  const Events expected = {"insert? 0-0", "insert 0-0", "insert? 0-0", "insert 0-0",
                           "row 1",       "row 1",      "row 0",       "remove? 0-0",
                           "remove 0-0",  "reset? 1",   "reset 0"};
  EXPECT_EQ(observer.events, expected);
}

TEST(DeviceListModel, NewFlagStaysWithItsRowAndIsToldAsAChange) {
  DeviceListModel model;
  RecordingObserver observer(model);
  model.SetObserver(&observer);
  model.InsertRow(0, "a", 0);
  model.InsertRow(1, "b", 0);
  EXPECT_FALSE(model.IsRowNew(0));
  EXPECT_FALSE(model.IsRowNew(1));
  EXPECT_TRUE(model.SetRowNew(1, true));
  EXPECT_TRUE(model.SetRowNew(1, true));  // unchanged: not told again
  EXPECT_FALSE(model.SetRowNew(2, true));
  EXPECT_FALSE(model.SetRowNew(-1, true));
  EXPECT_FALSE(model.IsRowNew(2));
  EXPECT_FALSE(model.IsRowNew(-1));
  // Rows inserted before it and removed before it move the flag along.
  model.InsertRow(0, "c", 0);
  EXPECT_TRUE(model.IsRowNew(2));
  EXPECT_FALSE(model.IsRowNew(0) || model.IsRowNew(1));
  model.DeleteRow(0);
  EXPECT_TRUE(model.IsRowNew(1));
  model.DeleteRow(1);
  EXPECT_FALSE(model.IsRowNew(1));
  model.InsertRow(1, "d", 0);
  EXPECT_FALSE(model.IsRowNew(1)) << "a new row starts without the flag";
  const Events expected = {"insert? 0-0", "insert 0-0",  "insert? 1-1", "insert 1-1", "row 1",
                           "insert? 0-0", "insert 0-0",  "remove? 0-0", "remove 0-0", "remove? 1-1",
                           "remove 1-1",  "insert? 1-1", "insert 1-1"};
  EXPECT_EQ(observer.events, expected);
  model.Clear();
  EXPECT_FALSE(model.IsRowNew(0));
}

TEST(DeviceListModel, ABatchTellsEachChangedRowOnceAtItsEndInOrder) {
  DeviceListModel model;
  for (const char* name : {"r0", "r1", "r2", "r3"}) model.InsertRow(model.RowCount(), name, 0);
  model.SetCellText(3, 4, "dirty later");
  RecordingObserver observer(model);
  model.SetObserver(&observer);

  model.BeginBatch();
  for (int column = 0; column < kColumnCount; ++column) model.SetCellText(2, column, "two");
  model.SetCellText(0, 1, "zero");
  model.SetCellText(3, 4, "dirty later");  // unchanged: no mark
  model.BeginBatch();                      // nested
  model.SetCellText(1, 1, "one");
  model.EndBatch();
  EXPECT_TRUE(model.InBatch());
  EXPECT_EQ(observer.events, Events{}) << "nothing before the outermost end";
  model.EndBatch();
  EXPECT_FALSE(model.InBatch());
  EXPECT_EQ(observer.events, (Events{"row 0", "row 1", "row 2"}));

  // An empty batch, and an end without a begin, tell nothing.
  observer.events.clear();
  model.BeginBatch();
  model.SetCellText(0, 1, "zero");
  model.EndBatch();
  model.EndBatch();
  EXPECT_EQ(observer.events, Events{});
}

TEST(DeviceListModel, ABatchFollowsItsRowsThroughInsertionsAndRemovals) {
  DeviceListModel model;
  for (const char* name : {"r0", "r1", "r2", "r3"}) model.InsertRow(model.RowCount(), name, 0);
  RecordingObserver observer(model);
  model.SetObserver(&observer);
  {
    DeviceListModel::Batch batch(model);
    model.SetCellText(1, 1, "x");        // r1 changed
    model.SetCellText(3, 1, "x");        // r3 changed
    model.InsertRow(0, "new", 0);        // r1 -> 2, r3 -> 4; told at once
    model.SetCellText(0, 1, "filled");   // the new row: its insertion says it all
    model.DeleteRow(4);                  // r3 goes: nothing more about it
    model.InsertRow(99, "appended", 0);  // appended at 4
    model.SetCellText(4, 9, "svc");
    model.SetCellText(3, 1, "x");  // r2 changed
  }
  const Events expected = {"insert? 0-0", "insert 0-0", "remove? 4-4", "remove 4-4",
                           "insert? 4-4", "insert 4-4", "row 2",       "row 3"};
  EXPECT_EQ(observer.events, expected);
  EXPECT_EQ(model.CellText(2, 0), "r1");
  EXPECT_EQ(model.CellText(3, 0), "r2");

  // A clear inside a batch forgets what the batch had marked.
  observer.events.clear();
  model.BeginBatch();
  model.SetCellText(1, 1, "y");
  model.Clear();
  model.InsertRow(0, "after", 0);
  model.EndBatch();
  EXPECT_EQ(observer.events, (Events{"reset? 5", "reset 0", "insert? 0-0", "insert 0-0"}));
}

ListRow Row(std::string name, std::string address, int image = 0) {
  ListRow row;
  row[0] = {std::move(name), image};
  row[kAddressColumn] = {std::move(address), 36};
  return row;
}

TEST(DeviceListModel, InsertRowsPutsARunInPlaceAndTellsItAsOneRange) {
  DeviceListModel model;
  model.InsertRow(0, "r0", 0);
  model.InsertRow(1, "r1", 0);
  model.SetCell(1, kAddressColumn, "B", 37);
  model.SetRowNew(1, true);
  RecordingObserver observer(model);
  model.SetObserver(&observer);

  EXPECT_EQ(model.InsertRows(1, {Row("n0", "A", 1), Row("n1", ""), Row("n2", "A")}), 3);
  ASSERT_EQ(model.RowCount(), 5);
  const char* names[] = {"r0", "n0", "n1", "n2", "r1"};
  for (int row = 0; row < 5; ++row) EXPECT_EQ(model.CellText(row, 0), names[row]) << row;
  EXPECT_EQ(model.ItemImage(1), 1);
  EXPECT_EQ(model.CellImage(1, kAddressColumn), 36);
  for (int column : {1, 3, 9}) {
    EXPECT_EQ(model.CellText(2, column), "");
    EXPECT_EQ(model.CellImage(2, column), kNoImage);
  }
  // The index and the new flag follow the rows.
  EXPECT_EQ(model.FindRowByAddress("A"), 1);
  EXPECT_EQ(model.FindRowByAddress(""), 0);
  EXPECT_EQ(model.FindRowByAddress("B"), 4);
  for (int row = 0; row < 5; ++row) EXPECT_EQ(model.IsRowNew(row), row == 4) << row;
  model.DeleteRow(1);
  EXPECT_EQ(model.FindRowByAddress("A"), 2);

  EXPECT_EQ(model.InsertRows(99, {Row("n3", "C"), Row("n4", "D")}), 2);  // past the end appends
  EXPECT_EQ(model.FindRowByAddress("D"), 5);
  EXPECT_EQ(model.InsertRows(-1, {Row("x", "X")}), 0);
  EXPECT_EQ(model.InsertRows(0, {}), 0);
  EXPECT_EQ(model.RowCount(), 6);
  EXPECT_EQ(model.FindRowByAddress("X"), -1);
  const Events expected = {"insert? 1-3", "insert 1-3",  "remove? 1-1",
                           "remove 1-1",  "insert? 4-5", "insert 4-5"};
  EXPECT_EQ(observer.events, expected);
}

TEST(DeviceListModel, RowLimitKeepsTheLeadingRowsOfARun) {
  DeviceListModel model;
  model.SetRowLimit(3);
  model.InsertRow(0, "r0", 0);
  RecordingObserver observer(model);
  model.SetObserver(&observer);
  EXPECT_EQ(model.InsertRows(0, {Row("a", "A"), Row("b", "B"), Row("c", "C")}), 2);
  ASSERT_EQ(model.RowCount(), 3);
  EXPECT_EQ(model.CellText(0, 0), "a");
  EXPECT_EQ(model.CellText(1, 0), "b");
  EXPECT_EQ(model.CellText(2, 0), "r0");
  EXPECT_EQ(model.FindRowByAddress("C"), -1);
  EXPECT_EQ(model.InsertRows(3, {Row("d", "D")}), 0);  // full: nothing to tell
  EXPECT_EQ(observer.events, (Events{"insert? 0-1", "insert 0-1"}));
}

TEST(DeviceListModel, ARunInsertedInABatchIsToldByItsInsertionOnly) {
  DeviceListModel model;
  for (const char* name : {"r0", "r1"}) model.InsertRow(model.RowCount(), name, 0);
  RecordingObserver observer(model);
  model.SetObserver(&observer);
  {
    DeviceListModel::Batch batch(model);
    model.SetCellText(1, 1, "x");                         // r1 changed
    model.InsertRows(1, {Row("a", "A"), Row("b", "B")});  // r1 -> 3; told at once
    model.SetCellText(1, 9, "filled");
    model.SetRowNew(2, true);
    model.SetCellText(3, 1, "y");
  }
  const Events expected = {"insert? 1-2", "insert 1-2", "row 3"};
  EXPECT_EQ(observer.events, expected);
  EXPECT_EQ(model.CellText(1, 9), "filled");
  EXPECT_TRUE(model.IsRowNew(2));
}

// A copy kept only from the notices, as a toolkit's view keeps its own: after
// random edits in and out of batches it must equal the model. Like such a
// view it reads a row inserted inside a batch only when it next paints,
// after the batch; every other row it reads when told.
struct MirrorObserver : DeviceListObserver {
  explicit MirrorObserver(const DeviceListModel& m) : model(m) {}
  const DeviceListModel& model;
  std::vector<std::vector<std::string>> rows;
  int pendingInsert = -1, pendingRemove = -1;

  std::vector<std::string> Read(int row) const {
    std::vector<std::string> cells;
    for (int c = 0; c < kColumnCount; ++c)
      cells.push_back(model.CellText(row, c) + "#" + std::to_string(model.CellImage(row, c)));
    return cells;
  }
  void RowsAboutToBeInserted(int first, int) override { pendingInsert = first; }
  void RowsInserted(int first, int last) override {
    ASSERT_EQ(first, pendingInsert);
    for (int row = first; row <= last; ++row)
      rows.insert(rows.begin() + row, model.InBatch() ? std::vector<std::string>() : Read(row));
    pendingInsert = -1;
  }
  void RowsAboutToBeRemoved(int first, int) override { pendingRemove = first; }
  void RowsRemoved(int first, int last) override {
    ASSERT_EQ(first, pendingRemove);
    rows.erase(rows.begin() + first, rows.begin() + last + 1);
    pendingRemove = -1;
  }
  void RowChanged(int row) override { rows[static_cast<std::size_t>(row)] = Read(row); }
  void Paint() {
    for (std::size_t row = 0; row < rows.size(); ++row)
      if (rows[row].empty()) rows[row] = Read(static_cast<int>(row));
  }
  void AboutToReset() override {}
  void Reset() override {
    rows.clear();
    for (int row = 0; row < model.RowCount(); ++row) rows.push_back(Read(row));
  }
};

TEST(DeviceListModel, AViewKeptFromTheNoticesAlwaysMatchesTheModel) {
  std::mt19937 rng(20261210);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  DeviceListModel model;
  MirrorObserver mirror(model);
  model.SetObserver(&mirror);
  for (int step = 0; step < 3000; ++step) {
    const int rows = model.RowCount();
    switch (pick(10)) {
      case 0:
        model.InsertRow(pick(rows + 2), "r" + std::to_string(step), pick(3));
        break;
      case 9: {
        std::vector<ListRow> run(static_cast<std::size_t>(pick(4)));
        for (ListRow& row : run)
          for (ListCell& cell : row) cell = {std::to_string(pick(4)), pick(3)};
        model.InsertRows(pick(rows + 2), std::move(run));
        break;
      }
      case 1:
        if (rows > 0) model.DeleteRow(pick(rows));
        break;
      case 2:
        if (!model.InBatch()) model.BeginBatch();
        break;
      case 3:
        if (model.InBatch()) model.EndBatch();
        break;
      case 4:
        if (pick(40) == 0) model.Clear();
        break;
      default:
        if (rows > 0)
          model.SetCell(pick(rows), pick(kColumnCount), std::to_string(pick(4)), pick(3));
    }
    if (model.InBatch()) continue;  // the view may lag behind inside a batch
    ASSERT_EQ(static_cast<int>(mirror.rows.size()), model.RowCount()) << "step " << step;
    mirror.Paint();
    for (int row = 0; row < model.RowCount(); ++row)
      ASSERT_EQ(mirror.rows[static_cast<std::size_t>(row)], mirror.Read(row)) << "step " << step;
  }
}

}  // namespace
}  // namespace wren
