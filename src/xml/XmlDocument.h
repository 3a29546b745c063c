#pragma once
// The program's own XML engine: the document is one byte string, exactly
// what is saved, plus an index of where every element lies in it. Edits
// splice text into the string and shift the index; saving writes the
// string unchanged, so the layout of every file is decided on insertion.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace wren {

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
  // Writes a temporary file beside `path` and renames it over `path`,
  // so a crash never leaves half a file.
  bool SaveFile(const std::string& path);
  bool IsWellFormed() const;

  // Navigation.
  void ResetPosition();
  bool FindElement(std::string_view name = {});
  bool FindChildElement(std::string_view name = {});
  bool EnterElement();
  bool LeaveElement();

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
  static std::string EncodeAttributeValue(std::string_view value);
  static std::string EncodeContent(std::string_view value);

private:
  friend struct XmlDocumentInspector;
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace wren
