// Any bytes as a document: the parse, a walk over every element with its
// attributes, then edits; the element index must still describe the text,
// and the edited text of a well-formed document must parse to the same
// elements. The fast node scanner must agree with the stepwise rules.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "support/XmlDocumentInspector.h"
#include "xml/XmlChildReader.h"
#include "xml/XmlDocument.h"
#include "xml/XmlScanner.h"

namespace {

void Require(bool ok, const char* what, const std::string& detail = {}) {
  if (ok) return;
  std::fprintf(stderr, "fuzz_xml: %s %s\n", what, detail.c_str());
  std::abort();
}

void CompareScanners(std::string_view text) {
  using namespace wren::xml;
  std::int64_t fast = 0;
  std::int64_t slow = 0;
  for (;;) {
    NodeScan a;
    NodeScan b;
    std::string ma;
    std::string mb;
    int ta;
    int tb;
    // Character data may be cut differently; skip it on both sides.
    do {
      ta = ScanNode(text, fast, a, ma);
      fast = a.start + a.length;
    } while (ta == kText || ta == kWhitespace);
    do {
      tb = ScanNodeStepwise(text, slow, b, mb);
      slow = b.start + b.length;
    } while (tb == kText || tb == kWhitespace);
    Require(ta == tb && a.start == b.start, "scanners disagree on a node at",
            std::to_string(a.start));
    if (ta < 0) {
      Require(ma == mb, "scanners disagree on the message", ma + " / " + mb);
      Require(ta != kScanError || a.errorAt == b.errorAt, "scanners disagree on the fault's offset",
              ma);
      return;
    }
    Require(a.length == b.length && a.nameStart == b.nameStart && a.nameLength == b.nameLength,
            "scanners disagree on a node's extent at", std::to_string(a.start));
    Require(ta != kStartTag || a.empty == b.empty, "scanners disagree on an empty tag at",
            std::to_string(a.start));
  }
}

bool HasTagDelimiter(std::string_view name) {
  for (char c : name)
    if (wren::xml::TokenCursor::IsDelimiter(static_cast<unsigned char>(c))) return true;
  return false;
}

// Attribute reads after an edit give what a fresh read of the tag gives.
void CheckReads(const wren::XmlDocument& doc) {
  for (std::string_view probe : {"a", "id", "b", "x"})
    Require(doc.GetAttribute(probe) == wren::XmlDocumentInspector::FreshAttribute(doc, probe),
            "kept tokens stale after an edit for", std::string(probe));
}

// The current element through the reading API: kept tokens and a fresh
// read agree, the attribute walk agrees with lookups by name wherever the
// two read a tag alike, and lines never go back in document order.
void CheckCurrent(const wren::XmlDocument& doc, std::size_t& lastLine) {
  const std::string_view text = doc.GetText();
  const std::string_view name = doc.GetElementName();
  Require(!name.empty() && name.data() > text.data() &&
              name.data() + name.size() <= text.data() + text.size(),
          "element name outside the text");
  const std::size_t line = doc.GetElementLine();
  Require(line >= lastLine && line <= doc.LineOfOffset(static_cast<std::int64_t>(text.size())),
          "element line out of order:", std::to_string(line));
  lastLine = line;
  for (std::string_view probe : {"a", "id", "b", "x"})
    Require(doc.GetAttribute(probe) == wren::XmlDocumentInspector::FreshAttribute(doc, probe),
            "kept tokens and a fresh read differ for", std::string(probe));
  std::vector<wren::XmlAttribute> attributes;
  const bool plain = doc.GetAttributes(attributes);
  bool allQuoted = true;
  const char* last = name.data();
  for (const auto& a : attributes) {
    Require(!a.name.empty() && a.name.data() > last && a.rawValue.data() > a.name.data() &&
                a.rawValue.data() + a.rawValue.size() <= text.data() + text.size(),
            "attribute walk out of order");
    last = a.rawValue.data();
    allQuoted = allQuoted && a.quoted;
  }
  if (!plain || !allQuoted || HasTagDelimiter(name)) return;
  for (std::size_t i = 0; i < attributes.size(); ++i) {
    bool first = true;
    for (std::size_t j = 0; j < i; ++j) first = first && attributes[j].name != attributes[i].name;
    if (!first) continue;
    Require(doc.GetAttribute(attributes[i].name) ==
                wren::XmlDocument::DecodeValue(attributes[i].rawValue),
            "attribute walk and lookup differ for", std::string(attributes[i].name));
  }
}

// Visits every element depth first through the public navigation, reading
// attributes on the way. Returns how many were seen.
std::size_t Walk(wren::XmlDocument& doc) {
  std::size_t seen = 0;
  std::size_t lastLine = 0;
  doc.ResetPosition();
  for (;;) {
    if (doc.FindElement()) {
      ++seen;
      CheckCurrent(doc, lastLine);
      Require(doc.EnterElement(), "cannot enter a found element");
      continue;
    }
    if (!doc.LeaveElement()) break;
  }
  // Children of the root through the child position.
  doc.ResetPosition();
  while (doc.FindChildElement()) (void)doc.GetChildAttribute("b");
  return seen;
}

// The piecewise reader accepts what the document parses and reads the
// root's children as the document does, in pieces cut anywhere.
void CompareChildReader(std::string_view text, wren::XmlDocument& doc, bool wellFormed) {
  if (text.empty()) return;
  std::FILE* f = fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
  if (!f) return;
  wren::XmlChildReader reader(f, 1 + text.size() % 7);
  doc.ResetPosition();
  const bool entered = doc.FindElement() && doc.EnterElement();
  std::size_t children = 0;
  while (reader.NextChild()) {
    ++children;
    if (!wellFormed) continue;
    Require(entered && doc.FindElement(), "reader found a child the document has not");
    for (std::string_view probe : {"a", "id", "b"})
      Require(reader.GetAttribute(probe) == doc.GetAttribute(probe),
              "reader and document read differently", std::string(probe));
  }
  Require(reader.Failed() == !wellFormed, "reader and document disagree on the text");
  Require(!wellFormed || !entered || !doc.FindElement(), "reader missed a child");
  std::fclose(f);
}

// Makes the k-th element in document order current (0-based); false when
// there are fewer.
bool GoTo(wren::XmlDocument& doc, std::size_t k) {
  doc.ResetPosition();
  std::size_t i = 0;
  for (;;) {
    if (doc.FindElement()) {
      if (i++ == k) return true;
      doc.EnterElement();
      continue;
    }
    if (!doc.LeaveElement()) return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CompareScanners(text);

  wren::XmlDocument doc;
  const bool wellFormed = doc.SetText(text);
  Require(wellFormed == doc.IsWellFormed(), "parse result and IsWellFormed differ");
  Require(doc.GetText() == text, "text changed by parsing");
  Require(wellFormed || !doc.GetResult().empty(), "failed parse without a message");
  Require(!wellFormed || doc.GetErrorLine() == 0, "error line on a good parse");
  Require(doc.GetErrorLine() <= doc.LineOfOffset(static_cast<std::int64_t>(size)),
          "error line past the text");

  // Without character references the strict and lenient readers agree;
  // a refusal names a reference of the text.
  std::string strict;
  std::string bad;
  if (wren::XmlDocument::DecodeValueStrict(text, strict, bad)) {
    Require(
        text.find("&#") != std::string_view::npos || strict == wren::XmlDocument::DecodeValue(text),
        "strict and lenient decoding differ");
  } else {
    Require(
        bad.rfind("&#", 0) == 0 && bad.back() == ';' && text.find(bad) != std::string_view::npos,
        "strict decoding named no reference");
  }

  CompareChildReader(text, doc, wellFormed);
  const std::size_t count = Walk(doc);
  Require(count == wren::XmlDocumentInspector::ElementCount(doc), "walk missed elements");

  if (count > 0) {
    // Edit an element picked by the input's size, so that edits land
    // everywhere in the document over a run.
    Require(GoTo(doc, size % count), "cannot reach an element");
    (void)doc.GetAttribute("zz");  // tokens of the whole tag kept before the edits
    Require(doc.SetAttribute("id", "v<&>\"'"), "SetAttribute failed");
    CheckReads(doc);
    Require(doc.SetAttribute("a", std::int32_t{-7}), "SetAttribute number failed");
    CheckReads(doc);
    Require(doc.SetAttribute("id", "shorter"), "SetAttribute over a value failed");
    CheckReads(doc);
    Require(doc.AddChildElement("child", "x<y&z"), "AddChildElement failed");
    Require(doc.SetChildAttribute("b", "1"), "SetChildAttribute failed");
    Require(doc.GetChildAttribute("b") == "1", "child attribute not read back");
    Require(doc.EnterElement(), "cannot enter after adding a child");
    Require(doc.AddElement("sibling"), "AddElement failed");
    Require(doc.SetAttribute("id", ""), "SetAttribute to empty failed");
    Require(doc.AddChildElement("leaf"), "AddChildElement on a new element failed");
  } else {
    Require(doc.AddElement("root", "r"), "AddElement at document level failed");
    Require(doc.SetAttribute("id", "1"), "SetAttribute on a new root failed");
    Require(!doc.AddElement("second"), "second root accepted");
  }
  Walk(doc);
  const std::string problem = wren::XmlDocumentInspector::Check(doc, wellFormed);
  Require(problem.empty(), "index out of line:", problem);
  return 0;
}
