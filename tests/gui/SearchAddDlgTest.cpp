// The "Search and Add New Bluetooth Device" dialog over the simulated
// stack: what it lists while it discovers, how it pairs and trusts, what
// the user reads when that fails, and what closing it ends.

#include "gui/CSearchAddDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/bluetooth/BluetoothPlatform.h"
#include "gui/CPairingPromptDlg.h"
#include "gui/QtDeviceDialogs.h"
#include "gui/QtPairingAgent.h"
#include "adapters/sim/Scenario.h"
#include "adapters/sim/SimulatedStack.h"
#include "core/refdata/VendorDatabase.h"

namespace wren::gui {
namespace {

using platform::BluetoothAddress;
using platform::DeviceProperties;
using platform::DeviceResult;

constexpr BluetoothAddress kPhone = 0x001A2B3C4D5EULL;     // paired already
constexpr BluetoothAddress kHeadset = 0x00152A000001ULL;   // confirms a passkey
constexpr BluetoothAddress kKeyboard = 0x00152A000002ULL;  // asks for a PIN
constexpr BluetoothAddress kMouse = 0x000000000003ULL;     // pairs with no question
constexpr BluetoothAddress kSpeaker = 0x00152A000004ULL;   // comes and goes
constexpr BluetoothAddress kPrinter = 0x00152A000005ULL;   // paired, a tab in its name

const char* const kScenario = R"(<?xml version="1.0"?>
<scenario start="2009-07-21 14:00:00">
  <radio id="a" address="00:02:5B:00:00:01" name="Desk"/>
  <device address="00:1A:2B:3C:4D:5E" name="Phone" class="0x5A020C" remembered="yes"
          authenticated="yes" trusted="yes"/>
  <device address="00:15:2A:00:00:01" name="Headset" class="0x240404" rssi="-70">
    <pairing method="confirm-passkey" passkey="4711"/>
  </device>
  <device address="00:15:2A:00:00:02" name="Keyboard" class="0x002540">
    <pairing method="request-pin" pin="7391"/>
  </device>
  <device address="00:00:00:00:00:03" class="0x002580"/>
  <device address="00:15:2A:00:00:05" name="Printer&#9;2nd&#10;floor" authenticated="yes"/>
  <device address="00:15:2A:00:00:04" name="Speaker" class="0x240414" in-range="no" rssi="-81"/>
  <timeline>
    <in-range at="1" device="00:15:2A:00:00:04" flags="0x07"/>
    <out-of-range at="2" device="00:15:2A:00:00:04"/>
  </timeline>
</scenario>
)";

constexpr const char* kVendors =
    "<?xml version=\"1.0\"?>\r\n<Macaddresses version=\"1.0.5.0\">\r\n"
    "<mac addr=\"00-15-2A\" company=\"Nokia Corporation\"/>\r\n"
    "</Macaddresses>\r\n";

sim::Scenario Load(const char* text) {
  sim::Scenario s;
  std::string error;
  EXPECT_TRUE(sim::ParseScenario(text, "test.xml", s, error)) << error;
  return s;
}

// The simulated stack as the dialog sees it, with what the dialog asked
// counted, and pairing answers replaced when a test says so: answered
// from a thread of its own, as a real stack answers, or held for later.
class RecordingManager final : public platform::DeviceManager {
public:
  explicit RecordingManager(platform::DeviceManager& inner) : m_inner(inner) {}

