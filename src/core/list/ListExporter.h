#pragma once
// The device list as reports: the tab-separated text report, one row's
// text, and the XML report. They read the rows as shown (cell texts, the
// row images and the column titles), never the records behind them, and
// take the columns in creation order.

#include <string>
#include <string_view>

#include "core/list/DeviceListModel.h"

namespace wren {

enum class ReportKind { Text, Xml };

class ListExporter {
public:
  // The XML report reads cells and titles as the list window hands them
  // out, 255 characters at most; the text reports carry them whole.
  static constexpr std::size_t kXmlCellLimit = 255;

  // Every cell followed by a tab, and a carriage return after each row; no
  // header line, no line feed. An empty list gives an empty text.
  static std::string BuildTextReport(const DeviceListModel& list);
  // One row's cells joined by tabs, without a line end; "" for no such row.
  static std::string BuildRowText(const DeviceListModel& list, int row);
  // A data file with root "dataroot" holding "ListData" with one "Row"
  // element per row: the row's image, then one attribute per column named
  // after its title.
  static std::string BuildXmlReport(const DeviceListModel& list);

  // The Save As choice: an ".xml" extension in any letter case gives the
  // XML report, any other the text report. A path without extension gets
  // ".txt" when the text filter was chosen, ".xml" otherwise.
  static ReportKind ChooseReportKind(std::string& path, bool textFilterSelected);

  // Writes the report's bytes unchanged (no line-end translation) through a
  // temporary file renamed over `path`; false with the reason in `error`.
  static bool WriteReport(const DeviceListModel& list, const std::string& path, ReportKind kind,
                          std::string& error);
};

}  // namespace wren
