#include "base/BluetoothAddress.h"

#include <gtest/gtest.h>

#include <sstream>
#include <unordered_set>

namespace wren {
namespace {

TEST(BluetoothAddress, ParsesEitherCaseWithItsSeparatorOnly) {
  const struct {
    const char* text;
    char separator;
    bool ok;
    std::uint64_t value;
  } rows[] = {
      {"00:1A:2B:3C:4D:5E", ':', true, 0x001A2B3C4D5EULL},
      {"00:1a:2B:3c:4D:5e", ':', true, 0x001A2B3C4D5EULL},
      {"FF:FF:FF:FF:FF:FF", ':', true, 0xFFFFFFFFFFFFULL},
      {"00-1A-2B-3C-4D-5E", '-', true, 0x001A2B3C4D5EULL},
      {"00_1A_2B_3C_4D_5E", '_', true, 0x001A2B3C4D5EULL},
      {"00-1A-2B-3C-4D-5E", ':', false, 0},
      {"00:1A:2B-3C:4D:5E", ':', false, 0},
      {"00:1A:2B:3C:4D:5", ':', false, 0},
      {"00:1A:2B:3C:4D:5E:", ':', false, 0},
      {"00:1A:2B:3C:4D:5G", ':', false, 0},
      {"0:01A:2B:3C:4D:5E", ':', false, 0},
      {" 00:1A:2B:3C:4D:5", ':', false, 0},
      {"", ':', false, 0},
  };
  for (const auto& row : rows) {
    BluetoothAddress a = 0x123;
    EXPECT_EQ(BluetoothAddress::Parse(row.text, a, row.separator), row.ok) << row.text;
    EXPECT_EQ(a, row.ok ? BluetoothAddress(row.value) : BluetoothAddress(0x123))
        << row.text << " left alone on failure";
  }
}

TEST(BluetoothAddress, TextFormsKeepTheSixLowBytesMostSignificantFirst) {
  EXPECT_EQ(BluetoothAddress(0x001A2B3C4D5E).Text(), "00:1A:2B:3C:4D:5E");
  EXPECT_EQ(BluetoothAddress(0xFFFF001A2B3C4D5EULL).Text(), "00:1A:2B:3C:4D:5E");
  EXPECT_EQ(BluetoothAddress(0).Text(), "00:00:00:00:00:00");
  EXPECT_EQ(BluetoothAddress(0xABCDEFABCDEF).Text('_'), "AB_CD_EF_AB_CD_EF");
  EXPECT_EQ(BluetoothAddress(0x000AD9FFFFFF).VendorPrefix(), "00-0A-D9");
  EXPECT_EQ(BluetoothAddress(0xABCDEF000000).VendorPrefix(), "AB-CD-EF");
  std::ostringstream out;
  out << BluetoothAddress(0x0A0B0C0D0E0F);
  EXPECT_EQ(out.str(), "0A:0B:0C:0D:0E:0F");
  // Every address reads back as itself.
  for (std::uint64_t v : {0x0ULL, 0x1ULL, 0x8000000000ULL, 0xFEDCBA987654ULL, 0xFFFFFFFFFFFFULL}) {
    BluetoothAddress back;
    ASSERT_TRUE(BluetoothAddress::Parse(BluetoothAddress(v).Text(), back));
    EXPECT_EQ(back.Value(), v);
  }
}

TEST(BluetoothAddress, VendorPrefixParsesOnlyTheCanonicalForm) {
  std::uint32_t key = 7;
  EXPECT_TRUE(BluetoothAddress::ParseVendorPrefix("00-0A-D9", key));
  EXPECT_EQ(key, 0x000AD9u);
  EXPECT_TRUE(BluetoothAddress::ParseVendorPrefix("FF-FF-FF", key));
  EXPECT_EQ(key, 0xFFFFFFu);
  key = 7;
  for (const char* text :
       {"00-0a-d9", "00:0A:D9", "000AD9", "00-0A-D", "00-0A-D9-", "0G-0A-D9", ""})
    EXPECT_FALSE(BluetoothAddress::ParseVendorPrefix(text, key)) << text;
  EXPECT_EQ(key, 7u);
}

TEST(BluetoothAddress, ComparesAndHashesByValue) {
  const BluetoothAddress a = 0x001A2B3C4D5E, b = 0x001A2B3C4D5F;
  EXPECT_LT(a, b);
  EXPECT_EQ(a, BluetoothAddress(0xFF001A2B3C4D5EULL)) << "bits above 48 are not part of an address";
  EXPECT_NE(a, b);
  std::unordered_set<BluetoothAddress> set{a, b, BluetoothAddress(0x001A2B3C4D5E)};
  EXPECT_EQ(set.size(), 2u);
  EXPECT_EQ(HexDigit('0'), 0);
  EXPECT_EQ(HexDigit('f'), 15);
  EXPECT_EQ(HexDigit('F'), 15);
  EXPECT_EQ(HexDigit('g'), -1);
  EXPECT_EQ(HexDigit(':'), -1);
}

}  // namespace
}  // namespace wren