  std::vector<DeviceProperties> Devices() const override { return m_inner.Devices(); }
  bool Properties(BluetoothAddress d, DeviceProperties& out) const override {
    return m_inner.Properties(d, out);
  }
  std::unique_ptr<platform::NotificationHandle> WatchDevices(
      platform::DeviceListener& listener) override {
    return Counted(m_inner.WatchDevices(listener), watches);
  }
  std::unique_ptr<platform::DiscoverySession> StartDiscovery() override {
    if (noRadio) return nullptr;
    auto inner = m_inner.StartDiscovery();
    if (!inner) return nullptr;
    ++discoveries;
    struct Session : platform::DiscoverySession {
      std::unique_ptr<platform::DiscoverySession> inner;
      std::atomic<int>* open = nullptr;
      ~Session() override { --*open; }
    };
    auto s = std::make_unique<Session>();
    s->inner = std::move(inner);
    s->open = &discoveries;
    return s;
  }
  std::unique_ptr<platform::NotificationHandle> RegisterPairingAgent(
      platform::PairingAgent& agent) override {
    return Counted(m_inner.RegisterPairingAgent(agent), agents);
  }
  void Pair(BluetoothAddress d, platform::DeviceDone done) override {
    ++pairs;
    if (holdPair) {
      std::lock_guard lock(mutex);
      held = std::move(done);
      return;
    }
    if (pairAnswer) {
      // From a thread of the stack, as BlueZ answers.
      std::thread([done, answer = *pairAnswer] { done(answer); }).join();
      return;
    }
    m_inner.Pair(d, std::move(done));
  }
  void CancelPairing(BluetoothAddress d, platform::DeviceDone done) override {
    {
      std::lock_guard lock(mutex);
      cancelled.push_back(d);
    }
    m_inner.CancelPairing(d, std::move(done));
  }
  void SetTrusted(BluetoothAddress d, bool trusted, platform::DeviceDone done) override {
    if (trustAnswer) return done(*trustAnswer);
    m_inner.SetTrusted(d, trusted, std::move(done));
  }
  void SetBlocked(BluetoothAddress d, bool b, platform::DeviceDone done) override {
    m_inner.SetBlocked(d, b, std::move(done));
  }
  void Connect(BluetoothAddress d, platform::DeviceDone done) override {
    m_inner.Connect(d, std::move(done));
  }
  void Disconnect(BluetoothAddress d, platform::DeviceDone done) override {
    m_inner.Disconnect(d, std::move(done));
  }
  void SetAlias(BluetoothAddress d, const std::string& a, platform::DeviceDone done) override {
    m_inner.SetAlias(d, a, std::move(done));
  }
  void Remove(BluetoothAddress d, platform::DeviceDone done) override {
    m_inner.Remove(d, std::move(done));
  }

  std::vector<BluetoothAddress> Cancelled() {
    std::lock_guard lock(mutex);
    return cancelled;
  }

  bool noRadio = false;
  bool holdPair = false;
  std::optional<DeviceResult> pairAnswer;
  std::optional<DeviceResult> trustAnswer;
  std::atomic<int> discoveries{0};  // open now
  std::atomic<int> agents{0};
  std::atomic<int> watches{0};
  std::atomic<int> pairs{0};
  std::mutex mutex;
  platform::DeviceDone held;
  std::vector<BluetoothAddress> cancelled;

private:
  struct CountedHandle : platform::NotificationHandle {
    std::unique_ptr<platform::NotificationHandle> inner;
    std::atomic<int>* count = nullptr;
    ~CountedHandle() override { --*count; }
  };
  static std::unique_ptr<platform::NotificationHandle> Counted(
      std::unique_ptr<platform::NotificationHandle> inner, std::atomic<int>& count) {
    if (!inner) return nullptr;
    ++count;
    auto h = std::make_unique<CountedHandle>();
    h->inner = std::move(inner);
    h->count = &count;
    return h;
  }

  platform::DeviceManager& m_inner;
};

class SearchAddDlgTest : public ::testing::Test {
protected:
  SearchAddDlgTest() : stack(Load(kScenario), sim::TimeMode::Stepped), manager(stack) {
    EXPECT_EQ(vendors.LoadFromText(kVendors), 1);
    selection.showUnknown = true;
    selection.addNewDeviceWizard = true;
  }

  CSearchAddDlg::ProducerLookup Producers() {
    return [this](const platform::DeviceProperties& device) {
      std::string company;
      vendors.LookUpVendor(company, device.address.VendorPrefix());
      return company;
    };
  }

  // The dialog, shown (so discovering) and with its first answers in.
  std::unique_ptr<CSearchAddDlg> Open() {
    auto dialog = std::make_unique<CSearchAddDlg>(manager, selection, Producers());
    dialog->show();
    QCoreApplication::processEvents();
    return dialog;
  }

