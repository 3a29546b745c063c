#include "core/refdata/AssignedNumbers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace wren {
namespace {

struct ClassCase {
  unsigned classOfDevice;
  const char* type;
  const char* services;
  int image;
};

std::ostream& operator<<(std::ostream& os, const ClassCase& c) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%06X", c.classOfDevice);
  return os << hex;
}

class DecodeClass : public testing::TestWithParam<ClassCase> {};

TEST_P(DecodeClass, GivesTypeServicesAndImage) {
  const ClassCase& c = GetParam();
  AssignedNumbers numbers;
  std::string type;
  std::string services;
  const int image = numbers.DecodeClassOfDevice(c.classOfDevice, type, services);
  EXPECT_EQ(type, c.type);
  EXPECT_EQ(services, c.services);
  EXPECT_EQ(image, c.image);
}

std::string CaseName(const testing::TestParamInfo<ClassCase>& info) {
  char name[32];
  std::snprintf(name, sizeof name, "Class%08X_%zu", info.param.classOfDevice, info.index);
  return name;
}

// Device classes and services whose texts the list view shows.
constexpr ClassCase kKnownCases[] = {
    {0x5A020C, "Phone/Smart phone", "Networking,Capturing,Object Transfer,Telephony", 11},
    {0x000540, "Peripheral/Keyboard/Uncategorised", "", 6},
    {0x000580, "Peripheral/Pointing device/Uncategorised", "", 6},
    {0x000504, "Peripheral/Joystick", "", 39},
    {0x0006A0, "Imaging/Camera,Printer", "", 10},
    {0x000600, "Imaging", "", 6},
    {0x000300, "Network/0% utilised", "", 21},
    {0x000100, "Computer/Uncategorised", "", 6},
    {0x000000, "Miscellaneous", "", 6},
    {0x000900, "Uncategorised", "", 6},
    {0x001F00, "Uncategorised", "", 6},
    {0x200404, "Audio-Video/Headset", "Audio", 16},
    {0x000724, "Wearable", "", 6},
};
INSTANTIATE_TEST_SUITE_P(Known, DecodeClass, testing::ValuesIn(kKnownCases), CaseName);

// Every minor row of every table, reached through its own class value.
constexpr ClassCase kMinorRows[] = {
    {0x0000FC, "Miscellaneous", "", 6},
    {0x000104, "Computer/Desktop", "", 13},
    {0x000108, "Computer/Server", "", 19},
    {0x00010C, "Computer/Laptop", "", 11},
    {0x000110, "Computer/Handheld PC-PDA", "", 11},
    {0x000114, "Computer/Palm sized PC-PDA", "", 11},
    {0x000118, "Computer/Wearable computer", "", 13},
    {0x00011C, "Computer", "", 6},
    {0x000200, "Phone/Uncategorised", "", 6},
    {0x000204, "Phone/Mobile", "", 7},
    {0x000208, "Phone/Cordless", "", 7},
    {0x00020C, "Phone/Smart phone", "", 11},
    {0x000210, "Phone/Wired modem or voice gateway", "", 9},
    {0x000214, "Phone/Common ISDN Access", "", 21},
    {0x000218, "Phone", "", 6},
    {0x000320, "Network/1 - 17% utilised", "", 21},
    {0x000340, "Network/17 - 33% utilised", "", 21},
    {0x000360, "Network/33 - 50% utilised", "", 21},
    {0x000380, "Network/50 - 67% utilised", "", 21},
    {0x0003A0, "Network/67 - 83% utilised", "", 21},
    {0x0003C0, "Network/83 - 99% utilised", "", 21},
    {0x0003E0, "Network/100% utilised", "", 21},
    {0x00033C, "Network/1 - 17% utilised", "", 21},  // sub-field bits are masked off
    {0x000400, "Audio-Video/Uncategorised", "", 6},
    {0x000408, "Audio-Video/Hands free", "", 16},
    {0x00040C, "Audio-Video/Reserved", "", 6},
    {0x000410, "Audio-Video/Microphone", "", 17},
    {0x000414, "Audio-Video/Loudspeaker", "", 12},
    {0x000418, "Audio-Video/Headphones", "", 16},
    {0x00041C, "Audio-Video/Portable Audio", "", 23},
    {0x000420, "Audio-Video/Car Audio", "", 23},
    {0x000424, "Audio-Video/Set top box", "", 23},
    {0x000428, "Audio-Video/HiFi Audio", "", 23},
    {0x00042C, "Audio-Video/VCR", "", 23},
    {0x000430, "Audio-Video/Video Camera", "", 22},
    {0x000434, "Audio-Video/Camcorder", "", 23},
    {0x000438, "Audio-Video/Video Monitor", "", 16},
    {0x00043C, "Audio-Video/Video Display and Loudspeaker", "", 16},
    {0x000440, "Audio-Video/Video Conferencing", "", 22},
    {0x000444, "Audio-Video/Reserved", "", 6},
    {0x000448, "Audio-Video/Gaming", "", 9},
    {0x00044C, "Audio-Video", "", 6},
    {0x000500, "Peripheral/Uncategorised", "", 6},
    {0x0005C0, "Peripheral/Combo keyboard/Uncategorised", "", 6},
    {0x000508, "Peripheral/Gamepad", "", 9},
    {0x00050C, "Peripheral/Remote control", "", 9},
    {0x000510, "Peripheral/Sensing device", "", 9},
    {0x000514, "Peripheral/Digitiser tablet", "", 9},
    {0x000518, "Peripheral/Card Reader", "", 9},
    {0x00051C, "Peripheral", "", 6},
    {0x0005DC, "Peripheral/Combo keyboard", "", 16},  // no second-table row for 0x1C
    {0x000548, "Peripheral/Keyboard/Gamepad", "", 9},
    {0x000584, "Peripheral/Pointing device/Joystick", "", 39},
    {0x000610, "Imaging/Display", "", 13},
    {0x000620, "Imaging/Camera", "", 22},
    {0x000640, "Imaging/Scanner", "", 9},
    {0x000680, "Imaging/Printer", "", 10},
    {0x0006F0, "Imaging/Display,Camera,Scanner,Printer", "", 10},
    {0x000650, "Imaging/Display,Scanner", "", 9},
    {0x00060C, "Imaging", "", 6},  // bits 3..2 are outside the imaging mask
    {0x000700, "Wearable", "", 6},
    {0x000704, "Wearable/Wrist Watch", "", 9},
    {0x000708, "Wearable/Pager", "", 9},
    {0x00070C, "Wearable/Jacket", "", 9},
    {0x000710, "Wearable/Helmet", "", 9},
    {0x000714, "Wearable/Glasses", "", 9},
    {0x000800, "Toy", "", 6},
    {0x000804, "Toy/Robot", "", 9},
    {0x000808, "Toy/Vehicle", "", 9},
    {0x00080C, "Toy/Doll-Action Figure", "", 9},
    {0x000810, "Toy/Controller", "", 9},
    {0x000814, "Toy/Game", "", 9},
    {0x000818, "Toy", "", 6},
    {0x000A04, "Uncategorised", "", 6},
    {0x001E0C, "Uncategorised", "", 6},
    {0x001F04, "Uncategorised", "", 6},
};
INSTANTIATE_TEST_SUITE_P(MinorRows, DecodeClass, testing::ValuesIn(kMinorRows), CaseName);

