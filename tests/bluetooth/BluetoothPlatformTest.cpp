#include "core/bluetooth/BluetoothPlatform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/SdpDecoder.h"
#include "adapters/sim/SimulatedStack.h"

namespace wren {
namespace {

using platform::UtcTime;
using sim::Scenario;
using sim::SimDevice;
using sim::SimRadio;
using sim::SimulatedStack;
using sim::TimeMode;
using Bytes = std::vector<std::uint8_t>;

SimRadio Radio(std::string id, platform::BluetoothAddress address, std::string name,
               std::uint32_t cod = 0x000104) {
  SimRadio r;
  r.id = std::move(id);
  r.address = address;
  r.name = std::move(name);
  r.classOfDevice = cod;
  return r;
}

SimDevice Device(platform::BluetoothAddress address, std::string name, std::uint32_t cod,
                 std::vector<std::size_t> radios = {}) {
  SimDevice d;
  d.address = address;
  d.name = std::move(name);
  d.classOfDevice = cod;
  d.remembered = true;
  d.authenticated = true;
  d.radios = std::move(radios);
  return d;
}

constexpr const char* kVendors =
    "<?xml version=\"1.0\"?>\r\n<Macaddresses version=\"1.0.5.0\">\r\n"
    "<mac addr=\"00-15-2A\" company=\"Nokia Corporation\"/>\r\n"
    "<mac addr=\"00-02-5B\" company=\"Cambridge Silicon Radio\"/>\r\n"
    "</Macaddresses>\r\n";

// One radio, two remembered devices (one known to the vendor list, one
// not), each with a time.
Scenario OneRadioTwoDevices() {
  Scenario s;
  s.radios.push_back(Radio("a", 0x00025B102030, "Alpha", 0x000104));
  s.devices.push_back(Device(0x00152A3C4D5E, "Phone", 0x5A020C));
  s.devices.back().lastSeen = {2009, 7, 21, 12, 0, 0};
  s.devices.back().lastUsed = {2009, 7, 21, 11, 30, 15};
  s.devices.back().connected = true;
  s.devices.push_back(Device(0x0A0B0C0D0E0F, "Headset", 0x200404));
  s.devices.back().authenticated = false;
  return s;
}

// Sets TZ for one test and puts the old value back.
class ZoneTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) m_saved = tz, m_had = true;
  }
  void TearDown() override {
    if (m_had)
      setenv("TZ", m_saved.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }
  static void Zone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
  }

private:
  std::string m_saved;
  bool m_had = false;
};

TEST(InquiryMultiplier, TimeoutToUnitsOf128ms) {
  struct Case {
    int seconds;
    bool inquiry;
    int multiplier;
  } cases[] = {
      {5, true, 4},   {10, true, 7},   {57, true, 44}, {58, true, 45},         {400, true, 45},
      {0, true, 4},   {1, true, 4},    {-30, true, 4}, {6, true, 4},           {7, true, 5},
      {10, false, 0}, {400, false, 0}, {0, false, 0},  {2147483647, true, 45},
  };
  for (const auto& c : cases)
    EXPECT_EQ(InquiryMultiplier(c.seconds, c.inquiry), c.multiplier)
        << c.seconds << " s, inquiry " << c.inquiry;
}

TEST(BluetoothPlatform, FormatAddressTakesTheSixLowBytesMostSignificantFirst) {
  EXPECT_EQ(BluetoothPlatform::FormatAddress(0x001A2B3C4D5E), "00:1A:2B:3C:4D:5E");
  EXPECT_EQ(BluetoothPlatform::FormatAddress(0xFFFF001A2B3C4D5EULL), "00:1A:2B:3C:4D:5E");
  EXPECT_EQ(BluetoothPlatform::FormatAddress(0), "00:00:00:00:00:00");
  EXPECT_EQ(BluetoothPlatform::FormatAddress(0xABCDEFABCDEF), "AB:CD:EF:AB:CD:EF");
}

// The list and the device windows name producers by one rule: a random LE
// address has no vendor prefix, its manufacturer data's company stands in.
TEST(BluetoothPlatform, ProducerFromThePrefixOrARandomAddresssCompany) {
  SimulatedStack stack(Scenario{}, TimeMode::Stepped);
  BluetoothPlatform bluetooth(stack);
  ASSERT_EQ(bluetooth.Vendors().LoadFromText(kVendors), 1);
  using platform::AddressType;
  const Bytes data{0x02, 0x15};
  const struct {
    AddressType type;
    std::vector<std::pair<std::uint16_t, Bytes>> manufacturer;
    const char* producer;
  } cases[] = {
      {AddressType::Unknown, {}, "Cambridge Silicon Radio"},
      {AddressType::Public, {{0x004C, data}}, "Cambridge Silicon Radio"},
      {AddressType::Random, {{0x004C, data}, {0x0006, data}}, "Apple, Inc."},
      {AddressType::Random, {}, ""},
      {AddressType::Random, {{0xFFFE, data}}, ""},
  };
  for (const auto& c : cases) {
    platform::LeFields le;
    le.addressType = c.type;
    le.manufacturerData = c.manufacturer;
    EXPECT_EQ(bluetooth.ProducerOf(0x00025B102030, le), c.producer)
        << static_cast<int>(c.type) << " with " << c.manufacturer.size() << " entries";
  }
}

