#include "core/refdata/VendorDatabase.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "base/BluetoothAddress.h"
#include "xml/XmlDocument.h"

// The database file, linked into the program by the build.
extern "C" const char wren_vendor_db[];
extern const std::size_t wren_vendor_db_size;

namespace wren {
namespace {

constexpr std::string_view kRootName = "Macaddresses";

// "00-0A-D9" → 0x000AD9. Only texts of exactly that form pack; every other
// text keeps its own bytes, so both kinds compare exactly as texts do.
bool PackPrefix(std::string_view text, std::uint32_t& key) {
  return BluetoothAddress::ParseVendorPrefix(text, key);
}

}  // namespace

VendorDatabase::VendorDatabase() = default;
VendorDatabase::~VendorDatabase() = default;

void VendorDatabase::Clear() {
  m_names.clear();
  m_keys.clear();
  m_keyNames.clear();
  m_other.clear();
}

std::string_view VendorDatabase::NameText(Name name) const {
  return std::string_view(m_names).substr(name.offset, name.length);
}

int VendorDatabase::LoadVendorDatabase() {
  return LoadFromText(std::string_view(wren_vendor_db, wren_vendor_db_size));
}

int VendorDatabase::LoadFromText(std::string_view xml) {
  Clear();
  XmlDocument document;
  if (!document.SetText(xml)) return 0;
  document.ResetPosition();
  if (!document.FindElement(kRootName) || !document.EnterElement()) return 0;

  // Every child of the root counts, whatever its name, in document order.
  struct Packed {
    std::uint32_t key;
    Name name;
  };
  std::vector<Packed> packed;
  std::vector<TextEntry> other;
  packed.reserve(xml.size() / 96 + 16);
  while (document.FindElement()) {
    std::string addr = document.GetAttribute("addr");
    std::string company = document.GetAttribute("company");
    if (company.size() > std::numeric_limits<std::uint32_t>::max() - m_names.size()) {
      Clear();
      return 0;
    }
    Name name{static_cast<std::uint32_t>(m_names.size()),
              static_cast<std::uint32_t>(company.size())};
    m_names += company;
    std::uint32_t key = 0;
    if (PackPrefix(addr, key)) {
      packed.push_back({key, name});
    } else {
      other.push_back({std::move(addr), name});
    }
  }

  // Stable sorts keep document order among equal prefixes, so the first
  // entry of a repeated prefix is the one kept: the answer a walk through
  // the children would give.
  std::stable_sort(packed.begin(), packed.end(),
                   [](const Packed& a, const Packed& b) { return a.key < b.key; });
  m_keys.reserve(packed.size());
  m_keyNames.reserve(packed.size());
  for (const Packed& entry : packed) {
    if (!m_keys.empty() && m_keys.back() == entry.key) continue;
    m_keys.push_back(entry.key);
    m_keyNames.push_back(entry.name);
  }

  std::stable_sort(other.begin(), other.end(),
                   [](const TextEntry& a, const TextEntry& b) { return a.addr < b.addr; });
  other.erase(std::unique(other.begin(), other.end(),
                          [](const TextEntry& a, const TextEntry& b) { return a.addr == b.addr; }),
              other.end());
  m_other = std::move(other);
  m_names.shrink_to_fit();
  return 1;
}

int VendorDatabase::LookUpVendor(std::string& company, std::string_view prefix) const {
  std::uint32_t key = 0;
  if (PackPrefix(prefix, key)) {
    auto it = std::lower_bound(m_keys.begin(), m_keys.end(), key);
    if (it == m_keys.end() || *it != key) return 0;
    company.assign(NameText(m_keyNames[static_cast<std::size_t>(it - m_keys.begin())]));
    return 1;
  }
  auto it = std::lower_bound(m_other.begin(), m_other.end(), prefix,
                             [](const TextEntry& entry, std::string_view text) {
                               return std::string_view(entry.addr) < text;
                             });
  if (it == m_other.end() || it->addr != prefix) return 0;
  company.assign(NameText(it->name));
  return 1;
}

std::size_t VendorDatabase::size() const { return m_keys.size() + m_other.size(); }

}  // namespace wren