constexpr ClassCase kServiceBits[] = {
    {0x002000, "Miscellaneous", "Limited Discoverable mode", 6},
    {0x004000, "Miscellaneous", "Reserved", 6},
    {0x008000, "Miscellaneous", "Reserved", 6},
    {0x010000, "Miscellaneous", "Positioning", 6},
    {0x020000, "Miscellaneous", "Networking", 6},
    {0x040000, "Miscellaneous", "Rendering", 6},
    {0x080000, "Miscellaneous", "Capturing", 6},
    {0x100000, "Miscellaneous", "Object Transfer", 6},
    {0x200000, "Miscellaneous", "Audio", 6},
    {0x400000, "Miscellaneous", "Telephony", 6},
    {0x800000, "Miscellaneous", "Information", 6},
    {0x802000, "Miscellaneous", "Limited Discoverable mode,Information", 6},
    {0xFFE000, "Miscellaneous",
     "Limited Discoverable mode,Reserved,Reserved,Positioning,Networking,Rendering,Capturing,"
     "Object Transfer,Audio,Telephony,Information",
     6},
    {0x001FFF, "Uncategorised", "", 6},  // bits below 13 are never services
    {0x240404, "Audio-Video/Headset", "Rendering,Audio", 16},
    // Bits above 23 are not part of the class of device.
    {0x0100020C, "Phone/Smart phone", "", 11},
    {0xFF5A020C, "Phone/Smart phone", "Networking,Capturing,Object Transfer,Telephony", 11},
    {0x80000000, "Miscellaneous", "", 6},
    {0x00020F, "Phone/Smart phone", "", 11},  // the format bits 1..0 are ignored
};
INSTANTIATE_TEST_SUITE_P(Services, DecodeClass, testing::ValuesIn(kServiceBits), CaseName);

TEST(AssignedNumbers, AppendsToTheGivenTexts) {
  AssignedNumbers numbers;
  std::string type = "x";
  std::string services = "y";
  EXPECT_EQ(numbers.DecodeClassOfDevice(0x220404, type, services), 16);
  EXPECT_EQ(type, "xAudio-Video/Headset");
  // The first service name of this call gets no comma, whatever was there.
  EXPECT_EQ(services, "yNetworking,Audio");

  EXPECT_EQ(numbers.DecodeClassOfDevice(0x000104, type, services), 13);
  EXPECT_EQ(type, "xAudio-Video/HeadsetComputer/Desktop");
  EXPECT_EQ(services, "yNetworking,Audio");
}

}  // namespace
}  // namespace wren
