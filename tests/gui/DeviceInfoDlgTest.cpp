#include "gui/CDeviceInfoDlg.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/bluetooth/BluetoothPlatform.h"
#include "gui/QtDeviceDialogs.h"
#include "core/refdata/AssignedNumbers.h"
#include "adapters/sim/SimulatedStack.h"

namespace wren::gui {
namespace {

using platform::BluetoothAddress;
using platform::DeviceDone;
using platform::DeviceListener;
using platform::DeviceProperties;
using platform::DeviceResult;

constexpr BluetoothAddress kPhone = 0x00152A3C4D5E;

// A device manager over a map. Actions change the map and tell the
// listener; `failWith` makes the next action fail with that error;
// `answerLater` keeps the answer until Answer() is called from a thread.
class FakeDevices : public platform::DeviceManager {
public:
  std::vector<DeviceProperties> Devices() const override {
    std::lock_guard lock(m_mutex);
    std::vector<DeviceProperties> out;
    for (const auto& [address, d] : devices) out.push_back(d);
    return out;
  }
  bool Properties(BluetoothAddress device, DeviceProperties& out) const override {
    std::lock_guard lock(m_mutex);
    auto it = devices.find(device);
    if (it == devices.end()) return false;
    out = it->second;
    return true;
  }
  std::unique_ptr<platform::NotificationHandle> WatchDevices(DeviceListener& l) override {
    std::lock_guard lock(m_mutex);
    listener = &l;
    struct Handle : platform::NotificationHandle {
      FakeDevices* owner;
      explicit Handle(FakeDevices* o) : owner(o) {}
      ~Handle() override {
        std::lock_guard lock(owner->m_mutex);
        owner->listener = nullptr;
      }
    };
    return std::make_unique<Handle>(this);
  }
  std::unique_ptr<platform::DiscoverySession> StartDiscovery() override { return nullptr; }
  std::unique_ptr<platform::NotificationHandle> RegisterPairingAgent(
      platform::PairingAgent&) override {
    return nullptr;
  }
  void Pair(BluetoothAddress d, DeviceDone done) override {
    Act("Pair", d, std::move(done), [](DeviceProperties& p) { p.paired = true; });
  }
  void CancelPairing(BluetoothAddress d, DeviceDone done) override {
    Act("CancelPairing", d, std::move(done), [](DeviceProperties&) {});
  }
  void SetTrusted(BluetoothAddress d, bool trusted, DeviceDone done) override {
    Act(trusted ? "Trust" : "Untrust", d, std::move(done),
        [trusted](DeviceProperties& p) { p.trusted = trusted; });
  }
  void SetBlocked(BluetoothAddress d, bool blocked, DeviceDone done) override {
    Act(blocked ? "Block" : "Unblock", d, std::move(done),
        [blocked](DeviceProperties& p) { p.blocked = blocked; });
  }
  void Connect(BluetoothAddress d, DeviceDone done) override {
    Act("Connect", d, std::move(done), [](DeviceProperties& p) { p.connected = true; });
  }
  void Disconnect(BluetoothAddress d, DeviceDone done) override {
    Act("Disconnect", d, std::move(done), [](DeviceProperties& p) { p.connected = false; });
  }
  void SetAlias(BluetoothAddress d, const std::string& alias, DeviceDone done) override {
    Act("Alias:" + alias, d, std::move(done),
        [alias](DeviceProperties& p) { p.alias = alias.empty() ? p.name : alias; });
  }
  void Remove(BluetoothAddress d, DeviceDone done) override {
    std::lock_guard lock(m_mutex);
    calls.push_back("Remove");
    if (failWith) return Finish(std::move(done));
    devices.erase(d);
    if (listener) listener->OnDeviceRemoved(d);
    Finish(std::move(done));
  }

