#include "adapters/bluez/SdpClient.h"

#include <bluetooth/sdp_lib.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "base/SdpDecoder.h"

namespace wren::bluez {
namespace {

// A record built with the library itself, as a device's SDP answer is
// parsed into, written back with the library's writer: our decoder must
// read every text of it in attribute order.
TEST(SdpClient, RecordsWrittenBackByTheLibraryDecode) {
  sdp_record_t* record = sdp_record_alloc();
  ASSERT_NE(record, nullptr);
  uuid_t serial;
  sdp_uuid16_create(&serial, SERIAL_PORT_SVCLASS_ID);
  sdp_list_t* classes = sdp_list_append(nullptr, &serial);
  sdp_set_service_classes(record, classes);
  sdp_set_info_attr(record, "Serial Port", "Pelmark", "COM port over RFCOMM");
  sdp_set_url_attr(record, "http://example.com/doc", nullptr, nullptr);

  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(SdpClient::RecordBytes(&sdp_gen_record_pdu, record, bytes));
  sdp_list_free(classes, nullptr);
  sdp_record_free(record);

  std::vector<std::uint16_t> ids;
  ASSERT_TRUE(sdp::EnumAttributes(bytes, [&](std::uint16_t id, sdp::Bytes) {
    ids.push_back(id);
    return true;
  }));
  EXPECT_EQ(ids, (std::vector<std::uint16_t>{0x0001, 0x000B, 0x0100, 0x0101, 0x0102}));
  EXPECT_EQ(sdp::CollectRecordStrings(bytes),
            (std::vector<std::string>{"http://example.com/doc", "Serial Port",
                                      "COM port over RFCOMM", "Pelmark"}));
}

TEST(SdpClient, MissingLibraryMeansNoRecords) {
  SdpClient client("libwren-no-such-library.so.0");
  EXPECT_FALSE(client.LibraryAvailable());
  std::vector<platform::ServiceRecord> records;
  EXPECT_EQ(client.Query(0, 0x001A2B3C4D5EULL, records, {}), SdpClient::Result::NoLibrary);
  EXPECT_TRUE(records.empty());
}

// Without a radio (or without Bluetooth sockets at all) there is no
// connection; with one, the unknown device is not reached before we give
// up. Either way: no records, and no wait beyond the cancel.
TEST(SdpClient, UnreachableDeviceGivesNoRecordsAndCancelReturns) {
  SdpClient client("libbluetooth.so.3");
  ASSERT_TRUE(client.LibraryAvailable());
  std::stop_source stop;
  std::jthread canceller([&](std::stop_token own) {
    std::mutex m;
    std::condition_variable_any cv;
    std::unique_lock lock(m);
    cv.wait_for(lock, own, std::chrono::seconds(2), [] { return false; });
    stop.request_stop();
  });
  std::vector<platform::ServiceRecord> records;
  const SdpClient::Result r = client.Query(0, 0x0000000000A1ULL, records, stop.get_token());
  canceller.request_stop();
  canceller.join();
  EXPECT_TRUE(r == SdpClient::Result::NoConnection || r == SdpClient::Result::Cancelled)
      << static_cast<int>(r);
  EXPECT_TRUE(records.empty());

  std::stop_source already;
  already.request_stop();
  EXPECT_EQ(client.Query(0, 0x0000000000A1ULL, records, already.get_token()),
            SdpClient::Result::Cancelled);
}

}  // namespace
}  // namespace wren::bluez
