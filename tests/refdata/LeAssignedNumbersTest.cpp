#include "core/refdata/LeAssignedNumbers.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace wren {
namespace {

TEST(Appearance, CategoryAndSubcategoryTextsAndImages) {
  struct Case {
    std::uint16_t appearance;
    const char* type;
    int image;
  };
  const Case cases[] = {
      {0x0000, "Unknown", 6},
      {0x0040, "Phone", 7},
      {0x00C0, "Watch", 9},
      {0x00C1, "Watch/Sports Watch", 9},
      {0x00C2, "Watch/Smartwatch", 9},
      {0x0080, "Computer", 13},
      {0x0083, "Computer/Laptop", 11},
      {0x0340, "Heart Rate Sensor", 9},
      {0x0341, "Heart Rate Sensor/Heart Rate Belt", 9},
      {0x03C1, "Human Interface Device/Keyboard", 15},
      {0x03C3, "Human Interface Device/Joystick", 39},
      {0x0841, "Audio Sink/Standalone Speaker", 12},
      {0x0941, "Wearable Audio Device/Earbud", 16},
      // A subcategory not listed keeps the category alone, and its image.
      {0x00FF, "Watch", 9},
      {0x0055, "Phone", 7},
      // The highest category listed.
      {0x1441, "Outdoor Sports Activity/Location Display", 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.appearance);
    std::optional<AppearanceText> text = DecodeAppearance(c.appearance);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->type, c.type);
    EXPECT_EQ(text->image, c.image);
  }
}

TEST(Appearance, CategoriesNotListedGiveNothing) {
  // Gaps between listed categories, and the top of the 16-bit range.
  for (std::uint16_t appearance : {0x0B00, 0x0B3F, 0x1000, 0x1480, 0xFFC0, 0xFFFF}) {
    SCOPED_TRACE(appearance);
    EXPECT_FALSE(DecodeAppearance(appearance).has_value());
  }
}

TEST(CompanyIds, KnownUnknownAndEdges) {
  EXPECT_EQ(CompanyName(0x004C), "Apple, Inc.");
  EXPECT_EQ(CompanyName(0x0006), "Microsoft");
  EXPECT_EQ(CompanyName(0x0000), "Ericsson Technology Licensing");
  EXPECT_EQ(CompanyName(0x0075), "Samsung Electronics Co. Ltd.");
  // Not assigned (beyond the listed range), and the reserved value.
  EXPECT_EQ(CompanyName(0xF000), "");
  // An identifier the source names "<unknown>" is left out.
  EXPECT_EQ(CompanyName(0x0401), "");
  EXPECT_EQ(CompanyName(0xFFFF), "");
}

TEST(ServiceUuids, NamesOfServiceClassesAndGattServicesOnly) {
  EXPECT_EQ(ServiceUuidName(0x180D), "Heart Rate");
  EXPECT_EQ(ServiceUuidName(0x180F), "Battery Service");
  EXPECT_EQ(ServiceUuidName(0x1101), "Serial Port");
  EXPECT_EQ(ServiceUuidName(0x110B), "Audio Sink");
  // A protocol, a characteristic, a member UUID, an unassigned value.
  EXPECT_EQ(ServiceUuidName(0x0100), "");
  EXPECT_EQ(ServiceUuidName(0x2A37), "");
  EXPECT_EQ(ServiceUuidName(0xFE2C), "");
  EXPECT_EQ(ServiceUuidName(0x18FF), "");
}

TEST(ServiceUuids, ShortFormOnlyOnTheBaseUuid) {
  struct Case {
    const char* text;
    std::optional<std::uint16_t> value;
  };
  const Case cases[] = {
      {"0000180d-0000-1000-8000-00805f9b34fb", 0x180D},
      {"0000180D-0000-1000-8000-00805F9B34FB", 0x180D},
      {"0000ffff-0000-1000-8000-00805f9b34fb", 0xFFFF},
      // 32-bit values, other bases, bad digits, wrong lengths.
      {"0001180d-0000-1000-8000-00805f9b34fb", std::nullopt},
      {"0000180d-0000-1000-8000-00805f9b34fc", std::nullopt},
      {"000018zd-0000-1000-8000-00805f9b34fb", std::nullopt},
      {"0000180d-0000-1000-8000-00805f9b34f", std::nullopt},
      {"180d", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ShortServiceUuid(c.text), c.value);
  }
}

TEST(ServiceUuids, ServicesTextKeepsOrderAndSkipsUnknownAndRepeats) {
  const std::vector<std::string> uuids = {
      "0000180f-0000-1000-8000-00805f9b34fb",  // Battery Service
      "00002a37-0000-1000-8000-00805f9b34fb",  // a characteristic: skipped
      "6e400001-b5a3-f393-e0a9-e50e24dcca9e",  // a vendor's own: skipped
      "0000180d-0000-1000-8000-00805f9b34fb",  // Heart Rate
      "0000180F-0000-1000-8000-00805F9B34FB",  // Battery Service again
  };
  EXPECT_EQ(ServiceUuidNames(uuids), "Battery Service,Heart Rate");
  EXPECT_EQ(ServiceUuidNames({}), "");
  EXPECT_EQ(ServiceUuidNames({"not a uuid"}), "");
}

}  // namespace
}  // namespace wren
