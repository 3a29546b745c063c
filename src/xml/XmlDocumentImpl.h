#pragma once
// Inside the XML engine: what an XmlDocument holds, the text and the index
// of its elements, and the steps its operations are made of. For the
// engine's own sources and for test support (a friend of XmlDocument);
// nothing else includes it.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "xml/ElementIndex.h"
#include "xml/XmlDocument.h"
#include "xml/XmlScanner.h"

namespace wren {

struct XmlDocument::Impl {
  using Offset = std::int64_t;
  using Index = std::uint32_t;
  using ElementEntry = xml::ElementEntry;

  std::string text;
  std::string result;
  Index parentPos = 0;
  Index currentPos = 0;
  Index childPos = 0;
  Index nextFree = 1;
  xml::ElementIndex index;
  std::vector<Offset> openNames;  // parser: name length of each open element
  std::string scratch;            // text being built for a splice
  Offset errorOffset = -1;        // where the last failed parse stopped
  // The tokens of one start tag, kept while reads go on at that element:
  // a record of nine attributes is then cut once, not nine times.
  mutable Index tokensOf = 0;
  mutable xml::AttributeTokens attrs;
  // Offsets of the text's line feeds, gathered on the first line asked for.
  mutable std::vector<Offset> newlines;
  mutable bool newlinesReady = false;

  Impl() {
    index.Reserve(8, 0);
    ClearDocumentEntry();
  }

  ElementEntry& E(Index i) { return index[i]; }
  const ElementEntry& E(Index i) const { return index[i]; }

  void ClearDocumentEntry() { E(0) = ElementEntry{0, 0, 0, 1, 0, 0, 0, 0, 0, 0}; }
  void ResetPositions() { parentPos = currentPos = childPos = 0; }

  // Any change of the text drops what was read from it.
  void TextChanged() {
    tokensOf = 0;
    if (newlinesReady) {
      newlinesReady = false;
      newlines.clear();
    }
  }

  std::size_t LineOf(Offset offset) const {
    if (!newlinesReady) {
      newlines.clear();
      const char* t = text.data();
      const std::size_t size = text.size();
      for (const char* p = t; (p = static_cast<const char*>(
                                   std::memchr(p, '\n', size - static_cast<std::size_t>(p - t))));
           ++p) {
        newlines.push_back(p - t);
      }
      newlinesReady = true;
    }
    return 1 + static_cast<std::size_t>(std::lower_bound(newlines.begin(), newlines.end(), offset) -
                                        newlines.begin());
  }

  bool TakeEntry(Index& idx) {
    if (nextFree >= xml::ElementIndex::kMaxEntries) return false;
    if (nextFree >= index.Reserved()) {
      std::size_t n = nextFree;
      index.Reserve(std::max(n + n / 2, n + 1), n);
    }
    idx = nextFree++;
    return true;
  }

  bool Parse();
  Offset ElementPass(Index top);

  // The tag name as the parser reads it: up to white space, '/' or '>'.
  std::string_view ScannedName(Index e) const {
    const ElementEntry& en = E(e);
    const char* t = text.data();
    Offset i = en.start + 1;
    const Offset end = en.start + en.startTagLength;
    while (i < end) {
      char c = t[i];
      if (xml::IsXmlSpace(static_cast<unsigned char>(c)) || c == '/' || c == '>') break;
      ++i;
    }
    return {t + en.start + 1, static_cast<std::size_t>(i - en.start - 1)};
  }

  xml::TokenCursor StartTagCursor(Index e) const {
    const ElementEntry& en = E(e);
    xml::TokenCursor cur;
    cur.text = text.data();
    cur.end = en.start + en.startTagLength;
    cur.next = en.start + 1;
    return cur;
  }

  bool NameIs(Index e, std::string_view name) const {
    if (name.empty()) return true;
    xml::TokenCursor cur = StartTagCursor(e);
    return cur.Next() && xml::NameMatches(cur.Token(), name);
  }

  // Whether the parser, reading e's start tag, sees `quote` as opening a
  // quoted value after the tag name, as the tokenizer does. Only such a
  // value can be rewritten without changing where the parser ends the tag.
  bool ParserOpensQuoteAt(Index e, Offset quote) const {
    const Offset nameEnd = E(e).start + 1 + static_cast<Offset>(ScannedName(e).size());
    if (quote < nameEnd) return false;
    const char* t = text.data();
    char open = 0;
    for (Offset i = nameEnd; i < quote; ++i) {
      const char c = t[i];
      if (open) {
        if (c == open) open = 0;
      } else if (c == '"' || c == '\'') {
        open = c;
      }
    }
    return open == 0;
  }

  // The quoted value of attribute `name` in e's start tag, quotes
  // excluded, read over the kept tokens of that tag: a record read
  // attribute by attribute cuts its tag once. Tests hold it to a fresh
  // read of the tag (XmlDocumentInspector::FreshAttribute).
  bool FindCachedAttribute(Index e, std::string_view name, Offset& first, Offset& length,
                           bool& ampersand) const {
    if (tokensOf != e) {
      attrs.Begin(text.data(), E(e).start, E(e).start + E(e).startTagLength);
      tokensOf = e;
    }
    return attrs.Find(name, first, length, ampersand);
  }

  std::string GetAttribute(Index e, std::string_view name) const {
    if (!e) return {};
    Offset first = 0;
    Offset length = 0;
    bool ampersand = false;
    if (!FindCachedAttribute(e, name, first, length, ampersand)) return {};
    // Without a '&' there is nothing to decode: DecodeValue would copy.
    if (!ampersand) return std::string(text.data() + first, static_cast<std::size_t>(length));
    return DecodeValue(std::string_view(text.data() + first, static_cast<std::size_t>(length)));
  }

  bool Attributes(Index e, std::vector<XmlAttribute>& out) const;

  // A name the tokenizer reads as one token, whatever follows it.
  static bool PlainName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
      if (c == '"' || c == '\'' || xml::TokenCursor::IsDelimiter(static_cast<unsigned char>(c)))
        return false;
    }
    return true;
  }

  bool SetAttribute(Index e, std::string_view name, std::string_view value);
  Index AddElement(Index parent, Index after, std::string_view name, std::string_view content);

  void Splice(Offset at, Offset removed, std::string_view inserted) {
    TextChanged();
    const std::size_t newLength = text.size() - static_cast<std::size_t>(removed) + inserted.size();
    if (newLength > text.capacity()) text.reserve(newLength + newLength / 2 + 128);
    text.replace(static_cast<std::size_t>(at), static_cast<std::size_t>(removed), inserted.data(),
                 inserted.size());
  }

  // Moves `top` and everything inside it by d. Iterative: depth is input.
  void ShiftSubtree(Index top, Offset d) {
    Index n = top;
    for (;;) {
      ElementEntry& en = E(n);
      en.start += d;
      if (en.firstChild) {
        n = en.firstChild;
        continue;
      }
      while (n != top && !E(n).next) n = E(n).parent;
      if (n == top) return;
      n = E(n).next;
    }
  }

  // After an edit of d bytes inside element x: everything later in the
  // text moves, every element around x grows. x itself is set by the edit.
  void ShiftAfter(Index x, Offset d, bool withDescendants) {
    if (d == 0) return;
    if (withDescendants) {
      for (Index c = E(x).firstChild; c; c = E(c).next) ShiftSubtree(c, d);
    }
    for (Index n = x; n != 0; n = E(n).parent) {
      for (Index s = E(n).next; s; s = E(s).next) ShiftSubtree(s, d);
      E(E(n).parent).length += d;
    }
  }
};

}  // namespace wren
