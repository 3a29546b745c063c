// Scenario files are outside input: whatever the bytes, loading gives a
// scenario or an error naming the file, never a crash, and a loaded
// scenario plays without touching anything it does not have.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bluetooth/BluetoothPlatform.h"
#include "platform/sim/Scenario.h"
#include "platform/sim/SimulatedStack.h"
#include "platform/sim/TagLocator.h"
#include "xml/XmlDocument.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

struct Sink : wren::platform::DeviceChangeSink {
  void OnDeviceChange(const wren::platform::DeviceChange& change) override {
    Check(change.eventType == wren::platform::kCustomEvent || change.eventType == wren::platform::kDeviceNodesChanged);
    ++count;
  }
  std::size_t count = 0;
};

// The loader takes element names and lines from the tag list, so the list
// must have the document's elements, in the same order and nesting.
void CheckTagsMatchTheDocument(std::string_view text) {
  wren::XmlDocument doc;
  if (!doc.SetText(text)) return;
  Check(wren::sim::TagsMatchDocument(doc, wren::sim::LocateTags(text)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckTagsMatchTheDocument(text);
  wren::sim::Scenario scenario;
  std::string error;
  if (!wren::sim::ParseScenario(text, "fuzz.xml", scenario, error)) {
    Check(error.rfind("fuzz.xml", 0) == 0);
    return 0;
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
  const std::int64_t span = scenario.repeatMs > 0 ? std::min<std::int64_t>(2 * scenario.repeatMs, 200000) : last + 1;
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
