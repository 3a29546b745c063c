// Printing the device list and opening the history report.
//
// PrintList10k lays out and paints a 10,000-row list into a PDF in memory
// (some 160 pages at 600 dots per inch), the same path as the Print command
// and `--export pdf`; LayoutOnly is the page and column arithmetic alone.
// HistoryDialogOpen100k reads a 100,000-entry history document into the
// history report's tree and shows it; HistoryRead100k is the reading alone.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBuffer>
#include <QTreeView>

#include <cstdio>
#include <string>

#include "gui/CHistoryDialog.h"
#include "paint/ListPrinterPainter.h"
#include "core/history/HistoryStore.h"
#include "core/history/HistoryTree.h"
#include "core/print/ListPrinter.h"
#include "core/list/DeviceListModel.h"

namespace wren {
namespace {

void FillList(DeviceListModel& model, int rows) {
  char text[64];
  for (int row = 0; row < rows; ++row) {
    std::snprintf(text, sizeof text, "WORKSTATION-hci0 -> Device number %d", row);
    model.InsertRow(row, text, row % 48);
    std::snprintf(text, sizeof text, "00:1A:%02X:%02X:%02X:%02X", (row >> 24) & 0xFF,
                  (row >> 16) & 0xFF, (row >> 8) & 0xFF, row & 0xFF);
    model.SetCellText(row, 1, "Phone/Smart phone");
    model.SetCellText(row, 2, text);
    model.SetCellText(row, 3, "Example Electronics Corporation");
    model.SetCellText(row, 4, "14:03:59 07/21/2009");
    model.SetCellText(row, 5, "13:00:00 07/21/2009");
    model.SetCellText(row, 6, "Connected");
    model.SetCellText(row, 7, "Remembered");
    model.SetCellText(row, 8, "Authenticated");
    model.SetCellText(row, 9, "Audio, Telephony, Object Transfer,");
  }
}

void PrintList10k(benchmark::State& state) {
  DeviceListModel model;
  FillList(model, 10'000);
  std::size_t bytes = 0;
  for (auto _ : state) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    std::string error;
    if (!WriteListPdf(buffer, model, {}, error)) state.SkipWithError(error.c_str());
    bytes = static_cast<std::size_t>(buffer.size());
  }
  state.counters["pdf_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(PrintList10k)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void LayoutOnly10k(benchmark::State& state) {
  PrintMeasures m{4960, 7015, {45, 116}, {38, 96}, {38, 96}, 7};
  const auto widths = ColumnWidths(kDefaultListWidth);
  const std::vector<int> screenWidths(widths.begin(), widths.end());
  for (auto _ : state) {
    ListPrinter layout;
    std::string error;
    layout.BeginPrinting(m, 10'000, screenWidths, {}, error);
    int cells = 0;
    for (int page = 1; page <= layout.PagesToPrint(); ++page) {
      const auto [first, last] = layout.RowsOfPage(page);
      for (int row = first; row < last; ++row)
        for (int p = 0; p < layout.ColumnCount(); ++p) cells += layout.RowCell(row, p).Width() > 0;
    }
    benchmark::DoNotOptimize(cells);
  }
}
BENCHMARK(LayoutOnly10k)->Unit(benchmark::kMicrosecond);

std::string HistoryDocument(int entries) {
  DeviceList list;
  for (int i = 0; i < entries; ++i) {
    DeviceRecord r;
    r.m_radioName = "WORKSTATION-hci0";
    r.m_name = "Device number " + std::to_string(i);
    char address[18];
    std::snprintf(address, sizeof address, "00:1A:%02X:%02X:%02X:%02X", (i >> 24) & 0xFF,
                  (i >> 16) & 0xFF, (i >> 8) & 0xFF, i & 0xFF);
    r.m_address = address;
    r.m_producer = "Example Electronics Corporation";
    r.m_lastSeen = "14:03:59 07/21/2009";
    r.m_lastUsed = "13:00:00 07/21/2009";
    r.m_type = "Phone/Smart phone";
    r.m_services = "Audio, Telephony, Object Transfer,";
    r.m_image = i % 48;
    list.push_back(r);
  }
  XmlDataFile file;
  file.CreateNew(kHistoryRoot);
  file.EnterElement();
  for (const DeviceRecord& r : list) HistoryStore::WriteEntry(file, r);
  return file.GetDocumentText();
}

void HistoryRead100k(benchmark::State& state) {
  const std::string text = HistoryDocument(100'000);
  for (auto _ : state) {
    XmlDataFile file;
    file.SetText(text);
    auto entries = HistoryTree::ReadEntries(file);
    benchmark::DoNotOptimize(entries.data());
  }
}
BENCHMARK(HistoryRead100k)->Unit(benchmark::kMillisecond);

void HistoryDialogOpen100k(benchmark::State& state) {
  const std::string text = HistoryDocument(100'000);
  FunctionIconSource icons(48, [](int) { return QIcon(); });
  for (auto _ : state) {
    CHistoryDialog dialog(text, &icons);
    dialog.show();
    QApplication::processEvents();
    benchmark::DoNotOptimize(dialog.Tree()->model()->rowCount());
  }
}
BENCHMARK(HistoryDialogOpen100k)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace wren

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
