#pragma once
// The lines of the Bluetooth event log and the alarm kinds each stands for.
// The texts are the stack's own wording as users know it from earlier
// versions, misspellings included; tools that read alarmlog.txt match them.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "core/monitor/Alarms.h"
#include "ports/BluetoothStack.h"

namespace wren {

inline constexpr std::string_view kNoAdapterText =
    "Bluetooth Adapter was not detected or not Microsoft Bluetooth driver was Installed !";

// Local time as every event line starts: "%H:%M:%S %m/%d/%Y".
std::string FormatTimeText(std::time_t time);

std::string StartupLine(std::string_view timeText);
std::string AdapterInsertedLine(std::string_view timeText);
std::string AdapterRemovedLine(std::string_view timeText);
// A device whose address was never seen before.
std::string NewDeviceLine(std::string_view timeText, std::string_view address,
                          std::string_view name);

// The change text of a radio-in-range event: the flag bits 0x01 to 0x20
// compared now against before, in that order, each gained or lost bit
// adding its text; the name, connected and disconnected changes set the
// detection, connection and disconnection kinds of `event`.
std::string RadioInRangeChangeText(std::uint32_t flags, std::uint32_t previousFlags,
                                   AlarmEvent& event);

// The line of one Bluetooth custom event, its alarm kinds set in `event`;
// nothing for an event without record or with an identifier that is not
// one of the five the log knows.
std::optional<std::string> CustomEventLine(const platform::DeviceChange& change,
                                           std::string_view timeText, AlarmEvent& event);

}  // namespace wren
