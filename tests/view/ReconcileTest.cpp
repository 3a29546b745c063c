#include "core/list/ScanReconciler.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace wren {
namespace {

DeviceRecord Device(std::string address, std::string name = "Phone") {
  DeviceRecord r;
  r.m_radioName = "hci0";
  r.m_name = std::move(name);
  r.m_address = std::move(address);
  r.m_producer = "Acme Corp.";
  r.m_lastSeen = "14:03:59 07/21/2009";
  r.m_lastUsed = "13:00:00 07/20/2009";
  r.m_type = "Phone/Smart phone";
  r.m_services = "Audio,Telephony";
  r.m_classOfDevice = 0x5a020c;
  r.m_image = 7;
  return r;
}

DeviceRecord Radio(std::string address, std::string name) {
  DeviceRecord r;
  r.m_radioName = name;
  r.m_name = std::move(name);
  r.m_address = std::move(address);
  r.m_type = "Computer/Desktop";
  r.m_image = 19;
  r.m_isLocalRadio = 1;
  return r;
}

bool SameFields(const DeviceRecord& a, const DeviceRecord& b) {
  return a.m_radioName == b.m_radioName && a.m_name == b.m_name && a.m_address == b.m_address &&
         a.m_producer == b.m_producer && a.m_lastSeen == b.m_lastSeen &&
         a.m_lastUsed == b.m_lastUsed && a.m_type == b.m_type && a.m_services == b.m_services &&
         a.m_classOfDevice == b.m_classOfDevice && a.m_connected == b.m_connected &&
         a.m_remembered == b.m_remembered && a.m_authenticated == b.m_authenticated &&
         a.m_image == b.m_image && a.m_isLocalRadio == b.m_isLocalRadio;
}

struct Cell {
  std::string text;
  int image;
};

void ExpectRow(const DeviceListModel& model, int row, const std::array<Cell, kColumnCount>& cells) {
  for (int c = 0; c < kColumnCount; ++c) {
    EXPECT_EQ(model.CellText(row, c), cells[c].text) << "row " << row << " column " << c;
    EXPECT_EQ(model.CellImage(row, c), cells[c].image) << "row " << row << " column " << c;
  }
}

// The rows and the history a reconciler merges into.
struct Lists {
  DeviceListModel model;
  DeviceHistory history;
  ScanReconciler reconciler{model, history};
};

class Reconcile : public ::testing::Test {
protected:
  void Scan(std::initializer_list<DeviceRecord> records) {
    view.ReconcileScan(DeviceList(records));
  }
  Lists lists;
  ScanReconciler& view = lists.reconciler;
  const DeviceListModel& model = lists.model;
};

TEST_F(Reconcile, NewDeviceGetsLastRowAndFrontOfHistory) {
  Scan({Device("00:00:00:00:00:01", "first")});
  Scan({Device("00:00:00:00:00:02", "second")});
  ASSERT_EQ(model.RowCount(), 2);
  EXPECT_EQ(model.AddressText(1), "00:00:00:00:00:02");
  ASSERT_EQ(view.History().List().size(), 2u);
  EXPECT_TRUE(SameFields(view.History().List().front(), Device("00:00:00:00:00:02", "second")));
  EXPECT_TRUE(SameFields(view.History().List().back(), Device("00:00:00:00:00:01", "first")));
}

// Every cell of a row, for each combination of the three state flags.
TEST_F(Reconcile, CellsFollowTheStateFlags) {
  struct Case {
    int connected, remembered, authenticated;
    std::array<Cell, kColumnCount> cells;
  };
  const std::string title = "hci0 -> Phone";
  const Case cases[] = {
      {1,
       1,
       1,
       {{{title, 3},
         {"Phone/Smart phone", 7},
         {"AA:BB:CC:DD:EE:FF", 37},
         {"Acme Corp.", -1},
         {"14:03:59 07/21/2009", -1},
         {"13:00:00 07/20/2009", -1},
         {"Connected", 35},
         {"Remembered", 4},
         {"Authenticated", 5},
         {"Audio,Telephony", -1}}}},
      {0,
       0,
       0,
       {{{title, 0},
         {"Phone/Smart phone", 7},
         {"AA:BB:CC:DD:EE:FF", 36},
         {"Acme Corp.", -1},
         {"14:03:59 07/21/2009", -1},
         {"13:00:00 07/20/2009", -1},
         {"Disconnected", 38},
         {"Not Remembered", -1},
         {"Not Authenticated", -1},
         {"Audio,Telephony", -1}}}},
      {0,
       1,
       0,
       {{{title, 0},
         {"Phone/Smart phone", 7},
         {"AA:BB:CC:DD:EE:FF", 36},
         {"Acme Corp.", -1},
         {"14:03:59 07/21/2009", -1},
         {"13:00:00 07/20/2009", -1},
         {"Disconnected", 38},
         {"Remembered", 4},
         {"Not Authenticated", -1},
         {"Audio,Telephony", -1}}}},
      // Any non-zero value counts as set.
      {2,
       0,
       -1,
       {{{title, 3},
         {"Phone/Smart phone", 7},
         {"AA:BB:CC:DD:EE:FF", 37},
         {"Acme Corp.", -1},
         {"14:03:59 07/21/2009", -1},
         {"13:00:00 07/20/2009", -1},
         {"Connected", 35},
         {"Not Remembered", -1},
         {"Authenticated", 5},
         {"Audio,Telephony", -1}}}},
  };
  for (const Case& c : cases) {
    Lists own;
    ScanReconciler& fresh = own.reconciler;
    DeviceRecord r = Device("AA:BB:CC:DD:EE:FF");
    r.m_connected = c.connected;
    r.m_remembered = c.remembered;
    r.m_authenticated = c.authenticated;
    fresh.ReconcileScan(DeviceList{r});
    SCOPED_TRACE(testing::Message() << c.connected << c.remembered << c.authenticated);
    ASSERT_EQ(fresh.Model().RowCount(), 1);
    ExpectRow(fresh.Model(), 0, c.cells);
    EXPECT_EQ(fresh.Model().ItemImage(0), c.cells[0].image);
  }
}

// What the list window hears of a merge: insertions and removals as they
// happen, then each row whose cells changed once, never a cell at a time.
struct Notices : DeviceListObserver {
  std::vector<std::string> events;
  void Add(const char* what, int row) { events.push_back(what + std::to_string(row)); }
  void Add(const char* what, int first, int last) {
    events.push_back(what + std::to_string(first) + "-" + std::to_string(last));
  }
  void RowsAboutToBeInserted(int first, int last) override { Add("insert? ", first, last); }
  void RowsInserted(int first, int last) override { Add("insert ", first, last); }
  void RowsAboutToBeRemoved(int first, int last) override { Add("remove? ", first, last); }
  void RowsRemoved(int first, int last) override { Add("remove ", first, last); }
  void RowChanged(int row) override { Add("row ", row); }
  void AboutToReset() override { events.push_back("reset?"); }
  void Reset() override { events.push_back("reset"); }
};

TEST_F(Reconcile, AMergeTellsTheListOfEachChangedRowOnce) {
  Scan({Device("00:00:00:00:00:01"), Device("00:00:00:00:00:02"), Device("00:00:00:00:00:03")});
  Notices notices;
  lists.model.SetObserver(&notices);
  view.ShownList().push_back(Device("00:00:00:00:00:01"));  // goes when no longer reported
  DeviceRecord renamed = Device("00:00:00:00:00:03", "Renamed");
  renamed.m_connected = 0;
  Scan({Device("00:00:00:00:00:02"), renamed, Device("00:00:00:00:00:04")});
  const std::vector<std::string> expected = {"remove? 0-0", "remove 0-0", "insert? 2-2",
                                             "insert 2-2", "row 1"};
  EXPECT_EQ(notices.events, expected);

  // The same scan again changes nothing the list shows.
  notices.events.clear();
  Scan({Device("00:00:00:00:00:02"), renamed, Device("00:00:00:00:00:04")});
  EXPECT_TRUE(notices.events.empty());

  // One record merged on its own is one notice too.
  view.UpdateDeviceRow(Device("00:00:00:00:00:02", "Again"));
  EXPECT_EQ(notices.events, std::vector<std::string>{"row 0"});
  lists.model.SetObserver(nullptr);
}

// Ten thousand new devices are one insertion of ten thousand rows, not ten
// thousand insertions: a toolkit's view pays for each insertion it hears of.
TEST_F(Reconcile, NewDevicesOfAMergeAreOneInsertion) {
  constexpr int kNew = 10'000;
  DeviceList scan;
  for (int i = 0; i < kNew; ++i) {
    char address[18];
    std::snprintf(address, sizeof address, "00:1A:00:00:%02X:%02X", (i >> 8) & 0xFF, i & 0xFF);
    scan.push_back(Device(address, "Device " + std::to_string(i)));
  }
  Notices notices;
  lists.model.SetObserver(&notices);
  view.ReconcileScan(scan);
  lists.model.SetObserver(nullptr);
  EXPECT_EQ(notices.events, (std::vector<std::string>{"insert? 0-9999", "insert 0-9999"}));
  ASSERT_EQ(model.RowCount(), kNew);
  EXPECT_EQ(model.CellText(0, 0), "hci0 -> Device 0");
  EXPECT_EQ(model.AddressText(kNew - 1), "00:1A:00:00:27:0F");
  EXPECT_EQ(view.FindDeviceRow("00:1A:00:00:27:0F"), kNew - 1);
  EXPECT_TRUE(model.IsRowNew(0) && model.IsRowNew(kNew - 1));
  EXPECT_EQ(view.TakeNewDevices().size(), static_cast<std::size_t>(kNew));
}

// Among rows seen before, a scan's new devices still go to the bottom as one
// run, in the order of the scan, an address reported twice once; the rows
// seen before are told once each, after the insertion.
TEST_F(Reconcile, NewDevicesAmongKnownOnesAreOneRunAtTheBottom) {
  Scan({Device("00:00:00:00:00:01"), Device("00:00:00:00:00:02")});
  view.TakeNewDevices();
  Notices notices;
  lists.model.SetObserver(&notices);
  DeviceRecord firstTwice = Device("00:00:00:00:00:05", "first");
  DeviceRecord secondTwice = Device("00:00:00:00:00:05", "second");
  secondTwice.m_connected = 0;
  DeviceRecord radio = Radio("00:00:00:00:00:07", "WORKSTATION");
  Scan({Device("00:00:00:00:00:03"), Device("00:00:00:00:00:02", "Renamed"), firstTwice, radio,
        Device("00:00:00:00:00:01"), secondTwice, Device("00:00:00:00:00:04")});
  lists.model.SetObserver(nullptr);
  EXPECT_EQ(notices.events, (std::vector<std::string>{"insert? 2-5", "insert 2-5", "row 1"}));
  const char* addresses[] = {"00:00:00:00:00:01", "00:00:00:00:00:02", "00:00:00:00:00:03",
                             "00:00:00:00:00:05", "00:00:00:00:00:07", "00:00:00:00:00:04"};
  ASSERT_EQ(model.RowCount(), 6);
  for (int row = 0; row < 6; ++row) EXPECT_EQ(model.AddressText(row), addresses[row]) << row;
  EXPECT_EQ(model.CellText(3, 0), "hci0 -> second");  // the last record of an address wins
  EXPECT_EQ(model.CellText(3, 6), "Disconnected");
  EXPECT_EQ(model.CellText(4, 0), "WORKSTATION -> WORKSTATION (local)");
  // New: devices never seen before, not the workstation's own radio; the
  // first scan's new rows keep their flag.
  const bool isNew[] = {true, true, true, true, false, true};
  for (int row = 0; row < 6; ++row) EXPECT_EQ(model.IsRowNew(row), isNew[row]) << row;
  std::vector<std::string> told;
  for (const DeviceRecord& r : view.TakeNewDevices()) told.push_back(r.m_address);
  EXPECT_EQ(told, (std::vector<std::string>{"00:00:00:00:00:03", "00:00:00:00:00:05",
                                            "00:00:00:00:00:04"}));
}

TEST_F(Reconcile, RowLimitCutsTheRunOfNewRows) {
  view.Model().SetRowLimit(3);
  Scan({Device("00:00:00:00:00:01")});
  Notices notices;
  lists.model.SetObserver(&notices);
  Scan({Device("00:00:00:00:00:02"), Device("00:00:00:00:00:03"), Device("00:00:00:00:00:04")});
  lists.model.SetObserver(nullptr);
  EXPECT_EQ(notices.events, (std::vector<std::string>{"insert? 1-2", "insert 1-2"}));
  ASSERT_EQ(model.RowCount(), 3);
  EXPECT_EQ(model.AddressText(2), "00:00:00:00:00:03");
  EXPECT_EQ(view.History().List().size(), 4u);
}

TEST_F(Reconcile, DeviceSeenAgainKeepsItsRowAndIsRewrittenInPlace) {
  Scan({Device("00:00:00:00:00:01"), Device("00:00:00:00:00:02")});
  DeviceRecord again = Device("00:00:00:00:00:01", "Renamed");
  again.m_connected = 0;
  again.m_remembered = 0;
  again.m_authenticated = 0;
  again.m_type = "Phone/Cellular";
  again.m_image = 9;
  again.m_producer = "Other Inc.";
  again.m_lastSeen = "15:00:00 07/21/2009";
  again.m_lastUsed = "";
  again.m_services = "Networking";
  Scan({again});
  ASSERT_EQ(model.RowCount(), 2);
  ExpectRow(model, 0,
            {{{"hci0 -> Renamed", 0},
              {"Phone/Cellular", 9},
              {"00:00:00:00:00:01", 36},
              {"Other Inc.", -1},
              {"15:00:00 07/21/2009", -1},
              {"", -1},
              {"Disconnected", 38},
              {"Not Remembered", -1},
              {"Not Authenticated", -1},
              {"Networking", -1}}});
  EXPECT_EQ(model.CellText(1, 0), "hci0 -> Phone");
  ASSERT_EQ(view.History().List().size(), 2u);
  EXPECT_TRUE(SameFields(view.History().List().back(), again));  // overwritten where it stood

  // Back to connected: column 6 text and the images of 0, 2 and 6 follow.
  again.m_connected = 1;
  Scan({again});
  EXPECT_EQ(model.CellText(0, 6), "Connected");
  EXPECT_EQ(model.CellImage(0, 0), 3);
  EXPECT_EQ(model.CellImage(0, 2), 37);
  EXPECT_EQ(model.CellImage(0, 6), 35);
}

TEST_F(Reconcile, TextOnlyColumnsKeepTheirImages) {
  Scan({Device("00:00:00:00:00:01")});
  for (int column : {3, 4, 5, 9}) view.Model().SetCell(0, column, "x", 40 + column);
  Scan({Device("00:00:00:00:00:01")});
  for (int column : {3, 4, 5, 9}) EXPECT_EQ(model.CellImage(0, column), 40 + column) << column;
  EXPECT_EQ(model.CellText(0, 3), "Acme Corp.");
}

TEST_F(Reconcile, LocalRadioRow) {
  DeviceRecord radio = Radio("00:1A:7D:DA:71:13", "WORKSTATION");
  radio.m_remembered = 0;  // flags do not show for a radio
  Scan({radio});
  ExpectRow(model, 0,
            {{{"WORKSTATION -> WORKSTATION (local)", 3},
              {"Computer/Desktop", 19},
              {"00:1A:7D:DA:71:13", 37},
              {"", -1},
              {"", -1},
              {"", -1},
              {"", -1},
              {"", -1},
              {"", -1},
              {"", -1}}});
}

TEST_F(Reconcile, SameAddressTwiceInOneScan) {
  DeviceRecord viaFirst = Device("00:00:00:00:00:01", "seen by hci0");
  DeviceRecord viaSecond = Device("00:00:00:00:00:01", "seen by hci1");
  viaSecond.m_radioName = "hci1";
  viaSecond.m_connected = 0;
  Scan({viaFirst, viaSecond});
  ASSERT_EQ(model.RowCount(), 1);
  EXPECT_EQ(model.CellText(0, 0), "hci1 -> seen by hci1");
  EXPECT_EQ(model.CellText(0, 6), "Disconnected");
  ASSERT_EQ(view.History().List().size(), 1u);
  EXPECT_TRUE(SameFields(view.History().List().front(), viaSecond));
}

TEST_F(Reconcile, AddressesDifferingInLetterCaseAreDifferentDevices) {
  Scan({Device("00:00:00:00:00:AB"), Device("00:00:00:00:00:ab")});
  ASSERT_EQ(model.RowCount(), 2);
  EXPECT_EQ(view.FindDeviceRow("00:00:00:00:00:AB"), 0);
  EXPECT_EQ(view.FindDeviceRow("00:00:00:00:00:ab"), 1);
  EXPECT_EQ(view.FindDeviceRow("00:00:00:00:00:Ab"), -1);
  EXPECT_EQ(view.History().List().size(), 2u);
}

TEST_F(Reconcile, EveryHistoryEntryOfAnAddressIsOverwritten) {
  view.History().Append(Device("00:00:00:00:00:01", "old one"));
  view.History().Append(Device("00:00:00:00:00:02", "other"));
  view.History().Append(Device("00:00:00:00:00:01", "old two"));
  DeviceRecord now = Device("00:00:00:00:00:01", "now");
  Scan({now});
  ASSERT_EQ(view.History().List().size(), 3u);
  auto it = view.History().List().begin();
  EXPECT_TRUE(SameFields(*it++, now));
  EXPECT_EQ((it++)->m_name, "other");
  EXPECT_TRUE(SameFields(*it, now));
  // History devices are not rows until a scan reports them.
  EXPECT_EQ(model.RowCount(), 1);
}

TEST_F(Reconcile, RefusedRowStillReachesTheHistory) {
  view.Model().SetRowLimit(1);
  Scan({Device("00:00:00:00:00:01"), Device("00:00:00:00:00:02")});
  EXPECT_EQ(model.RowCount(), 1);
  EXPECT_EQ(model.AddressText(0), "00:00:00:00:00:01");
  EXPECT_EQ(view.History().List().size(), 2u);
}

TEST_F(Reconcile, VanishedDevicesKeepTheirRows) {
  Scan({Device("00:00:00:00:00:01"), Device("00:00:00:00:00:02")});
  Scan({Device("00:00:00:00:00:02")});
  EXPECT_EQ(model.RowCount(), 2);
  EXPECT_TRUE(view.ShownList().empty());
}

TEST_F(Reconcile, ShownDevicesMissingFromTheScanLoseTheirRow) {
  Scan({Device("00:00:00:00:00:01"), Device("00:00:00:00:00:02"), Device("00:00:00:00:00:03")});
  view.ShownList().push_back(Device("00:00:00:00:00:01"));
  view.ShownList().push_back(Device("00:00:00:00:00:02"));
  view.ShownList().push_back(Device("00:00:00:00:00:01"));
  view.ShownList().push_back(Device("00:00:00:00:00:09"));  // has no row
  Scan({Device("00:00:00:00:00:02")});
  ASSERT_EQ(model.RowCount(), 2);
  EXPECT_EQ(model.AddressText(0), "00:00:00:00:00:02");
  EXPECT_EQ(model.AddressText(1), "00:00:00:00:00:03");
  ASSERT_EQ(view.ShownList().size(), 2u);
  EXPECT_EQ(view.ShownList().front().m_address, "00:00:00:00:00:02");
  EXPECT_EQ(view.ShownList().back().m_address, "00:00:00:00:00:09");
  EXPECT_EQ(view.History().List().size(), 3u);  // the history forgets nothing
}

// ---- The same merge written as plainly as it is described: linear walks
// over the rows and the history. The reconciler must agree with it on every
// cell, every history entry and the shown list, scan after scan.

struct PlainView {
  std::vector<std::array<Cell, kColumnCount>> rows;
  std::vector<bool> isNew;  // beside rows
  DeviceList history;
  DeviceList shown;
  std::vector<std::string> announced;  // every new device, in order
  int rowLimit = INT_MAX;

