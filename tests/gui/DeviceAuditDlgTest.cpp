#include "gui/CDeviceAuditDlg.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTimer>

#include "core/bluetooth/BluetoothPlatform.h"
#include "base/SdpDecoder.h"
#include "gui/CWrenlocatorView.h"
#include "gui/DeviceTableModel.h"
#include "core/history/DeviceHistory.h"
#include "adapters/sim/SimulatedStack.h"
#include "core/list/ScanReconciler.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace wren::gui {
namespace {

// A service query that answers a set text, optionally held back until the
// test releases it. `honourStop`: a held query gives up when asked to stop.
class FakeQuery {
public:
  explicit FakeQuery(std::string answer = {}) : m_answer(std::move(answer)) {}

  ServiceQuery Port() {
    return [this](const std::string& address, std::string& services, std::stop_token cancel) {
      std::unique_lock lock(m_mutex);
      m_addresses.push_back(address);
      ++m_started;
      m_changed.notify_all();
      if (m_hold) {
        if (m_honourStop)
          m_changed.wait(lock, cancel, [this] { return !m_hold; });
        else
          m_changed.wait(lock, [this] { return !m_hold; });
      }
      m_sawStop = m_sawStop || cancel.stop_requested();
      services += m_answer;
      ++m_ended;
      m_changed.notify_all();
      return 0;
    };
  }
  void Hold(bool honourStop) {
    std::lock_guard lock(m_mutex);
    m_hold = true;
    m_honourStop = honourStop;
  }
  void Release() {
    std::lock_guard lock(m_mutex);
    m_hold = false;
    m_changed.notify_all();
  }
  void WaitStarted(int count) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_started >= count; });
  }
  void WaitEnded(int count) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_ended >= count; });
  }
  int Started() {
    std::lock_guard lock(m_mutex);
    return m_started;
  }
  bool SawStop() {
    std::lock_guard lock(m_mutex);
    return m_sawStop;
  }
  std::vector<std::string> Addresses() {
    std::lock_guard lock(m_mutex);
    return m_addresses;
  }

private:
  std::mutex m_mutex;
  std::condition_variable_any m_changed;
  std::string m_answer;
  bool m_hold = false;
  bool m_honourStop = true;
  bool m_sawStop = false;
  int m_started = 0;
  int m_ended = 0;
  std::vector<std::string> m_addresses;
};

QTreeWidget* List(CDeviceAuditDlg& dlg) { return dlg.findChild<QTreeWidget*>("auditList"); }
QPushButton* Button(CDeviceAuditDlg& dlg) {
  return dlg.findChild<QPushButton*>("auditGetServices");
}

std::vector<std::string> Rows(CDeviceAuditDlg& dlg) {
  std::vector<std::string> rows;
  QTreeWidget* list = List(dlg);
  for (int i = 0; i < list->topLevelItemCount(); ++i)
    rows.push_back(list->topLevelItem(i)->text(0).toStdString());
  return rows;
}

TEST(DeviceAuditDlgTest, ShowsTheAddressReadOnlyWithTheDefaultButtonAndOneColumn) {
  FakeQuery query;
  CDeviceAuditDlg dlg(query.Port());
  dlg.SetAddress("00:11:22:33:44:55");
  auto* address = dlg.findChild<QLineEdit*>("auditAddress");
  ASSERT_NE(address, nullptr);
  EXPECT_EQ(address->text(), "00:11:22:33:44:55");
  EXPECT_TRUE(address->isReadOnly());
  EXPECT_EQ(dlg.windowTitle(), "Device Audit Dialog");
  EXPECT_EQ(Button(dlg)->text(), "Get Advertised Services");
  EXPECT_TRUE(Button(dlg)->isDefault());
  ASSERT_EQ(List(dlg)->columnCount(), 1);
  EXPECT_EQ(List(dlg)->headerItem()->text(0), "Device Parameters");
}

TEST(DeviceAuditDlgTest, TurnsTheAnswerIntoCountedRows) {
  const struct {
    const char* what;
    std::string answer;
    std::vector<std::string> rows;
  } cases[] = {
      {"two records with a name and a provider",
       "Serial Port,Pelmark,Dial-up Networking,Pelmark,",
       {"Advertised Services:4", "Serial Port", "Pelmark", "Dial-up Networking", "Pelmark"}},
      {"no device found: the list stays empty", "", {}},
      {"a comma in a service name gives two rows",
       "Audio,Video Sink,",
       {"Advertised Services:2", "Audio", "Video Sink"}},
      {"two commas in a row give an empty row that counts",
       "A,,B,",
       {"Advertised Services:3", "A", "", "B"}},
  };
  for (const auto& c : cases) {
    FakeQuery query(c.answer);
    CDeviceAuditDlg dlg(query.Port());
    dlg.SetAddress("AA:BB:CC:DD:EE:FF");
    dlg.show();
    QSignalSpy shown(&dlg, &CDeviceAuditDlg::servicesShown);
    QTest::mouseClick(Button(dlg), Qt::LeftButton);
    ASSERT_TRUE(shown.wait(5000)) << c.what;
    EXPECT_EQ(Rows(dlg), c.rows) << c.what;
    EXPECT_EQ(query.Addresses(), std::vector<std::string>{"AA:BB:CC:DD:EE:FF"}) << c.what;
    EXPECT_TRUE(Button(dlg)->isEnabled()) << c.what;
    // The count row and the service rows carry their pictures.
    if (!c.rows.empty()) {
      EXPECT_FALSE(List(dlg)->topLevelItem(0)->icon(0).isNull());
      EXPECT_FALSE(List(dlg)->topLevelItem(1)->icon(0).isNull());
    }
  }
}

