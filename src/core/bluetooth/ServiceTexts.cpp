#include "core/bluetooth/ServiceTexts.h"

#include <cstdint>
#include <optional>

#include "core/refdata/LeAssignedNumbers.h"

namespace wren {

std::vector<std::string> SplitServiceText(std::string_view services) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (std::size_t comma = services.find(','); comma != std::string_view::npos;
       comma = services.find(',', start)) {
    pieces.emplace_back(services.substr(start, comma - start));
    start = comma + 1;
  }
  return pieces;
}

// The short forms "110b" and "0x110b" stand for the UUID on the
// Bluetooth base.
std::string ServiceUuidName(std::string_view uuid) {
  std::string text(uuid);
  if (text.size() == 6 && (text.starts_with("0x") || text.starts_with("0X"))) text.erase(0, 2);
  if (text.size() == 4) text = "0000" + text + "-0000-1000-8000-00805f9b34fb";
  const std::optional<std::uint16_t> number = ShortServiceUuid(text);
  return number ? std::string(ServiceUuidName(*number)) : std::string();
}

}  // namespace wren