  int FindDeviceRow(const std::string& address) const {
    for (std::size_t i = 0; i < rows.size(); ++i)
      if (rows[i][2].text == address) return static_cast<int>(i);
    return -1;
  }
  void UpdateHistoryEntry(const DeviceRecord& r) {
    bool matched = false;
    for (DeviceRecord& e : history)
      if (IsSameDevice(e, r)) {
        e = r;
        matched = true;
      }
    if (!matched) history.push_front(r);
  }
  void Set(int row, int column, std::string text, int image) {
    if (row >= 0 && row < static_cast<int>(rows.size()))
      rows[row][column] = {std::move(text), image};
  }
  void SetText(int row, int column, std::string text) {
    if (row >= 0 && row < static_cast<int>(rows.size())) rows[row][column].text = std::move(text);
  }
  void UpdateDeviceRow(DeviceRecord r) {
    int n = static_cast<int>(rows.size());
    int row = FindDeviceRow(r.m_address);
    bool inHistory = false;
    for (const DeviceRecord& e : history) inHistory = inHistory || IsSameDevice(e, r);
    bool told = false;
    for (const std::string& a : announced) told = told || a == r.m_address;
    const bool fresh = !r.m_isLocalRadio && !inHistory && !told;
    if (fresh) announced.push_back(r.m_address);
    UpdateHistoryEntry(r);
    std::string t6 = r.m_connected ? "Connected" : "Disconnected";
    std::string t7 = r.m_remembered ? "Remembered" : "Not Remembered";
    std::string t8 = r.m_authenticated ? "Authenticated" : "Not Authenticated";
    int i6 = r.m_connected ? 35 : 38, i7 = r.m_remembered ? 4 : -1, i8 = r.m_authenticated ? 5 : -1;
    int i0 = r.m_connected ? 3 : 0, i2 = r.m_connected ? 37 : 36;
    std::string t0;
    if (r.m_isLocalRadio) {
      t0 = r.m_radioName + " -> " + r.m_name + " (local)";
      t6 = t7 = t8 = "";
      i6 = i7 = i8 = -1;
    } else {
      t0 = r.m_radioName + " -> " + r.m_name;
    }
    if (row == -1) {
      if (n < rowLimit) {
        rows.push_back({});
        for (auto& c : rows.back()) c = {"", -1};
        rows.back()[0] = {t0, i0};
        isNew.push_back(false);
        row = n;
      }
    } else {
      Set(row, 0, t0, i0);
    }
    Set(row, 1, r.m_type, r.m_image);
    Set(row, 2, r.m_address, i2);
    SetText(row, 3, r.m_producer);
    SetText(row, 4, r.m_lastSeen);
    SetText(row, 5, r.m_lastUsed);
    Set(row, 6, t6, i6);
    Set(row, 7, t7, i7);
    Set(row, 8, t8, i8);
    SetText(row, 9, r.m_services);
    if (fresh && row != -1) isNew[static_cast<std::size_t>(row)] = true;
  }
  void ReconcileScan(const DeviceList& scan) {
    DeviceList missing;
    for (const DeviceRecord& s : shown) {
      bool inScan = false;
      for (const DeviceRecord& r : scan) inScan = inScan || IsSameDevice(s, r);
      if (!inScan) missing.push_back(s);
    }
    for (const DeviceRecord& m : missing) {
      int row = FindDeviceRow(m.m_address);
      if (row == -1) continue;
      rows.erase(rows.begin() + row);
      isNew.erase(isNew.begin() + row);
      for (auto it = shown.begin(); it != shown.end();) {
        if (IsSameDevice(*it, m))
          it = shown.erase(it);
        else
          ++it;
      }
    }
    for (const DeviceRecord& r : scan) UpdateDeviceRow(r);
  }
};

// Keeps the insertions of one merge: there must be one at most, of the rows
// appended at the bottom.
struct Insertions : DeviceListObserver {
  explicit Insertions(const DeviceListModel& m) : model(m) {}
  const DeviceListModel& model;
  std::vector<std::array<int, 3>> told;  // first, last, the row count before
  void RowsAboutToBeInserted(int first, int last) override {
    told.push_back({first, last, model.RowCount()});
  }
  void RowsInserted(int, int) override {}
  void RowsAboutToBeRemoved(int, int) override {}
  void RowsRemoved(int, int) override {}
  void RowChanged(int) override {}
  void AboutToReset() override {}
  void Reset() override {}
};

void RunDifferential(unsigned seed) {
  std::mt19937 rng(seed);
  auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
  };
  const std::vector<std::string> pool = {"00:11:22:33:44:55",
                                         "00:11:22:33:44:5A",
                                         "00:11:22:33:44:5a",
                                         "AA:BB:CC:DD:EE:FF",
                                         "01:02:03:04:05:06",
                                         "10:20:30:40:50:60",
                                         "",
                                         "FF:FF:FF:FF:FF:FF",
                                         "12:34:56:78:9A:BC"};
  const std::vector<std::string> texts = {"", "a", "b", "Phone", "x y"};
  auto randomRecord = [&] {
    DeviceRecord r;
    r.m_address = pool[pick(pool.size())];
    r.m_radioName = texts[pick(texts.size())];
    r.m_name = texts[pick(texts.size())];
    r.m_producer = texts[pick(texts.size())];
    r.m_lastSeen = texts[pick(texts.size())];
    r.m_lastUsed = texts[pick(texts.size())];
    r.m_type = texts[pick(texts.size())];
    r.m_services = texts[pick(texts.size())];
    r.m_classOfDevice = static_cast<std::uint32_t>(pick(4));
    r.m_connected = static_cast<std::int32_t>(pick(3));
    r.m_remembered = static_cast<std::int32_t>(pick(2));
    r.m_authenticated = static_cast<std::int32_t>(pick(2));
    r.m_image = static_cast<std::int32_t>(pick(48)) - 1;
    r.m_isLocalRadio = pick(8) == 0 ? 1 : 0;
    return r;
  };

