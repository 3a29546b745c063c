// Pictures of the device windows on the demo, for the README and for a
// look by eye; written only when WREN_SCREENSHOT_DIR names a folder.
#include <QDir>
#include <QTest>
#include <gtest/gtest.h>

#include <string>

#include "core/bluetooth/BluetoothPlatform.h"
#include "gui/CDeviceInfoDlg.h"
#include "gui/CSearchAddDlg.h"
#include "adapters/sim/SimulatedStack.h"

namespace wren::gui {
namespace {

QString ShotPath(const char* file) {
  return QDir(QString::fromLocal8Bit(qgetenv("WREN_SCREENSHOT_DIR"))).filePath(file);
}

TEST(DeviceWindows, Screenshot) {
  if (qgetenv("WREN_SCREENSHOT_DIR").isEmpty()) GTEST_SKIP() << "WREN_SCREENSHOT_DIR not set";
  sim::Scenario demo;
  std::string error;
  ASSERT_TRUE(sim::LoadDemoScenario(demo, error)) << error;
  sim::SimulatedStack stack(std::move(demo), sim::TimeMode::Stepped);
  BluetoothPlatform bluetooth(stack);
  ASSERT_EQ(bluetooth.LoadVendorDatabase(), 1);
  auto producer = [&](const platform::DeviceProperties& d) {
    return bluetooth.ProducerOf(d.address, d.le);
  };

  platform::DeviceSelection selection;
  selection.showUnknown = true;
  selection.addNewDeviceWizard = true;
  CSearchAddDlg search(stack, selection, producer);
  search.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&search));
  constexpr BluetoothAddress kJoystick = 0x0009BF070809ULL;
  ASSERT_TRUE(QTest::qWaitFor([&] { return search.Row(kJoystick) != nullptr; }));
  QTest::qWait(200);
  EXPECT_TRUE(search.grab().save(ShotPath("search-add.png")));
  search.close();

  platform::DeviceInfo handy;
  handy.address = 0x00152A3C4D5EULL;
  CDeviceInfoDlg information(stack, handy, producer);
  information.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&information));
  ASSERT_TRUE(information.Known());
  QTest::qWait(200);
  EXPECT_TRUE(information.grab().save(ShotPath("device-info.png")));
}

}  // namespace
}  // namespace wren::gui
