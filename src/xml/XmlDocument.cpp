#include "xml/XmlDocument.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <sys/stat.h>
#include <vector>

#include "xml/ElementIndex.h"
#include "xml/XmlDocumentImpl.h"
#include "xml/XmlScanner.h"

namespace wren {

namespace {

using Offset = std::int64_t;
using Index = std::uint32_t;
using xml::ElementEntry;

std::string Num(Offset n) { return std::to_string(n); }

std::string ByteCount(std::size_t n) { return std::to_string(n) + " bytes"; }

void AppendEncoded(std::string& out, std::string_view value, bool attribute) {
  out.reserve(out.size() + value.size() + value.size() / 10 + 7);
  std::size_t run = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char* entity = nullptr;
    switch (value[i]) {
      case '<':
        entity = "&lt;";
        break;
      case '&':
        entity = "&amp;";
        break;
      case '>':
        entity = "&gt;";
        break;
      case '\'':
        entity = attribute ? "&apos;" : nullptr;
        break;
      case '"':
        entity = attribute ? "&quot;" : nullptr;
        break;
      default:
        break;
    }
    if (entity) {
      out.append(value.data() + run, i - run);
      out.append(entity);
      run = i + 1;
    }
  }
  out.append(value.data() + run, value.size() - run);
}

// Up to U+FFFF only, as history files have always been read; a larger
// number keeps its low sixteen bits.
void AppendUtf8(std::string& out, long n) {
  if (n < 0x80) {
    out.push_back(static_cast<char>(n));
  } else if (n < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (n >> 6)));
    out.push_back(static_cast<char>(0x80 | (n & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | ((n >> 12) & 0x0F)));
    out.push_back(static_cast<char>(0x80 | ((n >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (n & 0x3F)));
  }
}

// A Unicode scalar value as UTF-8, one to four bytes.
void AppendFullUtf8(std::string& out, std::uint32_t n) {
  if (n < 0x10000) {
    AppendUtf8(out, static_cast<long>(n));
    return;
  }
  out.push_back(static_cast<char>(0xF0 | (n >> 18)));
  out.push_back(static_cast<char>(0x80 | ((n >> 12) & 0x3F)));
  out.push_back(static_cast<char>(0x80 | ((n >> 6) & 0x3F)));
  out.push_back(static_cast<char>(0x80 | (n & 0x3F)));
}

bool IsUnicodeScalar(long long n) {
  return n > 0 && n <= 0x10FFFF && !(n >= 0xD800 && n <= 0xDFFF);
}

}  // namespace

bool XmlDocument::Impl::Parse() {
  std::string kept = std::move(result);
  result.clear();
  TextChanged();
  errorOffset = -1;
  ResetPositions();
  nextFree = 1;
  index.Reserve(text.size() / 64 + 8, 1);
  bool ok = false;
  if (text.empty()) {
    result = "Empty document";
  } else {
    ClearDocumentEntry();
    Offset root = ElementPass(0);
    if (root > 0) {
      E(0).firstChild = static_cast<Index>(root);
      E(0).length = static_cast<Offset>(text.size());
      ok = true;
    }
  }
  if (!ok) {
    ClearDocumentEntry();
    nextFree = 1;
  }
  ResetPositions();
  if (!kept.empty()) {
    if (result.empty()) {
      result = std::move(kept);
    } else {
      kept += ", ";
      kept += result;
      result = std::move(kept);
    }
  }
  return ok;
}

Offset XmlDocument::Impl::ElementPass(Index top) {
  const std::string_view all(text);
  const char* t = text.data();
  auto name = [t](Offset start, Offset length) {
    return std::string(t + start, static_cast<std::size_t>(length));
  };
  xml::NodeScan node;
  std::string message;
  openNames.clear();
  Index parent = top;
  Index root = 0;
  Offset pos = 0;
  int type;
  while ((type = xml::ScanNode(all, pos, node, message)) >= 0) {
    pos = node.start + node.length;
    if (type == xml::kStartTag) {
      if (root && openNames.empty()) {
        result = "Element '" + name(node.nameStart, node.nameLength) + "' at offset " +
                 Num(node.start) + " is sibling to root";
        errorOffset = node.start;
        return -1;
      }
      Index idx = 0;
      if (!TakeEntry(idx)) {
        result = "Element '" + name(node.nameStart, node.nameLength) + "' at offset " +
                 Num(node.start) + " is beyond the element limit";
        errorOffset = node.start;
        return -1;
      }
      if (!root) root = idx;
      ElementEntry& e = E(idx);
      ElementEntry& p = E(parent);
      e.start = node.start;
      e.startTagLength = node.length;
      e.level = static_cast<std::uint32_t>(openNames.size());
      e.parent = parent;
      e.firstChild = 0;
      e.next = 0;
      if (p.firstChild) {
        const Index first = p.firstChild;
        const Index last = E(first).prev;
        E(last).next = idx;
        E(first).prev = idx;
        e.prev = last;
        e.flags = 0;
      } else {
        p.firstChild = idx;
        e.prev = idx;
        e.flags = xml::kFirstChildFlag;
      }
      if (node.empty) {
        e.endTagLength = 0;
        e.length = node.length;
      } else {
        e.endTagLength = 0;
        e.length = 0;
        parent = idx;
        openNames.push_back(node.nameLength);
      }
    } else if (type == xml::kEndTag) {
      if (openNames.empty()) {
        result = "No start tag for end tag '" + name(node.nameStart, node.nameLength) +
                 "' at offset " + Num(node.start);
        errorOffset = node.start;
        return -1;
      }
      ElementEntry& e = E(parent);
      e.length = node.start + node.length - e.start;
      e.endTagLength = node.length;
      const Offset startNameLength = openNames.back();
      openNames.pop_back();
      const std::string_view endName(t + node.nameStart, static_cast<std::size_t>(node.nameLength));
      const std::string_view startName(t + e.start + 1, static_cast<std::size_t>(startNameLength));
      if (!xml::NameMatches(endName, startName)) {
        result = "End tag '" + std::string(endName) + "' at offset " + Num(node.start + 1) +
                 " does not match start tag '" + std::string(startName) + "' at offset " +
                 Num(e.start);
        errorOffset = node.start + 1;
        return -1;
      }
      parent = e.parent;
    }
  }
  if (type == xml::kScanError) {
    result = std::move(message);
    errorOffset = node.errorAt;
    return -1;
  }
  if (!openNames.empty()) {
    const ElementEntry& e = E(parent);
    result = "Element '" + name(e.start + 1, openNames.back()) + "' at offset " + Num(e.start) +
             " not ended";
    errorOffset = e.start;
    return -1;
  }
  if (!root) {
    result = "Root element not found";
    return 0;
  }
  return root;
}

bool XmlDocument::Impl::SetAttribute(Index e, std::string_view name, std::string_view value) {
  if (!e) return false;
  scratch.clear();
  Offset first = 0;
  Offset length = 0;
  bool ampersand = false;
  Offset d = 0;
  if (FindCachedAttribute(e, name, first, length, ampersand) && ParserOpensQuoteAt(e, first - 1)) {
    AppendEncoded(scratch, value, true);
    // The kept tokens stay true: the value changes length, what follows moves.
    xml::AttributeTokens kept = std::move(attrs);
    Splice(first, length, scratch);
    d = static_cast<Offset>(scratch.size()) - length;
    const bool encodedAmpersand = scratch.find('&') != std::string::npos;
    for (xml::TagToken& k : kept.tokens) {
      if (k.first == first) {
        k.length += d;
        k.ampersand = encodedAmpersand;
      } else if (k.first > first) {
        k.first += d;
      }
    }
    if (kept.stop > first) kept.stop += d;
    kept.text = text.data();
    kept.end += d;
    if (kept.next > first) kept.next += d;
    attrs = std::move(kept);
    tokensOf = e;
  } else {
    const ElementEntry& en = E(e);
    const Offset at = en.start + en.startTagLength - (en.endTagLength == 0 ? 2 : 1);
    scratch.push_back(' ');
    scratch.append(name);
    scratch.append("=\"");
    AppendEncoded(scratch, value, true);
    scratch.push_back('"');
    // Tokens read to the tag's end, and a name that reads as one token:
    // the new pair is three more tokens before the end.
    const bool extend = tokensOf == e && attrs.complete && attrs.stop == at && PlainName(name);
    xml::AttributeTokens kept;
    if (extend) kept = std::move(attrs);
    Splice(at, 0, scratch);
    d = static_cast<Offset>(scratch.size());
    if (extend) {
      const Offset nameLength = static_cast<Offset>(name.size());
      const Offset valueLength = d - nameLength - 4;
      const std::string_view encoded = std::string_view(scratch).substr(
          static_cast<std::size_t>(nameLength + 3), static_cast<std::size_t>(valueLength));
      const bool encodedAmpersand = encoded.find('&') != std::string_view::npos;
      kept.text = text.data();
      kept.Keep(at + 1, nameLength, false, false, false, true);
      kept.Keep(at + 1 + nameLength, 1, false, false, false, false);
      kept.Keep(at + 3 + nameLength, valueLength, true, true, encodedAmpersand, false);
      kept.end += d;
      kept.next += d;
      kept.stop = at + d;
      attrs = std::move(kept);
      tokensOf = e;
    }
  }
  ElementEntry& en = E(e);
  en.startTagLength += d;
  en.length += d;
  ShiftAfter(e, d, true);
  E(0).length = static_cast<Offset>(text.size());
  return true;
}

Index XmlDocument::Impl::AddElement(Index parent, Index after, std::string_view name,
                                    std::string_view content) {
  Index idx = 0;
  if (!TakeEntry(idx)) return 0;
  const bool empty = content.empty();
  const Offset nameLength = static_cast<Offset>(name.size());
  const Offset startTagLength = empty ? nameLength + 3 : nameLength + 2;
  const Offset endTagLength = empty ? 0 : nameLength + 3;

  ElementEntry& p = E(parent);
  const bool parentEmpty = parent != 0 && p.endTagLength == 0;
  const bool parentHollow =
      parent != 0 && !parentEmpty && p.length - p.startTagLength - p.endTagLength == 0;

  Offset at = 0;
  Offset removed = 0;
  // A parent tag ending "//>" would still read as an empty-element tag
  // after losing one '/': it gets a space before its new '>'.
  bool padParent = false;
  scratch.clear();
  if (parentEmpty) {
    // "<p .../>" becomes "<p ...>" CR LF, the child, "</p>".
    at = p.start + p.startTagLength - 2;
    removed = 1;
    padParent = text[static_cast<std::size_t>(at - 1)] == '/';
    scratch.append(padParent ? " >\r\n" : ">\r\n");
  } else {
    if (after) {
      at = E(after).start + E(after).length;
    } else if (parent == 0) {
      at = static_cast<Offset>(text.size());
    } else {
      at = p.start + p.length - p.endTagLength;
    }
    const Offset len = static_cast<Offset>(text.size());
    Offset q = at;
    while (q < len &&
           xml::IsXmlSpace(static_cast<unsigned char>(text[static_cast<std::size_t>(q)])))
      ++q;
    if (q == len || text[static_cast<std::size_t>(q)] == '<') at = q;
    if (parentHollow) scratch.append("\r\n");
  }
  const Offset newStart = at + static_cast<Offset>(scratch.size());
  scratch.push_back('<');
  scratch.append(name);
  if (empty) {
    scratch.append("/>");
  } else {
    scratch.push_back('>');
    AppendEncoded(scratch, content, false);
    scratch.append("</");
    scratch.append(name);
    scratch.push_back('>');
  }
  const Offset elementLength = at + static_cast<Offset>(scratch.size()) - newStart;
  scratch.append("\r\n");
  Offset parentNameLength = 0;
  if (parentEmpty) {
    const std::string_view parentName = ScannedName(parent);
    parentNameLength = static_cast<Offset>(parentName.size());
    scratch.append("</");
    scratch.append(parentName);
  }
  Splice(at, removed, scratch);
  const Offset d = static_cast<Offset>(scratch.size()) - removed;

  ElementEntry& n = E(idx);
  n.start = newStart;
  n.length = elementLength;
  n.startTagLength = startTagLength;
  n.endTagLength = endTagLength;
  n.level = parent ? p.level + 1 : 0;
  n.parent = parent;
  n.firstChild = 0;
  const Index before = after ? after : (p.firstChild ? E(p.firstChild).prev : 0);
  if (!before) {
    p.firstChild = idx;
    n.prev = idx;
    n.next = 0;
    n.flags = xml::kFirstChildFlag;
  } else {
    ElementEntry& b = E(before);
    n.prev = before;
    n.next = b.next;
    n.flags = 0;
    if (b.next)
      E(b.next).prev = idx;
    else
      E(p.firstChild).prev = idx;
    b.next = idx;
  }

  if (parentEmpty) {
    p.startTagLength -= padParent ? 0 : 1;
    p.endTagLength = parentNameLength + 3;
    p.length += d;
    ShiftAfter(parent, d, false);
  } else {
    ShiftAfter(idx, d, false);
  }
  E(0).length = static_cast<Offset>(text.size());
  return idx;
}

// ---------------------------------------------------------------------------

XmlDocument::XmlDocument() : m_impl(std::make_unique<Impl>()) { m_impl->Parse(); }

XmlDocument::~XmlDocument() = default;

XmlDocument::XmlDocument(XmlDocument&& other) noexcept : m_impl(std::move(other.m_impl)) {
  // The moved-from document stays usable: an empty one.
  other.m_impl = std::make_unique<Impl>();
  other.m_impl->Parse();
}

XmlDocument& XmlDocument::operator=(XmlDocument&& other) noexcept {
  std::swap(m_impl, other.m_impl);
  return *this;
}

bool XmlDocument::SetText(std::string_view text) { return SetText(std::string(text)); }

bool XmlDocument::SetText(const char* text) {
  return SetText(text ? std::string(text) : std::string());
}

bool XmlDocument::SetText(std::string&& text) {
  m_impl->text = std::move(text);
  m_impl->result.clear();
  return m_impl->Parse();
}

const std::string& XmlDocument::GetText() const { return m_impl->text; }

const std::string& XmlDocument::GetResult() const { return m_impl->result; }

bool XmlDocument::LoadFile(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    m_impl->result = std::strerror(errno);
    return false;
  }
  std::string data;
  struct stat st {};
  if (fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    data.resize(static_cast<std::size_t>(st.st_size));
    data.resize(std::fread(data.data(), 1, data.size(), f));
  }
  // Whatever the size said, read on to the end.
  char chunk[65536];
  while (!std::ferror(f) && !std::feof(f)) {
    std::size_t n = std::fread(chunk, 1, sizeof chunk, f);
    data.append(chunk, n);
  }
  if (std::ferror(f)) {
    int error = errno;
    std::fclose(f);
    m_impl->result = std::strerror(error ? error : EIO);
    return false;
  }
  std::fclose(f);
  m_impl->text = std::move(data);
  m_impl->result = ByteCount(m_impl->text.size());
  return m_impl->Parse();
}

