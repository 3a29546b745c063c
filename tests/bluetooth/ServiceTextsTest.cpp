#include "core/bluetooth/ServiceTexts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wren {
namespace {

struct SplitCase {
  const char* what;
  std::string services;
  std::vector<std::string> rows;
};

TEST(ServiceTextsTest, SplitsAnAnswerIntoRows) {
  const SplitCase cases[] = {
      {"two records with a name and a provider each",
       "Serial Port,Pelmark,Dial-up Networking,Pelmark,",
       {"Serial Port", "Pelmark", "Dial-up Networking", "Pelmark"}},
      {"no answer", "", {}},
      {"a comma inside a service name", "Audio, Video,", {"Audio", " Video"}},
      {"two commas in a row: an empty row that counts", "A,,B,", {"A", "", "B"}},
      {"text after the last comma is dropped", "A,B,partial", {"A", "B"}},
      {"no comma at all", "lonely", {}},
      {"only commas", ",,", {"", ""}},
  };
  for (const SplitCase& c : cases) EXPECT_EQ(SplitServiceText(c.services), c.rows) << c.what;
}

TEST(ServiceTextsTest, NamesKnownServiceUuids) {
  const struct {
    const char* uuid;
    const char* name;
  } cases[] = {
      {"0000110b-0000-1000-8000-00805f9b34fb", "Audio Sink"},
      {"0000110B-0000-1000-8000-00805F9B34FB", "Audio Sink"},
      {"00001101-0000-1000-8000-00805f9b34fb", "Serial Port"},
      {"0000180f-0000-1000-8000-00805f9b34fb", "Battery Service"},
      {"1000", "Service Discovery Server Service Class"},
      {"0x181c", "User Data"},
      // Unknown numbers, other bases and malformed texts have no name.
      {"0000fffe-0000-1000-8000-00805f9b34fb", ""},
      {"0001110b-0000-1000-8000-00805f9b34fb", ""},
      {"0000110b-0000-1000-8000-00805f9b34fc", ""},
      {"0000zz0b-0000-1000-8000-00805f9b34fb", ""},
      {"", ""},
      {"not a uuid", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ServiceUuidName(c.uuid), c.name) << c.uuid;
}

}  // namespace
}  // namespace wren