  Lists lists;
  ScanReconciler& view = lists.reconciler;
  PlainView plain;
  if (pick(3) == 0) {
    const int limit = static_cast<int>(pick(6));
    view.Model().SetRowLimit(limit);
    plain.rowLimit = limit;
  }
  for (std::size_t i = pick(6); i > 0; --i) {  // a history file, duplicates and all
    DeviceRecord r = randomRecord();
    view.History().Append(r);
    plain.history.push_back(r);
  }
  std::vector<std::string> newDevices;
  for (int scanNo = 0; scanNo < 40; ++scanNo) {
    if (pick(4) == 0) {
      DeviceRecord r = randomRecord();
      view.ShownList().push_back(r);
      plain.shown.push_back(r);
    }
    DeviceList scan;
    for (std::size_t i = pick(8); i > 0; --i) scan.push_back(randomRecord());
    Insertions insertions(lists.model);
    lists.model.SetObserver(&insertions);
    view.ReconcileScan(scan);
    lists.model.SetObserver(nullptr);
    const std::size_t rowsBefore = plain.rows.size();
    plain.ReconcileScan(scan);
    const auto& told = insertions.told;
    ASSERT_LE(told.size(), 1u) << "scan " << scanNo;
    if (!told.empty()) {
      ASSERT_EQ(told[0][0], told[0][2]) << "appended, scan " << scanNo;
      ASSERT_EQ(told[0][1], static_cast<int>(plain.rows.size()) - 1) << "scan " << scanNo;
    } else {
      ASSERT_LE(plain.rows.size(), rowsBefore) << "scan " << scanNo;
    }

    const DeviceListModel& model = view.Model();
    ASSERT_EQ(model.RowCount(), static_cast<int>(plain.rows.size())) << "scan " << scanNo;
    for (int row = 0; row < model.RowCount(); ++row)
      for (int c = 0; c < kColumnCount; ++c) {
        ASSERT_EQ(model.CellText(row, c), plain.rows[row][c].text)
            << scanNo << ":" << row << "," << c;
        ASSERT_EQ(model.CellImage(row, c), plain.rows[row][c].image)
            << scanNo << ":" << row << "," << c;
      }
    for (int row = 0; row < model.RowCount(); ++row)
      ASSERT_EQ(model.IsRowNew(row), plain.isNew[static_cast<std::size_t>(row)])
          << scanNo << ":" << row;
    for (const std::string& address : pool)
      ASSERT_EQ(view.FindDeviceRow(address), plain.FindDeviceRow(address)) << scanNo;
    ASSERT_EQ(view.History().List().size(), plain.history.size()) << "scan " << scanNo;
    auto a = view.History().List().begin();
    for (auto b = plain.history.begin(); b != plain.history.end(); ++a, ++b)
      ASSERT_TRUE(SameFields(*a, *b)) << "scan " << scanNo << " history entry " << a->m_address;
    for (const DeviceRecord& r : view.TakeNewDevices()) newDevices.push_back(r.m_address);
    ASSERT_EQ(newDevices, plain.announced) << "scan " << scanNo;
    ASSERT_EQ(view.ShownList().size(), plain.shown.size()) << "scan " << scanNo;
    auto s = view.ShownList().begin();
    for (auto t = plain.shown.begin(); t != plain.shown.end(); ++s, ++t)
      ASSERT_EQ(s->m_address, t->m_address) << "scan " << scanNo;
  }
}

TEST(Differential, IndexedMergeMatchesThePlainWalks) {
  for (unsigned seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    RunDifferential(seed);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace wren