  // Tells the listener from another thread, as a stack would.
  void ChangeFromStackThread(const DeviceProperties& p) {
    std::thread([this, p] {
      std::lock_guard lock(m_mutex);
      devices[p.address] = p;
      if (listener) listener->OnDeviceChanged(p, true);
    }).join();
  }
  void RemoveFromStackThread(BluetoothAddress d) {
    std::thread([this, d] {
      std::lock_guard lock(m_mutex);
      devices.erase(d);
      if (listener) listener->OnDeviceRemoved(d);
    }).join();
  }
  // Gives a held answer from another thread.
  void Answer(const DeviceResult& result) {
    DeviceDone done;
    {
      std::lock_guard lock(m_mutex);
      done = std::move(held);
    }
    std::thread([done, result] { done(result); }).join();
  }

  std::map<BluetoothAddress, DeviceProperties> devices;
  std::vector<std::string> calls;
  std::optional<platform::DeviceError> failWith;  // the next action's error
  std::string failName;  // the stack's name for it, when it is one we do not know
  bool answerLater = false;
  DeviceListener* listener = nullptr;

private:
  template <typename Change>
  void Act(const std::string& call, BluetoothAddress d, DeviceDone done, Change change) {
    std::lock_guard lock(m_mutex);
    calls.push_back(call);
    if (!failWith) {
      change(devices[d]);
      if (listener) listener->OnDeviceChanged(devices[d], false);
    }
    Finish(std::move(done));
  }
  void Finish(DeviceDone done) {
    DeviceResult result;
    if (failWith) {
      result = platform::DeviceFailure(*failWith, failName);
      result.ok = false;  // even for None: a failure without a reason
      failWith.reset();
      failName.clear();
    }
    if (answerLater) {
      held = std::move(done);
      return;
    }
    done(result);  // inside the call, as the simulated stack answers
  }

