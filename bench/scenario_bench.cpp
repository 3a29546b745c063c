// Loading scenario files with many devices and many timeline events. The
// two sizes of each show whether the time grows with the file or faster.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "adapters/sim/Scenario.h"

namespace {

std::string Address(long i) {
  char text[18];
  std::snprintf(text, sizeof text, "00:1B:%02lX:%02lX:%02lX:%02lX", (i >> 24) & 0xFF,
                (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);
  return text;
}

// `devices` devices, one radio; each with a name.
std::string DeviceFile(long devices) {
  std::string t = "<?xml version=\"1.0\"?>\n<scenario name=\"devices\">\n";
  t += "<radio id=\"a\" address=\"00:02:5B:00:00:01\" name=\"Desk\"/>\n";
  for (long i = 0; i < devices; ++i) {
    t += "<device address=\"" + Address(i) + "\" name=\"Device " + std::to_string(i) +
         "\" class=\"0x5A020C\" radios=\"a\"/>\n";
  }
  t += "</scenario>\n";
  return t;
}

// One radio, 100 devices, `events` timeline events naming them.
std::string EventFile(long events) {
  std::string t = "<?xml version=\"1.0\"?>\n<scenario name=\"events\">\n";
  t += "<radio id=\"a\" address=\"00:02:5B:00:00:01\"/>\n";
  for (long i = 0; i < 100; ++i) t += "<device address=\"" + Address(i) + "\"/>\n";
  t += "<timeline>\n";
  for (long i = 0; i < events; ++i) {
    const std::string at = std::to_string(i / 10) + "." + std::to_string(i % 10);
    if (i % 2 == 0)
      t += "<in-range at=\"" + at + "\" device=\"" + Address(i % 100) +
           "\" flags=\"0x3\" radio=\"a\"/>\n";
    else
      t += "<out-of-range at=\"" + at + "\" device=\"" + Address(i % 100) + "\"/>\n";
  }
  t += "</timeline>\n</scenario>\n";
  return t;
}

void Load(benchmark::State& state, const std::string& text, std::size_t expected, bool events) {
  for (auto _ : state) {
    wren::sim::Scenario s;
    std::string error;
    if (!wren::sim::ParseScenario(text, "bench.xml", s, error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    if ((events ? s.timeline.size() : s.devices.size()) != expected)
      state.SkipWithError("wrong count");
    benchmark::DoNotOptimize(s);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(expected));
}

void BM_LoadScenarioDevices(benchmark::State& state) {
  const std::string text = DeviceFile(state.range(0));
  Load(state, text, static_cast<std::size_t>(state.range(0)), false);
}
BENCHMARK(BM_LoadScenarioDevices)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

void BM_LoadScenarioEvents(benchmark::State& state) {
  const std::string text = EventFile(state.range(0));
  Load(state, text, static_cast<std::size_t>(state.range(0)), true);
}
BENCHMARK(BM_LoadScenarioEvents)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
