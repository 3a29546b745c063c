#include "core/history/HistoryStore.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

#include "base/FileBackup.h"
#include "base/System.h"
#include "xml/XmlChildReader.h"

namespace wren {
namespace {

// Attribute names in the order they are written.
constexpr std::string_view kRadio = "Radio";
constexpr std::string_view kName = "Name";
constexpr std::string_view kAddress = "Address";
constexpr std::string_view kProducer = "Producer";
constexpr std::string_view kLastSeen = "LastSeenTime";
constexpr std::string_view kLastUsed = "LastUsedTime";
constexpr std::string_view kType = "Type";
constexpr std::string_view kServices = "Services";
constexpr std::string_view kImage = "Image";

std::string BaseName(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A reason text from the engine or the C library, fit for one log line.
std::string ReasonText(std::string_view text) {
  std::string line = XmlDataFile::SanitizeText(text);
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line.empty() ? std::string("unknown error") : line;
}

}  // namespace

HistoryStore::HistoryStore(std::string fileName) : m_fileName(std::move(fileName)) {}

std::int32_t HistoryStore::ParseImage(std::string_view text) {
  std::size_t i = 0;
  auto blank = [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
  };
  while (i < text.size() && blank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kLimit) value = kLimit;  // stays put once out of range
  }
  if (negative) return static_cast<std::int32_t>(-value);
  return value >= kLimit ? std::numeric_limits<std::int32_t>::max()
                         : static_cast<std::int32_t>(value);
}

namespace {

// One entry from whatever reads attributes as the document does.
template <typename Source>
DeviceRecord ReadEntryFrom(const Source& file) {
  DeviceRecord record;
  record.m_radioName = file.GetAttribute(kRadio);
  record.m_name = file.GetAttribute(kName);
  record.m_address = file.GetAttribute(kAddress);
  record.m_producer = file.GetAttribute(kProducer);
  record.m_lastSeen = file.GetAttribute(kLastSeen);
  record.m_lastUsed = file.GetAttribute(kLastUsed);
  record.m_type = file.GetAttribute(kType);
  record.m_services = file.GetAttribute(kServices);
  record.m_image = HistoryStore::ParseImage(file.GetAttribute(kImage));
  return record;
}

// The entries of a readable history, read as the file goes by, so that
// neither its whole text nor an index of it is held beside the list.
// False, adding nothing, when the file is not a readable history.
// Only a regular file is streamed: a link or a FIFO in its place goes the
// document's way, which refuses it without following or blocking.
bool StreamEntries(const std::string& path, DeviceList& list) {
  int fd = -1;
  std::string error;
  if (platform::OpenRegularForReading(path, fd, error) != platform::OpenOutcome::Opened)
    return false;
  std::FILE* file = fdopen(fd, "rb");
  if (file == nullptr) {
    close(fd);
    return false;
  }
  DeviceList entries;
  bool read = false;
  {
    XmlChildReader reader(file);
    while (reader.NextChild()) entries.push_back(ReadEntryFrom(reader));
    read = !reader.Failed() && reader.RootNameIs(kHistoryRoot);
  }
  std::fclose(file);
  if (!read) return false;
  list.splice(list.end(), entries);
  return true;
}

}  // namespace

DeviceRecord HistoryStore::ReadEntry(const XmlDataFile& file) { return ReadEntryFrom(file); }

bool HistoryStore::WriteEntry(XmlDataFile& file, const DeviceRecord& record) {
  if (!file.AddElement(kHistoryEntry)) return false;
  bool ok = file.SetAttribute(kRadio, record.m_radioName);
  ok = file.SetAttribute(kName, record.m_name) && ok;
  ok = file.SetAttribute(kAddress, record.m_address) && ok;
  ok = file.SetAttribute(kProducer, record.m_producer) && ok;
  ok = file.SetAttribute(kLastSeen, record.m_lastSeen) && ok;
  ok = file.SetAttribute(kLastUsed, record.m_lastUsed) && ok;
  ok = file.SetAttribute(kType, record.m_type) && ok;
  ok = file.SetAttribute(kServices, record.m_services) && ok;
  ok = file.SetAttribute(kImage, record.m_image) && ok;
  return ok;
}

// Moves an unreadable file aside and puts an empty history in its place.
bool HistoryStore::KeepUnreadableFile(HistoryFileCheck& check, const std::string& reason) {
  check.unreadable = true;
  const std::string path = platform::DataFilePath(m_fileName);
  std::string kept;
  std::string error;
  m_file.CreateNew(kHistoryRoot);
  if (!platform::KeepUnderFreeName(path, std::string(kKeptCopySuffix), kept, error)) {
    m_mustNotOverwrite = true;
    check.message = m_fileName + " could not be read (" + reason + ") nor kept as " + m_fileName +
                    std::string(kKeptCopySuffix) + " (" + ReasonText(error) +
                    "); it is left as it is and will not be overwritten";
    return false;
  }
  m_mustNotOverwrite = false;
  check.keptAs = kept;
  check.message = m_fileName + " could not be read (" + reason + "); kept as " + BaseName(kept);
  check.newFileWritten = m_file.SaveBesideExecutable(m_fileName);
  if (!check.newFileWritten)
    check.message += "; a new " + m_fileName + " could not be written (" +
                     ReasonText(m_file.GetResultText()) + ")";
  return true;
}

HistoryFileCheck HistoryStore::Open() {
  HistoryFileCheck check;
  const std::string path = platform::DataFilePath(m_fileName);
  std::string bytes;
  std::string error;
  switch (platform::ReadRegularFile(path, bytes, error)) {
    case platform::OpenOutcome::Opened: {
      const std::size_t size = bytes.size();
      if (m_file.SetText(std::move(bytes))) {
        m_file.ResetPosition();
        if (m_file.FindElement(kHistoryRoot)) {
          m_mustNotOverwrite = false;
          check.fileRead = true;
          return check;
        }
        // Well-formed, but not a history: keep it like any unreadable file.
        KeepUnreadableFile(check, "no " + std::string(kHistoryRoot) + " element");
        return check;
      }
      KeepUnreadableFile(check,
                         std::to_string(size) + " bytes, " + ReasonText(m_file.GetResultText()));
      return check;
    }
    case platform::OpenOutcome::Missing:
      m_mustNotOverwrite = false;
      m_file.CreateNew(kHistoryRoot);
      check.newFileWritten = m_file.SaveBesideExecutable(m_fileName);
      if (!check.newFileWritten)
        check.message =
            m_fileName + " could not be created (" + ReasonText(m_file.GetResultText()) + ")";
      return check;
    case platform::OpenOutcome::NotRegular:
      // A link or a FIFO planted in the data folder is neither followed nor
      // replaced: the run goes on without the history and never saves it.
      m_file.CreateNew(kHistoryRoot);
      m_mustNotOverwrite = true;
      check.unreadable = true;
      check.message = m_fileName + " is not used (" + ReasonText(error) +
                      "); it is left as it is and will not be overwritten";
      return check;
    case platform::OpenOutcome::Failed:
      KeepUnreadableFile(check, ReasonText(error));
      return check;
  }
  return check;
}

HistoryFileCheck HistoryStore::CheckFile() { return Open(); }

HistoryFileCheck HistoryStore::LoadHistory(DeviceList& list) {
  // The document of an earlier check is not needed to read the entries.
  m_file.SetText("");
  if (StreamEntries(platform::DataFilePath(m_fileName), list)) {
    m_mustNotOverwrite = false;
    HistoryFileCheck check;
    check.fileRead = true;
    return check;
  }
  // Anything else goes the document's way, which names what is wrong and
  // keeps the file aside.
  HistoryFileCheck check = Open();
  m_file.ResetPosition();
  if (!m_file.FindElement(kHistoryRoot)) return check;
  m_file.EnterElement();
  while (m_file.FindElement()) list.push_back(ReadEntry(m_file));
  return check;
}

void HistoryStore::BuildDocument(XmlDataFile& file, const DeviceList& list) {
  file.CreateNew(kHistoryRoot);
  file.ResetPosition();
  file.FindElement(kHistoryRoot);
  file.EnterElement();
  for (const DeviceRecord& record : list) WriteEntry(file, record);
}

std::string HistoryStore::DocumentText(const DeviceList& list) {
  XmlDataFile document;
  BuildDocument(document, list);
  return document.GetDocumentText();
}

bool HistoryStore::SaveHistory(const DeviceList& list, std::string* error) {
  const std::string path = platform::DataFilePath(m_fileName);
  std::string why;
  const platform::PathKind kind = platform::KindOfPath(path, why);
  if (kind == platform::PathKind::Link || kind == platform::PathKind::Other) {
    // Never replaced by a file of our own, whatever it points to.
    if (error)
      *error = m_fileName + " is " + platform::DescribePathKind(path) +
               ", not a regular file; not overwritten";
    return false;
  }
  if (m_mustNotOverwrite) {
    // Another try at keeping the unreadable file; it may be gone by now.
    std::string kept;
    if (kind != platform::PathKind::Missing &&
        !platform::KeepUnderFreeName(path, std::string(kKeptCopySuffix), kept, why)) {
      if (error)
        *error = m_fileName + " holds an unreadable history that could not be kept (" +
                 ReasonText(why) + "); not overwritten";
      return false;
    }
    m_mustNotOverwrite = false;
  }
  BuildDocument(m_file, list);
  if (m_file.SaveBesideExecutable(m_fileName)) return true;
  if (error) *error = ReasonText(m_file.GetResultText());
  return false;
}

}  // namespace wren
