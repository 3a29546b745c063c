#include "adapters/bluez/BluezTypes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wren::bluez {
namespace {

std::vector<std::string> Items(std::size_t n) {
  std::vector<std::string> items;
  for (std::size_t i = 0; i < n; ++i) items.push_back("u" + std::to_string(i));
  return items;
}

// A long list is kept whole up to the cap; past it the rest is counted and
// said, never dropped in silence.
TEST(BluezTypesTest, StringListsKeepEverythingUpToTheCapAndCountTheRest) {
  const struct {
    std::size_t size;
    std::size_t kept;
    std::size_t dropped;
  } cases[] = {
      {0, 0, 0},
      {10000, 10000, 0},
      {kMaxListItems, kMaxListItems, 0},
      {kMaxListItems + 1, kMaxListItems, 1},
      {kMaxListItems + 5000, kMaxListItems, 5000},
  };
  for (const auto& c : cases) {
    const Value v = Value::Strings(Items(c.size));
    EXPECT_EQ(v.list.size(), c.kept) << c.size;
    EXPECT_EQ(v.dropped, c.dropped) << c.size;
    if (c.kept > 0) {
      EXPECT_EQ(v.list.back(), "u" + std::to_string(c.kept - 1)) << c.size;
    }
    const std::string text = ValueText(v);
    const std::string more = "... and " + std::to_string(c.dropped) + " more";
    EXPECT_EQ(text.find(more) != std::string::npos, c.dropped > 0) << c.size;
  }
  EXPECT_EQ(ValueText(Value::Strings({"a", "b"})), "a, b");
}

}  // namespace
}  // namespace wren::bluez
