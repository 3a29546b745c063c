// One scan of a simulated stack with 1,000 remote devices, with the vendor
// and class lookups every record makes; and loading scenario files.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "core/bluetooth/BluetoothPlatform.h"
#include "adapters/sim/Scenario.h"
#include "adapters/sim/SimulatedStack.h"

namespace {

using wren::sim::Scenario;

// Vendor prefixes listed in the database, and some that are not.
const std::uint64_t kPrefixes[] = {0x00152A, 0x0000F0, 0x000389, 0x001F20, 0x0009BF, 0x0001E6,
                                   0x000085, 0x00065B, 0x00000C, 0x02ABCD, 0xFCFFAA, 0x0A0B0C};
const std::uint32_t kClasses[] = {0x5A020C, 0x520204, 0x200404, 0x002540, 0x000580, 0x000504,
                                  0x040680, 0x080620, 0x12010C, 0x020320, 0x001F00, 0x000000};

Scenario Crowd(int radios, int devices) {
  Scenario s;
  for (int r = 0; r < radios; ++r) {
    wren::sim::SimRadio radio;
    radio.id = "r" + std::to_string(r);
    radio.address = 0x00025B000000ULL + static_cast<std::uint64_t>(r);
    radio.name = "Radio " + std::to_string(r);
    radio.classOfDevice = 0x02010C;
    s.radios.push_back(radio);
  }
  for (int i = 0; i < devices; ++i) {
    wren::sim::SimDevice d;
    d.address = (kPrefixes[i % 12] << 24) | static_cast<std::uint64_t>(i);
    d.name = "Device " + std::to_string(i);
    d.classOfDevice = kClasses[(i / 12) % 12];
    d.remembered = true;
    d.authenticated = i % 3 != 0;
    d.lastSeen = {2024, 5, 14, 10, i % 60, i % 60};
    d.lastUsed = i % 5 ? wren::platform::UtcTime{2024, 5, 13, 9, 30, 0} : wren::platform::UtcTime{};
    if (radios > 1) d.radios = {static_cast<std::size_t>(i % radios)};
    s.devices.push_back(d);
  }
  return s;
}

void Scan(benchmark::State& state, int radios, bool vendors) {
  wren::sim::SimulatedStack stack(Crowd(radios, static_cast<int>(state.range(0))),
                                  wren::sim::TimeMode::Stepped);
  wren::BluetoothPlatform bluetooth(stack);
  if (vendors && !bluetooth.LoadVendorDatabase())
    state.SkipWithError("vendor database did not load");
  std::size_t records = 0;
  for (auto _ : state) {
    wren::DeviceList list;
    bluetooth.ScanDevices(list, wren::SearchParams());
    records = list.size();
    benchmark::DoNotOptimize(list);
  }
  state.counters["records"] = static_cast<double>(records);
  state.counters["records/s"] =
      benchmark::Counter(static_cast<double>(records) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

void BM_ScanDevices(benchmark::State& state) { Scan(state, 1, true); }
void BM_ScanDevicesTwoRadios(benchmark::State& state) { Scan(state, 2, true); }
void BM_ScanDevicesNoVendors(benchmark::State& state) { Scan(state, 1, false); }
BENCHMARK(BM_ScanDevices)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScanDevicesTwoRadios)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScanDevicesNoVendors)->Arg(1000)->Unit(benchmark::kMicrosecond);

// A scenario file of 1,000 devices, each with one service record.
std::string CrowdFile(int devices) {
  std::string text =
      "<?xml version=\"1.0\"?>\n<scenario name=\"crowd\">\n"
      "  <radio id=\"a\" address=\"00:02:5B:00:00:01\" name=\"Alpha\"/>\n";
  char line[512];
  for (int i = 0; i < devices; ++i) {
    std::snprintf(
        line, sizeof line,
        "  <device address=\"00:15:2A:00:%02X:%02X\" name=\"Device %d\" class=\"0x5A020C\" "
        "remembered=\"yes\"\n"
        "          last-seen=\"2024-05-14 10:00:00\" last-used=\"never\">\n"
        "    <record><attr id=\"0x0100\"><text value=\"Serial Port\"/></attr>"
        "<attr id=\"0x0102\"><text value=\"Maker &amp; Co\"/></attr></record>\n  </device>\n",
        (i >> 8) & 0xFF, i & 0xFF, i);
    text += line;
  }
  return text + "</scenario>\n";
}

void BM_ParseScenario(benchmark::State& state) {
  const std::string text = CrowdFile(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    Scenario s;
    std::string error;
    if (!wren::sim::ParseScenario(text, "crowd.xml", s, error)) state.SkipWithError(error.c_str());
    benchmark::DoNotOptimize(s);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(text.size()) * state.iterations());
}
BENCHMARK(BM_ParseScenario)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_LoadDemoScenario(benchmark::State& state) {
  for (auto _ : state) {
    Scenario s;
    std::string error;
    wren::sim::LoadDemoScenario(s, error);
    benchmark::DoNotOptimize(s);
  }
}
BENCHMARK(BM_LoadDemoScenario)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
