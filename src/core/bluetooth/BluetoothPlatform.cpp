#include "core/bluetooth/BluetoothPlatform.h"

#include <cstdio>
#include <ctime>
#include <mutex>

#include "base/SdpDecoder.h"
#include "base/System.h"
#include "core/refdata/AssignedNumbers.h"
#include "core/refdata/LeAssignedNumbers.h"

namespace wren {
namespace {

using platform::BluetoothAddress;

// Names travel as C strings in the stack's records; nothing after a zero
// byte is part of them.
std::string NameText(const std::string& name) { return name.substr(0, name.find('\0')); }

// The C library re-reads the time zone in tzset and mktime under a lock of
// its own that the thread checker cannot see; scans on several workers
// take this one around those calls as well.
std::mutex& ZoneMutex() {
  static std::mutex mutex;
  return mutex;
}

int CurrentBias() {
  std::lock_guard lock(ZoneMutex());
  return platform::CurrentTimeZoneBiasMinutes();
}

// Moves `t` by minus the bias: later when the bias is negative (zones east
// of UTC), earlier when it is positive.
void ShiftByBias(std::time_t& t, int bias) {
  int magnitude = bias < 0 ? -bias : bias;
  std::time_t shift = static_cast<std::time_t>(magnitude / 60) * 3600 + (magnitude % 60) * 60;
  if (bias < 0)
    t += shift;
  else
    t -= shift;
}

bool OffsetAt(std::time_t t, long& offset) {
  std::tm local{};
  if (!localtime_r(&t, &local)) return false;
  offset = local.tm_gmtoff;
  return true;
}

// Calendar fields read as local time, daylight saving left to the C
// runtime: what mktime gives. mktime re-reads the zone on every call (a
// file system check per call when TZ is unset), so it is used only where
// the offset changes within half a day of the date; elsewhere the one
// instant whose local time is these fields is the answer, and it is
// checked to be that.
bool LocalFieldsToInstant(std::tm fields, std::time_t& out) {
  fields.tm_isdst = -1;
  std::tm normal = fields;
  std::time_t asUtc = timegm(&normal);
  long before = 0, after = 0;
  if (asUtc != static_cast<std::time_t>(-1) && OffsetAt(asUtc - 43200, before) &&
      OffsetAt(asUtc + 43200, after) && before == after) {
    std::time_t t = asUtc - before;
    std::tm check{};
    if (localtime_r(&t, &check) && check.tm_year == normal.tm_year &&
        check.tm_mon == normal.tm_mon && check.tm_mday == normal.tm_mday &&
        check.tm_hour == normal.tm_hour && check.tm_min == normal.tm_min &&
        check.tm_sec == normal.tm_sec) {
      out = t;
      return true;
    }
  }
  std::time_t t;
  {
    std::lock_guard lock(ZoneMutex());
    t = std::mktime(&fields);
  }
  if (t == static_cast<std::time_t>(-1)) return false;
  out = t;
  return true;
}

// What a Bluetooth LE device reported, as the record keeps it.
void KeepLeFields(DeviceRecord& record, const platform::LeFields& le) {
  if (le.addressType == platform::AddressType::Public) record.m_addressType = "public";
  if (le.addressType == platform::AddressType::Random) record.m_addressType = "random";
  if (le.appearance) record.m_appearance = *le.appearance;
  if (!le.manufacturerData.empty()) record.m_companyId = le.manufacturerData.front().first;
}

}  // namespace

BluetoothPlatform::BluetoothPlatform(platform::BluetoothStack& stack) : m_stack(stack) {}

BluetoothPlatform::~BluetoothPlatform() = default;

bool BluetoothPlatform::IsRadioPresent() {
  auto find = m_stack.FindRadios();
  return find != nullptr;
}

bool BluetoothPlatform::RegisterRadioNotifications(platform::DeviceChangeSink& sink,
                                                   NotifyHandleList& handles) {
  auto find = m_stack.FindRadios();
  UnregisterRadioNotifications(handles);
  if (!find) return false;
  while (auto radio = find->Next()) handles.push_back(m_stack.RegisterRadioEvents(*radio, sink));
  return true;
}

void BluetoothPlatform::UnregisterRadioNotifications(NotifyHandleList& handles) {
  for (auto& handle : handles) handle.reset();
  handles.clear();
}

std::unique_ptr<platform::NotificationHandle> BluetoothPlatform::WatchDeviceTree(
    platform::DeviceChangeSink& sink) {
  return m_stack.WatchDeviceTree(sink);
}

std::string BluetoothPlatform::FormatAddress(BluetoothAddress address) { return address.Text(); }

void BluetoothPlatform::ScanDevices(DeviceList& list, SearchParams params, std::stop_token cancel) {
  std::string radioName;
  AssignedNumbers decoder;
  // The bias in force now, read once for the whole scan.
  const int bias = CurrentBias();

  // Address, producer and class texts, shared by radio and device records.
  auto describe = [&](DeviceRecord& record, BluetoothAddress address, std::uint32_t cod) {
    record.m_address = FormatAddress(address);
    LookUpVendor(record.m_producer, address.VendorPrefix());
    record.m_classOfDevice = cod;
    record.m_image = decoder.DecodeClassOfDevice(cod, record.m_type, record.m_services);
  };

  auto radios = m_stack.FindRadios();
  if (!radios) return;
  while (auto radio = radios->Next()) {
    platform::RadioInfo info;
    if (radio->GetInfo(info)) {
      radioName = NameText(info.name);
      DeviceRecord record;
      record.m_radioName = radioName;
      record.m_name = radioName;
      record.m_isLocalRadio = 1;
      describe(record, info.address, info.classOfDevice);
      list.push_back(std::move(record));
    }

    platform::DeviceSearch search;
    search.returnAuthenticated = params.m_returnAuthenticated;
    search.returnRemembered = params.m_returnRemembered;
    search.returnUnknown = params.m_returnUnknown;
    search.returnConnected = params.m_returnConnected;
    search.issueInquiry = params.m_issueInquiry;
    search.timeoutMultiplier = params.m_timeoutMultiplier;
    search.radio = radio.get();
    // Declared after the radio, so the search ends before the radio closes.
    auto devices = m_stack.FindDevices(search, cancel);
    if (!devices) continue;
    platform::DeviceInfo device;
    while (devices->Next(device)) {
      DeviceRecord record;
      record.m_radioName = radioName;
      record.m_name = NameText(device.name);
      record.m_authenticated = device.authenticated ? 1 : 0;
      record.m_connected = device.connected ? 1 : 0;
      record.m_remembered = device.remembered ? 1 : 0;
      record.m_lastSeen = FormatStackTime(device.lastSeen, bias);
      record.m_lastUsed = FormatStackTime(device.lastUsed, bias);
      record.m_address = FormatAddress(device.address);
      record.m_producer = ProducerOf(device.address, device.le);
      record.m_classOfDevice = device.classOfDevice;
      record.m_image = DescribeDevice(device.classOfDevice, device.le, device.uuids, record.m_type,
                                      record.m_services);
      KeepLeFields(record, device.le);
      list.push_back(std::move(record));
    }
  }
}

int BluetoothPlatform::ShowDeviceProperties(platform::DeviceDialogs& dialogs,
                                            platform::WindowHandle parent,
                                            std::string_view address) {
  platform::DeviceSearch search;
  search.returnAuthenticated = 1;
  search.returnRemembered = 1;
  auto devices = m_stack.FindDevices(search, {});
  if (!devices) return 0;
  platform::DeviceInfo device;
  while (devices->Next(device)) {
    if (FormatAddress(device.address) == address) {
      devices.reset();
      dialogs.DisplayDeviceProperties(parent, device);
      return 1;
    }
  }
  return 0;
}

int BluetoothPlatform::SelectDevices(platform::DeviceDialogs& dialogs,
                                     platform::WindowHandle parent) {
  platform::DeviceSelection selection;
  selection.parent = parent;
  selection.showUnknown = true;
  selection.addNewDeviceWizard = true;
  // The chosen devices show up in later scans; nothing else uses them.
  std::vector<platform::DeviceInfo> chosen;
  dialogs.SelectDevices(selection, chosen);
  return 0;
}

void BluetoothPlatform::ToLocalTime(std::time_t& t) { ShiftByBias(t, CurrentBias()); }

std::string BluetoothPlatform::FormatStackTime(const platform::UtcTime& time) {
  return FormatStackTime(time, CurrentBias());
}

std::string BluetoothPlatform::FormatStackTime(const platform::UtcTime& time, int biasMinutes) {
  std::time_t instant = 0;
  if (time.year >= 1900) {
    std::tm fields{};
    fields.tm_year = time.year - 1900;
    fields.tm_mon = time.month - 1;
    fields.tm_mday = time.day;
    fields.tm_hour = time.hour;
    fields.tm_min = time.minute;
    fields.tm_sec = time.second;
    if (!LocalFieldsToInstant(fields, instant)) return {};
  }
  ShiftByBias(instant, biasMinutes);
  if (instant < 0) return {};
  std::tm local{};
  if (!localtime_r(&instant, &local)) return {};
  char text[64];
  std::size_t n = std::strftime(text, sizeof text, "%H:%M:%S %m/%d/%Y", &local);
  return std::string(text, n);
}

int BluetoothPlatform::QueryServices(std::string_view address, std::string& services,
                                     std::stop_token cancel) {
  std::vector<BluetoothAddress> devices;
  switch (m_stack.LookUpDevices(devices, cancel)) {
    case platform::LookupStatus::Unavailable:
      return -1;
    case platform::LookupStatus::NotStarted:
      return 0;
    case platform::LookupStatus::Ok:
      break;
  }
  for (BluetoothAddress device : devices) {
    // The address is compared before the service lookup begins, so a
    // device that is not asked for costs no SDP connection.
    std::string text = "(" + FormatAddress(device) + ")";
    if (text.find(address) == std::string::npos) continue;
    std::vector<platform::ServiceRecord> records;
    if (!m_stack.LookUpServices(device, records, cancel)) continue;
    for (const auto& record : records) {
      if (!record.hasBlob) continue;
      // A record that is not a valid attribute list adds nothing at all.
      for (const auto& piece : sdp::CollectRecordStrings(record.blob)) {
        services += piece;
        services += ',';
      }
    }
  }
  return 0;
}

int BluetoothPlatform::LoadVendorDatabase() { return m_vendors.LoadVendorDatabase(); }

// A Bluetooth LE device reports no class of device: its Type comes from its
// appearance and its Services from its service UUIDs, where it has them.
int BluetoothPlatform::DescribeDevice(std::uint32_t classOfDevice, const platform::LeFields& le,
                                      const std::vector<std::string>& uuids, std::string& type,
                                      std::string& services) {
  int image = AssignedNumbers().DecodeClassOfDevice(classOfDevice, type, services);
  if (classOfDevice != 0) return image;
  if (le.appearance) {
    if (std::optional<AppearanceText> text = DecodeAppearance(*le.appearance)) {
      type = std::move(text->type);
      image = text->image;
    }
  }
  if (services.empty()) services = ServiceUuidNames(uuids);
  return image;
}

std::string BluetoothPlatform::ProducerOf(BluetoothAddress address,
                                          const platform::LeFields& le) const {
  std::string company;
  if (le.addressType != platform::AddressType::Random) {
    LookUpVendor(company, address.VendorPrefix());
  } else if (!le.manufacturerData.empty()) {
    company = CompanyName(le.manufacturerData.front().first);
  }
  return company;
}

int BluetoothPlatform::LookUpVendor(std::string& company, std::string_view prefix) const {
  return m_vendors.LookUpVendor(company, prefix);
}

}  // namespace wren