class ScanTest : public ZoneTest {};

TEST_F(ScanTest, RadioFirstThenItsDevicesInStackOrder) {
  Zone("UTC0");
  SimulatedStack stack(OneRadioTwoDevices(), TimeMode::Stepped);
  BluetoothPlatform bluetooth(stack);
  ASSERT_EQ(bluetooth.Vendors().LoadFromText(kVendors), 1);
  DeviceList list;
  bluetooth.ScanDevices(list, SearchParams());
  ASSERT_EQ(list.size(), 3u);
  auto it = list.begin();

  const DeviceRecord& radio = *it++;
  EXPECT_EQ(radio.m_isLocalRadio, 1);
  EXPECT_EQ(radio.m_radioName, "Alpha");
  EXPECT_EQ(radio.m_name, "Alpha");
  EXPECT_EQ(radio.m_address, "00:02:5B:10:20:30");
  EXPECT_EQ(radio.m_producer, "Cambridge Silicon Radio");
  EXPECT_EQ(radio.m_classOfDevice, 0x000104u);
  EXPECT_EQ(radio.m_type, "Computer/Desktop");
  EXPECT_EQ(radio.m_image, 13);
  EXPECT_EQ(radio.m_lastSeen, "");
  EXPECT_EQ(radio.m_lastUsed, "");
  EXPECT_EQ(radio.m_connected, 1);
  EXPECT_EQ(radio.m_remembered, 1);
  EXPECT_EQ(radio.m_authenticated, 1);

  const DeviceRecord& phone = *it++;
  EXPECT_EQ(phone.m_isLocalRadio, 0);
  EXPECT_EQ(phone.m_radioName, "Alpha");
  EXPECT_EQ(phone.m_name, "Phone");
  EXPECT_EQ(phone.m_address, "00:15:2A:3C:4D:5E");
  EXPECT_EQ(phone.m_producer, "Nokia Corporation");
  EXPECT_EQ(phone.m_lastSeen, "12:00:00 07/21/2009");
  EXPECT_EQ(phone.m_lastUsed, "11:30:15 07/21/2009");
  EXPECT_EQ(phone.m_type, "Phone/Smart phone");
  EXPECT_EQ(phone.m_services, "Networking,Capturing,Object Transfer,Telephony");
  EXPECT_EQ(phone.m_image, 11);
  EXPECT_EQ(phone.m_classOfDevice, 0x5A020Cu);
  EXPECT_EQ(phone.m_connected, 1);
  EXPECT_EQ(phone.m_remembered, 1);
  EXPECT_EQ(phone.m_authenticated, 1);

  const DeviceRecord& headset = *it++;
  EXPECT_EQ(headset.m_radioName, "Alpha");
  EXPECT_EQ(headset.m_address, "0A:0B:0C:0D:0E:0F");
  EXPECT_EQ(headset.m_producer, "");  // prefix not listed
  EXPECT_EQ(headset.m_type, "Audio-Video/Headset");
  EXPECT_EQ(headset.m_services, "Audio");
  EXPECT_EQ(headset.m_connected, 0);
  EXPECT_EQ(headset.m_authenticated, 0);
  EXPECT_EQ(headset.m_remembered, 1);
}

TEST(BluetoothPlatform, SearchParametersReachTheStackUnchangedOncePerRadio) {
  Scenario s = OneRadioTwoDevices();
  s.radios.push_back(Radio("b", 0x00025B000002, "Beta"));
  SimulatedStack stack(std::move(s), TimeMode::Stepped);
  BluetoothPlatform bluetooth(stack);
  SearchParams params;
  params.m_returnAuthenticated = 0;
  params.m_returnRemembered = 7;
  params.m_returnUnknown = 1;
  params.m_returnConnected = 1;
  params.m_issueInquiry = 0;
  params.m_timeoutMultiplier = 9;
  DeviceList list;
  bluetooth.ScanDevices(list, params);
  auto calls = stack.Searches();
  ASSERT_EQ(calls.size(), 2u);
  for (std::size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i].radioIndex, i);
    EXPECT_EQ(calls[i].search.returnAuthenticated, 0);
    EXPECT_EQ(calls[i].search.returnRemembered, 7);
    EXPECT_EQ(calls[i].search.returnUnknown, 1);
    EXPECT_EQ(calls[i].search.returnConnected, 1);
    EXPECT_EQ(calls[i].search.issueInquiry, 0);
    EXPECT_EQ(calls[i].search.timeoutMultiplier, 9);
  }
}

