#include "adapters/bluez/SdpClient.h"

#include <bluetooth/sdp_lib.h>
#include <dlfcn.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <thread>
#include <utility>

namespace wren::bluez {

// The library functions we call, looked up once. The library is never
// unloaded: a query that was given up on may still be running in it.
struct SdpClient::Api {
  decltype(&::sdp_connect) connect = nullptr;
  decltype(&::sdp_close) close = nullptr;
  decltype(&::sdp_uuid16_create) uuid16Create = nullptr;
  decltype(&::sdp_list_append) listAppend = nullptr;
  decltype(&::sdp_list_free) listFree = nullptr;
  decltype(&::sdp_service_search_attr_req) searchAttributes = nullptr;
  decltype(&::sdp_gen_record_pdu) genRecordPdu = nullptr;
  decltype(&::sdp_record_free) recordFree = nullptr;
};

namespace {

template <typename F>
bool Resolve(void* library, const char* name, F& out) {
  out = reinterpret_cast<F>(dlsym(library, name));
  return out != nullptr;
}

bdaddr_t ToBdaddr(platform::BluetoothAddress address) {
  bdaddr_t out{};
  // bdaddr_t holds the least significant byte first.
  for (std::size_t i = 0; i < 6; ++i) out.b[i] = address.Byte(5 - i);
  return out;
}

// One exchange, shared by the caller and the thread that runs it, so the
// caller can stop waiting without the thread losing its results.
struct Exchange {
  std::mutex mutex;
  std::condition_variable_any done;
  bool finished = false;
  SdpClient::Result result = SdpClient::Result::Failed;
  std::vector<platform::ServiceRecord> records;
};

void RunExchange(const SdpClient::Api& api, platform::BluetoothAddress adapter,
                 platform::BluetoothAddress device, Exchange& exchange) {
  const bdaddr_t src = ToBdaddr(adapter);
  const bdaddr_t dst = ToBdaddr(device);
  std::vector<platform::ServiceRecord> records;
  SdpClient::Result result = SdpClient::Result::Failed;

  sdp_session_t* session = api.connect(&src, &dst, SDP_RETRY_IF_BUSY);
  if (session == nullptr) {
    result = SdpClient::Result::NoConnection;
  } else {
    uuid_t root;
    api.uuid16Create(&root, PUBLIC_BROWSE_GROUP);
    std::uint32_t range = 0x0000FFFF;  // attributes 0x0000..0xFFFF
    sdp_list_t* search = api.listAppend(nullptr, &root);
    sdp_list_t* attributes = api.listAppend(nullptr, &range);
    sdp_list_t* found = nullptr;
    if (search != nullptr && attributes != nullptr &&
        api.searchAttributes(session, search, SDP_ATTR_REQ_RANGE, attributes, &found) == 0) {
      result = SdpClient::Result::Ok;
      for (sdp_list_t* item = found; item != nullptr; item = item->next) {
        auto* record = static_cast<sdp_record_t*>(item->data);
        platform::ServiceRecord out;
        out.hasBlob = SdpClient::RecordBytes(api.genRecordPdu, record, out.blob);
        records.push_back(std::move(out));
        api.recordFree(record);
      }
      api.listFree(found, nullptr);
    }
    api.listFree(search, nullptr);
    api.listFree(attributes, nullptr);
    api.close(session);
  }

  std::lock_guard lock(exchange.mutex);
  exchange.result = result;
  exchange.records = std::move(records);
  exchange.finished = true;
  exchange.done.notify_all();
}

}  // namespace

SdpClient::SdpClient(std::string library) : m_library(std::move(library)) {}
SdpClient::~SdpClient() = default;

std::shared_ptr<const SdpClient::Api> SdpClient::LoadApi() {
  std::lock_guard lock(m_mutex);
  if (m_tried) return m_api;
  m_tried = true;
  void* library = dlopen(m_library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return nullptr;
  auto api = std::make_shared<Api>();
  if (!Resolve(library, "sdp_connect", api->connect) ||
      !Resolve(library, "sdp_close", api->close) ||
      !Resolve(library, "sdp_uuid16_create", api->uuid16Create) ||
      !Resolve(library, "sdp_list_append", api->listAppend) ||
      !Resolve(library, "sdp_list_free", api->listFree) ||
      !Resolve(library, "sdp_service_search_attr_req", api->searchAttributes) ||
      !Resolve(library, "sdp_gen_record_pdu", api->genRecordPdu) ||
      !Resolve(library, "sdp_record_free", api->recordFree)) {
    dlclose(library);
    return nullptr;
  }
  m_api = std::move(api);
  return m_api;
}

bool SdpClient::LibraryAvailable() { return LoadApi() != nullptr; }

SdpClient::Result SdpClient::Query(platform::BluetoothAddress adapter,
                                   platform::BluetoothAddress device,
                                   std::vector<platform::ServiceRecord>& records,
                                   std::stop_token cancel) {
  std::shared_ptr<const Api> api = LoadApi();
  if (!api) return Result::NoLibrary;
  if (cancel.stop_requested()) return Result::Cancelled;
  // The library blocks in connect and in the search (for a page timeout
  // and more); a thread of its own lets the caller give up at once.
  auto exchange = std::make_shared<Exchange>();
  try {
    std::thread([api, adapter, device, exchange] {
      RunExchange(*api, adapter, device, *exchange);
    }).detach();
  } catch (const std::system_error&) {
    return Result::Failed;
  }
  std::unique_lock lock(exchange->mutex);
  exchange->done.wait(lock, cancel, [&] { return exchange->finished; });
  if (!exchange->finished) return Result::Cancelled;
  if (exchange->result == Result::Ok) {
    for (auto& record : exchange->records) records.push_back(std::move(record));
  }
  return exchange->result;
}

bool SdpClient::RecordBytes(RecordWriter write, const sdp_record_t* record,
                            std::vector<std::uint8_t>& out) {
  sdp_buf_t buffer{};
  if (write(record, &buffer) < 0 || buffer.data == nullptr) {
    std::free(buffer.data);
    return false;
  }
  out.assign(buffer.data, buffer.data + buffer.data_size);
  std::free(buffer.data);
  return true;
}

}  // namespace wren::bluez
