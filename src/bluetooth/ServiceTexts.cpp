#include "bluetooth/ServiceTexts.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

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

namespace {

struct UuidName {
  std::uint16_t uuid;
  const char* name;
};

// Service classes and profiles of the Bluetooth assigned numbers, and the
// GATT services a phone or a wearable commonly lists. Sorted by number.
constexpr UuidName kNames[] = {
    {0x1000, "Service Discovery Server"},
    {0x1001, "Browse Group Descriptor"},
    {0x1101, "Serial Port"},
    {0x1102, "LAN Access Using PPP"},
    {0x1103, "Dial-up Networking"},
    {0x1104, "IrMC Sync"},
    {0x1105, "OBEX Object Push"},
    {0x1106, "OBEX File Transfer"},
    {0x1107, "IrMC Sync Command"},
    {0x1108, "Headset"},
    {0x1109, "Cordless Telephony"},
    {0x110A, "Audio Source"},
    {0x110B, "Audio Sink"},
    {0x110C, "A/V Remote Control Target"},
    {0x110D, "Advanced Audio Distribution"},
    {0x110E, "A/V Remote Control"},
    {0x110F, "A/V Remote Control Controller"},
    {0x1110, "Intercom"},
    {0x1111, "Fax"},
    {0x1112, "Headset Audio Gateway"},
    {0x1113, "WAP"},
    {0x1114, "WAP Client"},
    {0x1115, "PAN User"},
    {0x1116, "Network Access Point"},
    {0x1117, "Group Ad-hoc Network"},
    {0x1118, "Direct Printing"},
    {0x1119, "Reference Printing"},
    {0x111A, "Basic Imaging"},
    {0x111B, "Imaging Responder"},
    {0x111C, "Imaging Automatic Archive"},
    {0x111D, "Imaging Referenced Objects"},
    {0x111E, "Handsfree"},
    {0x111F, "Handsfree Audio Gateway"},
    {0x1120, "Direct Printing Reference Objects"},
    {0x1121, "Reflected UI"},
    {0x1122, "Basic Printing"},
    {0x1123, "Printing Status"},
    {0x1124, "Human Interface Device"},
    {0x1125, "Hardcopy Cable Replacement"},
    {0x1126, "HCR Print"},
    {0x1127, "HCR Scan"},
    {0x1128, "Common ISDN Access"},
    {0x112D, "SIM Access"},
    {0x112E, "Phonebook Access Client"},
    {0x112F, "Phonebook Access Server"},
    {0x1130, "Phonebook Access"},
    {0x1131, "Headset HS"},
    {0x1132, "Message Access Server"},
    {0x1133, "Message Notification Server"},
    {0x1134, "Message Access"},
    {0x1135, "GNSS"},
    {0x1136, "GNSS Server"},
    {0x1200, "PnP Information"},
    {0x1201, "Generic Networking"},
    {0x1202, "Generic File Transfer"},
    {0x1203, "Generic Audio"},
    {0x1204, "Generic Telephony"},
    {0x1303, "Video Source"},
    {0x1304, "Video Sink"},
    {0x1305, "Video Distribution"},
    {0x1400, "Health Device"},
    {0x1401, "Health Device Source"},
    {0x1402, "Health Device Sink"},
    {0x1800, "Generic Access"},
    {0x1801, "Generic Attribute"},
    {0x1802, "Immediate Alert"},
    {0x1803, "Link Loss"},
    {0x1804, "Tx Power"},
    {0x1805, "Current Time"},
    {0x180A, "Device Information"},
    {0x180D, "Heart Rate"},
    {0x180F, "Battery"},
    {0x1812, "Human Interface Device over GATT"},
    {0x1816, "Cycling Speed and Cadence"},
    {0x181C, "User Data"},
};

// The 16-bit number of a Bluetooth base UUID, -1 for anything else.
int ShortForm(std::string_view uuid) {
  std::string text;
  for (char c : uuid) text += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (text.size() == 4 || (text.size() == 6 && text.starts_with("0x"))) {
    text = "0000" + text.substr(text.size() - 4) + "-0000-1000-8000-00805f9b34fb";
  }
  static constexpr std::string_view kBase = "-0000-1000-8000-00805f9b34fb";
  if (text.size() != 36 || !text.starts_with("0000") || text.substr(8) != kBase) return -1;
  int value = 0;
  for (std::size_t i = 4; i < 8; ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9')
      value = value * 16 + (c - '0');
    else if (c >= 'a' && c <= 'f')
      value = value * 16 + (c - 'a' + 10);
    else
      return -1;
  }
  return value;
}

}  // namespace

std::string ServiceUuidName(std::string_view uuid) {
  const int number = ShortForm(uuid);
  if (number < 0) return {};
  const auto* end = std::end(kNames);
  const auto* found = std::lower_bound(std::begin(kNames), end, number,
                                       [](const UuidName& n, int v) { return n.uuid < v; });
  return found != end && found->uuid == number ? found->name : std::string();
}

}  // namespace wren