TEST(BluetoothPlatform, NoRadioLeavesTheListUnchanged) {
  Scenario s = OneRadioTwoDevices();
  s.radios[0].present = false;
  SimulatedStack stack(std::move(s), TimeMode::Stepped);
  BluetoothPlatform bluetooth(stack);
  DeviceList list(1);  // something already there stays
  bluetooth.ScanDevices(list, SearchParams());
  EXPECT_EQ(list.size(), 1u);
  EXPECT_FALSE(bluetooth.IsRadioPresent());
  EXPECT_TRUE(stack.Searches().empty());
}

TEST(BluetoothPlatform, UnreadableRadioGivesNoRecordButItsDevicesKeepTheLastRadioName) {
  Scenario s;
  s.radios.push_back(Radio("a", 0x00025B000001, "Alpha"));
  s.radios.push_back(Radio("b", 0x00025B000002, "Beta"));
  s.radios.push_back(Radio("c", 0x00025B000003, "Gamma"));
  s.radios[1].readable = false;
  s.devices.push_back(Device(0x000000000011, "on a", 0, {0}));
  s.devices.push_back(Device(0x000000000022, "on b", 0, {1}));
  s.devices.push_back(Device(0x000000000033, "on c", 0, {2}));
  SimulatedStack stack(std::move(s), TimeMode::Stepped);
  BluetoothPlatform bluetooth(stack);
  DeviceList list;
  bluetooth.ScanDevices(list, SearchParams());
  std::vector<std::pair<std::string, std::string>> got;
  for (const auto& r : list) got.emplace_back(r.m_radioName, r.m_name);
  std::vector<std::pair<std::string, std::string>> want = {{"Alpha", "Alpha"},
                                                           {"Alpha", "on a"},
                                                           {"Alpha", "on b"},
                                                           {"Gamma", "Gamma"},
                                                           {"Gamma", "on c"}};
  EXPECT_EQ(got, want);
}

TEST(BluetoothPlatform, DevicesOfAFirstUnreadableRadioHaveNoRadioName) {
  Scenario s;
  s.radios.push_back(Radio("a", 0x00025B000001, "Alpha"));
  s.radios[0].readable = false;
  s.devices.push_back(Device(0x000000000011, "on a", 0));
  SimulatedStack stack(std::move(s), TimeMode::Stepped);
  BluetoothPlatform bluetooth(stack);
  DeviceList list;
  bluetooth.ScanDevices(list, SearchParams());
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list.front().m_radioName, "");
  EXPECT_EQ(list.front().m_name, "on a");
  EXPECT_EQ(list.front().m_isLocalRadio, 0);
}

TEST(BluetoothPlatform, DeviceReportedByTwoRadiosIsListedUnderEach) {
  Scenario s;
  s.radios.push_back(Radio("a", 0x00025B000001, "Alpha"));
  s.radios.push_back(Radio("b", 0x00025B000002, "Beta"));
  s.devices.push_back(Device(0x00152A000001, "Both", 0x000204, {0, 1}));
  s.devices.push_back(Device(0x00152A000002, "Only b", 0x000204, {1}));
  SimulatedStack stack(std::move(s), TimeMode::Stepped);
  BluetoothPlatform bluetooth(stack);
  DeviceList list;
  bluetooth.ScanDevices(list, SearchParams());
  std::vector<std::string> got;
  for (const auto& r : list) got.push_back(r.m_radioName + "/" + r.m_name);
  EXPECT_EQ(got, (std::vector<std::string>{"Alpha/Alpha", "Alpha/Both", "Beta/Beta", "Beta/Both",
                                           "Beta/Only b"}));
}

TEST(BluetoothPlatform, NamesEndAtAZeroByte) {
  Scenario s = OneRadioTwoDevices();
  s.radios[0].name = std::string("Alpha\0junk", 10);
  s.devices[0].name = std::string("Ph\0one", 6);
  SimulatedStack stack(std::move(s), TimeMode::Stepped);
  BluetoothPlatform bluetooth(stack);
  DeviceList list;
  bluetooth.ScanDevices(list, SearchParams());
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list.front().m_name, "Alpha");
  EXPECT_EQ(std::next(list.begin())->m_name, "Ph");
  EXPECT_EQ(std::next(list.begin())->m_radioName, "Alpha");
}

