#pragma once
// The program's own XML engine: the document is one byte string, exactly
// what is saved, plus an index of where every element lies in it. Edits
// splice text into the string and shift the index; saving writes the
// string unchanged, so the layout of every file is decided on insertion.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace wren {

// One attribute of a start tag as written: name="value". The views point
// into the document text and hold until the next edit or parse.
struct XmlAttribute {
  std::string_view name;
  std::string_view rawValue;  // between the quotes, references not decoded
  bool quoted = false;
};

class XmlDocument {
public:
  XmlDocument();
  ~XmlDocument();
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;
  XmlDocument(XmlDocument&&) noexcept;
  XmlDocument& operator=(XmlDocument&&) noexcept;

  // Parsing, loading and saving.
  bool SetText(std::string_view text);
  bool SetText(std::string&& text);
  // Literals and C strings; a null pointer is an absent (empty) text.
  bool SetText(const char* text);
  const std::string& GetText() const;
  const std::string& GetResult() const;
  bool LoadFile(const std::string& path);
  bool IsWellFormed() const;
  // The line (from 1) of the fault the last failed parse reports; 0 when
  // the text parsed or the fault has no place.
  std::size_t GetErrorLine() const;
  // The line (from 1) that holds byte `offset` of the text.
  std::size_t LineOfOffset(std::int64_t offset) const;

  // Navigation.
  void ResetPosition();
  bool FindElement(std::string_view name = {});
  bool FindChildElement(std::string_view name = {});
  bool EnterElement();
  bool LeaveElement();

  // The current element: its tag name, the line its start tag begins on
  // (0 with no current element), and its attributes in order. The walk
  // returns false when the tag holds anything but name="value" pairs (a
  // bare name, a stray '=', a value whose quote is not closed inside the
  // tag); `attributes` then has the pairs before it.
  std::string_view GetElementName() const;
  std::size_t GetElementLine() const;
  bool GetAttributes(std::vector<XmlAttribute>& attributes) const;

  // Attributes, decoded on reading and escaped on writing.
  std::string GetAttribute(std::string_view name) const;
  std::string GetChildAttribute(std::string_view name) const;
  bool SetAttribute(std::string_view name, std::string_view value);
  bool SetAttribute(std::string_view name, std::int32_t value);
  bool SetChildAttribute(std::string_view name, std::string_view value);

  // Adding elements, in the writer's line layout.
  bool AddElement(std::string_view name, std::string_view content = {});
  bool AddChildElement(std::string_view name, std::string_view content = {});

  // Value codecs, shared with callers that build text themselves.
  static std::string DecodeValue(std::string_view raw);
  // As DecodeValue, but every character reference must name a Unicode
  // character (1 to 0x10FFFF, no surrogate), written as full UTF-8. On a
  // reference outside that, false with the reference in `bad`.
  static bool DecodeValueStrict(std::string_view raw, std::string& out, std::string& bad);
  static std::string EncodeAttributeValue(std::string_view value);
  static std::string EncodeContent(std::string_view value);

private:
  friend struct XmlDocumentInspector;
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace wren
