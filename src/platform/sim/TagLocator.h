#pragma once
// Lists the start tags of an XML text in document order, with their
// offsets, names and attribute names, following the same scanning rules
// as XmlDocument. The scenario loader walks the document with XmlDocument
// and takes from this list what the document does not tell: the name of
// the current element, which attributes it has, and its line.
// Only meaningful for a text that XmlDocument parsed successfully.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace wren {
class XmlDocument;
}

namespace wren::sim {

struct AttributeInfo {
  std::string name;
  bool quoted = false;
};

struct TagInfo {
  std::size_t offset = 0;  // of the '<'
  std::string name;
  std::vector<AttributeInfo> attributes;
  bool malformedAttributes = false;
  std::size_t next = 0;  // index of the first tag after this element's subtree
};

std::vector<TagInfo> LocateTags(std::string_view text);

// True when `tags` has the parsed document's elements, in document order
// with the same nesting. Moves the document's position (reset afterwards).
bool TagsMatchDocument(XmlDocument& doc, const std::vector<TagInfo>& tags);

}  // namespace wren::sim
