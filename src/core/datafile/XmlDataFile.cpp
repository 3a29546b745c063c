#include "core/datafile/XmlDataFile.h"

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

namespace {

// The length of the well-formed UTF-8 sequence at `i` (no overlong form, no
// surrogate, nothing above U+10FFFF), 0 when there is none.
std::size_t Utf8SequenceAt(const std::string& text, std::size_t i) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = at(i);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (at(i + 1) < low || at(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
  return length;
}

}  // namespace

void XmlDataFile::SanitizeInPlace(std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte <= 0x7E) {
      ++i;
      continue;
    }
    const std::size_t length = byte >= 0x80 ? Utf8SequenceAt(text, i) : 0;
    // U+0080 to U+009F are controls too (C2 80 to C2 9F).
    const bool c1 = length == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (length == 0 || c1) {
      const std::size_t n = c1 ? 2 : 1;
      text.replace(i, n, n, ' ');
      i += n;
    } else {
      i += length;
    }
  }
}

std::string XmlDataFile::SanitizeText(std::string_view text) {
  std::string copy(text);
  SanitizeInPlace(copy);
  return copy;
}

}  // namespace wren
