#include "gui/ReportCommands.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>

#include <algorithm>

#include "core/list/ListExporter.h"
#include "core/list/DeviceListModel.h"

namespace wren {

bool ReportCommands::CopyRow(const DeviceListModel& list, const std::vector<int>& selectedRows) {
  int topmost = -1;
  for (int row : selectedRows)
    if (row >= 0 && row < list.RowCount() && (topmost < 0 || row < topmost)) topmost = row;
  if (topmost < 0) return false;
  m_clipboard.SetText(ListExporter::BuildRowText(list, topmost));
  return true;
}

bool ReportCommands::CopyAll(const DeviceListModel& list) {
  m_clipboard.SetText(ListExporter::BuildTextReport(list));
  return true;
}

SaveOutcome ReportCommands::SaveAs(const DeviceListModel& list, std::string* savedPath) {
  std::optional<SaveAsChoice> choice = m_saveAs.AskForPath();
  if (!choice || choice->path.empty()) return SaveOutcome::Cancelled;
  std::string path = choice->path;
  const ReportKind kind = ListExporter::ChooseReportKind(path, choice->textFilterSelected);
  std::string error;
  if (!ListExporter::WriteReport(list, path, kind, error)) {
    m_messages.ShowError("Save As", "The report could not be saved to \"" + path + "\": " + error +
                                        ".\nThe list was not written.");
    return SaveOutcome::Failed;
  }
  if (savedPath) *savedPath = path;
  return SaveOutcome::Saved;
}

void QtClipboard::SetText(const std::string& text) {
  QGuiApplication::clipboard()->setText(
      QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

std::optional<SaveAsChoice> QtSaveAsDialog::AskForPath() {
  QFileDialog dialog(m_parent, "Save As");
  dialog.setObjectName("saveAsDialog");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters({kTextFilter, kXmlFilter});
  dialog.selectNameFilter(kTextFilter);
  dialog.setDefaultSuffix(QString());
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return SaveAsChoice{files.front().toStdString(), dialog.selectedNameFilter() == kTextFilter};
}

void QtMessageBox::ShowError(const std::string& title, const std::string& text) {
  QMessageBox box(QMessageBox::Warning, QString::fromStdString(title), QString::fromStdString(text),
                  QMessageBox::Ok, m_parent);
  box.setObjectName("reportMessage");
  box.exec();
}

}  // namespace wren
