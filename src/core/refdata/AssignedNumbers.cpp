#include "core/refdata/AssignedNumbers.h"

#include <array>
#include <span>

namespace wren {
namespace {

struct MinorRow {
  unsigned code;  // compared with the masked minor bits 7..2
  const char* name;
  int image;
};

struct MajorRow {
  unsigned code;  // bits 12..8 of the class
  unsigned mask1;
  unsigned mask2;
  bool single;  // stop at the first matching minor row of a table
  std::span<const MinorRow> table1;
  std::span<const MinorRow> table2;
  const char* name;
};

constexpr int kDefaultImage = 6;

constexpr std::array<MinorRow, 7> kComputer{{
    {0x00, "Uncategorised", 6},
    {0x04, "Desktop", 13},
    {0x08, "Server", 19},
    {0x0C, "Laptop", 11},
    {0x10, "Handheld PC-PDA", 11},
    {0x14, "Palm sized PC-PDA", 11},
    {0x18, "Wearable computer", 13},
}};

constexpr std::array<MinorRow, 6> kPhone{{
    {0x00, "Uncategorised", 6},
    {0x04, "Mobile", 7},
    {0x08, "Cordless", 7},
    {0x0C, "Smart phone", 11},
    {0x10, "Wired modem or voice gateway", 9},
    {0x14, "Common ISDN Access", 21},
}};

constexpr std::array<MinorRow, 8> kNetwork{{
    {0x00, "0% utilised", 21},
    {0x20, "1 - 17% utilised", 21},
    {0x40, "17 - 33% utilised", 21},
    {0x60, "33 - 50% utilised", 21},
    {0x80, "50 - 67% utilised", 21},
    {0xA0, "67 - 83% utilised", 21},
    {0xC0, "83 - 99% utilised", 21},
    {0xE0, "100% utilised", 21},
}};

constexpr std::array<MinorRow, 19> kAudioVideo{{
    {0x00, "Uncategorised", 6},
    {0x04, "Headset", 16},
    {0x08, "Hands free", 16},
    {0x0C, "Reserved", 6},
    {0x10, "Microphone", 17},
    {0x14, "Loudspeaker", 12},
    {0x18, "Headphones", 16},
    {0x1C, "Portable Audio", 23},
    {0x20, "Car Audio", 23},
    {0x24, "Set top box", 23},
    {0x28, "HiFi Audio", 23},
    {0x2C, "VCR", 23},
    {0x30, "Video Camera", 22},
    {0x34, "Camcorder", 23},
    {0x38, "Video Monitor", 16},
    {0x3C, "Video Display and Loudspeaker", 16},
    {0x40, "Video Conferencing", 22},
    {0x44, "Reserved", 6},
    {0x48, "Gaming", 9},
}};

constexpr std::array<MinorRow, 3> kPointing{{
    {0x40, "Keyboard", 15},
    {0x80, "Pointing device", 9},
    {0xC0, "Combo keyboard", 16},
}};

constexpr std::array<MinorRow, 7> kPeripheralType{{
    {0x00, "Uncategorised", 6},
    {0x04, "Joystick", 39},
    {0x08, "Gamepad", 9},
    {0x0C, "Remote control", 9},
    {0x10, "Sensing device", 9},
    {0x14, "Digitiser tablet", 9},
    {0x18, "Card Reader", 9},
}};

// Imaging minor codes are independent bits: a device may be several things.
constexpr std::array<MinorRow, 4> kImaging{{
    {0x10, "Display", 13},
    {0x20, "Camera", 22},
    {0x40, "Scanner", 9},
    {0x80, "Printer", 10},
}};

constexpr std::array<MinorRow, 5> kWearable{{
    {0x04, "Wrist Watch", 9},
    {0x08, "Pager", 9},
    {0x0C, "Jacket", 9},
    {0x10, "Helmet", 9},
    {0x14, "Glasses", 9},
}};

constexpr std::array<MinorRow, 5> kToy{{
    {0x04, "Robot", 9},
    {0x08, "Vehicle", 9},
    {0x0C, "Doll-Action Figure", 9},
    {0x10, "Controller", 9},
    {0x14, "Game", 9},
}};

constexpr unsigned kUncategorisedMajor = 31;

constexpr std::array<MajorRow, 10> kMajors{{
    {0, 0, 0, true, {}, {}, "Miscellaneous"},
    {1, 0xFC, 0, true, kComputer, {}, "Computer"},
    {2, 0xFC, 0, true, kPhone, {}, "Phone"},
    {3, 0xE0, 0, true, kNetwork, {}, "Network"},
    {4, 0xFC, 0, true, kAudioVideo, {}, "Audio-Video"},
    {5, 0xC0, 0x3C, true, kPointing, kPeripheralType, "Peripheral"},
    {6, 0xF0, 0, false, kImaging, {}, "Imaging"},
    {7, 0xFC, 0, true, kWearable, {}, "Wearable"},
    {8, 0xFC, 0, true, kToy, {}, "Toy"},
    {kUncategorisedMajor, 0, 0, true, {}, {}, "Uncategorised"},
}};

// Service bits 23..13 of the class, bit 13 first.
constexpr std::array<const char*, 11> kServices{{
    "Limited Discoverable mode",
    "Reserved",
    "Reserved",
    "Positioning",
    "Networking",
    "Rendering",
    "Capturing",
    "Object Transfer",
    "Audio",
    "Telephony",
    "Information",
}};

const MajorRow* FindMajor(unsigned code) {
  for (const MajorRow& row : kMajors)
    if (row.code == code) return &row;
  return nullptr;
}

// Appends the matching rows of one minor table; returns the image of the
// last match, or `image` unchanged when nothing matched.
int AppendMinors(std::span<const MinorRow> table, unsigned maskedMinor, bool single, int image,
                 std::string& type) {
  int count = 0;
  for (const MinorRow& row : table) {
    const bool match = single ? maskedMinor == row.code : (maskedMinor & row.code) != 0;
    if (!match) continue;
    type += count == 0 ? "/" : ",";
    type += row.name;
    image = row.image;
    ++count;
    if (single) break;
  }
  return image;
}

}  // namespace

int AssignedNumbers::DecodeClassOfDevice(unsigned classOfDevice, std::string& type,
                                         std::string& services) const {
  int image = kDefaultImage;
  const unsigned major = (classOfDevice & 0x1F00u) >> 8;
  const unsigned minor = classOfDevice & 0xFCu;
  const unsigned service = (classOfDevice >> 13) & 0x7FFu;

  const MajorRow* row = FindMajor(major);
  if (row == nullptr) {
    type += FindMajor(kUncategorisedMajor)->name;
  } else {
    type += row->name;
    if (!row->table1.empty()) {
      image = AppendMinors(row->table1, minor & row->mask1, row->single, image, type);
      if (!row->table2.empty())
        image = AppendMinors(row->table2, minor & row->mask2, row->single, image, type);
    }
  }

  bool first = true;
  for (std::size_t bit = 0; bit < kServices.size(); ++bit) {
    if ((service & (1u << bit)) == 0) continue;
    if (!first) services += ",";
    services += kServices[bit];
    first = false;
  }
  return image;
}

}  // namespace wren
