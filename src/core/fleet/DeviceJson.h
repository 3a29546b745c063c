#pragma once
// One device record as a JSON object: the form `scan --json` prints and the
// fleet publishes, and its strict reading back.
//
// Texts go out as UTF-8; a byte that is not part of a well-formed UTF-8
// sequence becomes U+FFFD, so every object written is valid JSON.

#include <iosfwd>
#include <string>
#include <string_view>

#include "core/bluetooth/DeviceRecord.h"

namespace wren {

// A quoted JSON string; invalid UTF-8 becomes U+FFFD.
std::string JsonString(const std::string& text);

// {"radioName":...,"name":...,"address":...,...} on one line.
void WriteDeviceJson(std::ostream& out, const DeviceRecord& record);
std::string DeviceJson(const DeviceRecord& record);

// Reads one object as written above. Members of the wrong type, a missing
// or empty address, and anything but one object are refused with a one-line
// `error`; members this version does not know are ignored, so a newer
// monitor's records still load. Members that are absent keep the record's
// defaults.
bool ParseDeviceJson(std::string_view text, DeviceRecord& record, std::string& error);

}  // namespace wren