bool XmlDocument::IsWellFormed() const { return m_impl->E(0).firstChild != 0; }

std::size_t XmlDocument::GetErrorLine() const {
  const Impl& m = *m_impl;
  if (m.errorOffset < 0 || m.E(0).firstChild) return 0;
  return m.LineOf(m.errorOffset);
}

std::size_t XmlDocument::LineOfOffset(std::int64_t offset) const { return m_impl->LineOf(offset); }

std::string_view XmlDocument::GetElementName() const {
  const Impl& m = *m_impl;
  return m.currentPos ? m.ScannedName(m.currentPos) : std::string_view();
}

std::size_t XmlDocument::GetElementLine() const {
  const Impl& m = *m_impl;
  return m.currentPos ? m.LineOf(m.E(m.currentPos).start) : 0;
}

bool XmlDocument::GetAttributes(std::vector<XmlAttribute>& attributes) const {
  attributes.clear();
  return m_impl->currentPos && m_impl->Attributes(m_impl->currentPos, attributes);
}

bool XmlDocument::Impl::Attributes(Index e, std::vector<XmlAttribute>& out) const {
  const ElementEntry& en = E(e);
  const char* t = text.data();
  xml::TokenCursor cur;
  cur.text = t;
  cur.next = en.start + 1 + static_cast<Offset>(ScannedName(e).size());
  cur.end = en.start + en.startTagLength - 1;  // the '>' is not read
  auto isDelimiter = [&] {
    return !cur.quoted && xml::TokenCursor::IsDelimiter(static_cast<unsigned char>(t[cur.first]));
  };
  for (;;) {
    if (!cur.Next()) return true;
    // A '/' as the last token closes the list.
    if (!cur.quoted && cur.length == 1 && t[cur.first] == '/') {
      xml::TokenCursor after = cur;
      if (!after.Next()) return true;
    }
    if (cur.quoted || isDelimiter()) return false;
    XmlAttribute a;
    a.name = cur.Token();
    if (!cur.Next() || cur.quoted || cur.length != 1 || t[cur.first] != '=') return false;
    // A quote the scanner closed only at the tag's end leaves the value open.
    if (!cur.Next() || isDelimiter() || (cur.quoted && !cur.closed)) return false;
    a.rawValue = cur.Token();
    a.quoted = cur.quoted;
    out.push_back(a);
  }
}