TEST(DeviceAuditDlgTest, OneQueryAtATimeWithTheButtonOffMeanwhile) {
  FakeQuery query("Serial Port,");
  query.Hold(true);
  CDeviceAuditDlg dlg(query.Port());
  dlg.SetAddress("00:00:00:00:00:01");
  dlg.show();
  QSignalSpy shown(&dlg, &CDeviceAuditDlg::servicesShown);
  QTest::mouseClick(Button(dlg), Qt::LeftButton);
  query.WaitStarted(1);
  EXPECT_FALSE(Button(dlg)->isEnabled());
  EXPECT_TRUE(dlg.QueryRunning());
  EXPECT_EQ(Rows(dlg), std::vector<std::string>{"Wait for answer..."});
  // Enter (the default button) and a direct call start nothing more.
  QTest::keyClick(&dlg, Qt::Key_Return);
  dlg.OnGetAdvertisedServices();
  QTest::qWait(50);
  EXPECT_EQ(query.Started(), 1);

  query.Release();
  ASSERT_TRUE(shown.wait(5000));
  EXPECT_TRUE(Button(dlg)->isEnabled());
  EXPECT_EQ(Rows(dlg), (std::vector<std::string>{"Advertised Services:1", "Serial Port"}));
  // And the next press asks again, with a fresh list.
  QTest::mouseClick(Button(dlg), Qt::LeftButton);
  ASSERT_TRUE(shown.wait(5000));
  EXPECT_EQ(query.Started(), 2);
  EXPECT_EQ(Rows(dlg), (std::vector<std::string>{"Advertised Services:1", "Serial Port"}));
}

// Closing while the query hangs: the query is asked to stop, the dialog is
// usable at once, and the late answer never reaches the list.
TEST(DeviceAuditDlgTest, ClosingCancelsTheQueryAndDropsItsLateAnswer) {
  FakeQuery query("Late,Answer,");
  query.Hold(false);  // a query that ignores the stop request
  CDeviceAuditDlg dlg(query.Port());
  dlg.SetAddress("00:00:00:00:00:02");
  dlg.show();
  QSignalSpy shown(&dlg, &CDeviceAuditDlg::servicesShown);
  QTest::mouseClick(Button(dlg), Qt::LeftButton);
  query.WaitStarted(1);
  dlg.reject();
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_FALSE(dlg.QueryRunning());

  query.Release();
  query.WaitEnded(1);
  QTest::qWait(100);  // let any posted answer arrive
  EXPECT_TRUE(query.SawStop());
  EXPECT_EQ(shown.count(), 0);
  EXPECT_TRUE(Rows(dlg).empty());

  // Reopened, it starts empty with the button on, and a new query answers.
  dlg.show();
  EXPECT_TRUE(Button(dlg)->isEnabled());
  QTest::mouseClick(Button(dlg), Qt::LeftButton);
  ASSERT_TRUE(shown.wait(5000));
  EXPECT_EQ(Rows(dlg), (std::vector<std::string>{"Advertised Services:2", "Late", "Answer"}));
}

// A query still running when the dialog goes away is stopped and waited
// for; its answer goes nowhere (the sanitizer sees any touch of the dead
// window).
TEST(DeviceAuditDlgTest, DestroyingTheDialogStopsAndWaitsForItsWorker) {
  FakeQuery query("Never,Shown,");
  query.Hold(true);
  auto dlg = std::make_unique<CDeviceAuditDlg>(query.Port());
  dlg->show();
  QTest::mouseClick(Button(*dlg), Qt::LeftButton);
  query.WaitStarted(1);
  dlg.reset();
  EXPECT_TRUE(query.SawStop());
  QTest::qWait(50);  // a stray posted answer would run here
  query.Release();
}

