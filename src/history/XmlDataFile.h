#pragma once
// An XmlDocument with the conventions every data file of the program
// shares: the declaration line, the six header attributes on the root,
// text cleaning before writing, and a place in the data folder.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/HttpClient.h"
#include "update/ProgramVersion.h"
#include "xml/XmlDocument.h"

namespace wren {

// The maker's addresses carried in every file header and opened by the
// help commands.
inline constexpr std::string_view kCampaignTag = "wrenlocator-1740";
inline constexpr std::string_view kHomePageUrl =
    "http://www.pelmark.example/wrenlocator/"
    "?utm_source=wrenlocator-1740&utm_medium=wrenlocator-1740&utm_campaign=wrenlocator-1740";
inline constexpr std::string_view kSupportMail = "support@pelmark.example";
inline constexpr std::string_view kVendorName = "Pelmark LLC.";
inline constexpr std::string_view kFileComments = "Wrenlocator Database File";

class XmlDataFile : private XmlDocument {
public:
  XmlDataFile();
  virtual ~XmlDataFile();

  // Navigation and raw document access pass straight through.
  using XmlDocument::AddChildElement;
  using XmlDocument::AddElement;
  using XmlDocument::EnterElement;
  using XmlDocument::FindChildElement;
  using XmlDocument::FindElement;
  using XmlDocument::GetChildAttribute;
  using XmlDocument::IsWellFormed;
  using XmlDocument::LeaveElement;
  using XmlDocument::LoadFile;
  using XmlDocument::ResetPosition;
  using XmlDocument::SaveFile;
  using XmlDocument::SetChildAttribute;
  using XmlDocument::SetText;

  XmlDocument& Document() { return *this; }
  const XmlDocument& Document() const { return *this; }

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

  // Every byte outside printable ASCII becomes a space; the length stays.
  static std::string SanitizeText(std::string_view text);
  static void SanitizeInPlace(std::string& text);
};

}  // namespace wren
