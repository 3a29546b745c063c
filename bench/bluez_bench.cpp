// The BlueZ stack's cached object tree under a stream of property changes,
// as a busy neighbourhood sends them: signal strengths (sightings, no
// event) and names (an in-range event each), over 100 devices.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "adapters/bluez/ObjectTree.h"

namespace {

using wren::bluez::ManagedObject;
using wren::bluez::ObjectTree;
using wren::bluez::Properties;
using wren::bluez::TreeChanges;
using wren::bluez::Value;

std::string DevicePath(int i) {
  char path[64];
  std::snprintf(path, sizeof path, "/org/bluez/hci0/dev_00_02_5B_00_%02X_%02X", i / 256, i % 256);
  return path;
}

ObjectTree Crowd(int devices) {
  std::vector<ManagedObject> objects;
  objects.push_back(
      {"/org/bluez/hci0",
       {{wren::bluez::kAdapterInterface,
         {{"Address", Value::String("00:01:02:03:04:05")}, {"Powered", Value::Bool(true)}}}}});
  for (int i = 0; i < devices; ++i) {
    char address[18];
    std::snprintf(address, sizeof address, "00:02:5B:00:%02X:%02X", i / 256, i % 256);
    objects.push_back({DevicePath(i),
                       {{wren::bluez::kDeviceInterface,
                         {{"Address", Value::String(address)},
                          {"Name", Value::String("Device " + std::to_string(i))},
                          {"Class", Value::Unsigned(0x5A020C, "u")},
                          {"Paired", Value::Bool(i % 3 == 0)},
                          {"Connected", Value::Bool(false)},
                          {"RSSI", Value::Signed(-60, "n")},
                          {"UUIDs", Value::Strings({"0000110a-0000-1000-8000-00805f9b34fb"})}}}}});
  }
  ObjectTree tree;
  TreeChanges ignored;
  tree.Reset(objects, false, ignored);
  return tree;
}

void BM_SignalStrengthUpdates(benchmark::State& state) {
  ObjectTree tree = Crowd(100);
  std::vector<std::string> paths;
  for (int i = 0; i < 100; ++i) paths.push_back(DevicePath(i));
  std::size_t n = 0;
  for (auto _ : state) {
    TreeChanges changes;
    tree.ChangeProperties(paths[n % paths.size()], wren::bluez::kDeviceInterface,
                          {{"RSSI", Value::Signed(-40 - static_cast<int>(n % 40), "n")}}, {},
                          changes);
    benchmark::DoNotOptimize(changes);
    ++n;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(n));
}
BENCHMARK(BM_SignalStrengthUpdates);

void BM_NameChanges(benchmark::State& state) {
  ObjectTree tree = Crowd(100);
  std::vector<std::string> paths;
  for (int i = 0; i < 100; ++i) paths.push_back(DevicePath(i));
  std::size_t n = 0;
  for (auto _ : state) {
    TreeChanges changes;
    tree.ChangeProperties(paths[n % paths.size()], wren::bluez::kDeviceInterface,
                          {{"Name", Value::String("Storm " + std::to_string(n))}}, {}, changes);
    if (changes.radioEvents.size() != 1) state.SkipWithError("a name change is one event");
    benchmark::DoNotOptimize(changes);
    ++n;
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(n));
}
BENCHMARK(BM_NameChanges);

}  // namespace

BENCHMARK_MAIN();