TEST(BluetoothPlatform, CancelledInquiryStillGivesTheRadioRecord) {
  SimulatedStack stack(OneRadioTwoDevices(), TimeMode::Stepped);
  BluetoothPlatform bluetooth(stack);
  SearchParams params;
  params.m_issueInquiry = 1;
  params.m_timeoutMultiplier = 45;
  std::stop_source stop;
  DeviceList list;
  auto scan = std::async(std::launch::async,
                         [&] { bluetooth.ScanDevices(list, params, stop.get_token()); });
  // Simulated time never moves here: only the cancellation can end the inquiry.
  EXPECT_TRUE(stack.WaitForInquiries(1));
  stop.request_stop();
  if (scan.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    stack.AdvanceTime(60000);  // release the scan before failing
    scan.wait();
    FAIL() << "the inquiry did not end when cancelled";
  }
  scan.get();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list.front().m_isLocalRadio, 1);
}

TEST(BluetoothPlatform, ConcurrentScansGiveTheSameRecords) {
  Scenario s = OneRadioTwoDevices();
  for (int i = 0; i < 50; ++i)
    s.devices.push_back(Device(0x00152A000100 + i, "Device " + std::to_string(i), 0x000204));
  SimulatedStack stack(std::move(s), TimeMode::Stepped);
  BluetoothPlatform bluetooth(stack);
  ASSERT_EQ(bluetooth.Vendors().LoadFromText(kVendors), 1);
  DeviceList expected;
  bluetooth.ScanDevices(expected, SearchParams());
  std::vector<DeviceList> results(4);
  std::vector<std::thread> workers;
  for (auto& result : results)
    workers.emplace_back([&bluetooth, &result] {
      for (int round = 0; round < 20; ++round) {
        DeviceList list;
        bluetooth.ScanDevices(list, SearchParams());
        result = std::move(list);
      }
    });
  for (auto& w : workers) w.join();
  for (const auto& result : results) {
    ASSERT_EQ(result.size(), expected.size());
    auto a = result.begin();
    for (auto b = expected.begin(); b != expected.end(); ++a, ++b) {
      EXPECT_EQ(a->m_address, b->m_address);
      EXPECT_EQ(a->m_producer, b->m_producer);
      EXPECT_EQ(a->m_type, b->m_type);
    }
  }
}

// --- time conversion ---

class TimeTest : public ZoneTest {};

TEST_F(TimeTest, StackTimeShowsAsUtcMinusTheCurrentBias) {
  struct Case {
    const char* zone;
    const char* shown;
  } cases[] = {
      {"XST-2", "14:00:00 07/21/2009"},  // bias -120
      {"XST5", "07:00:00 07/21/2009"},   // bias +300
      {"UTC0", "12:00:00 07/21/2009"},  {"XST-5:30", "17:30:00 07/21/2009"},
      {"XST11", "01:00:00 07/21/2009"},  // the day before
  };
  for (const auto& c : cases) {
    Zone(c.zone);
    EXPECT_EQ(BluetoothPlatform::FormatStackTime({2009, 7, 21, 12, 0, 0}), c.shown) << c.zone;
  }
}

TEST_F(TimeTest, NeverUsedDependsOnTheZone) {
  struct Case {
    const char* zone;
    const char* shown;
  } cases[] = {
      {"XST5", ""},  // west of UTC: before the epoch
      {"XST1", ""},
      {"XST-1", "02:00:00 01/01/1970"},  // one hour east: the epoch, shifted twice
      {"UTC0", "00:00:00 01/01/1970"},
  };
  for (const auto& c : cases) {
    Zone(c.zone);
    EXPECT_EQ(BluetoothPlatform::FormatStackTime(UtcTime{}), c.shown) << c.zone;
    EXPECT_EQ(BluetoothPlatform::FormatStackTime({1899, 12, 31, 23, 0, 0}), c.shown)
        << c.zone << ", before 1900";
  }
}

// The C runtime's reading of the calendar fields, step by step.
std::string Reference(const UtcTime& u, int bias) {
  std::tm f{};
  f.tm_year = u.year - 1900;
  f.tm_mon = u.month - 1;
  f.tm_mday = u.day;
  f.tm_hour = u.hour;
  f.tm_min = u.minute;
  f.tm_sec = u.second;
  f.tm_isdst = -1;
  std::time_t t = std::mktime(&f);
  t -= static_cast<std::time_t>(bias) * 60;
  if (t < 0) return "";
  std::tm l{};
  localtime_r(&t, &l);
  char text[64];
  return std::string(text, std::strftime(text, sizeof text, "%H:%M:%S %m/%d/%Y", &l));
}

