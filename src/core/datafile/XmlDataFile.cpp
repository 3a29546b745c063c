#include "core/datafile/XmlDataFile.h"

#include "base/Text.h"

#include <cstdio>
#include <ctime>

#include "base/System.h"

namespace wren {
namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\"?>\r\n";

std::string LocalTimestamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%m/%d/%Y %H:%M:%S", &local);
  return buffer;
}

}  // namespace

XmlDataFile::XmlDataFile() = default;
XmlDataFile::~XmlDataFile() = default;

void XmlDataFile::CreateNew(std::string_view rootName) {
  SetText(kDeclaration);
  m_document.AddElement(rootName);
  ProgramVersion own;
  m_document.SetAttribute("version", own.ToString());
  m_document.SetAttribute("vendor", kVendorName);
  m_document.SetAttribute("url", kHomePageUrl);
  m_document.SetAttribute("mail", kSupportMail);
  m_document.SetAttribute("created", LocalTimestamp());
  m_document.SetAttribute("comments", kFileComments);
}

bool XmlDataFile::SaveFile(const std::string& path) {
  std::string error;
  m_saveReported = true;
  if (!platform::WriteFileAtomically(path, m_document.GetText(), error)) {
    m_saveResult = std::move(error);
    return false;
  }
  m_saveResult = std::to_string(m_document.GetText().size()) + " bytes";
  return true;
}

bool XmlDataFile::ReadHeader(ProgramVersion& version, std::string& created) {
  ResetPosition();
  if (!FindElement()) return false;
  created = m_document.GetAttribute("created");
  std::string text = m_document.GetAttribute("version");
  if (text.empty()) return false;
  unsigned long parts[4] = {version.major, version.minor, version.build, version.revision};
  int read =
      std::sscanf(text.c_str(), "%lu.%lu.%lu.%lu", &parts[0], &parts[1], &parts[2], &parts[3]);
  if (read > 0) version.major = static_cast<std::uint32_t>(parts[0]);
  if (read > 1) version.minor = static_cast<std::uint32_t>(parts[1]);
  if (read > 2) version.build = static_cast<std::uint32_t>(parts[2]);
  if (read > 3) version.revision = static_cast<std::uint32_t>(parts[3]);
  return read == 4;
}

bool XmlDataFile::LoadBesideExecutable(std::string_view fileName) {
  return LoadFile(platform::DataFilePath(fileName));
}

bool XmlDataFile::SaveBesideExecutable(std::string_view fileName) {
  return SaveFile(platform::DataFilePath(fileName));
}

std::string XmlDataFile::GetAttribute(std::string_view name) const {
  return m_document.GetAttribute(name);
}

bool XmlDataFile::SetAttribute(std::string_view name, std::string_view value) {
  return m_document.SetAttribute(name, SanitizeText(value));
}

bool XmlDataFile::SetAttribute(std::string_view name, std::int32_t value) {
  return m_document.SetAttribute(name, value);
}

std::string XmlDataFile::GetDocumentText() const { return m_document.GetText(); }

std::string XmlDataFile::GetResultText() const {
  return m_saveReported ? m_saveResult : m_document.GetResult();
}

void XmlDataFile::SanitizeInPlace(std::string& text) { OneLineInPlace(text); }

std::string XmlDataFile::SanitizeText(std::string_view text) {
  std::string copy(text);
  SanitizeInPlace(copy);
  return copy;
}

}  // namespace wren