void XmlDocument::ResetPosition() { m_impl->ResetPositions(); }

bool XmlDocument::FindElement(std::string_view name) {
  Impl& m = *m_impl;
  Index i = m.currentPos ? m.E(m.currentPos).next : m.E(m.parentPos).firstChild;
  for (; i; i = m.E(i).next) {
    if (m.NameIs(i, name)) {
      m.parentPos = m.E(i).parent;
      m.currentPos = i;
      m.childPos = 0;
      return true;
    }
  }
  return false;
}

bool XmlDocument::FindChildElement(std::string_view name) {
  Impl& m = *m_impl;
  if (!m.currentPos && !FindElement()) return false;
  const Index current = m.currentPos;
  Index i = m.childPos ? m.E(m.childPos).next : m.E(current).firstChild;
  for (; i; i = m.E(i).next) {
    if (m.NameIs(i, name)) {
      m.currentPos = m.E(i).parent;
      m.parentPos = m.E(m.currentPos).parent;
      m.childPos = i;
      return true;
    }
  }
  return false;
}

bool XmlDocument::EnterElement() {
  Impl& m = *m_impl;
  if (!m.currentPos) return false;
  m.parentPos = m.currentPos;
  m.currentPos = m.childPos;
  m.childPos = 0;
  return true;
}