TEST_F(TimeTest, DaylightSavingZonesReadTheFieldsAsTheCRuntimeDoes) {
  for (const char* zone : {"CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT,M3.2.0,M11.1.0", "XST-5:30"}) {
    Zone(zone);
    for (int bias : {-120, -60, 0, 300}) {
      // A step that is prime to the hour walks every minute of the day.
      for (long minute = 0; minute < 366L * 24 * 60; minute += 37) {
        long day = minute / 1440;
        std::tm d{};
        d.tm_year = 109;
        d.tm_mday = 1 + static_cast<int>(day);
        timegm(&d);  // normalise to a calendar date
        UtcTime u{d.tm_year + 1900,
                  d.tm_mon + 1,
                  d.tm_mday,
                  static_cast<int>(minute / 60 % 24),
                  static_cast<int>(minute % 60),
                  7};
        ASSERT_EQ(BluetoothPlatform::FormatStackTime(u, bias), Reference(u, bias))
            << zone << " " << day << " " << minute;
      }
      // Every minute of the days the clocks change.
      for (UtcTime day : {UtcTime{2009, 3, 29, 0, 0, 0}, UtcTime{2009, 10, 25, 0, 0, 0},
                          UtcTime{2009, 3, 8, 0, 0, 0}, UtcTime{2009, 11, 1, 0, 0, 0}}) {
        for (int m = 0; m < 24 * 60; ++m) {
          UtcTime u = day;
          u.hour = m / 60;
          u.minute = m % 60;
          ASSERT_EQ(BluetoothPlatform::FormatStackTime(u, bias), Reference(u, bias))
              << zone << " " << u.month << "/" << u.day << " " << m;
        }
      }
    }
  }
}

TEST_F(TimeTest, ToLocalTimeMovesByMinusTheBias) {
  Zone("XST-2");
  std::time_t t = 1000000;
  BluetoothPlatform::ToLocalTime(t);
  EXPECT_EQ(t, 1000000 + 7200);
  Zone("XST3:30");
  t = 1000000;
  BluetoothPlatform::ToLocalTime(t);
  EXPECT_EQ(t, 1000000 - 3 * 3600 - 1800);
}

TEST_F(TimeTest, ScanShowsANeverUsedDevicePerZone) {
  Scenario s = OneRadioTwoDevices();
  s.devices[0].lastUsed = UtcTime{};
  SimulatedStack stack(std::move(s), TimeMode::Stepped);
  BluetoothPlatform bluetooth(stack);
  Zone("XST5");
  DeviceList west;
  bluetooth.ScanDevices(west, SearchParams());
  EXPECT_EQ(std::next(west.begin())->m_lastUsed, "");
  EXPECT_EQ(std::next(west.begin())->m_lastSeen, "07:00:00 07/21/2009");
  Zone("XST-1");
  DeviceList east;
  bluetooth.ScanDevices(east, SearchParams());
  EXPECT_EQ(std::next(east.begin())->m_lastUsed, "02:00:00 01/01/1970");
}

// --- property sheet and selection ---

// The windows the core asks for, as the GUI would show them.
struct RecordingDialogs : platform::DeviceDialogs {
  struct Sheet {
    platform::WindowHandle parent = 0;
    platform::DeviceInfo device;
  };
  void DisplayDeviceProperties(platform::WindowHandle parent,
                               const platform::DeviceInfo& device) override {
    sheets.push_back({parent, device});
  }
  bool SelectDevices(const platform::DeviceSelection& selection,
                     std::vector<platform::DeviceInfo>& chosen) override {
    selections.push_back(selection);
    chosen.clear();
    return false;
  }
  std::vector<Sheet> sheets;
  std::vector<platform::DeviceSelection> selections;
};

