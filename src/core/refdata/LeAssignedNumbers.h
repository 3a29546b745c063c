#pragma once
// The assigned numbers a Bluetooth LE device reports instead of a class of
// device: its appearance, the company identifier of its manufacturer data
// and its 16-bit service UUIDs. Constant tables compiled into the program;
// every look-up is safe from any thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wren {

// The "Type" text and image of an appearance value: the category's name,
// then "/" and the subcategory's name when the subcategory is listed
// ("Watch/Sports Watch" for 0x00C1). The image is the nearest device type
// of the 16-pixel image strip. Nothing for a category that is not listed.
struct AppearanceText {
  std::string type;
  int image = 6;
};
std::optional<AppearanceText> DecodeAppearance(std::uint16_t appearance);

// The company a Bluetooth company identifier is assigned to ("Apple, Inc."
// for 0x004C); empty when it is not listed.
std::string_view CompanyName(std::uint16_t companyId);

// The assigned name of a 16-bit service UUID ("Heart Rate" for 0x180D);
// empty when it is not a listed service.
std::string_view ServiceUuidName(std::uint16_t uuid);

// The 16-bit value of a UUID text on the Bluetooth base UUID
// ("0000180d-0000-1000-8000-00805f9b34fb", either letter case); nothing
// for any other text.
std::optional<std::uint16_t> ShortServiceUuid(std::string_view uuid);

// The "Services" text of an LE device: the names of its listed 16-bit
// service UUIDs, in the given order, each once, joined by ",". UUIDs
// without a listed name add nothing.
std::string ServiceUuidNames(const std::vector<std::string>& uuids);

}  // namespace wren