bool XmlDocument::LeaveElement() {
  Impl& m = *m_impl;
  if (!m.parentPos) return false;
  const Index formerCurrent = m.currentPos;
  m.currentPos = m.parentPos;
  m.childPos = formerCurrent;
  m.parentPos = m.E(m.currentPos).parent;
  return true;
}

std::string XmlDocument::GetAttribute(std::string_view name) const {
  return m_impl->GetAttribute(m_impl->currentPos, name);
}

std::string XmlDocument::GetChildAttribute(std::string_view name) const {
  return m_impl->GetAttribute(m_impl->childPos, name);
}

bool XmlDocument::SetAttribute(std::string_view name, std::string_view value) {
  return m_impl->SetAttribute(m_impl->currentPos, name, value);
}

bool XmlDocument::SetAttribute(std::string_view name, std::int32_t value) {
  char buffer[16];
  int n = std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(value));
  return m_impl->SetAttribute(m_impl->currentPos, name,
                              std::string_view(buffer, static_cast<std::size_t>(n)));
}

bool XmlDocument::SetChildAttribute(std::string_view name, std::string_view value) {
  return m_impl->SetAttribute(m_impl->childPos, name, value);
}

bool XmlDocument::AddElement(std::string_view name, std::string_view content) {
  Impl& m = *m_impl;
  // A document has one root element.
  if (m.parentPos == 0 && m.E(0).firstChild != 0) return false;
  const Index added = m.AddElement(m.parentPos, m.currentPos, name, content);
  if (!added) return false;
  m.currentPos = added;
  m.childPos = 0;
  return true;
}