TEST(BluetoothPlatform, PropertySheetOnlyForAnExactAddressOfAKnownDevice) {
  Scenario s = OneRadioTwoDevices();
  s.devices.push_back(Device(0x00152A000099, "Stranger", 0));
  s.devices.back().remembered = false;
  s.devices.back().authenticated = false;
  SimulatedStack stack(std::move(s), TimeMode::Stepped);
  BluetoothPlatform bluetooth(stack);
  RecordingDialogs dialogs;

  EXPECT_EQ(bluetooth.ShowDeviceProperties(dialogs, 42, "00:15:2a:3c:4d:5e"), 0);
  EXPECT_EQ(bluetooth.ShowDeviceProperties(dialogs, 42, "00:15:2A:3C:4D"), 0);
  EXPECT_EQ(bluetooth.ShowDeviceProperties(dialogs, 42, "00:15:2A:00:00:99"),
            0);  // not remembered or authenticated
  EXPECT_TRUE(dialogs.sheets.empty());

  EXPECT_EQ(bluetooth.ShowDeviceProperties(dialogs, 42, "0A:0B:0C:0D:0E:0F"), 1);
  const auto& sheets = dialogs.sheets;
  ASSERT_EQ(sheets.size(), 1u);
  EXPECT_EQ(sheets[0].parent, 42u);
  EXPECT_EQ(sheets[0].device.address, 0x0A0B0C0D0E0Fu);
  EXPECT_EQ(sheets[0].device.name, "Headset");

  // Every search: authenticated and remembered, every radio, no inquiry.
  for (const auto& call : stack.Searches()) {
    EXPECT_EQ(call.radioIndex, sim::kNone);
    EXPECT_EQ(call.search.returnAuthenticated, 1);
    EXPECT_EQ(call.search.returnRemembered, 1);
    EXPECT_EQ(call.search.returnUnknown, 0);
    EXPECT_EQ(call.search.returnConnected, 0);
    EXPECT_EQ(call.search.issueInquiry, 0);
    EXPECT_EQ(call.search.timeoutMultiplier, 0);
  }
}

TEST(BluetoothPlatform, SelectDevicesAsksForUnknownDevicesAndTheWizard) {
  SimulatedStack stack(OneRadioTwoDevices(), TimeMode::Stepped);
  BluetoothPlatform bluetooth(stack);
  RecordingDialogs dialogs;
  EXPECT_EQ(bluetooth.SelectDevices(dialogs, 7), 0);
  const auto& calls = dialogs.selections;
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].parent, 7u);
  EXPECT_TRUE(calls[0].showUnknown);
  EXPECT_TRUE(calls[0].addNewDeviceWizard);
  EXPECT_FALSE(calls[0].forceAuthentication);
  EXPECT_FALSE(calls[0].showAuthenticated);
  EXPECT_FALSE(calls[0].showRemembered);
  EXPECT_FALSE(calls[0].skipServicesPage);
}

// --- service discovery ---

Bytes Attr(std::uint16_t id, Bytes value) {
  Bytes out = sdp::EncodeUnsigned(id, 2);
  out.insert(out.end(), value.begin(), value.end());
  return out;
}

// A record: the sequence of its (id, value) pairs.
platform::ServiceRecord Record(std::vector<Bytes> attributes) {
  return {true, sdp::EncodeSequence(attributes)};
}

platform::ServiceRecord Named(std::string name, std::string provider) {
  return Record({Attr(0x0001, sdp::EncodeSequence({sdp::EncodeUuid16(0x1101)})),
                 Attr(0x0100, sdp::EncodeText(name)), Attr(0x0102, sdp::EncodeText(provider))});
}

class ServicesTest : public ::testing::Test {
protected:
  void SetUp() override {
    scenario.radios.push_back(Radio("a", 0x00025B000001, "Alpha"));
    scenario.devices.push_back(Device(0x00152A3C4D5E, "Phone", 0x5A020C));
    scenario.devices.back().records = {Named("Serial Port", "Nokia"),
                                       Named("Dial-up Networking", "Nokia")};
    scenario.devices.push_back(Device(0x0A0B0C0D0E0F, "Headset", 0x200404));
    scenario.devices.back().records = {Named("Hands-Free, Audio Gateway", "Acme")};
  }
  std::string Query(std::string_view address, int expected = 0) {
    SimulatedStack stack(scenario, TimeMode::Wall);
    BluetoothPlatform bluetooth(stack);
    std::string services;
    EXPECT_EQ(bluetooth.QueryServices(address, services), expected);
    lookups = stack.ServiceLookups();
    return services;
  }
  Scenario scenario;
  std::vector<platform::BluetoothAddress> lookups;
};

TEST_F(ServicesTest, TextsInRecordOrderEachFollowedByAComma) {
  scenario.lookupMultiplier = 0;
  EXPECT_EQ(Query("00:15:2A:3C:4D:5E"), "Serial Port,Nokia,Dial-up Networking,Nokia,");
  EXPECT_EQ(lookups, (std::vector<platform::BluetoothAddress>{0x00152A3C4D5E}));
}

TEST_F(ServicesTest, ACommaInsideAServiceNameStaysInTheText) {
  scenario.lookupMultiplier = 0;
  EXPECT_EQ(Query("0A:0B:0C:0D:0E:0F"), "Hands-Free, Audio Gateway,Acme,");
}