  static std::vector<QString> Names(const CSearchAddDlg& dialog) {
    std::vector<QString> names;
    QTreeWidget* list = dialog.DeviceList();
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      names.push_back(list->topLevelItem(i)->text(CSearchAddDlg::kName));
    return names;
  }

  // Selects `device` and presses Add.
  static void Add(CSearchAddDlg& dialog, BluetoothAddress device) {
    QTreeWidgetItem* row = dialog.Row(device);
    ASSERT_NE(row, nullptr);
    dialog.DeviceList()->setCurrentItem(row);
    ASSERT_TRUE(dialog.AddButton()->isEnabled());
    QTest::mouseClick(dialog.AddButton(), Qt::LeftButton);
  }

  // The prompt the dialog's agent opens, once it is open.
  static CPairingPromptDlg* Prompt(CSearchAddDlg& dialog) {
    if (!QTest::qWaitFor([&] { return dialog.Agent().OpenPrompt() != nullptr; }, 2000))
      return nullptr;
    return dialog.Agent().OpenPrompt();
  }

  static QString Status(const CSearchAddDlg& dialog) { return dialog.StatusLabel()->text(); }

  // Waits until the pairing (and trusting) is over.
  static bool Settled(const CSearchAddDlg& dialog) {
    return QTest::qWaitFor([&] { return !dialog.Pairing(); }, 3000);
  }

  DeviceProperties Now(BluetoothAddress device) {
    DeviceProperties p;
    EXPECT_TRUE(stack.Properties(device, p));
    return p;
  }

  sim::SimulatedStack stack;
  RecordingManager manager;
  VendorDatabase vendors;
  platform::DeviceSelection selection;
};

TEST_F(SearchAddDlgTest, ListsUnknownDevicesAsTheyComeChangeAndGo) {
  auto dialog = Open();
  EXPECT_EQ(dialog->windowTitle(), "Search and Add New Bluetooth Device");
  EXPECT_EQ(manager.discoveries, 1) << "discovering while shown";
  EXPECT_EQ(manager.agents, 1);
  EXPECT_EQ(Names(*dialog), (std::vector<QString>{"Headset", "Keyboard", "(no name)"}))
      << "the paired phone is not offered; a nameless device is";

  QTreeWidgetItem* headset = dialog->Row(kHeadset);
  ASSERT_NE(headset, nullptr);
  EXPECT_EQ(headset->text(CSearchAddDlg::kType), "Audio-Video/Headset");
  EXPECT_EQ(headset->text(CSearchAddDlg::kAddress), "00:15:2A:00:00:01");
  EXPECT_EQ(headset->text(CSearchAddDlg::kProducer), "Nokia Corporation");
  EXPECT_EQ(headset->text(CSearchAddDlg::kSignal), "-70 dBm");
  EXPECT_FALSE(headset->icon(CSearchAddDlg::kName).isNull()) << "the type image";
  QTreeWidgetItem* mouse = dialog->Row(kMouse);
  ASSERT_NE(mouse, nullptr);
  EXPECT_EQ(mouse->text(CSearchAddDlg::kProducer), "") << "a prefix nobody registered";
  EXPECT_EQ(mouse->text(CSearchAddDlg::kSignal), "") << "no strength reported";

  // A device comes into range while the dialog discovers...
  stack.AdvanceTime(1500);
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->Row(kSpeaker) != nullptr; }, 2000));
  EXPECT_EQ(dialog->Row(kSpeaker)->text(CSearchAddDlg::kName), "Speaker");
  // ...is renamed...
  manager.SetAlias(kSpeaker, "Lounge", [](const DeviceResult&) {});
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return dialog->Row(kSpeaker)->text(CSearchAddDlg::kName) == "Lounge"; }, 2000));
  // ...and leaves while selected: its row goes, and Add with it.
  dialog->DeviceList()->setCurrentItem(dialog->Row(kSpeaker));
  EXPECT_TRUE(dialog->AddButton()->isEnabled());
  stack.AdvanceTime(1000);
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog->Row(kSpeaker) == nullptr; }, 2000));
  EXPECT_EQ(Names(*dialog).size(), 3u);
  EXPECT_EQ(dialog->AddButton()->isEnabled(), dialog->DeviceList()->currentItem() != nullptr);

  // Closing ends the discovery and gives up the agent and the watch.
  dialog->reject();
  EXPECT_EQ(manager.discoveries, 0);
  EXPECT_EQ(manager.agents, 0);
  EXPECT_EQ(manager.watches, 0);
  EXPECT_FALSE(dialog->Discovering());
}

