#include "core/list/ListExporter.h"

#include <cstdio>

#include "core/datafile/XmlDataFile.h"
#include "base/System.h"

namespace wren {
namespace {

std::string_view Cut(std::string_view text) { return text.substr(0, ListExporter::kXmlCellLimit); }

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A column title as an attribute name: trimmed, spaces become "_".
std::string AttributeName(int column) {
  std::string name(Trim(Cut(DeviceListModel::ColumnTitle(column))));
  for (char& c : name)
    if (c == ' ') c = '_';
  return name;
}

std::string AttributeValue(std::string_view cell) {
  return std::string(Trim(XmlDataFile::SanitizeText(Cut(cell))));
}

std::string ImageText(int image) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%d", image < 0 ? -1 : image);
  return buffer;
}

}  // namespace

std::string ListExporter::BuildTextReport(const DeviceListModel& list) {
  std::string report;
  for (int row = 0; row < list.RowCount(); ++row) {
    for (int column = 0; column < kColumnCount; ++column) {
      report += list.CellText(row, column);
      report += '\t';
    }
    report += '\r';
  }
  return report;
}

std::string ListExporter::BuildRowText(const DeviceListModel& list, int row) {
  std::string text;
  if (row < 0 || row >= list.RowCount()) return text;
  for (int column = 0; column < kColumnCount; ++column) {
    if (column > 0) text += '\t';
    text += list.CellText(row, column);
  }
  return text;
}

std::string ListExporter::BuildXmlReport(const DeviceListModel& list) {
  std::array<std::string, kColumnCount> names;
  for (int column = 0; column < kColumnCount; ++column) names[column] = AttributeName(column);

  XmlDataFile file;
  file.CreateNew("dataroot");
  file.EnterElement();
  file.AddElement("ListData");
  for (int row = 0; row < list.RowCount(); ++row) {
    file.AddChildElement("Row");
    for (int column = 0; column < kColumnCount; ++column) {
      if (column == 0) file.SetChildAttribute("image", ImageText(list.ItemImage(row)));
      file.SetChildAttribute(names[column], AttributeValue(list.CellText(row, column)));
    }
  }
  return file.GetDocumentText();
}

ReportKind ListExporter::ChooseReportKind(std::string& path, bool textFilterSelected) {
  const auto slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const auto dot = path.rfind('.');
  // "name." has an extension too, just an empty one: a text report.
  if (dot == std::string::npos || dot < nameStart) {
    path.append(textFilterSelected ? ".txt" : ".xml");
    return textFilterSelected ? ReportKind::Text : ReportKind::Xml;
  }
  std::string extension;
  for (char c : std::string_view(path).substr(dot + 1))
    extension.push_back((c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c);
  return extension == "XML" ? ReportKind::Xml : ReportKind::Text;
}

bool ListExporter::WriteReport(const DeviceListModel& list, const std::string& path,
                               ReportKind kind, std::string& error) {
  const std::string report = kind == ReportKind::Xml ? BuildXmlReport(list) : BuildTextReport(list);
  return platform::WriteFileAtomically(path, report, error);
}

}  // namespace wren