TEST_F(ServicesTest, EmptyAddressListsEveryDeviceInRange) {
  scenario.lookupMultiplier = 0;
  EXPECT_EQ(Query(""),
            "Serial Port,Nokia,Dial-up Networking,Nokia,Hands-Free, Audio Gateway,Acme,");
}

TEST_F(ServicesTest, AddressIsASubstringOfTheParenthesisedText) {
  scenario.lookupMultiplier = 0;
  EXPECT_EQ(Query("0E:0F)"), "Hands-Free, Audio Gateway,Acme,");
  EXPECT_EQ(Query("(00:15"), "Serial Port,Nokia,Dial-up Networking,Nokia,");
}

TEST_F(ServicesTest, LowerCaseNeverMatches) {
  scenario.lookupMultiplier = 0;
  EXPECT_EQ(Query("00:15:2a:3c:4d:5e"), "");
  EXPECT_TRUE(lookups.empty());
}

TEST_F(ServicesTest, NestedTextsAndUrlsInSequenceOrderOthersIgnored) {
  scenario.lookupMultiplier = 0;
  scenario.devices[0].records = {Record({
      Attr(0x0000, sdp::EncodeUnsigned(0x10001, 4)),
      Attr(0x0004, sdp::EncodeSequence(
                       {sdp::EncodeText("outer"),
                        sdp::EncodeSequence({sdp::EncodeText("inner", sdp::ElementType::Url),
                                             sdp::EncodeUuid16(0x0003)},
                                            sdp::ElementType::Alternative),
                        sdp::EncodeText("last")})),
      Attr(0x0100, sdp::EncodeText("Name")),
  })};
  EXPECT_EQ(Query("00:15:2A:3C:4D:5E"), "outer,inner,last,Name,");
}

TEST_F(ServicesTest, LongTextContributesItsFirst1023Bytes) {
  scenario.lookupMultiplier = 0;
  std::string big(2000, 'x');
  big[1022] = 'y';
  big[1023] = 'z';
  scenario.devices[0].records = {Record({Attr(0x0100, sdp::EncodeText(big))})};
  std::string got = Query("00:15:2A:3C:4D:5E");
  EXPECT_EQ(got, std::string(1022, 'x') + "y,");
}

TEST_F(ServicesTest, BadRecordsAddNothingAndTheRestStillCounts) {
  scenario.lookupMultiplier = 0;
  platform::ServiceRecord truncated{true, {0x35, 0x10, 0x09, 0x01, 0x00}};  // length past the end
  platform::ServiceRecord noBlob{false, {}};
  scenario.devices[0].records = {truncated, noBlob, Named("Good", "Maker")};
  EXPECT_EQ(Query("00:15:2A:3C:4D:5E"), "Good,Maker,");
}

TEST_F(ServicesTest, DeviceOutOfRangeOrUnknownAddressLeavesTheTextAlone) {
  scenario.lookupMultiplier = 0;
  scenario.devices[0].inRange = false;
  EXPECT_EQ(Query("00:15:2A:3C:4D:5E"), "");
  EXPECT_EQ(Query("11:22:33:44:55:66"), "");
}

TEST_F(ServicesTest, NoRadioIsMinusOneAndTheTextIsUnchanged) {
  scenario.radios[0].present = false;
  SimulatedStack stack(scenario, TimeMode::Stepped);
  BluetoothPlatform bluetooth(stack);
  std::string services = "before,";
  EXPECT_EQ(bluetooth.QueryServices("", services), -1);
  EXPECT_EQ(services, "before,");
}

TEST_F(ServicesTest, ResultsAreAppended) {
  scenario.lookupMultiplier = 0;
  SimulatedStack stack(scenario, TimeMode::Stepped);
  BluetoothPlatform bluetooth(stack);
  std::string services = "before,";
  EXPECT_EQ(bluetooth.QueryServices("0A:0B:0C:0D:0E:0F", services), 0);
  EXPECT_EQ(services, "before,Hands-Free, Audio Gateway,Acme,");
}

