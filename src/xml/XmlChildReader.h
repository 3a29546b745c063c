#pragma once
// Reads an XML file a piece at a time, for files too large to hold twice:
// the children of the root element go by one at a time, each with its
// attributes, while the whole text is checked by the rules XmlDocument
// parses by. Neither the text nor an index of it is ever held whole.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "xml/XmlScanner.h"

namespace wren {

class XmlChildReader {
public:
  // `chunk` is how much is read at a time.
  explicit XmlChildReader(const std::string& path, std::size_t chunk = std::size_t{1} << 20);
  // Reads an open file from where it stands; the caller closes it.
  explicit XmlChildReader(std::FILE* file, std::size_t chunk = std::size_t{1} << 20);
  ~XmlChildReader();
  XmlChildReader(const XmlChildReader&) = delete;
  XmlChildReader& operator=(const XmlChildReader&) = delete;

  // Moves to the next child of the root element. False at the end of the
  // file, and on a fault: Failed() then tells which.
  bool NextChild();
  // Of the current child, as XmlDocument::GetAttribute reads it.
  std::string GetAttribute(std::string_view name) const;

  // The file could not be read, or its text is not a document XmlDocument
  // would parse. Only final once NextChild has returned false.
  bool Failed() const { return m_failed; }
  // Whether the root element answers to `name` as XmlDocument::FindElement
  // matches it; false before the root is read.
  bool RootNameIs(std::string_view name) const;

private:
  bool Fill();
  bool Fail();

  std::FILE* m_file = nullptr;
  bool m_owned = false;
  std::size_t m_chunk;
  std::string m_buffer;    // the unread rest of what has been read
  std::int64_t m_pos = 0;  // in m_buffer: where the next node starts
  bool m_eof = false;
  bool m_failed = false;
  bool m_done = false;
  std::uint64_t m_elements = 0;
  std::vector<std::string> m_open;  // names of the open elements, the root first
  std::string m_rootToken;          // the root tag's first token
  bool m_rootSeen = false;
  std::int64_t m_tagStart = -1;  // the current child's start tag in m_buffer
  mutable xml::AttributeTokens m_tokens;
  mutable bool m_tokensReady = false;
};

}  // namespace wren
