#include <gtest/gtest.h>

#include "core/fleet/DeviceJson.h"
#include "core/fleet/FleetCollector.h"
#include "core/fleet/Topics.h"

namespace wren::fleet {
namespace {

constexpr const char* kPhone = "00:1A:2B:3C:4D:5E";

DeviceRecord Phone(const std::string& lastSeen, const std::string& name = "Phone") {
  DeviceRecord r;
  r.m_radioName = "Desk adapter";
  r.m_name = name;
  r.m_address = kPhone;
  r.m_lastSeen = lastSeen;
  r.m_image = 11;
  return r;
}

TEST(LastSeenKey, SortsByTimeAndRefusesOtherTexts) {
  EXPECT_LT(LastSeenKey("23:59:59 12/31/2008"), LastSeenKey("00:00:00 01/01/2009"));
  EXPECT_LT(LastSeenKey("09:00:00 07/21/2009"), LastSeenKey("10:00:00 07/21/2009"));
  EXPECT_LT(LastSeenKey("10:00:00 06/30/2009"), LastSeenKey("09:00:00 07/01/2009"));
  EXPECT_EQ(LastSeenKey("14:04:03 07/21/2009"), 20090721140403);
  for (const char* bad : {"", "14:04:03", "14:04:03 07/21/09", "24:00:00 07/21/2009",
                          "14:04:03 13/21/2009", "14-04-03 07/21/2009", "aa:bb:cc dd/ee/ffff",
                          "14:04:03 07/21/2009 "})
    EXPECT_EQ(LastSeenKey(bad), -1) << bad;
}

class Collecting : public ::testing::Test {
protected:
  CollectOutcome Send(const std::string& host, const DeviceRecord& r) {
    reason.clear();
    return collector.Collect(DeviceTopic(host, r.m_address), DeviceJson(r), reason);
  }
  DeviceHistory history;
  FleetCollector collector{history};
  std::string reason;
};

TEST_F(Collecting, TheNewestLastSeenWinsWhicheverHostReportsIt) {
  struct Step {
    const char* host;
    const char* lastSeen;
    const char* name;
    CollectOutcome outcome;
    const char* radioAfter;
    const char* nameAfter;
  } steps[] = {
      {"alpha", "10:00:00 07/21/2009", "Phone", CollectOutcome::Merged, "alpha: Desk adapter",
       "Phone"},
      // Older, from another host: ignored.
      {"beta", "09:59:59 07/21/2009", "Old name", CollectOutcome::NotNewer, "alpha: Desk adapter",
       "Phone"},
      // Newer, from another host: it wins and says so in Radio.
      {"beta", "10:00:01 07/21/2009", "Phone 2", CollectOutcome::Merged, "beta: Desk adapter",
       "Phone 2"},
      // The same sighting with a new name: taken.
      {"beta", "10:00:01 07/21/2009", "Phone 3", CollectOutcome::Merged, "beta: Desk adapter",
       "Phone 3"},
      // Exactly the same again: nothing changes.
      {"beta", "10:00:01 07/21/2009", "Phone 3", CollectOutcome::NotNewer, "beta: Desk adapter",
       "Phone 3"},
      // No readable time loses to a held entry.
      {"alpha", "", "Radio-like", CollectOutcome::NotNewer, "beta: Desk adapter", "Phone 3"},
      // A day later, an earlier hour: newer.
      {"alpha", "08:00:00 07/22/2009", "Phone 4", CollectOutcome::Merged, "alpha: Desk adapter",
       "Phone 4"},
  };
  for (const Step& s : steps) {
    EXPECT_EQ(Send(s.host, Phone(s.lastSeen, s.name)), s.outcome) << s.host << " " << s.lastSeen;
    ASSERT_EQ(history.Size(), 1u);
    const DeviceRecord* held = history.Find(kPhone);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->m_radioName, s.radioAfter) << s.lastSeen;
    EXPECT_EQ(held->m_name, s.nameAfter) << s.lastSeen;
  }
  EXPECT_EQ(collector.MergedCount(), 4u);
  EXPECT_TRUE(collector.TakeChanged());
  EXPECT_FALSE(collector.TakeChanged());
}

TEST_F(Collecting, ANewAddressGoesToTheFrontEvenWithoutATime) {
  DeviceRecord radio;
  radio.m_radioName = radio.m_name = "Desk adapter";
  radio.m_address = "00:02:5B:10:20:30";
  EXPECT_EQ(Send("alpha", Phone("10:00:00 07/21/2009")), CollectOutcome::Merged);
  EXPECT_EQ(Send("alpha", radio), CollectOutcome::Merged);
  ASSERT_EQ(history.Size(), 2u);
  EXPECT_EQ(history.List().front().m_address, radio.m_address);
  EXPECT_EQ(history.List().front().m_radioName, "alpha: Desk adapter");
}

TEST_F(Collecting, BadInputIsRefusedAndLeavesTheHistoryAlone) {
  ASSERT_EQ(Send("alpha", Phone("10:00:00 07/21/2009")), CollectOutcome::Merged);
  collector.TakeChanged();
  const std::string good = DeviceJson(Phone("11:00:00 07/21/2009", "Changed"));
  struct Case {
    std::string topic, payload, reasonHas;
  } cases[] = {
      {"wrenlocator/alpha/devices/00:1a:2b:3c:4d:5e", good, "not a device address"},
      {"wrenlocator/alpha/devices/+", good, "not a device address"},
      {"wrenlocator/alpha/events", good, "not a device topic"},
      {DeviceTopic("alpha", kPhone), "{\"address\":\"00:1A:2B", "not a device record"},
      {DeviceTopic("alpha", kPhone), "[1,2,3]", "not a device record"},
      {DeviceTopic("alpha", kPhone), std::string(1024 * 1024, 'x'), "1048576 bytes"},
      {DeviceTopic("alpha", kPhone), "{\"address\":\"" + std::string(1024 * 1024, 'A') + "\"}",
       "more than"},
      {DeviceTopic("alpha", "00:00:00:00:00:01"), good, "is not the topic's"},
  };
  for (const Case& c : cases) {
    reason.clear();
    EXPECT_EQ(collector.Collect(c.topic, c.payload, reason), CollectOutcome::Refused)
        << c.topic.substr(0, 60);
    EXPECT_NE(reason.find(c.reasonHas), std::string::npos) << reason;
  }
  EXPECT_EQ(collector.RefusedCount(), std::size(cases));
  EXPECT_FALSE(collector.TakeChanged());
  ASSERT_EQ(history.Size(), 1u);
  EXPECT_EQ(history.Find(kPhone)->m_name, "Phone");
}

}  // namespace
}  // namespace wren::fleet
