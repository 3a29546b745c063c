#include "adapters/bluez/ServiceCache.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>

#include "base/SdpDecoder.h"

namespace wren::bluez {
namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  char b[3];
  for (auto v : bytes) {
    std::snprintf(b, sizeof b, "%02X", v);
    out += b;
  }
  return out;
}

std::vector<std::uint8_t> Record(const std::string& name) {
  return sdp::EncodeSequence({sdp::EncodeUnsigned(0x0001, 2),
                              sdp::EncodeSequence({sdp::EncodeUuid16(0x1101)}),
                              sdp::EncodeUnsigned(0x0100, 2), sdp::EncodeText(name)});
}

TEST(ServiceCache, RecordsOfTheServiceRecordsGroupInFileOrder) {
  const std::string text =
      "[General]\nName=Phone\n\n[ServiceRecords]\n0x00010001=" + Hex(Record("Serial Port")) +
      "\n0x00010000 = " + Hex(Record("Dial-up Networking")) +
      "\r\n0x00010002=ABC\n0x00010003=zz\n0x00010004=\nnot a key\n"
      "[Attributes]\n0x0001=" +
      Hex(Record("elsewhere")) + "\n";
  std::vector<platform::ServiceRecord> records;
  ASSERT_TRUE(ParseCachedRecords(text, records));
  ASSERT_EQ(records.size(), 2u) << "odd, non-hex and empty values are skipped";
  EXPECT_TRUE(records[0].hasBlob);
  EXPECT_EQ(sdp::CollectRecordStrings(records[0].blob), std::vector<std::string>{"Serial Port"});
  EXPECT_EQ(sdp::CollectRecordStrings(records[1].blob),
            std::vector<std::string>{"Dial-up Networking"});
}

TEST(ServiceCache, NoRecordsGroupIsNoRecords) {
  std::vector<platform::ServiceRecord> records;
  EXPECT_FALSE(ParseCachedRecords("[General]\nName=x\n", records));
  EXPECT_FALSE(ParseCachedRecords("", records));
  EXPECT_TRUE(records.empty());
}

TEST(ServiceCache, ReadsTheDeviceFileUnderTheAdapterFolder) {
  char tmpl[] = "/tmp/wren-cache-XXXXXX";
  const std::string root = mkdtemp(tmpl);
  EXPECT_EQ(CachedRecordsPath(root, 0x001122334455ULL, 0x001A2B3C4D5EULL),
            root + "/00:11:22:33:44:55/cache/00:1A:2B:3C:4D:5E");
  std::vector<platform::ServiceRecord> records;
  EXPECT_FALSE(ReadCachedRecords(root, 0x001122334455ULL, 0x001A2B3C4D5EULL, records));

  mkdir((root + "/00:11:22:33:44:55").c_str(), 0700);
  mkdir((root + "/00:11:22:33:44:55/cache").c_str(), 0700);
  const std::string file = CachedRecordsPath(root, 0x001122334455ULL, 0x001A2B3C4D5EULL);
  std::ofstream(file) << "[ServiceRecords]\n0x00010000=" << Hex(Record("Headset")) << "\n";
  ASSERT_TRUE(ReadCachedRecords(root, 0x001122334455ULL, 0x001A2B3C4D5EULL, records));
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(sdp::CollectRecordStrings(records[0].blob), std::vector<std::string>{"Headset"});

  // A folder in place of the file reads as nothing, not as a crash.
  records.clear();
  std::remove(file.c_str());
  mkdir(file.c_str(), 0700);
  EXPECT_FALSE(ReadCachedRecords(root, 0x001122334455ULL, 0x001A2B3C4D5EULL, records));
  rmdir(file.c_str());
  rmdir((root + "/00:11:22:33:44:55/cache").c_str());
  rmdir((root + "/00:11:22:33:44:55").c_str());
  rmdir(root.c_str());
}

}  // namespace
}  // namespace wren::bluez
