#pragma once
// Texts about a device's services: the rows the audit dialog makes of a
// service query's answer, and the names of well-known service UUIDs.

#include <string>
#include <string_view>
#include <vector>

namespace wren {

// The services of a query's answer: one entry per comma-terminated piece,
// in order. The text after the last comma is dropped (a complete answer
// ends with one), and an empty piece between two commas counts.
std::vector<std::string> SplitServiceText(std::string_view services);

// The assigned name of a service UUID ("0000110b-0000-1000-8000-00805f9b34fb"
// or its 16-bit short form, any case), "" when it is not a known one.
std::string ServiceUuidName(std::string_view uuid);

}  // namespace wren
