#include "adapters/bluez/DeviceTimes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>

namespace wren::bluez {
namespace {

constexpr platform::BluetoothAddress kPhone = 0x001A2B3C4D5EULL;
constexpr platform::BluetoothAddress kHeadset = 0x00025B00A5A5ULL;

std::string TempFolder() {
  char tmpl[] = "/tmp/wren-times-XXXXXX";
  const char* dir = mkdtemp(tmpl);
  EXPECT_NE(dir, nullptr);
  return dir ? dir : "";
}

TEST(DeviceTimes, SightingsAndUseAreKeptPerDevice) {
  DeviceTimes times;
  EXPECT_EQ(times.LastSeen(kPhone), 0);
  EXPECT_FALSE(times.Dirty());
  times.Seen(kPhone, 1000);
  times.Used(kHeadset, 2000);
  EXPECT_TRUE(times.Dirty());
  EXPECT_EQ(times.LastSeen(kPhone), 1000);
  EXPECT_EQ(times.LastUsed(kPhone), 0);
  EXPECT_EQ(times.LastSeen(kHeadset), 0);
  EXPECT_EQ(times.LastUsed(kHeadset), 2000);
  times.MarkSaved();
  times.Seen(kPhone, 1000);
  EXPECT_FALSE(times.Dirty()) << "the same time again changes nothing";
}

TEST(DeviceTimes, TextRoundTripsAndSkipsLinesThatDoNotRead) {
  DeviceTimes times;
  times.Seen(kPhone, 1248185039);
  times.Used(kPhone, 1248185000);
  times.Seen(kHeadset, 5);
  const std::string text = times.Serialize();
  EXPECT_NE(text.find("00:1A:2B:3C:4D:5E 1248185039 1248185000\n"), std::string::npos);

  DeviceTimes back;
  std::size_t skipped = 99;
  back.Parse(text +
                 "garbage\n11:22:33 1 2\n11:22:33:44:55:66 -1 2\n11:22:33:44:55:66 1 2 3\r\n"
                 "11:22:33:44:55:77 1 x\n\n# note\n22:22:22:22:22:22 7 8\r\n",
             skipped);
  EXPECT_EQ(skipped, 5u);
  EXPECT_EQ(back.LastSeen(kPhone), 1248185039);
  EXPECT_EQ(back.LastUsed(kPhone), 1248185000);
  EXPECT_EQ(back.LastSeen(kHeadset), 5);
  EXPECT_EQ(back.LastUsed(0x222222222222ULL), 8);
  EXPECT_EQ(back.Size(), 3u);
  EXPECT_FALSE(back.Dirty());
}

TEST(DeviceTimes, StoreIsBoundedByDroppingTheOldest) {
  DeviceTimes times;
  for (std::size_t i = 0; i < DeviceTimes::kMaxDevices; ++i)
    times.Seen(static_cast<platform::BluetoothAddress>(i + 1), static_cast<std::int64_t>(1000 + i));
  times.Seen(0xFFFFFFULL, 99999);
  EXPECT_EQ(times.Size(), DeviceTimes::kMaxDevices);
  EXPECT_EQ(times.LastSeen(1), 0) << "the oldest made room";
  EXPECT_EQ(times.LastSeen(2), 1001);
  EXPECT_EQ(times.LastSeen(0xFFFFFFULL), 99999);
}

TEST(DeviceTimes, SaveAndLoadThroughAFile) {
  const std::string dir = TempFolder();
  const std::string path = dir + "/device-times.txt";
  std::string error;

  DeviceTimes missing;
  EXPECT_TRUE(missing.Load(path, error)) << "no file yet is an empty store";
  EXPECT_EQ(missing.Size(), 0u);

  DeviceTimes times;
  times.Seen(kPhone, 42);
  ASSERT_TRUE(times.Save(path, error)) << error;
  EXPECT_FALSE(times.Dirty());
  DeviceTimes back;
  ASSERT_TRUE(back.Load(path, error)) << error;
  EXPECT_EQ(back.LastSeen(kPhone), 42);

  // A file far larger than any store we write is refused, not half read.
  {
    std::ofstream big(path, std::ios::binary | std::ios::trunc);
    std::string line = "00:1A:2B:3C:4D:5E 1 1\n";
    for (int i = 0; i < 60000; ++i) big << line;
  }
  DeviceTimes refused;
  refused.Seen(kHeadset, 1);
  EXPECT_FALSE(refused.Load(path, error));
  EXPECT_EQ(error, "file too large");

  times.Seen(kPhone, 43);
  EXPECT_FALSE(times.Save(dir + "/no/such/folder/times.txt", error));
  EXPECT_TRUE(times.Dirty()) << "a failed save keeps the change to be saved later";
  std::remove(path.c_str());
  rmdir(dir.c_str());
}

TEST(DeviceTimes, UtcCalendarTimes) {
  EXPECT_TRUE(ToUtcTime(0).IsZero());
  EXPECT_TRUE(ToUtcTime(-5).IsZero());
  platform::UtcTime t = ToUtcTime(1248185039);  // 2009-07-21 14:03:59 UTC
  EXPECT_EQ(t.year, 2009);
  EXPECT_EQ(t.month, 7);
  EXPECT_EQ(t.day, 21);
  EXPECT_EQ(t.hour, 14);
  EXPECT_EQ(t.minute, 3);
  EXPECT_EQ(t.second, 59);
}

}  // namespace
}  // namespace wren::bluez
