#include "core/bluetooth/DeviceRecord.h"

#include <gtest/gtest.h>

#include <iterator>

#include "support/RecordFields.h"

namespace wren {
namespace {

DeviceRecord MakeRecord(const char* address, const char* name) {
  DeviceRecord r;
  r.m_address = address;
  r.m_name = name;
  return r;
}

DeviceRecord FullyFilled() {
  DeviceRecord r;
  r.m_radioName = "radio";
  r.m_name = "phone";
  r.m_address = "00:1A:7D:DA:71:13";
  r.m_producer = "Acme";
  r.m_lastSeen = "12:00:00 01/02/2003";
  r.m_lastUsed = "13:00:00 01/02/2003";
  r.m_type = "Phone/Smart phone";
  r.m_services = "Audio,Telephony";
  r.m_classOfDevice = 0x5A020C;
  r.m_connected = 0;
  r.m_remembered = 0;
  r.m_authenticated = 0;
  r.m_image = 11;
  r.m_isLocalRadio = 1;
  return r;
}

TEST(DeviceRecord, DefaultsDescribeAnUnknownRemoteDevice) {
  const DeviceRecord r;
  EXPECT_TRUE(r.m_radioName.empty());
  EXPECT_TRUE(r.m_name.empty());
  EXPECT_TRUE(r.m_address.empty());
  EXPECT_TRUE(r.m_producer.empty());
  EXPECT_TRUE(r.m_lastSeen.empty());
  EXPECT_TRUE(r.m_lastUsed.empty());
  EXPECT_TRUE(r.m_type.empty());
  EXPECT_TRUE(r.m_services.empty());
  EXPECT_EQ(r.m_classOfDevice, 0u);
  EXPECT_EQ(r.m_connected, 1);
  EXPECT_EQ(r.m_remembered, 1);
  EXPECT_EQ(r.m_authenticated, 1);
  EXPECT_EQ(r.m_image, 6);
  EXPECT_EQ(r.m_isLocalRadio, 0);
}

TEST(DeviceRecord, CopyAndAssignmentKeepEveryField) {
  const DeviceRecord original = FullyFilled();
  const DeviceRecord copied(original);
  test::ExpectSameRecord(copied, original);

  DeviceRecord assigned;
  assigned = original;
  test::ExpectSameRecord(assigned, original);

  DeviceList list;
  list.push_back(original);
  test::ExpectSameRecord(list.front(), original);
}

TEST(DeviceRecord, SameDeviceMeansSameAddressOnly) {
  DeviceRecord a = FullyFilled();
  DeviceRecord b;
  b.m_address = a.m_address;
  EXPECT_TRUE(IsSameDevice(a, b));
  EXPECT_TRUE(IsSameDevice(b, a));

  b.m_address = "00:1A:7D:DA:71:14";
  b.m_name = a.m_name;
  EXPECT_FALSE(IsSameDevice(a, b));
}

TEST(DeviceRecord, AddressLetterCaseMakesADifferentDevice) {
  EXPECT_FALSE(
      IsSameDevice(MakeRecord("00:1A:7D:DA:71:1F", "x"), MakeRecord("00:1a:7D:DA:71:1F", "x")));
  EXPECT_FALSE(
      IsSameDevice(MakeRecord("00:1A:7D:DA:71:1F", "x"), MakeRecord("00:1A:7D:DA:71:1f", "x")));
}

TEST(DeviceRecord, EmptyAddressesAreTheSameDevice) {
  EXPECT_TRUE(IsSameDevice(MakeRecord("", "one"), MakeRecord("", "two")));
  EXPECT_FALSE(IsSameDevice(MakeRecord("", "one"), MakeRecord("00:00:00:00:00:00", "one")));
}

TEST(DeviceList, KeepsDuplicatesInOrderAndFindsTheFirst) {
  DeviceList list;
  list.push_back(MakeRecord("00:00:00:00:00:01", "first"));
  list.push_back(MakeRecord("00:00:00:00:00:02", "other"));
  list.push_back(MakeRecord("00:00:00:00:00:01", "second"));
  list.push_front(MakeRecord("00:00:00:00:00:03", "front"));
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list.front().m_name, "front");
  EXPECT_EQ(list.back().m_name, "second");

  auto found = FindDevice(list, "00:00:00:00:00:01");
  ASSERT_NE(found, list.end());
  EXPECT_EQ(found->m_name, "first");
  EXPECT_EQ(std::distance(list.begin(), found), 1);

  // Once the first is gone, the duplicate is the one found.
  list.erase(found);
  found = FindDevice(list, "00:00:00:00:00:01");
  ASSERT_NE(found, list.end());
  EXPECT_EQ(found->m_name, "second");
}

TEST(DeviceList, FindIsByteForByte) {
  DeviceList list;
  list.push_back(MakeRecord("AA:BB:CC:DD:EE:FF", "x"));
  EXPECT_EQ(FindDevice(list, "aa:bb:cc:dd:ee:ff"), list.end());
  EXPECT_EQ(FindDevice(list, "AA:BB:CC:DD:EE"), list.end());
  EXPECT_EQ(FindDevice(list, ""), list.end());
  EXPECT_NE(FindDevice(list, "AA:BB:CC:DD:EE:FF"), list.end());

  DeviceList empty;
  EXPECT_EQ(FindDevice(empty, ""), empty.end());
}

}  // namespace
}  // namespace wren
