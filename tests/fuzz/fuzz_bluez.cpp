// What reaches the BlueZ stack from outside: BlueZ's record cache files,
// the device-times file, and object-manager traffic of any shape. The
// first byte picks which; the rest is the input.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/SdpDecoder.h"
#include "adapters/bluez/DeviceTimes.h"
#include "adapters/bluez/ObjectTree.h"
#include "adapters/bluez/ServiceCache.h"

namespace {

using wren::bluez::Value;

// Reads the input as a byte stream, 0 once it is used up.
struct Reader {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos = 0;
  bool Done() const { return pos >= size; }
  std::uint8_t Byte() { return pos < size ? data[pos++] : 0; }
  std::string Text() {
    std::size_t n = Byte() % 24;
    std::string out;
    while (n-- > 0 && !Done()) out.push_back(static_cast<char>(Byte()));
    return out;
  }
};

const char* const kNames[] = {"Address", "Name",      "Alias", "Class",   "Paired",  "Bonded",
                              "Trusted", "Connected", "RSSI",  "Adapter", "Powered", "UUIDs"};
const char* const kPaths[] = {"/org/bluez/hci0",
                              "/org/bluez/hci1",
                              "/org/bluez/hci0/dev_00_1A_2B_3C_4D_5E",
                              "/org/bluez/hci0/dev_00_1A_2B_3C_4D_5F",
                              "/org/bluez/hci1/dev_00_1A_2B_3C_4D_5E",
                              "/",
                              "/org/bluez/hci0/dev_zz"};
const char* const kInterfaces[] = {wren::bluez::kAdapterInterface, wren::bluez::kDeviceInterface,
                                   "org.bluez.Battery1"};

Value AnyValue(Reader& r) {
  switch (r.Byte() % 7) {
    case 0:
      return Value::Bool(r.Byte() & 1);
    case 1:
      return Value::Signed(static_cast<std::int8_t>(r.Byte()) * 1000, "i");
    case 2:
      return Value::Unsigned(static_cast<std::uint64_t>(r.Byte()) << (r.Byte() % 40), "u");
    case 3:
      return Value::String(r.Byte() & 1 ? "00:1A:2B:3C:4D:5E" : r.Text());
    case 4:
      return Value::Path(kPaths[r.Byte() % 7]);
    case 5:
      return Value::Strings({r.Text(), r.Text()});
    default:
      return Value::Other(r.Text(), "a{sv}");
  }
}

wren::bluez::Properties AnyProperties(Reader& r) {
  wren::bluez::Properties out;
  for (int n = r.Byte() % 6; n > 0; --n) out[kNames[r.Byte() % 12]] = AnyValue(r);
  return out;
}

void Tree(Reader& r) {
  wren::bluez::ObjectTree tree;
  wren::bluez::TreeChanges changes;
  while (!r.Done()) {
    const std::string path = kPaths[r.Byte() % 7];
    const std::string interface = kInterfaces[r.Byte() % 3];
    switch (r.Byte() % 5) {
      case 0:
        tree.AddInterfaces({path, {{interface, AnyProperties(r)}}}, changes);
        break;
      case 1:
        tree.RemoveInterfaces(path, {interface}, changes);
        break;
      case 2:
        tree.ChangeProperties(path, interface, AnyProperties(r), {kNames[r.Byte() % 12]}, changes);
        break;
      case 3:
        tree.Reset({{path, {{interface, AnyProperties(r)}}}}, r.Byte() & 1, changes);
        break;
      default:
        tree.Clear(changes);
        break;
    }
    for (const auto* a : tree.Adapters())
      for (const auto* d : tree.DevicesOf(a->path))
        if (d->name.size() > wren::bluez::kMaxNameBytes ||
            !(d->Flags() & wren::platform::kFlagAddress))
          __builtin_trap();
    changes = {};
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 3) {
    case 0: {
      std::vector<wren::platform::ServiceRecord> records;
      wren::bluez::ParseCachedRecords(text, records);
      for (const auto& r : records) wren::sdp::CollectRecordStrings(r.blob);
      break;
    }
    case 1: {
      wren::bluez::DeviceTimes times;
      std::size_t skipped = 0;
      times.Parse(text, skipped);
      // What we write, we read back the same.
      wren::bluez::DeviceTimes again;
      again.Parse(times.Serialize(), skipped);
      if (skipped != 0 || again.Serialize() != times.Serialize()) __builtin_trap();
      break;
    }
    default: {
      Reader r{data + 1, size - 1};
      Tree(r);
      break;
    }
  }
  return 0;
}
