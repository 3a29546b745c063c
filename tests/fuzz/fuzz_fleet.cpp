// Any bytes as a message on the collector's topic: the first line is the
// topic, the rest the payload. Also the first line as a broker address.
// Properties that must hold for every input are checked.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/fleet/DeviceJson.h"
#include "core/fleet/FleetCollector.h"
#include "core/fleet/Topics.h"

namespace {

void Require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz_fleet: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t newline = input.find('\n');
  const std::string_view topic = input.substr(0, newline);
  const std::string_view payload =
      newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);

  wren::DeviceHistory history;
  wren::fleet::FleetCollector collector(history);
  std::string reason;
  const auto outcome = collector.Collect(topic, payload, reason);
  if (outcome == wren::fleet::CollectOutcome::Refused) {
    Require(!reason.empty(), "a refusal without a reason");
    Require(history.Size() == 0, "a refused record reached the history");
  } else {
    Require(history.Size() == 1, "a merged record is not the one entry");
    const wren::DeviceRecord& entry = history.List().front();
    Require(wren::fleet::IsDeviceAddress(entry.m_address), "an entry without a valid address");
    // What the collector keeps encodes and reads back the same.
    wren::DeviceRecord back;
    std::string error;
    Require(wren::ParseDeviceJson(wren::DeviceJson(entry), back, error),
            "an entry's own JSON does not read back");
    Require(back.m_address == entry.m_address, "the address changed on the round trip");
  }

  wren::platform::MqttConnectOptions options;
  std::string error;
  if (wren::fleet::ParseMqttUrl(topic, options, error)) {
    Require(!options.host.empty(), "a broker address without a host");
    Require(options.port >= 1 && options.port <= 65535, "a port out of range");
  } else {
    Require(!error.empty(), "a bad broker address without a reason");
  }
  return 0;
}