TEST_F(SearchAddDlgTest, WithoutAFilterEveryKnownDeviceIsListed) {
  selection = {};
  auto dialog = Open();
  EXPECT_NE(dialog->Row(kPhone), nullptr);
  EXPECT_EQ(dialog->Row(kPhone)->text(CSearchAddDlg::kState), "Paired, Trusted");
  EXPECT_NE(dialog->Row(kHeadset), nullptr);
  ASSERT_NE(dialog->Row(kPrinter), nullptr);
  EXPECT_EQ(dialog->Row(kPrinter)->text(CSearchAddDlg::kName), "Printer 2nd floor")
      << "control characters in a name do not break the row";
}

TEST_F(SearchAddDlgTest, ConfirmedPasskeyPairsAndTrustsTheDevice) {
  auto dialog = Open();
  Add(*dialog, kHeadset);
  EXPECT_FALSE(dialog->AddButton()->isEnabled()) << "one pairing at a time";
  EXPECT_TRUE(Status(*dialog).startsWith("Pairing with \"Headset\" (00:15:2A:00:00:01)"));
  CPairingPromptDlg* prompt = Prompt(*dialog);
  ASSERT_NE(prompt, nullptr);
  EXPECT_EQ(prompt->GetKind(), CPairingPromptDlg::Kind::ConfirmPasskey);
  EXPECT_EQ(prompt->Shown()->text(), "004711");
  EXPECT_TRUE(prompt->Question()->text().contains("\"Headset\""));
  QTest::mouseClick(prompt->AcceptButton(), Qt::LeftButton);

  ASSERT_TRUE(Settled(*dialog));
  EXPECT_EQ(Status(*dialog),
            "\"Headset\" (00:15:2A:00:00:01) was added: it is paired and trusted. The device list "
            "shows it from the next scan.");
  EXPECT_TRUE(Now(kHeadset).paired);
  EXPECT_TRUE(Now(kHeadset).trusted);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return dialog->Row(kHeadset)->text(CSearchAddDlg::kState) == "Paired, Trusted"; }));
  ASSERT_EQ(dialog->Chosen().size(), 1u);
  EXPECT_EQ(dialog->Chosen()[0].address, kHeadset);
  EXPECT_EQ(dialog->Chosen()[0].name, "Headset");
  EXPECT_EQ(dialog->Chosen()[0].classOfDevice, 0x240404u);
  EXPECT_TRUE(dialog->Chosen()[0].authenticated);
  EXPECT_EQ(dialog->Agent().OpenPrompt(), nullptr);
  EXPECT_TRUE(dialog->AddButton()->isEnabled()) << "another can be added";
}

TEST_F(SearchAddDlgTest, DeclinedPasskeyShowsTheRefusal) {
  auto dialog = Open();
  Add(*dialog, kHeadset);
  CPairingPromptDlg* prompt = Prompt(*dialog);
  ASSERT_NE(prompt, nullptr);
  QTest::mouseClick(prompt->RejectButton(), Qt::LeftButton);
  ASSERT_TRUE(Settled(*dialog));
  EXPECT_EQ(Status(*dialog),
            "Pairing with \"Headset\" (00:15:2A:00:00:01) failed: Pairing was refused.");
  EXPECT_TRUE(dialog->StatusLabel()->property("failure").toBool());
  EXPECT_FALSE(Now(kHeadset).paired);
  EXPECT_FALSE(Now(kHeadset).trusted) << "nothing is trusted that was not paired";
  EXPECT_TRUE(dialog->Chosen().empty());
  EXPECT_TRUE(dialog->AddButton()->isEnabled()) << "the user may try again";
}

