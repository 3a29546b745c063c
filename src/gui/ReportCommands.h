#pragma once
// The list window's report commands: Copy Row, Copy All and Save As. They
// reach the clipboard, the Save As dialog and the message box through
// small ports, so that the commands can be run without a desktop; the Qt
// adapters of those ports follow.
//
// Reports take the columns in creation order, whatever order the user
// dragged them into. Save As writes through a temporary file renamed into
// place, and a report that could not be written is always reported with the
// file's name: a user must know the report is not there.

#include <optional>
#include <string>
#include <vector>

class QWidget;
class QFileDialog;

namespace wren {

class DeviceListModel;

class ClipboardPort {
public:
  virtual ~ClipboardPort() = default;
  // Puts `text` on the clipboard as plain text.
  virtual void SetText(const std::string& text) = 0;
};

struct SaveAsChoice {
  std::string path;
  bool textFilterSelected = true;  // "Text Files (*.txt)" rather than "Xml Files (*.xml)"
};

class SaveAsPort {
public:
  virtual ~SaveAsPort() = default;
  // The path the user chose and the filter selected; none on Cancel.
  virtual std::optional<SaveAsChoice> AskForPath() = 0;
};

class MessagePort {
public:
  virtual ~MessagePort() = default;
  virtual void ShowError(const std::string& title, const std::string& text) = 0;
};

enum class SaveOutcome { Saved, Cancelled, Failed };

class ReportCommands {
public:
  ReportCommands(ClipboardPort& clipboard, SaveAsPort& saveAs, MessagePort& messages)
      : m_clipboard(clipboard), m_saveAs(saveAs), m_messages(messages) {}

  // The topmost of the selected rows, its cells joined by tabs. False, the
  // clipboard untouched, when no row of the list is selected.
  bool CopyRow(const DeviceListModel& list, const std::vector<int>& selectedRows);
  // The text report: a tab after every cell, a carriage return after every
  // row; an empty list puts an empty text.
  bool CopyAll(const DeviceListModel& list);
  // Asks for a file and writes the report its extension names: ".xml" the
  // XML report, anything else the text report; no extension takes the
  // selected filter's. `savedPath` gets the path written.
  SaveOutcome SaveAs(const DeviceListModel& list, std::string* savedPath = nullptr);

private:
  ClipboardPort& m_clipboard;
  SaveAsPort& m_saveAs;
  MessagePort& m_messages;
};

// The system clipboard.
class QtClipboard : public ClipboardPort {
public:
  void SetText(const std::string& text) override;
};

// The Save As dialog: filters "Text Files (*.txt)" and "Xml Files (*.xml)",
// no default extension, a question before overwriting a file.
class QtSaveAsDialog : public SaveAsPort {
public:
  explicit QtSaveAsDialog(QWidget* parent) : m_parent(parent) {}
  std::optional<SaveAsChoice> AskForPath() override;

  static constexpr const char* kTextFilter = "Text Files (*.txt)";
  static constexpr const char* kXmlFilter = "Xml Files (*.xml)";

private:
  QWidget* m_parent;
};

// A warning message box over the window.
class QtMessageBox : public MessagePort {
public:
  explicit QtMessageBox(QWidget* parent) : m_parent(parent) {}
  void ShowError(const std::string& title, const std::string& text) override;

private:
  QWidget* m_parent;
};

}  // namespace wren