TEST_F(ServicesTest, TheDeviceLookupWaitsForItsInquiry) {
  scenario.lookupMultiplier = 2;
  SimulatedStack stack(scenario, TimeMode::Stepped);
  BluetoothPlatform bluetooth(stack);
  std::string services;
  auto query =
      std::async(std::launch::async, [&] { return bluetooth.QueryServices("0A:0B", services); });
  EXPECT_TRUE(stack.WaitForInquiries(1));
  stack.AdvanceTime(2559);
  EXPECT_EQ(query.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
  stack.AdvanceTime(1);
  if (query.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    stack.AdvanceTime(60000);
    query.wait();
    FAIL() << "the lookup did not end with its inquiry";
  }
  EXPECT_EQ(query.get(), 0);
  EXPECT_EQ(services, "Hands-Free, Audio Gateway,Acme,");
}

// --- presence and registration ---

struct Recorder : platform::DeviceChangeSink {
  void OnDeviceChange(const platform::DeviceChange& change) override {
    std::lock_guard lock(mutex);
    changes.push_back(change);
  }
  std::vector<platform::DeviceChange> Take() {
    std::lock_guard lock(mutex);
    return std::exchange(changes, {});
  }
  std::mutex mutex;
  std::vector<platform::DeviceChange> changes;
};

Scenario TwoRadiosWithEvents() {
  Scenario s;
  s.radios.push_back(Radio("a", 0x00025B000001, "Alpha"));
  s.radios.push_back(Radio("b", 0x00025B000002, "Beta"));
  s.devices.push_back(Device(0x00152A000001, "On a", 0, {0}));
  s.devices.push_back(Device(0x00152A000002, "On b", 0, {1}));
  sim::SimEvent onA;
  onA.atMs = 1000;
  onA.kind = sim::EventKind::HciConnect;
  onA.device = 0;
  sim::SimEvent onB = onA;
  onB.atMs = 2000;
  onB.device = 1;
  s.timeline = {onA, onB};
  s.repeatMs = 10000;
  return s;
}

TEST(BluetoothPlatform, RegistrationGivesOneHandlePerRadioAndEventsOfEach) {
  SimulatedStack stack(TwoRadiosWithEvents(), TimeMode::Stepped);
  BluetoothPlatform bluetooth(stack);
  Recorder sink;
  NotifyHandleList handles;
  EXPECT_TRUE(bluetooth.RegisterRadioNotifications(sink, handles));
  ASSERT_EQ(handles.size(), 2u);
  EXPECT_NE(handles[0], nullptr);
  EXPECT_NE(handles[1], nullptr);
  stack.AdvanceTime(2500);
  auto got = sink.Take();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].bthAddress, 0x00152A000001u);
  EXPECT_EQ(got[1].bthAddress, 0x00152A000002u);

  // Registering again replaces the old registrations: no event twice.
  EXPECT_TRUE(bluetooth.RegisterRadioNotifications(sink, handles));
  EXPECT_EQ(handles.size(), 2u);
  stack.AdvanceTime(10000);
  EXPECT_EQ(sink.Take().size(), 2u);

  bluetooth.UnregisterRadioNotifications(handles);
  EXPECT_TRUE(handles.empty());
  stack.AdvanceTime(10000);
  EXPECT_TRUE(sink.Take().empty());
}

TEST(BluetoothPlatform, RegistrationWithoutRadioIsFalseAndDropsTheOldHandles) {
  Scenario s = TwoRadiosWithEvents();
  sim::SimEvent removeA;
  removeA.kind = sim::EventKind::AdapterRemoved;
  removeA.radio = 0;
  removeA.atMs = 3000;
  sim::SimEvent removeB = removeA;
  removeB.radio = 1;
  sim::SimEvent insertA = removeA;
  insertA.kind = sim::EventKind::AdapterInserted;
  insertA.atMs = 4000;
  s.timeline.push_back(removeA);
  s.timeline.push_back(removeB);
  s.timeline.push_back(insertA);
  SimulatedStack stack(std::move(s), TimeMode::Stepped);
  BluetoothPlatform bluetooth(stack);
  Recorder sink, tree;
  auto watch = bluetooth.WatchDeviceTree(tree);
  NotifyHandleList handles;
  ASSERT_TRUE(bluetooth.RegisterRadioNotifications(sink, handles));
  EXPECT_TRUE(bluetooth.IsRadioPresent());

  stack.AdvanceTime(3500);  // both events, then both adapters removed
  EXPECT_EQ(sink.Take().size(), 2u);
  EXPECT_FALSE(bluetooth.IsRadioPresent());
  EXPECT_FALSE(bluetooth.RegisterRadioNotifications(sink, handles));
  EXPECT_TRUE(handles.empty());
  auto treeChanges = tree.Take();
  ASSERT_EQ(treeChanges.size(), 2u);
  EXPECT_EQ(treeChanges[0].eventType, platform::kDeviceNodesChanged);

  stack.AdvanceTime(1000);  // radio a is back
  EXPECT_TRUE(bluetooth.IsRadioPresent());
  EXPECT_EQ(tree.Take().size(), 1u);
  ASSERT_TRUE(bluetooth.RegisterRadioNotifications(sink, handles));
  EXPECT_EQ(handles.size(), 1u);
  stack.AdvanceTime(8000);  // next cycle: only radio a is there to report
  auto got = sink.Take();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].bthAddress, 0x00152A000001u);
}

}  // namespace
}  // namespace wren
