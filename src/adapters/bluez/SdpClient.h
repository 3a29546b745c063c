#pragma once
// Reads a remote device's service records with BlueZ's SDP client library
// (libbluetooth): connect to the device's SDP server, ask for every record
// of the public browse group with all attributes, and hand back each
// record's data-element bytes. The library is loaded when first needed,
// so the program runs where it is not installed; then there are simply
// no records. No Qt here.

#include <cstdint>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include <bluetooth/bluetooth.h>
#include <bluetooth/sdp.h>

#include "ports/BluetoothStack.h"

namespace wren::bluez {

class SdpClient {
public:
  enum class Result {
    Ok,            // records read (possibly none)
    NoLibrary,     // libbluetooth or one of its functions is missing
    NoConnection,  // no Bluetooth socket, no radio, no permission, device not reached
    Failed,        // the search itself failed
    Cancelled,
  };

  // `library` is the file name dlopen looks for ("libbluetooth.so.3").
  explicit SdpClient(std::string library);
  ~SdpClient();
  SdpClient(const SdpClient&) = delete;
  SdpClient& operator=(const SdpClient&) = delete;

  bool LibraryAvailable();

  // Blocks while the device answers; returns promptly with Cancelled once
  // `cancel` is requested (the exchange then ends on its own in the
  // background). `adapter` 0: any local radio.
  Result Query(platform::BluetoothAddress adapter, platform::BluetoothAddress device,
               std::vector<platform::ServiceRecord>& records, std::stop_token cancel);

  // Writes one parsed record back to its data-element bytes with the
  // library's own record writer `write` (sdp_gen_record_pdu).
  using RecordWriter = int (*)(const sdp_record_t*, sdp_buf_t*);
  static bool RecordBytes(RecordWriter write, const sdp_record_t* record,
                          std::vector<std::uint8_t>& out);

  struct Api;

private:
  std::shared_ptr<const Api> LoadApi();

  std::string m_library;
  std::mutex m_mutex;
  std::shared_ptr<const Api> m_api;
  bool m_tried = false;
};

}  // namespace wren::bluez
