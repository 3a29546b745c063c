// The inspector's look inside an XmlDocument: compiled by the tests and
// fuzz targets that use it, never by the program.

#include "support/XmlDocumentInspector.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "xml/ElementIndex.h"
#include "xml/XmlDocumentImpl.h"
#include "xml/XmlScanner.h"

namespace wren {

namespace {

using Offset = std::int64_t;
using Index = std::uint32_t;
using xml::ElementEntry;

struct Walk {
  const xml::ElementIndex& index;
  Index n;
  explicit Walk(const xml::ElementIndex& i) : index(i), n(i[0].firstChild) {}
  // Next element in document order (pre-order).
  void Advance() {
    if (index[n].firstChild) {
      n = index[n].firstChild;
      return;
    }
    while (n && !index[n].next) n = index[n].parent;
    if (n) n = index[n].next;
  }
};

}  // namespace

std::string XmlDocumentInspector::FreshAttribute(const XmlDocument& doc, std::string_view name) {
  // The rules the kept tokens follow, with a cursor over the whole tag and
  // nothing kept: the first name token after the tag name that matches,
  // whose second token after is a closed quoted string.
  const XmlDocument::Impl& m = *doc.m_impl;
  if (!m.currentPos) return {};
  const std::string& text = m.text;
  xml::TokenCursor cur = m.StartTagCursor(m.currentPos);
  Offset position = 0;
  Offset matchedAt = -1;
  while (cur.Next()) {
    if (!cur.quoted && cur.length == 1) {
      char c = text[static_cast<std::size_t>(cur.first)];
      if (c == '/' || c == '>' || c == '?') return {};
    }
    if (matchedAt < 0) {
      if (position > 0 && !cur.quoted &&
          !(cur.length == 1 && text[static_cast<std::size_t>(cur.first)] == '=') &&
          xml::NameMatches(cur.Token(), name)) {
        matchedAt = position;
      }
    } else if (position == matchedAt + 2) {
      // A value without quotes, or whose closing quote is missing, is
      // never taken: rewriting it could run past the tag.
      if (!cur.quoted || !cur.closed) return {};
      return XmlDocument::DecodeValue(std::string_view(text).substr(
          static_cast<std::size_t>(cur.first), static_cast<std::size_t>(cur.length)));
    }
    ++position;
  }
  return {};
}

std::size_t XmlDocumentInspector::ElementCount(const XmlDocument& doc) {
  std::size_t count = 0;
  for (Walk w(doc.m_impl->index); w.n; w.Advance()) ++count;
  return count;
}

std::string XmlDocumentInspector::Check(const XmlDocument& doc, bool compareWithReparse) {
  const XmlDocument::Impl& m = *doc.m_impl;
  const std::string& t = m.text;
  const Offset len = static_cast<Offset>(t.size());
  const ElementEntry& top = m.E(0);
  auto at = [&](Offset i) { return (i >= 0 && i < len) ? t[static_cast<std::size_t>(i)] : '\0'; };
  auto bad = [](Index i, const char* what) { return "element " + std::to_string(i) + ": " + what; };

  if (top.start != 0 || top.endTagLength != 1 || top.parent != 0 || top.next != 0)
    return "document entry damaged";
  if (top.firstChild && top.length != len) return "document length differs from the text";
  if (top.firstChild && m.E(top.firstChild).next) return "more than one root element";

  std::size_t count = 0;
  for (Walk w(m.index); w.n; w.Advance()) {
    const Index i = w.n;
    if (i >= m.nextFree) return bad(i, "index beyond the entries taken");
    if (++count > m.nextFree) return "element links form a loop";
    const ElementEntry& e = m.E(i);
    const ElementEntry& p = m.E(e.parent);
    const Offset end = e.start + e.length;
    if (e.level != (e.parent ? p.level + 1 : 0)) return bad(i, "wrong level");
    if (e.start < 0 || e.startTagLength < 3 || e.length < e.startTagLength + e.endTagLength ||
        end > len)
      return bad(i, "extent outside the text");
    if (at(e.start) != '<' || at(e.start + e.startTagLength - 1) != '>')
      return bad(i, "start tag not where recorded");
    if (e.endTagLength == 0) {
      if (e.length != e.startTagLength || at(e.start + e.startTagLength - 2) != '/')
        return bad(i, "empty-element tag not where recorded");
      if (e.firstChild) return bad(i, "empty element with children");
    } else if (e.endTagLength < 3 || at(end - e.endTagLength) != '<' ||
               at(end - e.endTagLength + 1) != '/' || at(end - 1) != '>') {
      return bad(i, "end tag not where recorded");
    }
    if (e.parent) {
      if (e.start < p.start + p.startTagLength || end > p.start + p.length - p.endTagLength)
        return bad(i, "outside its parent's content");
    }
    const Index first = p.firstChild;
    if (first == i) {
      if (e.flags != xml::kFirstChildFlag) return bad(i, "first child without its flag");
    } else {
      if (e.flags != 0) return bad(i, "first-child flag on a later child");
      const ElementEntry& prev = m.E(e.prev);
      if (prev.next != i || prev.parent != e.parent)
        return bad(i, "previous sibling does not link back");
      if (prev.start + prev.length > e.start) return bad(i, "overlaps its previous sibling");
    }
    if (e.next) {
      if (m.E(e.next).prev != i) return bad(i, "next sibling does not link back");
    } else if (m.E(first).prev != i) {
      return bad(i, "last child not recorded at the first child");
    }
    if (e.firstChild && m.E(e.firstChild).parent != i) return bad(i, "child with another parent");
  }
  if (count != static_cast<std::size_t>(m.nextFree) - 1) return "entries taken but not linked";

  if (compareWithReparse) {
    XmlDocument fresh;
    if (fresh.SetText(std::string_view(t)) != (top.firstChild != 0))
      return "reparse: " + fresh.GetResult();
    const XmlDocument::Impl& f = *fresh.m_impl;
    Walk a(m.index);
    Walk b(f.index);
    for (; a.n && b.n; a.Advance(), b.Advance()) {
      const ElementEntry& x = m.E(a.n);
      const ElementEntry& y = f.E(b.n);
      if (x.start != y.start || x.length != y.length || x.startTagLength != y.startTagLength ||
          x.endTagLength != y.endTagLength || x.level != y.level) {
        return bad(a.n, "differs from a fresh parse of the text");
      }
    }
    if (a.n || b.n) return "element count differs from a fresh parse";
  }
  return {};
}

}  // namespace wren