TEST_F(SearchAddDlgTest, TypedPinPairsOnlyWhenItMatches) {
  const struct {
    const char* typed;
    bool ok;  // true: Ok pressed; false: Cancel
    bool paired;
    const char* status;
  } rows[] = {
      {"1234", true, false,
       "Pairing with \"Keyboard\" (00:15:2A:00:00:02) failed: Pairing failed: the PIN or passkey "
       "did not match."},
      {"7391", false, false,
       "Pairing with \"Keyboard\" (00:15:2A:00:00:02) failed: Pairing was cancelled."},
      {"7391", true, true,
       "\"Keyboard\" (00:15:2A:00:00:02) was added: it is paired and trusted. The device list "
       "shows it from the next scan."},
  };
  auto dialog = Open();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.status);
    Add(*dialog, kKeyboard);
    CPairingPromptDlg* prompt = Prompt(*dialog);
    ASSERT_NE(prompt, nullptr);
    ASSERT_EQ(prompt->GetKind(), CPairingPromptDlg::Kind::RequestPinCode);
    EXPECT_FALSE(prompt->AcceptButton()->isEnabled()) << "nothing typed yet";
    QTest::keyClicks(prompt->Edit(), row.typed);
    EXPECT_TRUE(prompt->AcceptButton()->isEnabled());
    QTest::mouseClick(row.ok ? prompt->AcceptButton() : prompt->RejectButton(), Qt::LeftButton);
    ASSERT_TRUE(Settled(*dialog));
    EXPECT_EQ(Status(*dialog), row.status);
    EXPECT_EQ(Now(kKeyboard).paired, row.paired);
  }
}

TEST_F(SearchAddDlgTest, EveryPairingErrorReachesTheUserInWords) {
  using platform::DeviceError;
  const struct {
    DeviceError error;
    const char* name;  // the stack's name for an error we do not know
    const char* text;  // what the stack says; empty: it said nothing
    const char* shown;
  } rows[] = {
      {DeviceError::AuthenticationFailed, "", "",
       "Pairing failed: the PIN or passkey did not match."},
      {DeviceError::AuthenticationCanceled, "", "", "Pairing was cancelled."},
      {DeviceError::ConnectionAttemptFailed, "", "", "The device could not be reached."},
      {DeviceError::AlreadyExists, "", "", "The device is already paired."},
      {DeviceError::InProgress, "", "", "The Bluetooth service is already doing this."},
      {DeviceError::NotReady, "", "",
       "The Bluetooth adapter is not ready; it may be switched off."},
      {DeviceError::Failed, "", "", "The Bluetooth service could not do it."},
      {DeviceError::Other, "org.example.Error.Gremlins", "",
       "The Bluetooth service reported an error (org.example.Error.Gremlins)."},
      // The stack's own words, when it gives any, win.
      {DeviceError::AuthenticationFailed, "", "The headset said no.", "The headset said no."},
      {DeviceError::None, "", "", "The Bluetooth service gave no reason."},
  };
  auto dialog = Open();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.shown);
    manager.pairAnswer = DeviceResult{false, row.error, row.text, row.name};
    Add(*dialog, kHeadset);
    ASSERT_TRUE(Settled(*dialog));
    EXPECT_EQ(Status(*dialog),
              QString("Pairing with \"Headset\" (00:15:2A:00:00:01) failed: %1").arg(row.shown));
    EXPECT_TRUE(dialog->StatusLabel()->property("failure").toBool());
  }
  // Paired, but the trust fails: said as such, and the device counts as added.
  manager.pairAnswer = DeviceResult{};
  manager.trustAnswer = platform::DeviceFailure(platform::DeviceError::Failed);
  Add(*dialog, kHeadset);
  ASSERT_TRUE(Settled(*dialog));
  EXPECT_EQ(Status(*dialog),
            "\"Headset\" (00:15:2A:00:00:01) is paired, but could not be trusted: The Bluetooth "
            "service could not do it.");
  EXPECT_EQ(dialog->Chosen().size(), 1u);
}

TEST_F(SearchAddDlgTest, TheSimulatedStacksOwnRefusalsAreShown) {
  selection = {};
  selection.addNewDeviceWizard = true;
  auto dialog = Open();
  // The phone is paired already.
  Add(*dialog, kPhone);
  ASSERT_TRUE(Settled(*dialog));
  EXPECT_EQ(Status(*dialog),
            "Pairing with \"Phone\" (00:1A:2B:3C:4D:5E) failed: The device is already paired.");
}

