// The new-device alarm: a remote device whose address the history does not
// hold when a scan first reports it raises one line, the detection sound and
// the network message, once per address and run, when the user turned it on.

#include <algorithm>
#include <fstream>

#include "MonitorFixture.h"
#include "core/history/DeviceHistory.h"
#include "core/list/DeviceListModel.h"
#include "core/list/ScanReconciler.h"

namespace wren::test {
namespace {

inline constexpr platform::BluetoothAddress kWatch = 0xC0FFEE112233ULL;

// The view as a session has it: rows and history merged for real.
class MergingView : public ScanConsumer {
public:
  void ReconcileScan(const DeviceList& scan) override { reconciler.ReconcileScan(scan); }
  std::vector<DeviceRecord> TakeNewDevices() override { return reconciler.TakeNewDevices(); }

  DeviceListModel list;
  DeviceHistory history;
  ScanReconciler reconciler{list, history};
};

class NewDeviceAlarm : public MonitorFixture {
protected:
  void SetUp() override {
    MonitorFixture::SetUp();
    store.WriteText("DevNotifySettings", "DevDetVoicePath", "/s/new.wav");
    store.WriteText("DevNotifySettings", "NetSend", "BOSS");
  }

  // The phone is in history.xml from an earlier run; the watch is not.
  void WriteHistoryWithPhone() {
    std::ofstream out(Dir() + "/history.xml", std::ios::binary);
    out << "<?xml version=\"1.0\"?>\r\n<dataroot>\r\n"
           "<entry Radio=\"Desk radio\" Name=\"Phone\" Address=\"00:1A:2B:3C:4D:5E\" "
           "Image=\"11\"/>\r\n</dataroot>\r\n";
  }

  void Start() {
    WriteHistoryWithPhone();
    merging.history.Load();
    ASSERT_EQ(merging.history.Size(), 1u);
    frame = std::make_unique<Monitor>(Ports());
    frame->OnCreate();
    frame->SetView(&merging);
    frame->RunMonitoring();
    RunWorkers();
  }

  void ScanAgain() {
    frame->StartScanWorker();
    RunWorkers();
  }

  std::vector<std::string> NewDeviceLines() const {
    std::vector<std::string> lines;
    for (const auto& logged : status.logged)
      if (logged.line.find("New Bluetooth device") != std::string::npos)
        lines.push_back(logged.line);
    return lines;
  }

  int SoundsOpened() const {
    return static_cast<int>(std::count(sound.calls.begin(), sound.calls.end(), "open /s/new.wav"));
  }

  MergingView merging;
};

TEST_F(NewDeviceAlarm, DeviceInHistoryAtStartRaisesNothing) {
  store.WriteInt("DevNotifySettings", "newDevice", 1);
  Start();
  ScanAgain();
  EXPECT_TRUE(NewDeviceLines().empty());
  EXPECT_EQ(SoundsOpened(), 0);
  EXPECT_TRUE(messenger.sent.empty());
  // Neither the radio's own row nor the known phone's is new.
  ASSERT_EQ(merging.list.RowCount(), 2);
  EXPECT_FALSE(merging.list.IsRowNew(0));
  EXPECT_FALSE(merging.list.IsRowNew(1));
}

TEST_F(NewDeviceAlarm, NewDeviceRaisesOneLineSoundAndMessageOverSeveralScans) {
  store.WriteInt("DevNotifySettings", "newDevice", 1);
  stack.SetDevices({MakeDevice(kPhone, "Phone"), MakeDevice(kWatch, "Watch")});
  Start();
  ScanAgain();
  ScanAgain();

  const std::string line =
      "14:03:59 07/21/2009 - C0:FF:EE:11:22:33 Watch - New Bluetooth device, never seen before";
  EXPECT_EQ(NewDeviceLines(), std::vector<std::string>{line});
  EXPECT_NE(std::find(status.texts.begin(), status.texts.end(), line), status.texts.end());
  EXPECT_NE(ReadLog().find(line + "\r\n"), std::string::npos);
  // The detection sound, and the line as the network message.
  EXPECT_EQ(SoundsOpened(), 1);
  ASSERT_EQ(messenger.sent.size(), 1u);
  EXPECT_EQ(messenger.sent[0].recipient, "BOSS");
  EXPECT_NE(messenger.sent[0].block.find(line), std::string::npos);

  ASSERT_EQ(merging.list.RowCount(), 3);
  EXPECT_FALSE(merging.list.IsRowNew(merging.list.FindRowByAddress("00:1A:2B:3C:4D:5E")));
  EXPECT_TRUE(merging.list.IsRowNew(merging.list.FindRowByAddress("C0:FF:EE:11:22:33")));
}

TEST_F(NewDeviceAlarm, DeviceArrivingLaterIsAnnouncedWhenFirstReported) {
  store.WriteInt("DevNotifySettings", "newDevice", 1);
  Start();
  EXPECT_TRUE(NewDeviceLines().empty());
  stack.SetDevices({MakeDevice(kPhone, "Phone"), MakeDevice(kWatch, "Watch")});
  ScanAgain();
  EXPECT_EQ(NewDeviceLines().size(), 1u);
  // Gone and back again within the run: still announced once.
  stack.SetDevices({MakeDevice(kPhone, "Phone")});
  ScanAgain();
  stack.SetDevices({MakeDevice(kWatch, "Watch")});
  ScanAgain();
  EXPECT_EQ(NewDeviceLines().size(), 1u);
}

TEST_F(NewDeviceAlarm, SettingOffRaisesNothingAndLaterTurningItOnAnnouncesNoOldDevice) {
  stack.SetDevices({MakeDevice(kPhone, "Phone"), MakeDevice(kWatch, "Watch")});
  Start();
  ScanAgain();
  EXPECT_TRUE(NewDeviceLines().empty());
  EXPECT_EQ(SoundsOpened(), 0);
  EXPECT_TRUE(messenger.sent.empty());
  // The row still knows it was new; the window may show it.
  EXPECT_TRUE(merging.list.IsRowNew(merging.list.FindRowByAddress("C0:FF:EE:11:22:33")));

  // Turned on (the settings are read again at Run): the watch was seen
  // already in this run.
  store.WriteInt("DevNotifySettings", "newDevice", 1);
  frame->SearchDialog().LoadSettings();
  frame->RunMonitoring();
  RunWorkers();
  EXPECT_TRUE(NewDeviceLines().empty());
}

TEST_F(NewDeviceAlarm, DetectionSwitchDoesNotGateTheNewDeviceAlarm) {
  // Detection alarms off, new-device alarm on: the new device still sounds.
  store.WriteInt("DevNotifySettings", "devDetSound", 0);
  store.WriteInt("DevNotifySettings", "newDevice", 1);
  stack.SetDevices({MakeDevice(kWatch, "Watch")});
  Start();
  EXPECT_EQ(NewDeviceLines().size(), 1u);
  EXPECT_EQ(SoundsOpened(), 1);
}

}  // namespace
}  // namespace wren::test
