// Device Information on BlueZ, against python-dbusmock's bluez5 template:
// what the dialog shows of a device BlueZ reports, and what its actions do
// to BlueZ, seen again by the next scan.

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <string>

#include "MockBluez.h"
#include "core/bluetooth/BluetoothPlatform.h"
#include "gui/CDeviceInfoDlg.h"
#include "gui/QtDeviceDialogs.h"
#include "adapters/bluez/BluezStack.h"

namespace wren::bluez {
namespace {

using gui::CDeviceInfoDlg;
using gui::QtDeviceDialogs;
using platform::BluetoothAddress;
using test::MockBluez;
using test::WaitUntil;

const QString kHci0 = QStringLiteral("hci0");
const QString kPhoneText = QStringLiteral("00:1A:2B:3C:4D:5E");
constexpr BluetoothAddress kPhone = 0x001A2B3C4D5EULL;
const QString kDevice1 = QStringLiteral("org.bluez.Device1");

QString Text(QWidget& dlg, const char* name) {
  auto* label = dlg.findChild<QLabel*>(name);
  EXPECT_NE(label, nullptr) << name;
  return label ? label->text() : QString();
}

QStringList Uuids(QWidget& dlg) {
  QStringList rows;
  auto* list = dlg.findChild<QListWidget*>("infoUuids");
  for (int i = 0; list && i < list->count(); ++i) rows << list->item(i)->text();
  return rows;
}

class BluezDeviceDialogTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(mock.Start()) << mock.Error();
    mock.AddAdapter(kHci0, QStringLiteral("desk"));
    phonePath = mock.AddDevice(kHci0, kPhoneText, QStringLiteral("Phone"));
    std::string error;
    stack = BluezStack::Create(mock.StackOptions(), error);
    ASSERT_TRUE(stack) << error;
    ASSERT_TRUE(stack->ServiceAnswered());
  }

  // The devices a scan of remembered devices finds.
  std::size_t Remembered() {
    platform::DeviceSearch s;
    s.returnRemembered = 1;
    auto find = stack->FindDevices(s, {});
    std::size_t n = 0;
    platform::DeviceInfo info;
    while (find && find->Next(info)) ++n;
    return n;
  }

  std::unique_ptr<CDeviceInfoDlg> Open(BluetoothAddress address) {
    platform::DeviceInfo info;
    info.address = address;
    auto dlg = std::make_unique<CDeviceInfoDlg>(
        *stack, info, [](const platform::DeviceProperties&) { return std::string(); });
    dlg->show();
    return dlg;
  }

  // Clicks an action and waits for BlueZ's answer to be shown.
  static bool Click(CDeviceInfoDlg& dlg, const char* name) {
    QSignalSpy finished(&dlg, &CDeviceInfoDlg::actionFinished);
    auto* button = dlg.findChild<QPushButton*>(name);
    if (!button || !button->isEnabled()) return false;
    QTest::mouseClick(button, Qt::LeftButton);
    return (finished.count() > 0 || finished.wait(20000)) && finished.last().at(0).toBool();
  }

  MockBluez mock;
  QString phonePath;
  std::unique_ptr<BluezStack> stack;
};

TEST_F(BluezDeviceDialogTest, DeviceInformationShowsTheMockDevice) {
  mock.PairDevice(kHci0, kPhoneText, 0x5A020C);
  mock.UpdateProperties(phonePath, kDevice1,
                        {{QStringLiteral("UUIDs"),
                          QStringList{QStringLiteral("0000110a-0000-1000-8000-00805f9b34fb"),
                                      QStringLiteral("00001101-0000-1000-8000-00805f9b34fb")}},
                         {QStringLiteral("TxPower"), QVariant::fromValue(static_cast<short>(-6))}});
  platform::DeviceProperties p;
  ASSERT_TRUE(
      WaitUntil([&] { return stack->Properties(kPhone, p) && p.paired && p.uuids.size() == 2; }));

  BluetoothPlatform bluetooth(*stack);
  QtDeviceDialogs dialogs(
      *stack, [](const platform::DeviceProperties&) { return std::string("Producer Ltd"); });
  std::map<std::string, QString> shown;
  QStringList uuids;
  dialogs.SetBeforeShow([&](CDeviceInfoDlg& dlg) {
    for (const char* name :
         {"infoName", "infoAlias", "infoAddress", "infoProducer", "infoClass", "infoType",
          "infoPaired", "infoTrusted", "infoConnected", "infoRssi", "infoTxPower", "infoLastSeen"})
      shown[name] = Text(dlg, name);
    uuids = Uuids(dlg);
    QTimer::singleShot(0, &dlg, &QDialog::reject);
  });
  EXPECT_EQ(bluetooth.ShowDeviceProperties(dialogs, 0, "00:1A:2B:3C:4D:5E"), 1);
  EXPECT_EQ(shown["infoName"], "Phone");
  EXPECT_EQ(shown["infoAlias"], "Phone");
  EXPECT_EQ(shown["infoAddress"], kPhoneText);
  EXPECT_EQ(shown["infoProducer"], "Producer Ltd");
  EXPECT_EQ(shown["infoClass"], "0x5A020C");
  EXPECT_EQ(shown["infoType"].toStdString(), "Phone/Smart phone");
  EXPECT_EQ(shown["infoPaired"], "Yes");
  EXPECT_EQ(shown["infoConnected"], "No");
  EXPECT_EQ(shown["infoRssi"], "-79 dBm");
  EXPECT_EQ(shown["infoTxPower"], "-6 dBm");
  EXPECT_NE(shown["infoLastSeen"], "Never");
  EXPECT_EQ(uuids, (QStringList{"Audio Source (0000110a-0000-1000-8000-00805f9b34fb)",
                                "Serial Port (00001101-0000-1000-8000-00805f9b34fb)"}));

  // An address BlueZ does not know opens nothing.
  EXPECT_EQ(bluetooth.ShowDeviceProperties(dialogs, 0, "00:1A:2B:3C:4D:5F"), 0);
}