TEST_F(SearchAddDlgTest, ClosingDuringAPairingCancelsIt) {
  for (bool destroy : {false, true}) {
    SCOPED_TRACE(destroy ? "destroyed" : "closed");
    manager.cancelled.clear();
    auto dialog = Open();
    Add(*dialog, kHeadset);
    QPointer<CPairingPromptDlg> prompt = Prompt(*dialog);
    ASSERT_TRUE(prompt);
    if (destroy)
      dialog.reset();
    else
      dialog->reject();
    EXPECT_EQ(manager.Cancelled(), std::vector<BluetoothAddress>{kHeadset});
    EXPECT_EQ(manager.discoveries, 0) << "discovery stopped";
    EXPECT_EQ(manager.agents, 0) << "agent given up";
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(prompt.isNull()) << "no prompt outlives the pairing";
    EXPECT_FALSE(Now(kHeadset).paired);
    if (dialog) {
      EXPECT_FALSE(dialog->Pairing());
      EXPECT_TRUE(dialog->Chosen().empty());
    }
  }
}

TEST_F(SearchAddDlgTest, DismissingAShownPasskeyCancelsThePairing) {
  manager.holdPair = true;
  auto dialog = Open();
  Add(*dialog, kKeyboard);
  // The stack shows a passkey to type on the device (from its own thread).
  std::thread([&] { dialog->Agent().DisplayPasskey(kKeyboard, 42, 2); }).join();
  CPairingPromptDlg* prompt = Prompt(*dialog);
  ASSERT_NE(prompt, nullptr);
  EXPECT_EQ(prompt->Shown()->text(), "000042");
  EXPECT_EQ(prompt->Progress()->text(), "2 of 6 digits typed");
  QTest::mouseClick(prompt->RejectButton(), Qt::LeftButton);
  EXPECT_EQ(manager.Cancelled(), std::vector<BluetoothAddress>{kKeyboard});
}

TEST_F(SearchAddDlgTest, AnswersAfterTheDialogWentAreDropped) {
  manager.holdPair = true;
  auto dialog = Open();
  Add(*dialog, kHeadset);
  dialog.reset();
  platform::DeviceDone late;
  {
    std::lock_guard lock(manager.mutex);
    late = std::move(manager.held);
  }
  ASSERT_TRUE(late);
  std::thread([&] { late(DeviceResult{}); }).join();
  // Nothing is left to run it on; the queue is drained without a window.
  QCoreApplication::processEvents();
  EXPECT_EQ(manager.watches, 0);
}

TEST_F(SearchAddDlgTest, DialogsComeAndGoWhileTheStackReportsFromAnotherThread) {
  std::atomic<bool> stop{false};
  std::atomic<int> renames{0};
  std::thread stackThread([&] {
    while (!stop) {
      manager.SetAlias(kHeadset, "Headset " + std::to_string(renames++ % 10),
                       [](const DeviceResult&) {});
    }
  });
  for (int i = 0; i < 20; ++i) {
    auto dialog = Open();
    QTest::qWait(1);
  }
  // Reports still in the queue for dialogs that are gone are dropped.
  QCoreApplication::processEvents();
  stop = true;
  stackThread.join();
  EXPECT_GT(renames, 0);
  manager.SetAlias(kHeadset, "Kitchen", [](const DeviceResult&) {});
  auto dialog = Open();
  ASSERT_NE(dialog->Row(kHeadset), nullptr);
  EXPECT_EQ(dialog->Row(kHeadset)->text(CSearchAddDlg::kName), "Kitchen");
}

TEST_F(SearchAddDlgTest, JustWorksPairingNeedsNoQuestion) {
  auto dialog = Open();
  Add(*dialog, kMouse);
  ASSERT_TRUE(Settled(*dialog));
  EXPECT_EQ(dialog->Agent().OpenPrompt(), nullptr);
  EXPECT_TRUE(Now(kMouse).paired && Now(kMouse).trusted);
  EXPECT_TRUE(Status(*dialog).startsWith("\"(no name)\" (00:00:00:00:00:03) was added"));
}