// The dialog over the program's own service query on the simulated stack:
// two records with a name and a provider each, one of the names with a
// comma in it.
TEST(DeviceAuditOverTheStack, ListsTheRecordsTextsOfTheDeviceAsked) {
  using Bytes = std::vector<std::uint8_t>;
  auto named = [](const std::string& name, const std::string& provider) {
    auto attribute = [](std::uint16_t id, Bytes value) {
      Bytes out = sdp::EncodeUnsigned(id, 2);
      out.insert(out.end(), value.begin(), value.end());
      return out;
    };
    return platform::ServiceRecord{
        true,
        sdp::EncodeSequence({attribute(0x0001, sdp::EncodeSequence({sdp::EncodeUuid16(0x1101)})),
                             attribute(0x0100, sdp::EncodeText(name)),
                             attribute(0x0102, sdp::EncodeText(provider))})};
  };
  sim::Scenario scenario;
  sim::SimRadio radio;
  radio.id = "a";
  radio.address = 0x00025B000001;
  radio.name = "Alpha";
  scenario.radios.push_back(radio);
  sim::SimDevice phone;
  phone.address = 0x00152A3C4D5E;
  phone.name = "Phone";
  phone.records = {named("Serial Port", "Nokia"), named("Hands-Free, Audio Gateway", "Nokia")};
  scenario.devices.push_back(phone);
  sim::SimDevice other = phone;
  other.address = 0x0A0B0C0D0E0F;
  other.records = {named("Other", "Acme")};
  scenario.devices.push_back(other);
  sim::SimulatedStack stack(std::move(scenario), sim::TimeMode::Wall);
  BluetoothPlatform bluetooth(stack);
  CDeviceAuditDlg dlg(
      [&](const std::string& address, std::string& services, std::stop_token cancel) {
        return bluetooth.QueryServices(address, services, cancel);
      });
  const struct {
    const char* address;
    std::vector<std::string> rows;
  } cases[] = {
      {"00:15:2A:3C:4D:5E",
       {"Advertised Services:5", "Serial Port", "Nokia", "Hands-Free", " Audio Gateway", "Nokia"}},
      {"0A:0B:0C:0D:0E:0F", {"Advertised Services:2", "Other", "Acme"}},
      // Not in range, or in lower case: nothing found, the list stays empty.
      {"00:11:22:33:44:55", {}},
      {"00:15:2a:3c:4d:5e", {}},
  };
  dlg.show();
  for (const auto& c : cases) {
    dlg.SetAddress(c.address);
    QSignalSpy shown(&dlg, &CDeviceAuditDlg::servicesShown);
    QTest::mouseClick(Button(dlg), Qt::LeftButton);
    ASSERT_TRUE(shown.wait(10000)) << c.address;
    EXPECT_EQ(Rows(dlg), c.rows) << c.address;
  }
}

// The list keeps one audit dialog for its life; "Device Services" shows it
// with the selected row's address and a fresh list each time.
TEST(DeviceAuditCommand, TheListShowsItsOwnDialogForTheSelectedDevice) {
  DeviceListModel rows;
  DeviceHistory history;
  ScanReconciler reconciler(rows, history);
  DeviceTableModel model(rows);
  CWrenlocatorView view(model);
  view.show();
  FakeQuery query("Serial Port,");
  auto* dlg = new CDeviceAuditDlg(query.Port());
  QPointer<CDeviceAuditDlg> guard(dlg);
  view.SetAuditDialog(dlg);
  EXPECT_EQ(view.AuditDialog(), dlg);

  int opened = 0;
  std::vector<std::string> shownAddresses;
  std::vector<int> rowsOnOpen;
  auto answer = [&] {
    QTimer::singleShot(0, [&] {
      auto* modal = qobject_cast<CDeviceAuditDlg*>(QApplication::activeModalWidget());
      if (!modal) return;
      EXPECT_EQ(modal, dlg);
      ++opened;
      shownAddresses.push_back(modal->Address());
      rowsOnOpen.push_back(List(*modal)->topLevelItemCount());
      // A query leaves rows behind for the next opening to clear.
      QSignalSpy shown(modal, &CDeviceAuditDlg::servicesShown);
      modal->OnGetAdvertisedServices();
      EXPECT_TRUE(shown.wait(5000));
      modal->reject();
    });
  };
  // No selected device: nothing opens.
  answer();
  view.AuditSelectedDevice();
  QTest::qWait(20);
  EXPECT_EQ(opened, 0);
  QApplication::processEvents();

  DeviceRecord record;
  record.m_address = "00:15:2A:3C:4D:5E";
  record.m_name = "Phone";
  DeviceList scan;
  scan.push_back(record);
  reconciler.ReconcileScan(scan);
  view.setCurrentIndex(model.index(0, 0));
  QMenu* menu = view.CreateContextMenu(&view);
  QAction* services = menu->findChild<QAction*>("contextDeviceServices");
  ASSERT_TRUE(services->isEnabled());
  answer();
  services->trigger();
  answer();
  view.AuditSelectedDevice();
  delete menu;
  EXPECT_EQ(opened, 2);
  EXPECT_EQ(shownAddresses, (std::vector<std::string>{"00:15:2A:3C:4D:5E", "00:15:2A:3C:4D:5E"}));
  EXPECT_EQ(rowsOnOpen, (std::vector<int>{0, 0}));
  EXPECT_EQ(dlg->parent(), &view);
  EXPECT_FALSE(guard.isNull());
}

}  // namespace
}  // namespace wren::gui
