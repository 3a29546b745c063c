#pragma once
// history.xml: every device the program has shown, across runs. The file
// is a data file with root "dataroot" and one "entry" element per device,
// written front to back with nine attributes in a fixed order.
//
// A file that cannot be read is never lost: before a new file takes its
// place it is kept as history.xml.bad (history.xml.bad.1, .2 ... when that
// name is taken), and the check says so in a line for the alarm log. When
// even keeping it fails, it is left where it is and saves refuse to
// overwrite it.
//
// A history.xml that is a symbolic link, a FIFO or anything else but a
// regular file is neither followed, nor waited on, nor replaced: the check
// says so, the run goes on with an empty history and saves refuse.
//
// One HistoryStore is used by one thread.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/bluetooth/DeviceRecord.h"
#include "core/datafile/XmlDataFile.h"

namespace wren {

inline constexpr std::string_view kHistoryFileName = "history.xml";
inline constexpr std::string_view kHistoryRoot = "dataroot";
inline constexpr std::string_view kHistoryEntry = "entry";
inline constexpr std::string_view kKeptCopySuffix = ".bad";

// What opening history.xml found and did.
struct HistoryFileCheck {
  bool fileRead = false;        // the file loaded as it was
  bool unreadable = false;      // a file was there but could not be used
  std::string keptAs;           // where that file was kept ("" when it was not)
  bool newFileWritten = false;  // an empty history was written in its place
  // One line for the alarm log, to follow the time text and " - "; empty
  // when there is nothing to say (the file loaded, or a first run).
  std::string message;
};

class HistoryStore {
public:
  explicit HistoryStore(std::string fileName = std::string(kHistoryFileName));

  // The start-up check: makes sure a readable history file exists.
  HistoryFileCheck CheckFile();

  // Appends the file's entries to `list` in file order (duplicates stay).
  // A file that cannot be read is handled as by CheckFile and adds nothing.
  HistoryFileCheck LoadHistory(DeviceList& list);

  // Rebuilds the document from `list`, front to back, and writes the file.
  // False, with the reason in `error`, when the file could not be written or
  // when it would replace an unreadable file that could not be kept.
  bool SaveHistory(const DeviceList& list, std::string* error = nullptr);

  // The document as last checked or built. LoadHistory reads the file a
  // piece at a time and leaves it empty.
  XmlDataFile& File() { return m_file; }
  const XmlDataFile& File() const { return m_file; }
  const std::string& FileName() const { return m_fileName; }

  // One entry: the current element of `file`.
  static DeviceRecord ReadEntry(const XmlDataFile& file);
  static bool WriteEntry(XmlDataFile& file, const DeviceRecord& record);
  // A new history document in `file` holding `list`, as history.xml is
  // saved; and its text, for a report that cannot wait for the save.
  static void BuildDocument(XmlDataFile& file, const DeviceList& list);
  static std::string DocumentText(const DeviceList& list);

  // The C library's decimal conversion: leading blanks and a sign allowed,
  // reading stops at the first non-digit, no digits give 0; values beyond
  // the 32-bit range give its nearest end.
  static std::int32_t ParseImage(std::string_view text);

private:
  HistoryFileCheck Open();
  bool KeepUnreadableFile(HistoryFileCheck& check, const std::string& reason);

  std::string m_fileName;
  XmlDataFile m_file;
  // The file on disk could not be read nor kept: it must not be overwritten.
  bool m_mustNotOverwrite = false;
};

}  // namespace wren