TEST_F(SearchAddDlgTest, WithoutARadioTheDialogSaysSo) {
  manager.noRadio = true;
  auto dialog = Open();
  EXPECT_FALSE(dialog->Discovering());
  EXPECT_EQ(Status(*dialog),
            "No Bluetooth adapter is available to search with. Plug one in or switch it on, then "
            "open this dialog again.");
  EXPECT_TRUE(dialog->StatusLabel()->property("failure").toBool());
  dialog->DeviceList()->setCurrentItem(dialog->Row(kHeadset));
  EXPECT_FALSE(dialog->AddButton()->isEnabled());
}

TEST(SearchAddBadInput, AHugeNameAndAnyClassAreShownCut) {
  // 'N', then "ü" (two bytes) across the 248-byte limit.
  const std::string huge = std::string(247, 'N') + "\xc3\xbc" + std::string(1 << 20, 'N');
  const std::string text = std::string(R"(<scenario><radio id="a" address="00:02:5B:00:00:01"/>)") +
                           R"(<device address="00:15:2A:00:00:09" class="0xFFFFFF" name=")" + huge +
                           R"("/></scenario>)";
  sim::SimulatedStack stack(Load(text.c_str()), sim::TimeMode::Stepped);
  CSearchAddDlg dialog(stack, {});
  dialog.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Row(0x00152A000009ULL) != nullptr; }));
  const QString name = dialog.Row(0x00152A000009ULL)->text(CSearchAddDlg::kName);
  EXPECT_EQ(name, QString(247, 'N') + QChar(0x2026)) << "cut before the character, not inside";
  EXPECT_FALSE(dialog.Row(0x00152A000009ULL)->text(CSearchAddDlg::kType).isEmpty());
  dialog.grab();  // painted without trouble
}

TEST_F(SearchAddDlgTest, WithoutTheAddStepsTheSelectedDeviceIsChosenAsItIs) {
  selection.addNewDeviceWizard = false;
  selection.info = "Pick the headset to watch";
  auto dialog = Open();
  EXPECT_EQ(dialog->findChild<QLabel*>("searchInfo")->text(), "Pick the headset to watch");
  EXPECT_EQ(dialog->AddButton()->text(), "&Select");
  Add(*dialog, kHeadset);
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_EQ(manager.pairs, 0) << "nothing paired";
  ASSERT_EQ(dialog->Chosen().size(), 1u);
  EXPECT_EQ(dialog->Chosen()[0].address, kHeadset);
  EXPECT_EQ(dialog->Chosen()[0].name, "Headset");
  EXPECT_FALSE(dialog->Chosen()[0].authenticated);
  EXPECT_FALSE(Now(kHeadset).paired);
  EXPECT_EQ(manager.discoveries, 0) << "closed";
}

TEST_F(SearchAddDlgTest, TheCoresSelectionCommandOpensItOverItsParentWithTheAddSteps) {
  QWidget owner;
  QtDeviceDialogs dialogs(manager, Producers());
  BluetoothPlatform bluetooth(stack);
  QWidget* parent = nullptr;
  std::vector<QString> names;
  QString add;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<CSearchAddDlg*>(QApplication::activeModalWidget());
    if (!dialog) return;
    parent = dialog->parentWidget();
    names = Names(*dialog);
    add = dialog->AddButton()->text();
    dialog->reject();
  });
  EXPECT_EQ(bluetooth.SelectDevices(dialogs, QtDeviceDialogs::HandleOf(&owner)), 0);
  EXPECT_EQ(parent, &owner);
  EXPECT_EQ(names, (std::vector<QString>{"Headset", "Keyboard", "(no name)"})) << "unknown ones";
  EXPECT_EQ(add, "&Add") << "with the add-device steps";
  EXPECT_EQ(manager.discoveries, 0);
}

