#pragma once
// Company names by vendor prefix (the first three bytes of a Bluetooth
// address, written "%02X-%02X-%02X"), from the database compiled into the
// program.
//
// Loading parses the database once and keeps only a read-only index; the
// document itself is not kept. Lookups never change the object, so any
// number of scan workers may call LookUpVendor at the same time without a
// lock. Loading must not run while lookups are in progress.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wren {

class VendorDatabase {
public:
  VendorDatabase();
  virtual ~VendorDatabase();

  // Parses the embedded database and builds the index; 1 on success, 0 when
  // it cannot be parsed (lookups then fail).
  int LoadVendorDatabase();
  // The same over any text in the database format. 0 also when the text has
  // no "Macaddresses" root; the index is then empty.
  int LoadFromText(std::string_view xml);
  // 1 and `company` set when an entry's "addr" equals `prefix` byte for
  // byte; 0 and `company` unchanged otherwise. Safe from many threads at once.
  int LookUpVendor(std::string& company, std::string_view prefix) const;
  std::size_t size() const;  // number of indexed prefixes

private:
  struct Name {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
  };
  // Any other "addr" text (empty, lower case, odd lengths), sorted by text.
  struct TextEntry {
    std::string addr;
    Name name;
  };

  void Clear();
  std::string_view NameText(Name name) const;

  std::string m_names;  // every company name, back to back
  // Canonical prefixes ("00-0A-D9") packed into 24 bits, sorted, with the
  // name of each at the same position.
  std::vector<std::uint32_t> m_keys;
  std::vector<Name> m_keyNames;
  std::vector<TextEntry> m_other;
};

}  // namespace wren
