#pragma once
// An XmlDocument with the conventions every data file of the program
// shares: the declaration line, the six header attributes on the root,
// text cleaning before writing, and a place in the data folder.

#include <cstdint>
#include <string>
#include <string_view>

#include "ports/HttpClient.h"
#include "base/Product.h"
#include "base/ProgramVersion.h"
#include "xml/XmlDocument.h"

namespace wren {

// The maker's addresses carried in every file header and opened by the
// help commands.
inline constexpr std::string_view kCampaignTag = product::kCampaignTag;
inline constexpr std::string_view kHomePageUrl = product::kHomePageUrl;
inline constexpr std::string_view kSupportMail = product::kSupportMail;
inline constexpr std::string_view kVendorName = product::kVendorName;
inline constexpr std::string_view kFileComments = "Wrenlocator Database File";

class XmlDataFile {
public:
  XmlDataFile();
  ~XmlDataFile();

  // Navigation and raw document access pass straight through.
  bool AddChildElement(std::string_view name, std::string_view content = {}) {
    return m_document.AddChildElement(name, content);
  }
  bool AddElement(std::string_view name, std::string_view content = {}) {
    return m_document.AddElement(name, content);
  }
  bool EnterElement() { return m_document.EnterElement(); }
  bool FindChildElement(std::string_view name = {}) { return m_document.FindChildElement(name); }
  bool FindElement(std::string_view name = {}) { return m_document.FindElement(name); }
  std::string GetChildAttribute(std::string_view name) const {
    return m_document.GetChildAttribute(name);
  }
  bool IsWellFormed() const { return m_document.IsWellFormed(); }
  bool LeaveElement() { return m_document.LeaveElement(); }
  bool LoadFile(const std::string& path) {
    m_saveReported = false;
    return m_document.LoadFile(path);
  }
  void ResetPosition() { m_document.ResetPosition(); }
  bool SetChildAttribute(std::string_view name, std::string_view value) {
    return m_document.SetChildAttribute(name, value);
  }
  bool SetText(std::string_view text) {
    m_saveReported = false;
    return m_document.SetText(text);
  }
  bool SetText(std::string&& text) {
    m_saveReported = false;
    return m_document.SetText(std::move(text));
  }
  bool SetText(const char* text) {
    m_saveReported = false;
    return m_document.SetText(text);
  }

  // Writes a temporary file beside `path` and renames it over `path`, so
  // a crash never leaves half a file. The text is saved byte for byte.
  bool SaveFile(const std::string& path);

  XmlDocument& Document() { return m_document; }
  const XmlDocument& Document() const { return m_document; }

  // Replaces the document with the declaration line and an empty root
  // carrying the header; the root is the current element afterwards.
  void CreateNew(std::string_view rootName);
  bool ReadHeader(ProgramVersion& version, std::string& created);

  // history.xml and alarmlog.txt live in the data folder (see
  // platform::DataFolder); these load and save a file of that name there.
  bool LoadBesideExecutable(std::string_view fileName);
  bool SaveBesideExecutable(std::string_view fileName);

  std::string GetAttribute(std::string_view name) const;
  // The value is cleaned with SanitizeText before it is written.
  bool SetAttribute(std::string_view name, std::string_view value);
  bool SetAttribute(std::string_view name, std::int32_t value);

  // Replaces the document with the body fetched from `url`, taken up to its
  // first zero byte. False with the client's reason in `error` when the
  // fetch fails; whether the body parses is not part of the result.
  bool FetchUrl(const std::string& url, platform::HttpClient& http, std::string& error);

  std::string GetDocumentText() const;
  std::string GetResultText() const;

  // Controls (C0, DEL and C1) and every byte that is not part of a
  // well-formed UTF-8 sequence become spaces, one per byte; letters of any
  // language are kept. The length stays.
  static std::string SanitizeText(std::string_view text);
  static void SanitizeInPlace(std::string& text);

private:
  XmlDocument m_document;
  // What the last save said; GetResultText gives it until the next load.
  std::string m_saveResult;
  bool m_saveReported = false;
};

}  // namespace wren