  mutable std::recursive_mutex m_mutex;
  DeviceDone held;
};

DeviceProperties Phone() {
  DeviceProperties p;
  p.address = kPhone;
  p.name = "Nokia 6230";
  p.alias = "My phone";
  p.classOfDevice = 0x5A020C;
  p.paired = true;
  p.connected = false;
  p.rssi = -56;
  p.lastSeen = {2009, 7, 21, 12, 0, 0};
  p.uuids = {"0000110b-0000-1000-8000-00805f9b34fb", "12345678-aaaa-bbbb-cccc-1234567890ab"};
  return p;
}

platform::DeviceInfo InfoOf(const DeviceProperties& p) {
  platform::DeviceInfo info;
  info.address = p.address;
  info.name = p.name;
  info.classOfDevice = p.classOfDevice;
  return info;
}

std::string Producer(const platform::DeviceProperties& device) {
  return (device.address.Value() >> 24) == 0x00152A ? "Nokia Corporation" : "";
}

QString Text(QDialog& dlg, const char* name) {
  auto* label = dlg.findChild<QLabel*>(name);
  EXPECT_NE(label, nullptr) << name;
  return label ? label->text() : QString();
}

QPushButton* Button(QDialog& dlg, const char* name) {
  auto* button = dlg.findChild<QPushButton*>(name);
  EXPECT_NE(button, nullptr) << name;
  return button;
}

QStringList Uuids(QDialog& dlg) {
  QStringList rows;
  auto* list = dlg.findChild<QListWidget*>("infoUuids");
  for (int i = 0; list && i < list->count(); ++i) rows << list->item(i)->text();
  return rows;
}

class DeviceInfoDlgTest : public ::testing::Test {
protected:
  void SetUp() override { devices.devices[kPhone] = Phone(); }
  std::unique_ptr<CDeviceInfoDlg> Open() {
    auto dlg = std::make_unique<CDeviceInfoDlg>(devices, InfoOf(devices.devices[kPhone]), Producer);
    dlg->show();
    return dlg;
  }
  // Clicks and waits for the answer to be shown.
  static bool Click(CDeviceInfoDlg& dlg, const char* name) {
    QSignalSpy finished(&dlg, &CDeviceInfoDlg::actionFinished);
    QTest::mouseClick(Button(dlg, name), Qt::LeftButton);
    return finished.count() > 0 || finished.wait(5000);
  }
  FakeDevices devices;
};

TEST_F(DeviceInfoDlgTest, ShowsWhatTheStackKnows) {
  auto dlg = Open();
  EXPECT_EQ(dlg->windowTitle(), "Device Information");
  EXPECT_EQ(Text(*dlg, "infoTitle"), "My phone");
  EXPECT_EQ(Text(*dlg, "infoName"), "Nokia 6230");
  EXPECT_EQ(Text(*dlg, "infoAlias"), "My phone");
  EXPECT_EQ(Text(*dlg, "infoAddress"), "00:15:2A:3C:4D:5E");
  EXPECT_EQ(Text(*dlg, "infoProducer"), "Nokia Corporation");
  EXPECT_EQ(Text(*dlg, "infoClass"), "0x5A020C");
  EXPECT_EQ(Text(*dlg, "infoType").toStdString(), "Phone/Smart phone");
  EXPECT_TRUE(Text(*dlg, "infoServiceClasses").contains("Telephony"))
      << Text(*dlg, "infoServiceClasses").toStdString();
  EXPECT_FALSE(dlg->findChild<QLabel*>("infoImage")->pixmap().isNull());
  EXPECT_EQ(Text(*dlg, "infoPaired"), "Yes");
  EXPECT_EQ(Text(*dlg, "infoTrusted"), "No");
  EXPECT_EQ(Text(*dlg, "infoBlocked"), "No");
  EXPECT_EQ(Text(*dlg, "infoConnected"), "No");
  EXPECT_EQ(Text(*dlg, "infoRssi"), "-56 dBm");
  EXPECT_EQ(Text(*dlg, "infoTxPower"), "Not known");
  EXPECT_EQ(Text(*dlg, "infoLastSeen").toStdString(),
            BluetoothPlatform::FormatStackTime(platform::UtcTime{2009, 7, 21, 12, 0, 0}));
  EXPECT_EQ(Text(*dlg, "infoLastUsed"), "Never");
  EXPECT_EQ(Uuids(*dlg), (QStringList{"Audio Sink (0000110b-0000-1000-8000-00805f9b34fb)",
                                      "12345678-aaaa-bbbb-cccc-1234567890ab"}));
  EXPECT_TRUE(Text(*dlg, "infoStatus").isEmpty());
  EXPECT_EQ(Button(*dlg, "infoConnect")->text(), "Connect");
  EXPECT_EQ(Button(*dlg, "infoTrust")->text(), "Trust");
  EXPECT_EQ(Button(*dlg, "infoBlock")->text(), "Block");
}

TEST_F(DeviceInfoDlgTest, EachActionGoesToThePortAndTheDialogFollows) {
  const struct {
    const char* button;
    const char* call;
    const char* field;
    const char* after;
    const char* buttonAfter;
  } steps[] = {
      {"infoConnect", "Connect", "infoConnected", "Yes", "Disconnect"},
      {"infoConnect", "Disconnect", "infoConnected", "No", "Connect"},
      {"infoTrust", "Trust", "infoTrusted", "Yes", "Untrust"},
      {"infoTrust", "Untrust", "infoTrusted", "No", "Trust"},
      {"infoBlock", "Block", "infoBlocked", "Yes", "Unblock"},
      {"infoBlock", "Unblock", "infoBlocked", "No", "Block"},
  };
  auto dlg = Open();
  for (const auto& s : steps) {
    devices.calls.clear();
    ASSERT_TRUE(Click(*dlg, s.button)) << s.call;
    EXPECT_EQ(devices.calls, std::vector<std::string>{s.call});
    EXPECT_EQ(Text(*dlg, s.field), s.after) << s.call;
    EXPECT_EQ(Button(*dlg, s.button)->text(), s.buttonAfter) << s.call;
    EXPECT_FALSE(Text(*dlg, "infoStatus").isEmpty()) << s.call;
    EXPECT_TRUE(Button(*dlg, s.button)->isEnabled()) << s.call;
  }

  // Rename: the prompt's answer goes to the port; an empty one gives the
  // device its own name; a cancelled prompt does nothing.
  std::optional<std::string> answer = "Kitchen phone";
  dlg->SetAliasPrompt([&](QWidget*, const std::string& current) {
    EXPECT_FALSE(current.empty());
    return answer;
  });
  devices.calls.clear();
  ASSERT_TRUE(Click(*dlg, "infoRename"));
  EXPECT_EQ(Text(*dlg, "infoAlias"), "Kitchen phone");
  EXPECT_EQ(Text(*dlg, "infoTitle"), "Kitchen phone");
  answer = "";
  ASSERT_TRUE(Click(*dlg, "infoRename"));
  EXPECT_EQ(Text(*dlg, "infoAlias"), "Nokia 6230");
  answer = std::nullopt;
  QTest::mouseClick(Button(*dlg, "infoRename"), Qt::LeftButton);
  EXPECT_EQ(devices.calls, (std::vector<std::string>{"Alias:Kitchen phone", "Alias:"}));
}

TEST_F(DeviceInfoDlgTest, RemoveAsksFirstAndClosesOnceDone) {
  auto dlg = Open();
  int asked = 0;
  bool agree = false;
  dlg->SetRemoveConfirm([&](QWidget*, const std::string& name) {
    ++asked;
    EXPECT_EQ(name, "My phone");
    return agree;
  });
  QTest::mouseClick(Button(*dlg, "infoRemove"), Qt::LeftButton);
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(devices.calls.empty());
  EXPECT_TRUE(dlg->isVisible());

  agree = true;
  ASSERT_TRUE(Click(*dlg, "infoRemove"));
  EXPECT_EQ(devices.calls, std::vector<std::string>{"Remove"});
  EXPECT_EQ(devices.devices.count(kPhone), 0u);
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(dlg->result(), QDialog::Accepted);
}

// Every failure reads as a sentence in the status line; an unknown error
// also names itself; a stack that gives no words still gets a line.
TEST_F(DeviceInfoDlgTest, EveryFailureIsShownInWords) {
  using platform::DeviceError;
  const DeviceError errors[] = {
      DeviceError::AuthenticationFailed,
      DeviceError::AuthenticationCanceled,
      DeviceError::ConnectionAttemptFailed,
      DeviceError::AlreadyExists,
      DeviceError::InProgress,
      DeviceError::NotReady,
      DeviceError::Failed,
      DeviceError::Other,
  };
  auto dlg = Open();
  std::set<std::string> texts;
  for (DeviceError error : errors) {
    devices.failWith = error;
    devices.failName = "com.example.Error.SomethingNew";
    ASSERT_TRUE(Click(*dlg, "infoConnect")) << static_cast<int>(error);
    const std::string shown = Text(*dlg, "infoStatus").toStdString();
    EXPECT_EQ(shown, platform::DeviceErrorText(
                         platform::DeviceFailure(error, "com.example.Error.SomethingNew")));
    EXPECT_FALSE(shown.empty()) << static_cast<int>(error);
    texts.insert(shown);
    // Nothing changed, and the user may try again.
    EXPECT_EQ(Text(*dlg, "infoConnected"), "No") << static_cast<int>(error);
    EXPECT_TRUE(Button(*dlg, "infoConnect")->isEnabled()) << static_cast<int>(error);
  }
  EXPECT_EQ(texts.size(), std::size(errors)) << "each error reads differently";
  EXPECT_NE(Text(*dlg, "infoStatus").indexOf("com.example.Error.SomethingNew"), -1);

  devices.failWith = DeviceError::None;  // a failure with neither words nor a name
  ASSERT_TRUE(Click(*dlg, "infoTrust"));
  EXPECT_FALSE(Text(*dlg, "infoStatus").trimmed().isEmpty());

  // A failed removal keeps the dialog open and says why.
  devices.failWith = DeviceError::Failed;
  dlg->SetRemoveConfirm([](QWidget*, const std::string&) { return true; });
  ASSERT_TRUE(Click(*dlg, "infoRemove"));
  EXPECT_TRUE(dlg->isVisible());
  EXPECT_EQ(Text(*dlg, "infoStatus").toStdString(), "The Bluetooth service could not do it.");
}

TEST_F(DeviceInfoDlgTest, FollowsTheDeviceLiveFromTheStacksThread) {
  auto dlg = Open();
  QSignalSpy shown(dlg.get(), &CDeviceInfoDlg::propertiesShown);
  DeviceProperties p = Phone();
  p.connected = true;
  p.rssi = -80;
  p.txPower = 4;
  p.name = "Renamed by itself";
  devices.ChangeFromStackThread(p);
  // Another device's change is none of this dialog's business.
  DeviceProperties other = Phone();
  other.address = 0x112233445566;
  other.rssi = -1;
  devices.ChangeFromStackThread(other);
  ASSERT_TRUE(shown.count() > 0 || shown.wait(5000));
  QTest::qWait(20);
  EXPECT_EQ(Text(*dlg, "infoConnected"), "Yes");
  EXPECT_EQ(Text(*dlg, "infoRssi"), "-80 dBm");
  EXPECT_EQ(Text(*dlg, "infoTxPower"), "4 dBm");
  EXPECT_EQ(Text(*dlg, "infoName"), "Renamed by itself");
  EXPECT_EQ(Button(*dlg, "infoConnect")->text(), "Disconnect");

  devices.RemoveFromStackThread(kPhone);
  QTRY_VERIFY_WITH_TIMEOUT(!Button(*dlg, "infoTrust")->isEnabled(), 5000);
  EXPECT_FALSE(Text(*dlg, "infoStatus").isEmpty());
  for (const char* name : {"infoConnect", "infoBlock", "infoRename", "infoRemove"})
    EXPECT_FALSE(Button(*dlg, name)->isEnabled()) << name;

  // Back again (found by a later discovery): the actions work again.
  devices.ChangeFromStackThread(Phone());
  QTRY_VERIFY_WITH_TIMEOUT(Button(*dlg, "infoTrust")->isEnabled(), 5000);
  EXPECT_TRUE(Text(*dlg, "infoStatus").isEmpty());
  EXPECT_TRUE(dlg->Known());
}

// An answer that comes after the dialog has gone touches nothing (the
// sanitizer watches), and the dialog stops listening when it goes.
TEST_F(DeviceInfoDlgTest, AnAnswerAfterTheDialogIsGoneGoesNowhere) {
  devices.answerLater = true;
  auto dlg = Open();
  QTest::mouseClick(Button(*dlg, "infoTrust"), Qt::LeftButton);
  EXPECT_FALSE(Button(*dlg, "infoTrust")->isEnabled()) << "no second action while one runs";
  EXPECT_EQ(Text(*dlg, "infoStatus"), "Trusting...");
  dlg.reset();
  EXPECT_EQ(devices.listener, nullptr);
  devices.Answer(DeviceResult{});
  QTest::qWait(20);
  EXPECT_EQ(devices.calls, std::vector<std::string>{"Trust"});
}

TEST_F(DeviceInfoDlgTest, HostileValuesAreShownCleanlyAndKeptWhole) {
  DeviceProperties p = Phone();
  p.name = std::string(1 << 20, 'N');
  p.alias = "line one\nline two\twith tab";
  p.classOfDevice = 0xFFFFFFFF;
  p.uuids.clear();
  for (int i = 0; i < 10000; ++i) {
    char uuid[40];
    std::snprintf(uuid, sizeof uuid, "%08x-0000-1000-8000-00805f9b34fb", 0x1100 + i);
    p.uuids.push_back(uuid);
  }
  devices.devices[kPhone] = p;
  auto dlg = Open();
  // The data stays whole; the display is one short line.
  EXPECT_EQ(dlg->Shown().name.size(), std::size_t{1} << 20);
  const QString name = Text(*dlg, "infoName");
  EXPECT_LE(name.size(), CDeviceInfoDlg::kMaxShownChars + 1);
  EXPECT_TRUE(name.endsWith(QChar(0x2026)));
  EXPECT_LT(dlg->sizeHint().width(), 1200);
  EXPECT_EQ(Text(*dlg, "infoAlias"), "line one line two with tab");
  // Bits above the 24 of a class are shown as reported and decode as the 24.
  EXPECT_EQ(Text(*dlg, "infoClass"), "0xFFFFFFFF");
  std::string type, services;
  AssignedNumbers().DecodeClassOfDevice(0xFFFFFF, type, services);
  EXPECT_EQ(Text(*dlg, "infoType").toStdString(), type);
  // 10,000 UUIDs: the first rows, then how many more there are.
  const QStringList rows = Uuids(*dlg);
  ASSERT_EQ(rows.size(), CDeviceInfoDlg::kMaxUuidRows + 1);
  EXPECT_EQ(rows.front(), "00001100-0000-1000-8000-00805f9b34fb");
  EXPECT_EQ(rows[1], "Serial Port (00001101-0000-1000-8000-00805f9b34fb)");
  EXPECT_EQ(rows.back(), QString("... and %1 more").arg(10000 - CDeviceInfoDlg::kMaxUuidRows));

  // An alias longer than a Bluetooth name is refused before the port sees it.
  dlg->SetAliasPrompt([](QWidget*, const std::string&) { return std::string(300, 'a'); });
  QTest::mouseClick(Button(*dlg, "infoRename"), Qt::LeftButton);
  EXPECT_TRUE(devices.calls.empty());
  EXPECT_TRUE(Text(*dlg, "infoStatus").contains("too long"));
}

// The Device Information command: a device the stack knows (paired or
// remembered) opens the dialog; any other address opens nothing and gives 0.
TEST(DeviceInformationCommand, OpensOnlyForAKnownDevice) {
  sim::Scenario s;
  sim::SimRadio radio;
  radio.id = "r";
  radio.address = 0x00025B102030;
  radio.name = "Radio";
  s.radios.push_back(radio);
  sim::SimDevice known;
  known.address = kPhone;
  known.name = "Phone";
  known.classOfDevice = 0x5A020C;
  known.remembered = known.authenticated = true;
  known.trusted = true;
  s.devices.push_back(known);
  sim::SimDevice stranger;
  stranger.address = 0x0A0B0C0D0E0F;
  stranger.name = "Stranger";
  s.devices.push_back(stranger);
  sim::SimulatedStack stack(std::move(s), sim::TimeMode::Stepped);
  BluetoothPlatform bluetooth(stack);
  QtDeviceDialogs dialogs(stack, Producer);
  int opened = 0;
  QString shownName, trusted;
  dialogs.SetBeforeShow([&](CDeviceInfoDlg& dlg) {
    ++opened;
    shownName = Text(dlg, "infoName");
    trusted = Text(dlg, "infoTrusted");
    QTimer::singleShot(0, &dlg, &QDialog::reject);
  });
  EXPECT_EQ(bluetooth.ShowDeviceProperties(dialogs, 0, "0A:0B:0C:0D:0E:0F"), 0);
  EXPECT_EQ(bluetooth.ShowDeviceProperties(dialogs, 0, "00:15:2a:3c:4d:5e"), 0);
  EXPECT_EQ(opened, 0);
  EXPECT_EQ(bluetooth.ShowDeviceProperties(dialogs, 0, "00:15:2A:3C:4D:5E"), 1);
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(shownName, "Phone");
  EXPECT_EQ(trusted, "Yes");

  // The selection dialog is Search and Add: closed at once, nothing is chosen.
  QString selectionTitle;
  QTimer::singleShot(0, [&] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      selectionTitle = modal->windowTitle();
      modal->close();
    }
  });
  std::vector<platform::DeviceInfo> chosen;
  EXPECT_FALSE(dialogs.SelectDevices(platform::DeviceSelection{}, chosen));
  EXPECT_EQ(selectionTitle, "Search and Add New Bluetooth Device");
  EXPECT_TRUE(chosen.empty());
}

TEST(DeviceDialogHandles, OnlyALiveWidgetOfOursIsAParent) {
  auto widget = std::make_unique<QWidget>();
  const platform::WindowHandle handle = QtDeviceDialogs::HandleOf(widget.get());
  EXPECT_EQ(QtDeviceDialogs::WidgetOf(handle), widget.get());
  EXPECT_EQ(QtDeviceDialogs::WidgetOf(0), nullptr);
  widget.reset();
  EXPECT_EQ(QtDeviceDialogs::WidgetOf(handle), nullptr);
}

}  // namespace
}  // namespace wren::gui
