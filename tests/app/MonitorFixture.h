#pragma once
// A main frame over fakes, in a data folder of its own, in UTC, at
// 14:03:59 on 21 July 2009.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

#include "Fakes.h"
#include "MonitorFakes.h"
#include "core/monitor/Monitor.h"
#include "core/bluetooth/SearchSettings.h"
#include "adapters/posix/MemorySettingsStore.h"
#include "base/System.h"

namespace wren::test {

inline constexpr std::time_t kExampleTime = 1248185039;  // 14:03:59 07/21/2009 UTC
inline constexpr platform::BluetoothAddress kPhone = 0x001A2B3C4D5EULL;

class MonitorFixture : public ::testing::Test {
protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    char pattern[] = "/tmp/wren_monitor_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_dir = pattern;
    platform::SetDataFolderOverride(m_dir);
    stack.SetRadios({{0x000102030405ULL, "Desk radio", 0x000104}});
    stack.SetDevices({MakeDevice(kPhone, "Phone")});
  }

  void TearDown() override {
    frame.reset();
    platform::SetDataFolderOverride("");
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
  }

  static platform::DeviceInfo MakeDevice(platform::BluetoothAddress address, std::string name) {
    platform::DeviceInfo d;
    d.address = address;
    d.name = std::move(name);
    d.classOfDevice = 0x5A020C;
    d.remembered = true;
    d.authenticated = true;
    return d;
  }

  MonitorPorts Ports() {
    return MonitorPorts{stack, store, sound, messenger, timer, workers, dispatcher, clock, status};
  }

  Monitor& MakeFrame(const Monitor::HistoryCheck& check = {}) {
    frame = std::make_unique<Monitor>(Ports(), check);
    frame->OnCreate();
    frame->SetView(&view);
    return *frame;
  }

  // Workers run, then their results reach the view.
  void RunWorkers() {
    workers.RunAll();
    dispatcher.RunPending();
  }

  std::string ReadLog() const {
    std::ifstream in(m_dir + "/alarmlog.txt", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  const std::string& Dir() const { return m_dir; }

  FakeStack stack;
  platform::MemorySettingsStore store;
  FakeSoundOutput sound;
  FakeMessenger messenger;
  FakeTimer timer;
  ManualWorkers workers;
  QueueDispatcher dispatcher;
  FixedClock clock{kExampleTime};
  RecordingStatus status;
  RecordingView view;
  std::unique_ptr<Monitor> frame;

private:
  std::string m_dir;
};

}  // namespace wren::test
