#pragma once
// The service records BlueZ keeps for a device it has talked to, in its
// storage folder: <root>/<adapter address>/cache/<device address>, a key
// file whose [ServiceRecords] group holds one record per key (the record
// handle), its value the record's data-element bytes in hex. Usually
// readable by root only. No Qt here.

#include <string>
#include <string_view>
#include <vector>

#include "ports/BluetoothStack.h"

namespace wren::bluez {

std::string CachedRecordsPath(const std::string& root, platform::BluetoothAddress adapter,
                              platform::BluetoothAddress device);

// The records of a key-file text, in file order. An entry whose value is
// not an even run of hex digits is skipped. False when the text has no
// [ServiceRecords] group.
bool ParseCachedRecords(std::string_view keyFileText,
                        std::vector<platform::ServiceRecord>& records);

// Reads and parses the device's cache file; false when it is missing,
// unreadable, too large or holds no records group.
bool ReadCachedRecords(const std::string& root, platform::BluetoothAddress adapter,
                       platform::BluetoothAddress device,
                       std::vector<platform::ServiceRecord>& records);

}  // namespace wren::bluez
