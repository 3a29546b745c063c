#include <gtest/gtest.h>

#include "core/fleet/DeviceJson.h"
#include "support/RecordFields.h"

namespace wren {
namespace {

DeviceRecord Sample() {
  DeviceRecord r;
  r.m_radioName = "Desk \"main\" adapter";
  r.m_name = "J\xC3\xBCrgen's\tphone\\\n";
  r.m_address = "00:1A:2B:3C:4D:5E";
  r.m_producer = "Nokia & Co";
  r.m_lastSeen = "14:04:03 07/21/2009";
  r.m_lastUsed = "09:00:00 07/20/2009";
  r.m_type = "Phone/Smart phone";
  r.m_services = "Networking,Telephony";
  r.m_classOfDevice = 0xFFFFFFFF;
  r.m_connected = 0;
  r.m_remembered = 1;
  r.m_authenticated = 0;
  r.m_image = -7;
  r.m_isLocalRadio = 1;
  r.m_addressType = "random";
  r.m_appearance = 0x00C1;
  r.m_companyId = 0x004C;
  return r;
}

TEST(DeviceJson, EveryFieldSurvivesTheRoundTrip) {
  const DeviceRecord original = Sample();
  DeviceRecord back;
  std::string error;
  ASSERT_TRUE(ParseDeviceJson(DeviceJson(original), back, error)) << error;
  test::ExpectSameRecord(back, original);

  // Defaults too: flags 1, image 6, empty texts.
  DeviceRecord plain;
  plain.m_address = "01:02:03:04:05:06";
  DeviceRecord plainBack;
  ASSERT_TRUE(ParseDeviceJson(DeviceJson(plain), plainBack, error)) << error;
  test::ExpectSameRecord(plainBack, plain);
}

TEST(DeviceJson, BytesThatAreNotUtf8BecomeReplacementCharacters) {
  DeviceRecord r = Sample();
  r.m_name = "Zo\xEB's \xC3";  // a Latin-1 byte and a cut sequence
  const std::string json = DeviceJson(r);
  EXPECT_NE(json.find("\"name\":\"Zo\\uFFFD's \\uFFFD\""), std::string::npos) << json;
  DeviceRecord back;
  std::string error;
  ASSERT_TRUE(ParseDeviceJson(json, back, error)) << error;
  EXPECT_EQ(back.m_name, "Zo\xEF\xBF\xBD's \xEF\xBF\xBD");
}

TEST(DeviceJson, MembersOfANewerVersionAreIgnoredAndAbsentOnesDefault) {
  DeviceRecord back;
  std::string error;
  ASSERT_TRUE(ParseDeviceJson(
      R"({"address":"00:1A:2B:3C:4D:5E","name":"Watch","appearance":193,"uuids":["180D"],)"
      R"("manufacturerData":{"76":"0215"}})",
      back, error))
      << error;
  EXPECT_EQ(back.m_name, "Watch");
  EXPECT_EQ(back.m_appearance, 193);
  EXPECT_EQ(back.m_companyId, -1);
  EXPECT_EQ(back.m_image, 6);
  EXPECT_EQ(back.m_connected, 1);
  EXPECT_EQ(back.m_radioName, "");
}

TEST(DeviceJson, MalformedRecordsAreRefusedAndTheTargetKept) {
  const char* cases[] = {
      "",
      "not json",
      "{\"address\":\"00:1A:2B:3C:4D:5E\"",  // cut short
      "[{\"address\":\"00:1A:2B:3C:4D:5E\"}]",
      "\"00:1A:2B:3C:4D:5E\"",
      "{}",
      "{\"address\":\"\"}",
      "{\"address\":42}",
      "{\"address\":\"00:1A:2B:3C:4D:5E\",\"name\":null}",
      "{\"address\":\"00:1A:2B:3C:4D:5E\",\"connected\":1}",
      "{\"address\":\"00:1A:2B:3C:4D:5E\",\"image\":\"6\"}",
      "{\"address\":\"00:1A:2B:3C:4D:5E\",\"image\":2147483648}",
      "{\"address\":\"00:1A:2B:3C:4D:5E\",\"image\":1.5}",
      "{\"address\":\"00:1A:2B:3C:4D:5E\",\"classOfDevice\":-1}",
      "{\"address\":\"00:1A:2B:3C:4D:5E\",\"classOfDevice\":4294967296}",
      "{\"address\":\"00:1A:2B:3C:4D:5E\",\"name\":\"\xFF\"}",  // not UTF-8
      "{\"address\":\"00:1A:2B:3C:4D:5E\"} trailing",
      "{\"address\":\"00:1A:2B:3C:4D:5E\",\"addressType\":\"static\"}",
      "{\"address\":\"00:1A:2B:3C:4D:5E\",\"appearance\":65536}",
      "{\"address\":\"00:1A:2B:3C:4D:5E\",\"manufacturer\":-1}",
  };
  for (const char* text : cases) {
    DeviceRecord target = Sample();
    std::string error;
    EXPECT_FALSE(ParseDeviceJson(text, target, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
    test::ExpectSameRecord(target, Sample());
  }
}

TEST(DeviceJson, DeepNestingIsRefusedWithoutExhaustingTheStack) {
  const std::string deep = "{\"address\":\"00:1A:2B:3C:4D:5E\",\"x\":" +
                           std::string(60000, '[') + std::string(60000, ']') + "}";
  DeviceRecord back;
  std::string error;
  // Valid JSON with an ignored member: it loads; what matters is no crash.
  EXPECT_TRUE(ParseDeviceJson(deep, back, error)) << error;
  EXPECT_FALSE(ParseDeviceJson(std::string(60000, '['), back, error));
}

}  // namespace
}  // namespace wren
