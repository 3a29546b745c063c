#pragma once
// A look inside an XmlDocument for tests and fuzzing: checks that the
// element index still describes the text after any sequence of edits.

#include <string>
#include <string_view>

#include "xml/XmlDocument.h"

namespace wren {

struct XmlDocumentInspector {
  // "" when every element entry agrees with the text (tags where the entry
  // says, children inside their parent, siblings in order, links both
  // ways); otherwise what is wrong. With `compareWithReparse`, the text is
  // also parsed afresh and must parse, giving the same elements in the
  // same places.
  static std::string Check(const XmlDocument& doc, bool compareWithReparse);

  // The current element's attribute as the start tag reads afresh, past
  // the tokens kept between reads: GetAttribute must give the same.
  static std::string FreshAttribute(const XmlDocument& doc, std::string_view name);

  // Number of elements the index holds (0 when not well-formed).
  static std::size_t ElementCount(const XmlDocument& doc);
};

}  // namespace wren