bool XmlDocument::AddChildElement(std::string_view name, std::string_view content) {
  Impl& m = *m_impl;
  if (!m.currentPos) return false;
  const Index added = m.AddElement(m.currentPos, m.childPos, name, content);
  if (!added) return false;
  m.childPos = added;
  return true;
}

std::string XmlDocument::DecodeValue(std::string_view raw) {
  std::string out;
  const std::size_t size = raw.size();
  const char* s = raw.data();
  const char* firstAmp = size ? xml::FindChar(s, s + size, '&') : nullptr;
  if (!firstAmp) return std::string(raw);
  out.reserve(size);
  std::size_t i = 0;
  while (i < size) {
    const void* amp = std::memchr(s + i, '&', size - i);
    if (!amp) {
      out.append(s + i, size - i);
      break;
    }
    const std::size_t a = static_cast<std::size_t>(static_cast<const char*>(amp) - s);
    out.append(s + i, a - i);
    i = a;
    if (a + 1 < size && s[a + 1] == '#') {
      // A character reference: at most seven characters between '#' and ';'.
      constexpr std::size_t kMaxReference = 7;
      std::size_t semicolon = 0;
      for (std::size_t k = a + 2; k < size && k <= a + 2 + kMaxReference; ++k) {
        if (s[k] == ';') {
          semicolon = k;
          break;
        }
      }
      if (semicolon) {
        char digits[kMaxReference + 1];
        const std::size_t count = semicolon - (a + 2);
        std::memcpy(digits, s + a + 2, count);
        digits[count] = '\0';
        const bool hex = digits[0] == 'x';
        const long n = std::strtol(hex ? digits + 1 : digits, nullptr, hex ? 16 : 10);
        if (n != 0) {
          AppendUtf8(out, n);
          i = semicolon + 1;
          continue;
        }
      }
      out.push_back('&');
      ++i;
      continue;
    }
    static constexpr struct {
      std::string_view entity;
      char value;
    } kNamed[] = {{"&lt;", '<'}, {"&amp;", '&'}, {"&gt;", '>'}, {"&apos;", '\''}, {"&quot;", '"'}};
    bool named = false;
    for (const auto& e : kNamed) {
      if (raw.substr(a, e.entity.size()) == e.entity) {
        out.push_back(e.value);
        i = a + e.entity.size();
        named = true;
        break;
      }
    }
    if (!named) {
      out.push_back('&');
      ++i;
    }
  }
  return out;
}

