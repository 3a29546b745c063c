#include "core/history/DeviceHistory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wren {
namespace {

DeviceRecord Entry(std::string address, std::string name) {
  DeviceRecord r;
  r.m_address = std::move(address);
  r.m_name = std::move(name);
  return r;
}

std::vector<std::string> Names(const DeviceHistory& history) {
  std::vector<std::string> names;
  for (const DeviceRecord& r : history.List()) names.push_back(r.m_name);
  return names;
}

TEST(DeviceHistoryTest, NewAddressesGoInFrontAndKnownOnesAreRewrittenEverywhere) {
  DeviceHistory history;
  // As a file with a duplicate loads: in file order.
  history.Append(Entry("00:00:00:00:00:01", "old"));
  history.Append(Entry("00:00:00:00:00:02", "other"));
  history.Append(Entry("00:00:00:00:00:01", "older"));
  ASSERT_NE(history.Find("00:00:00:00:00:01"), nullptr);
  EXPECT_EQ(history.Find("00:00:00:00:00:01")->m_name, "old");  // the first one

  history.Merge(Entry("00:00:00:00:00:01", "now"));
  history.Merge(Entry("00:00:00:00:00:03", "new"));
  history.Merge(Entry("00:00:00:00:00:0a", "lower case is another device"));
  EXPECT_EQ(Names(history), (std::vector<std::string>{"lower case is another device", "new", "now",
                                                      "other", "now"}));
  EXPECT_EQ(history.Size(), 5u);
  EXPECT_EQ(history.Find("00:00:00:00:00:0A"), nullptr);

  history.Clear();
  EXPECT_EQ(history.Size(), 0u);
  EXPECT_EQ(history.Find("00:00:00:00:00:01"), nullptr);
  // The index starts afresh: a merge after a clear adds, it does not write
  // into a forgotten entry.
  history.Merge(Entry("00:00:00:00:00:01", "again"));
  EXPECT_EQ(Names(history), std::vector<std::string>{"again"});
}

}  // namespace
}  // namespace wren
