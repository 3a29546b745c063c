#pragma once
// BlueZ's objects as plain values: what the D-Bus side hands over after
// reading a message, before anything is interpreted. The D-Bus adapter
// fills these; the object tree reads them. No Qt here.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace wren::bluez {

// One property value, reduced to the kinds the program reads. A value of
// any other D-Bus type arrives as Other with a readable rendering, so the
// property sheet can still show it and nothing reads it as a number.
struct Value {
  enum class Kind { Bool, Signed, Unsigned, Double, String, ObjectPath, StringList, Other };
  Kind kind = Kind::Other;
  bool boolean = false;
  std::int64_t signedValue = 0;
  std::uint64_t unsignedValue = 0;
  double doubleValue = 0;
  std::string text;               // String, ObjectPath; the rendering of Other
  std::vector<std::string> list;  // StringList
  std::size_t dropped = 0;        // StringList: items beyond kMaxListItems, not kept
  std::string signature;          // the D-Bus type signature, as received
  // A map of byte arrays (a{qv} ManufacturerData, a{sv} ServiceData) is
  // Other like any container, and carries besides each entry whose value is
  // a byte array, in the order received: the number key (q) or the text key
  // (s), and the bytes. At most kMaxByteMapEntries entries of kMaxByteArray bytes.
  struct ByteEntry {
    std::uint64_t number = 0;
    std::string key;
    std::vector<std::uint8_t> bytes;
    bool operator==(const ByteEntry&) const = default;
  };
  std::vector<ByteEntry> byteMap;

  static Value Bool(bool v);
  static Value Signed(std::int64_t v, std::string signature = "x");
  static Value Unsigned(std::uint64_t v, std::string signature = "t");
  static Value Real(double v, std::string signature = "d");
  static Value String(std::string v);
  static Value Path(std::string v);
  static Value Strings(std::vector<std::string> v);
  static Value Other(std::string rendering, std::string signature);
};

using Properties = std::map<std::string, Value>;       // property name -> value
using Interfaces = std::map<std::string, Properties>;  // interface name -> properties

struct ManagedObject {
  std::string path;
  Interfaces interfaces;
};

inline constexpr const char* kAdapterInterface = "org.bluez.Adapter1";
inline constexpr const char* kDeviceInterface = "org.bluez.Device1";

// Bounds on what one reply may make us keep. BlueZ never sends more; a
// peer that does gets cut here instead of growing our memory.
inline constexpr std::size_t kMaxStringBytes = 4096;  // any string property
inline constexpr std::size_t kMaxNameBytes = 248;     // a Bluetooth name (Core limit)
// A device lists a few dozen service UUIDs; a list this long is kept whole
// so that nothing a real peer sends is lost. Beyond it the rest is dropped,
// counted in Value::dropped and said in the value's text and the log.
inline constexpr std::size_t kMaxListItems = 16384;   // string lists
inline constexpr std::size_t kMaxByteMapEntries = 256;  // entries kept of a byte map
inline constexpr std::size_t kMaxByteArray = 1024;      // one value of a byte map

// `text` cut to at most `maxBytes` bytes, never inside a UTF-8 sequence.
std::string CutUtf8(std::string text, std::size_t maxBytes);

// The value as the property sheet shows it.
std::string ValueText(const Value& value);

}  // namespace wren::bluez