bool XmlDocument::DecodeValueStrict(std::string_view raw, std::string& out, std::string& bad) {
  out.clear();
  std::size_t i = 0;
  while (i < raw.size()) {
    const std::size_t amp = raw.find("&#", i);
    const std::size_t plainEnd = amp == std::string_view::npos ? raw.size() : amp;
    out += DecodeValue(raw.substr(i, plainEnd - i));
    if (amp == std::string_view::npos) break;
    // "&#" digits ";" or "&#x" hex digits ";", of any length.
    const bool hex = amp + 2 < raw.size() && raw[amp + 2] == 'x';
    std::size_t k = amp + (hex ? 3 : 2);
    const std::size_t digitsStart = k;
    unsigned long long n = 0;
    bool over = false;
    for (; k < raw.size(); ++k) {
      const char c = raw[k];
      int d = -1;
      if (c >= '0' && c <= '9')
        d = c - '0';
      else if (hex && c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
      else if (hex && c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
      if (d < 0) break;
      n = n * (hex ? 16u : 10u) + static_cast<unsigned>(d);
      if (n > 0x10FFFF) over = true, n = 0x110000;
    }
    if (k > digitsStart && k < raw.size() && raw[k] == ';') {
      if (over || !IsUnicodeScalar(static_cast<long long>(n))) {
        bad = std::string(raw.substr(amp, k + 1 - amp));
        return false;
      }
      AppendFullUtf8(out, static_cast<std::uint32_t>(n));
      i = k + 1;
      continue;
    }
    // Any other "&#": read as DecodeValue reads it, but what it would turn
    // into a character must be one.
    std::size_t semicolon = 0;
    for (std::size_t j = amp + 2; j < raw.size() && j <= amp + 9; ++j) {
      if (raw[j] == ';') {
        semicolon = j;
        break;
      }
    }
    if (semicolon) {
      const std::string digits(raw.substr(amp + 2, semicolon - amp - 2));
      const bool lenientHex = !digits.empty() && digits[0] == 'x';
      const long v = std::strtol(lenientHex ? digits.c_str() + 1 : digits.c_str(), nullptr,
                                 lenientHex ? 16 : 10);
      if (v != 0) {
        if (!IsUnicodeScalar(v)) {
          bad = std::string(raw.substr(amp, semicolon + 1 - amp));
          return false;
        }
        AppendFullUtf8(out, static_cast<std::uint32_t>(v));
        i = semicolon + 1;
        continue;
      }
    }
    out.push_back('&');
    i = amp + 1;
  }
  return true;
}

std::string XmlDocument::EncodeAttributeValue(std::string_view value) {
  std::string out;
  AppendEncoded(out, value, true);
  return out;
}

std::string XmlDocument::EncodeContent(std::string_view value) {
  std::string out;
  AppendEncoded(out, value, false);
  return out;
}

}  // namespace wren
