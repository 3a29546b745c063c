// The "Search and Add New Bluetooth Device" dialog on BlueZ, against
// python-dbusmock's bluez5 template: a device that turns up during the
// discovery is listed and added (paired and trusted on the mock), and one
// that is removed meanwhile leaves the list without harm.

#include <QApplication>
#include <QDBusObjectPath>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "MockBluez.h"
#include "gui/CSearchAddDlg.h"
#include "adapters/bluez/BluezStack.h"

namespace wren::bluez {
namespace {

using gui::CSearchAddDlg;
using platform::BluetoothAddress;
using test::MockBluez;

const QString kHci0 = QStringLiteral("hci0");
const QString kAdapter0 = QStringLiteral("/org/bluez/hci0");
constexpr BluetoothAddress kPhone = 0x001A2B3C4D5EULL;
constexpr BluetoothAddress kSpeaker = 0x002556AABBCCULL;
constexpr BluetoothAddress kPasserBy = 0x002556AABBCDULL;

class SearchAddMockTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(mock.Start()) << mock.Error();
    mock.AddAdapter(kHci0, QStringLiteral("desk"));
    mock.AddDevice(kHci0, QStringLiteral("00:1A:2B:3C:4D:5E"), QStringLiteral("Phone"));
    std::string error;
    stack = BluezStack::Create(mock.StackOptions(), error);
    ASSERT_TRUE(stack) << error;
    ASSERT_TRUE(stack->ServiceAnswered());
    selection.showUnknown = true;
    selection.addNewDeviceWizard = true;
  }

  // Waits with the window's event loop running, as the dialog needs.
  static bool Wait(const std::function<bool()>& done) { return QTest::qWaitFor(done, 10000); }

  bool Called(const QString& path, const char* method) {
    return mock.CallsOn(path).contains(QString::fromLatin1(method));
  }

  MockBluez mock;
  std::unique_ptr<BluezStack> stack;
  platform::DeviceSelection selection;
};

TEST_F(SearchAddMockTest, ADeviceFoundDuringTheSearchIsAddedAndOneThatLeavesIsDropped) {
  auto dialog = std::make_unique<CSearchAddDlg>(*stack, selection);
  dialog->show();
  ASSERT_TRUE(Wait([&] { return Called(kAdapter0, "StartDiscovery"); }));
  ASSERT_TRUE(Wait([&] { return Called(QStringLiteral("/org/bluez"), "RequestDefaultAgent"); }))
      << "the dialog's agent answers BlueZ while it is open";
  ASSERT_TRUE(Wait([&] { return dialog->Row(kPhone) != nullptr; })) << "known, not paired";

  mock.AddDevice(kHci0, QStringLiteral("00:25:56:AA:BB:CC"), QStringLiteral("Speaker"));
  const QString gone =
      mock.AddDevice(kHci0, QStringLiteral("00:25:56:AA:BB:CD"), QStringLiteral("Passer-by"));
  ASSERT_TRUE(Wait([&] { return dialog->Row(kSpeaker) && dialog->Row(kPasserBy); }));
  EXPECT_EQ(dialog->Row(kSpeaker)->text(CSearchAddDlg::kName), "Speaker");
  EXPECT_EQ(dialog->Row(kSpeaker)->text(CSearchAddDlg::kSignal), "-79 dBm")
      << "the template's signal strength";

  // The passer-by leaves while the user has it selected.
  dialog->DeviceList()->setCurrentItem(dialog->Row(kPasserBy));
  mock.Must(kAdapter0, QStringLiteral("org.bluez.Adapter1"), QStringLiteral("RemoveDevice"),
            {QVariant::fromValue(QDBusObjectPath(gone))});
  ASSERT_TRUE(Wait([&] { return dialog->Row(kPasserBy) == nullptr; }));
  EXPECT_NE(dialog->Row(kSpeaker), nullptr);
  EXPECT_TRUE(dialog->Discovering()) << "the search goes on";

  dialog->DeviceList()->setCurrentItem(dialog->Row(kSpeaker));
  ASSERT_TRUE(dialog->AddButton()->isEnabled());
  QTest::mouseClick(dialog->AddButton(), Qt::LeftButton);
  ASSERT_TRUE(Wait([&] { return !dialog->Pairing(); }));
  EXPECT_EQ(dialog->StatusLabel()->text(),
            "\"Speaker\" (00:25:56:AA:BB:CC) was added: it is paired and trusted. The device list "
            "shows it from the next scan.");
  platform::DeviceProperties p;
  ASSERT_TRUE(Wait([&] { return stack->Properties(kSpeaker, p) && p.paired && p.trusted; }))
      << "Paired and Trusted become true on BlueZ";
  EXPECT_TRUE(Wait([&] {
    return dialog->Row(kSpeaker)->text(CSearchAddDlg::kState).startsWith("Paired, Trusted");
  }));
  ASSERT_EQ(dialog->Chosen().size(), 1u);
  EXPECT_EQ(dialog->Chosen()[0].address, kSpeaker);

  // Closing ends the discovery and gives BlueZ back to the desktop's agent.
  dialog->reject();
  EXPECT_FALSE(dialog->Discovering());
  EXPECT_TRUE(Wait([&] { return Called(kAdapter0, "StopDiscovery"); }));
  EXPECT_TRUE(Wait([&] { return Called(QStringLiteral("/org/bluez"), "UnregisterAgent"); }));
  dialog.reset();
  // The bus goes on talking after the window is gone.
  mock.AddDevice(kHci0, QStringLiteral("00:25:56:AA:BB:CE"), QStringLiteral("Late"));
  QTest::qWait(200);
}

TEST_F(SearchAddMockTest, AnAlreadyPairedDeviceGivesBlueZsErrorInWords) {
  selection = {};
  selection.addNewDeviceWizard = true;
  mock.PairDevice(kHci0, QStringLiteral("00:1A:2B:3C:4D:5E"), 0x5A020C);
  CSearchAddDlg dialog(*stack, selection);
  dialog.show();
  ASSERT_TRUE(Wait([&] {
    return dialog.Row(kPhone) &&
           dialog.Row(kPhone)->text(CSearchAddDlg::kState).startsWith("Paired");
  }));
  dialog.DeviceList()->setCurrentItem(dialog.Row(kPhone));
  QTest::mouseClick(dialog.AddButton(), Qt::LeftButton);
  ASSERT_TRUE(Wait([&] { return !dialog.Pairing(); }));
  EXPECT_EQ(dialog.StatusLabel()->text(),
            "Pairing with \"Phone\" (00:1A:2B:3C:4D:5E) failed: The device is already paired.");
}

}  // namespace
}  // namespace wren::bluez
