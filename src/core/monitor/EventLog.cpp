#include "core/monitor/EventLog.h"

#include <array>

#include "core/bluetooth/BluetoothPlatform.h"

namespace wren {
namespace {

using namespace platform;

std::string Join(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (auto part : parts) text.append(part);
  return text;
}

// The name travels as a C string in the stack's record.
std::string_view NameText(const std::string& name) {
  std::string_view view(name);
  return view.substr(0, view.find('\0'));
}

struct FlagTexts {
  std::uint32_t bit;
  std::string_view gained;
  std::string_view lost;
};

constexpr std::array<FlagTexts, 6> kFlagWalk = {{
    {kFlagAddress, "address changed,", "address changed,"},
    {kFlagClass, "code changed,", "code changed,"},
    {kFlagName, "name changed, remote radio has just been retrieved,", "name changed,"},
    {kFlagPaired, "paired - remembered and authenticated,", "not paired,"},
    {kFlagPersonal, "device is remembered,", "device is not remembered,"},
    {kFlagConnected, "currently connected,", "disconnected,"},
}};

}  // namespace

std::string FormatTimeText(std::time_t time) {
  std::tm local{};
  if (localtime_r(&time, &local) == nullptr) return {};
  char text[64];
  std::size_t n = std::strftime(text, sizeof text, "%H:%M:%S %m/%d/%Y", &local);
  return std::string(text, n);
}

std::string StartupLine(std::string_view timeText) {
  return Join({timeText, " - Wrenlocator Started..."});
}

std::string AdapterInsertedLine(std::string_view timeText) {
  return Join({timeText, " - New Bluetooth Adapter Inserted."});
}

std::string AdapterRemovedLine(std::string_view timeText) {
  return Join({timeText, " - Bluetooth Adapter Removed."});
}

std::string NewDeviceLine(std::string_view timeText, std::string_view address,
                          std::string_view name) {
  return Join({timeText, " - ", address, " ", name, " - New Bluetooth device, never seen before"});
}

std::string RadioInRangeChangeText(std::uint32_t flags, std::uint32_t previousFlags,
                                   AlarmEvent& event) {
  std::string text;
  for (const auto& walk : kFlagWalk) {
    bool now = (flags & walk.bit) != 0;
    bool before = (previousFlags & walk.bit) != 0;
    if (now == before) continue;
    if (now) {
      text.append(walk.gained);
      if (walk.bit == kFlagName) event.detected = true;
      if (walk.bit == kFlagPersonal && (flags & kFlagPaired) == 0)
        text.append("device is not authenticated,");
      if (walk.bit == kFlagConnected) event.connected = true;
    } else {
      text.append(walk.lost);
      if (walk.bit == kFlagConnected) event.disconnected = true;
    }
  }
  return text;
}

std::optional<std::string> CustomEventLine(const DeviceChange& change, std::string_view timeText,
                                           AlarmEvent& event) {
  if (!change.hasRecord) return std::nullopt;
  const EventGuid& id = change.eventGuid;

  if (id == kHciEventGuid) {
    std::string_view text;
    if (change.connected) {
      text = "Connection to the remote radio has just been estrablished";
      event.connected = true;
    } else {
      text = "Connection to the remote radio has just been destroyed";
      event.disconnected = true;
    }
    return Join(
        {timeText, " - ", BluetoothPlatform::FormatAddress(change.bthAddress), ": ", text, "."});
  }
  if (id == kL2capEventGuid) {
    std::string text;
    if (change.connected) {
      text = "Connection with remote radio has just been established,";
      text += change.initiated ? "local host iniated the l2cap connection,"
                               : "remote host initated the l2cap connection";
      event.connected = true;
    } else {
      text = "Connection with remote radio has just been destroyed,";
      event.disconnected = true;
    }
    return Join(
        {timeText, " - ", BluetoothPlatform::FormatAddress(change.bthAddress), ": ", text, "."});
  }
  if (id == kRadioInRangeGuid) {
    std::string changes = RadioInRangeChangeText(change.flags, change.previousFlags, event);
    return Join({timeText, " - ", BluetoothPlatform::FormatAddress(change.address), " ",
                 NameText(change.name), " - Bluetooth device has changed: ", changes, "."});
  }
  if (id == kRadioOutOfRangeGuid) {
    event.outOfRange = true;
    return Join({timeText, " - A Previously discovered device ",
                 BluetoothPlatform::FormatAddress(change.deviceAddress), " has not been found."});
  }
  if (id == kPinRequestGuid) {
    event.connected = true;
    return Join({timeText, " - A Bluetooth device is requesting to connect to your computer."});
  }
  return std::nullopt;
}

}  // namespace wren
