#include "xml/XmlChildReader.h"

#include "xml/ElementIndex.h"
#include "xml/XmlDocument.h"

namespace wren {

XmlChildReader::XmlChildReader(const std::string& path, std::size_t chunk)
    : m_chunk(chunk == 0 ? 1 : chunk) {
  m_file = std::fopen(path.c_str(), "rb");
  m_owned = m_file != nullptr;
  if (!m_file) Fail();
}

XmlChildReader::XmlChildReader(std::FILE* file, std::size_t chunk)
    : m_file(file), m_chunk(chunk == 0 ? 1 : chunk) {
  if (!m_file) Fail();
}

XmlChildReader::~XmlChildReader() {
  if (m_owned) std::fclose(m_file);
}

bool XmlChildReader::Fail() {
  m_failed = true;
  m_done = true;
  return false;
}

// Drops what has been read past and appends the next piece of the file.
// A few bytes before the next node stay: the scanner reads a node at the
// very start of a text a little differently ("<?>" does not close there).
bool XmlChildReader::Fill() {
  constexpr std::int64_t kKeep = 4;
  if (m_eof) return false;
  if (m_pos > kKeep) {
    m_buffer.erase(0, static_cast<std::size_t>(m_pos - kKeep));
    m_pos = kKeep;
  }
  const std::size_t had = m_buffer.size();
  m_buffer.resize(had + m_chunk);
  const std::size_t got = std::fread(m_buffer.data() + had, 1, m_chunk, m_file);
  m_buffer.resize(had + got);
  if (got < m_chunk) {
    if (std::ferror(m_file)) return Fail();
    m_eof = true;
  }
  return got > 0;
}

bool XmlChildReader::NextChild() {
  m_tagStart = -1;
  m_tokensReady = false;
  if (m_done) return false;
  xml::NodeScan node;
  std::string message;
  for (;;) {
    const std::string_view text(m_buffer);
    const int type = xml::ScanNode(text, m_pos, node, message);
    // A node that reaches the end of what is read may go on in the file;
    // a fault there may be only a cut. Read on and scan it again.
    const bool atEnd = type == xml::kEndOfText || type == xml::kScanError ||
                       node.start + node.length >= static_cast<std::int64_t>(text.size());
    if (atEnd && !m_eof) {
      Fill();
      if (m_failed) return false;
      continue;
    }
    if (type == xml::kScanError) return Fail();
    if (type == xml::kEndOfText) {
      m_done = true;
      // Empty text, no root, or an element left open: not a document.
      if (!m_rootSeen || !m_open.empty()) return Fail();
      return false;
    }
    m_pos = node.start + node.length;
    if (type == xml::kStartTag) {
      if (m_rootSeen && m_open.empty()) return Fail();  // a sibling to the root
      if (++m_elements >= xml::ElementIndex::kMaxEntries) return Fail();
      const std::string_view name(m_buffer.data() + node.nameStart,
                                  static_cast<std::size_t>(node.nameLength));
      const bool child = m_open.size() == 1;
      if (!m_rootSeen) {
        m_rootSeen = true;
        xml::TokenCursor cursor;
        cursor.text = m_buffer.data();
        cursor.end = node.start + node.length;
        cursor.next = node.start + 1;
        if (cursor.Next()) m_rootToken = std::string(cursor.Token());
      }
      if (!node.empty) m_open.emplace_back(name);
      if (child) {
        m_tagStart = node.start;
        return true;
      }
    } else if (type == xml::kEndTag) {
      if (m_open.empty()) return Fail();
      const std::string_view endName(m_buffer.data() + node.nameStart,
                                     static_cast<std::size_t>(node.nameLength));
      if (!xml::NameMatches(endName, m_open.back())) return Fail();
      m_open.pop_back();
    }
  }
}

std::string XmlChildReader::GetAttribute(std::string_view name) const {
  if (m_tagStart < 0) return {};
  if (!m_tokensReady) {
    // The tag ends where the scan went on from.
    m_tokens.Begin(m_buffer.data(), m_tagStart, m_pos);
    m_tokensReady = true;
  }
  std::int64_t first = 0;
  std::int64_t length = 0;
  bool ampersand = false;
  if (!m_tokens.Find(name, first, length, ampersand)) return {};
  // Without a '&' there is nothing to decode: DecodeValue would copy.
  if (!ampersand) return std::string(m_buffer.data() + first, static_cast<std::size_t>(length));
  return XmlDocument::DecodeValue(
      std::string_view(m_buffer.data() + first, static_cast<std::size_t>(length)));
}

bool XmlChildReader::RootNameIs(std::string_view name) const {
  if (!m_rootSeen) return false;
  return name.empty() || xml::NameMatches(m_rootToken, name);
}

}  // namespace wren