TEST_F(BluezDeviceDialogTest, TrustUntrustAndRemoveFromTheDialogReachBlueZAndTheNextScan) {
  ASSERT_TRUE(WaitUntil([&] {
    platform::DeviceProperties p;
    return stack->Properties(kPhone, p);
  }));
  auto dlg = Open(kPhone);
  EXPECT_EQ(Remembered(), 0u);

  ASSERT_TRUE(Click(*dlg, "infoTrust"));
  EXPECT_TRUE(WaitUntil([&] { return Remembered() == 1; }));
  QTRY_COMPARE_WITH_TIMEOUT(Text(*dlg, "infoTrusted"), QString("Yes"), 10000);

  ASSERT_TRUE(Click(*dlg, "infoTrust"));
  EXPECT_TRUE(WaitUntil([&] { return Remembered() == 0; }));
  QTRY_COMPARE_WITH_TIMEOUT(Text(*dlg, "infoTrusted"), QString("No"), 10000);

  ASSERT_TRUE(Click(*dlg, "infoTrust"));
  EXPECT_TRUE(WaitUntil([&] { return Remembered() == 1; }));
  dlg->SetRemoveConfirm([](QWidget*, const std::string&) { return true; });
  ASSERT_TRUE(Click(*dlg, "infoRemove"));
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_TRUE(WaitUntil([&] { return Remembered() == 0; }));
  platform::DeviceProperties p;
  EXPECT_FALSE(stack->Properties(kPhone, p));
  EXPECT_TRUE(mock.CallsOn(QStringLiteral("/org/bluez/hci0")).contains("RemoveDevice"));
}

// A device whose properties have the wrong types and a 1 MB name: shown
// with what could be read, in one short line, and the window stays usable.
TEST_F(BluezDeviceDialogTest, WrongTypesAndAHugeNameAreShownCleanly) {
  ASSERT_EQ(mock.Helper({QStringLiteral("bad-device"), kHci0, QStringLiteral("00:25:56:AA:BB:CC")}),
            0);
  constexpr BluetoothAddress kBad = 0x002556AABBCCULL;
  platform::DeviceProperties p;
  ASSERT_TRUE(WaitUntil([&] { return stack->Properties(kBad, p); }));
  auto dlg = Open(kBad);
  EXPECT_TRUE(dlg->Known());
  EXPECT_EQ(Text(*dlg, "infoAddress"), "00:25:56:AA:BB:CC");
  EXPECT_LE(Text(*dlg, "infoName").size(), CDeviceInfoDlg::kMaxShownChars + 1);
  EXPECT_EQ(Text(*dlg, "infoClass"), "0x000000");
  EXPECT_EQ(Text(*dlg, "infoPaired"), "No");
  EXPECT_EQ(Text(*dlg, "infoConnected"), "No");
  EXPECT_EQ(Text(*dlg, "infoRssi"), "Not known");
  EXPECT_LT(dlg->sizeHint().width(), 1200);
  // It still acts: an action gets an answer, and a failure says why.
  QSignalSpy finished(dlg.get(), &CDeviceInfoDlg::actionFinished);
  QTest::mouseClick(dlg->findChild<QPushButton*>("infoTrust"), Qt::LeftButton);
  ASSERT_TRUE(finished.count() > 0 || finished.wait(20000));
  // The mock's bare object has no Trusted to set: BlueZ's refusal, by name.
  EXPECT_FALSE(finished.last().at(0).toBool());
  EXPECT_TRUE(Text(*dlg, "infoStatus").contains("UnknownProperty"))
      << Text(*dlg, "infoStatus").toStdString();
  EXPECT_TRUE(dlg->findChild<QPushButton*>("infoTrust")->isEnabled());
}

TEST_F(BluezDeviceDialogTest, TenThousandUuidsAreKeptAndListedInPart) {
  QStringList uuids;
  for (int i = 0; i < 10000; ++i)
    uuids << QString("%1-0000-1000-8000-00805f9b34fb").arg(0x1100 + i, 8, 16, QChar('0'));
  mock.UpdateProperties(phonePath, kDevice1,
                        {{QStringLiteral("UUIDs"), uuids},
                         {QStringLiteral("Class"), QVariant::fromValue(0xFFFFFFFFu)}});
  platform::DeviceProperties p;
  ASSERT_TRUE(WaitUntil([&] { return stack->Properties(kPhone, p) && p.uuids.size() == 10000; }));
  EXPECT_EQ(p.uuids.back(), uuids.back().toStdString());
  auto dlg = Open(kPhone);
  const QStringList rows = Uuids(*dlg);
  ASSERT_EQ(rows.size(), CDeviceInfoDlg::kMaxUuidRows + 1);
  EXPECT_EQ(rows[1], "Serial Port (00001101-0000-1000-8000-00805f9b34fb)");
  EXPECT_EQ(rows.back(), QString("... and %1 more").arg(10000 - CDeviceInfoDlg::kMaxUuidRows));
  // The class as BlueZ gave it, whatever its top bits.
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%06X", p.classOfDevice);
  EXPECT_EQ(Text(*dlg, "infoClass").toStdString(), hex);
}

}  // namespace
}  // namespace wren::bluez