TEST_F(SearchAddDlgTest, RunReturnsTheAddedDevices) {
  std::vector<platform::DeviceInfo> chosen{platform::DeviceInfo{}};
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<CSearchAddDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    Add(*dialog, kMouse);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog->Pairing(); }, 3000));
    QTest::mouseClick(dialog->findChild<QPushButton*>("closeButton"), Qt::LeftButton);
  });
  EXPECT_TRUE(RunSearchAddDialog(nullptr, manager, selection, chosen, Producers()));
  ASSERT_EQ(chosen.size(), 1u);
  EXPECT_EQ(chosen[0].address, kMouse);
  EXPECT_EQ(manager.discoveries, 0);

  // Closed without adding anything.
  QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
  EXPECT_FALSE(RunSearchAddDialog(nullptr, manager, selection, chosen, Producers()));
  EXPECT_TRUE(chosen.empty());
}

// The demo as a user plays it: the joystick pairs with the PIN under it,
// the café access point by a confirmed passkey once it comes into range,
// and the mystery gadget refuses; an added device can be forgotten again.
TEST(SearchAddDemo, PairTrustAndForgetDemoDevices) {
  constexpr BluetoothAddress kJoystick = 0x0009BF070809ULL;
  constexpr BluetoothAddress kCafe = 0x00000C131415ULL;
  constexpr BluetoothAddress kGadget = 0x02ABCD161718ULL;
  sim::Scenario demo;
  std::string error;
  ASSERT_TRUE(sim::LoadDemoScenario(demo, error)) << error;
  sim::SimulatedStack stack(std::move(demo), sim::TimeMode::Stepped);
  platform::DeviceSelection selection;
  selection.showUnknown = true;
  selection.addNewDeviceWizard = true;
  CSearchAddDlg dialog(stack, selection);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Row(kJoystick) && dialog.Row(kGadget); }));
  EXPECT_EQ(dialog.Row(kCafe), nullptr) << "out of range at the start";

  auto pair = [&](BluetoothAddress device) {
    dialog.DeviceList()->setCurrentItem(dialog.Row(device));
    QTest::mouseClick(dialog.AddButton(), Qt::LeftButton);
  };
  auto prompt = [&] {
    return QTest::qWaitFor([&] { return dialog.Agent().OpenPrompt() != nullptr; }, 2000)
               ? dialog.Agent().OpenPrompt()
               : nullptr;
  };
  auto settled = [&] { return QTest::qWaitFor([&] { return !dialog.Pairing(); }, 3000); };

  pair(kJoystick);
  CPairingPromptDlg* pin = prompt();
  ASSERT_NE(pin, nullptr);
  QTest::keyClicks(pin->Edit(), "0000");
  QTest::mouseClick(pin->AcceptButton(), Qt::LeftButton);
  ASSERT_TRUE(settled());
  platform::DeviceProperties p;
  ASSERT_TRUE(stack.Properties(kJoystick, p));
  EXPECT_TRUE(p.paired && p.trusted) << dialog.StatusLabel()->text().toStdString();

  pair(kGadget);
  ASSERT_TRUE(settled());
  EXPECT_EQ(dialog.StatusLabel()->text(),
            "Pairing with \"Mystery gadget\" (02:AB:CD:16:17:18) failed: Pairing failed: the PIN "
            "or passkey did not match.");

  stack.AdvanceTime(55500);
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Row(kCafe) != nullptr; }));
  pair(kCafe);
  CPairingPromptDlg* confirm = prompt();
  ASSERT_NE(confirm, nullptr);
  EXPECT_EQ(confirm->Shown()->text(), "482913");
  QTest::mouseClick(confirm->AcceptButton(), Qt::LeftButton);
  ASSERT_TRUE(settled());
  ASSERT_TRUE(stack.Properties(kCafe, p));
  EXPECT_TRUE(p.paired && p.trusted);
  EXPECT_EQ(dialog.Chosen().size(), 2u);

  // Forgotten (as the device information window does it): it leaves the list.
  std::optional<DeviceResult> removed;
  stack.Remove(kJoystick, [&](const DeviceResult& r) { removed = r; });
  ASSERT_TRUE(removed && removed->ok);
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.Row(kJoystick) == nullptr; }));
  EXPECT_FALSE(stack.Properties(kJoystick, p));
}

}  // namespace
}  // namespace wren::gui
