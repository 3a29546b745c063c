// Scenario files are outside input: whatever the bytes, loading gives a
// scenario or an error naming the file, never a crash, and a loaded
// scenario plays without touching anything it does not have.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/bluetooth/BluetoothPlatform.h"
#include "adapters/sim/Scenario.h"
#include "adapters/sim/SimulatedStack.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

struct Sink : wren::platform::DeviceChangeSink {
  void OnDeviceChange(const wren::platform::DeviceChange& change) override {
    Check(change.eventType == wren::platform::kCustomEvent ||
          change.eventType == wren::platform::kDeviceNodesChanged);
    ++count;
  }
  std::size_t count = 0;
};

// Well-formed UTF-8: no stray continuation byte, no overlong form, no
// surrogate, nothing above U+10FFFF.
bool ValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80                   ? 0
                    : (c >= 0xC2 && c <= 0xDF) ? 1
                    : (c >= 0xE0 && c <= 0xEF) ? 2
                    : (c >= 0xF0 && c <= 0xF4) ? 3
                                               : 9;
    if (n == 9 || i + n >= s.size()) return false;
    std::uint32_t cp = n == 0 ? c : c & (0x3F >> n);
    for (std::size_t k = 1; k <= n; ++k) {
      const unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += n + 1;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  wren::sim::Scenario scenario;
  std::string error;
  if (!wren::sim::ParseScenario(text, "fuzz.xml", scenario, error)) {
    Check(error.rfind("fuzz.xml", 0) == 0);
    return 0;
  }
  // Every text the scenario holds is valid UTF-8 when the file's bytes are.
  if (ValidUtf8(text)) {
    Check(ValidUtf8(scenario.name));
    for (const auto& r : scenario.radios) Check(ValidUtf8(r.name) && ValidUtf8(r.id));
    for (const auto& d : scenario.devices) Check(ValidUtf8(d.name));
    for (const auto& e : scenario.timeline) Check(!e.name || ValidUtf8(*e.name));
  }
  // Every reference the loader resolved points inside the scenario.
  for (const auto& d : scenario.devices)
    for (std::size_t r : d.radios) Check(r < scenario.radios.size());
  std::int64_t last = 0;
  for (const auto& e : scenario.timeline) {
    Check(e.radio == wren::sim::kNone || e.radio < scenario.radios.size());
    Check(e.device == wren::sim::kNone || e.device < scenario.devices.size());
    Check(e.atMs >= last);
    Check(scenario.repeatMs == 0 || e.atMs < scenario.repeatMs);
    last = e.atMs;
  }

  // Play it: one scan, a service query when it does not wait, two cycles of the timeline.
  const std::int64_t span =
      scenario.repeatMs > 0 ? std::min<std::int64_t>(2 * scenario.repeatMs, 200000) : last + 1;
  const bool quickLookup = scenario.lookupMultiplier == 0;
  wren::sim::SimulatedStack stack(std::move(scenario), wren::sim::TimeMode::Stepped, "fuzz");
  wren::BluetoothPlatform bluetooth(stack);
  Sink sink, tree;
  wren::NotifyHandleList handles;
  bluetooth.RegisterRadioNotifications(sink, handles);
  auto watch = bluetooth.WatchDeviceTree(tree);
  wren::DeviceList list;
  wren::SearchParams everything;
  everything.m_returnUnknown = everything.m_returnConnected = 1;
  bluetooth.ScanDevices(list, everything);
  if (quickLookup) {
    std::string services;
    bluetooth.QueryServices("", services);
  }
  stack.AdvanceTime(span);
  list.clear();
  bluetooth.ScanDevices(list, everything);
  return 0;
}
