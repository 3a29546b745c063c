#include "paint/ListPrinterPainter.h"
#include "base/Product.h"

#include <QFontMetrics>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

#include "core/print/ListPrinter.h"
#include "core/list/DeviceListModel.h"

namespace wren {
namespace {

QFont PrinterFont(const QFont& screenFont, const PrintFontSpec& spec, int dpiY) {
  // From the list's own font, so that what the screen font carries besides
  // face, size and weight follows it onto paper.
  QFont font(screenFont);
  const QString face = QString::fromLatin1(spec.face.data(), static_cast<int>(spec.face.size()));
  // Arial and Times New Roman are rarely installed here; Liberation Sans and
  // Serif have the same metrics, and fontconfig's aliases usually find them.
  const QString twin =
      spec.face == "Arial" ? QStringLiteral("Liberation Sans") : QStringLiteral("Liberation Serif");
  font.setFamilies({face, twin});
  font.setItalic(false);
  font.setWeight(spec.weight >= 700 ? QFont::Bold : QFont::Normal);
  font.setPixelSize(std::max(1, static_cast<int>(std::lround(spec.points * dpiY / 72.0))));
  return font;
}

TextSize Measure(const QFontMetrics& metrics) {
  const QString sample = QString::fromLatin1(ListPrinter::kWidthSample.data(),
                                             static_cast<int>(ListPrinter::kWidthSample.size()));
  const int length = static_cast<int>(ListPrinter::kWidthSample.size());
  return {metrics.horizontalAdvance(sample) / length, metrics.height()};
}

QRect ToQRect(const PrintRect& r) { return QRect(r.left, r.top, r.Width(), r.Height()); }

// A cell's text, as much of it as can show in `width` device units: a cell
// of a megabyte is not laid out whole to print a few words of it.
QString CellText(const std::string& text, int width, int averageCharWidth) {
  const std::size_t visible =
      static_cast<std::size_t>(std::max(width, 0) / std::max(1, averageCharWidth / 4)) + 8;
  if (text.size() <= visible)
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  // Enough bytes for `visible` characters of up to four bytes each.
  const std::size_t bytes = std::min(text.size(), visible * 4);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(bytes))
      .left(static_cast<qsizetype>(visible));
}

// One line of text, vertically centred in its cell, from the cell's left.
// Line ends and tabs become spaces. Drawn at its baseline rather than laid
// out in a rectangle: a cell's text is one line, and this is what keeps a
// list of many thousand rows quick to print.
void DrawCentred(QPainter& painter, const QFontMetrics& metrics, const PrintRect& cell,
                 QString text) {
  for (QChar& c : text)
    if (c.unicode() < 0x20 || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
      c = QChar(' ');
  const int baseline = cell.top + (cell.Height() - metrics.height()) / 2 + metrics.ascent();
  painter.drawText(QPoint(cell.left, baseline), text);
}

struct PrintFonts {
  QFont title, footer, heading, body;
};

void DrawPage(QPainter& painter, const ListPrinter& layout, const DeviceListModel& model,
              const PrintFonts& fonts, int page) {
  constexpr int kBottom = Qt::AlignBottom | Qt::TextSingleLine;

  painter.setFont(fonts.title);
  painter.fillRect(ToQRect(layout.TitleBar()), Qt::black);
  const QRect titleLine = ToQRect(layout.TitleLine());
  painter.drawText(titleLine, kBottom | Qt::AlignLeft, QString::fromStdString(layout.LeftTitle()));
  painter.drawText(titleLine, kBottom | Qt::AlignRight,
                   QString::fromStdString(layout.RightTitle()));

  // A cell's text is cut at its cell, without an ellipsis: the clip is set
  // once per column, as rows never overflow their line.
  const int average = layout.BodyTextSize().width;
  const QFontMetrics headingMetrics(fonts.heading, painter.device());
  const QFontMetrics bodyMetrics(fonts.body, painter.device());
  const auto [first, last] = layout.RowsOfPage(page);
  for (int position = 0; position < layout.ColumnCount(); ++position) {
    const PrintRect span = layout.ColumnSpan(position);
    if (span.IsEmpty()) continue;
    const int column = layout.ColumnAt(position);
    painter.setClipRect(ToQRect(span));
    painter.setFont(fonts.heading);
    DrawCentred(painter, headingMetrics, layout.HeadingCell(position),
                CellText(std::string(DeviceListModel::ColumnTitle(column)), span.Width(), average));
    painter.setFont(fonts.body);
    for (int row = first; row < last; ++row) {
      const std::string& text = model.CellText(row, column);
      if (text.empty()) continue;
      DrawCentred(painter, bodyMetrics, layout.RowCell(row, position),
                  CellText(text, span.Width(), average));
    }
  }
  painter.setClipping(false);

  painter.setFont(fonts.footer);
  painter.fillRect(ToQRect(layout.FooterBar()), Qt::black);
  painter.drawText(ToQRect(layout.FooterLine()), kBottom | Qt::AlignRight,
                   QString::fromStdString(layout.PageText(page)));
}

QPageSize LocalePaper() {
  return QLocale::system().measurementSystem() == QLocale::ImperialUSSystem
             ? QPageSize(QPageSize::Letter)
             : QPageSize(QPageSize::A4);
}

}  // namespace

namespace {

PrintFonts FontsFor(const QPaintDevice& device, const QFont& screenFont) {
  const int dpiY = device.logicalDpiY();
  return {PrinterFont(screenFont, ListPrinter::kTitleFont, dpiY),
          PrinterFont(screenFont, ListPrinter::kFooterFont, dpiY),
          PrinterFont(screenFont, ListPrinter::kHeadingFont, dpiY),
          PrinterFont(screenFont, ListPrinter::kBodyFont, dpiY)};
}

bool LayOut(const QPaintDevice& device, const PrintFonts& fonts, int rowCount,
            const std::vector<int>& displayOrder, const ListPrintLook& look, ListPrinter& layout,
            std::string& error) {
  PrintMeasures measures;
  measures.pageWidth = device.width();
  measures.pageHeight = device.height();
  const QPaintDevice* target = &device;
  measures.title = Measure(QFontMetrics(fonts.title, target));
  measures.footer = Measure(QFontMetrics(fonts.footer, target));
  measures.body = Measure(QFontMetrics(fonts.body, target));
  measures.screenCharWidth = Measure(QFontMetrics(look.screenFont)).width;

  std::vector<int> widths = look.screenWidths;
  if (widths.empty()) {
    const auto standard = ColumnWidths(kDefaultListWidth);
    widths.assign(standard.begin(), standard.end());
  }
  layout.Reset();
  layout.SetLeftTitle(look.leftTitle);
  layout.SetRightTitle(look.rightTitle);
  return layout.BeginPrinting(measures, rowCount, widths, displayOrder, error);
}

}  // namespace

bool LayOutList(const QPagedPaintDevice& device, int rowCount, const std::vector<int>& displayOrder,
                const ListPrintLook& look, ListPrinter& layout, std::string& error) {
  return LayOut(device, FontsFor(device, look.screenFont), rowCount, displayOrder, look, layout,
                error);
}

bool PaintList(QPagedPaintDevice& device, const DeviceListModel& model,
               const std::vector<int>& displayOrder, const ListPrintLook& look, std::string& error,
               int fromPage, int toPage) {
  const PrintFonts fonts = FontsFor(device, look.screenFont);
  ListPrinter layout;
  if (!LayOut(device, fonts, model.RowCount(), displayOrder, look, layout, error)) return false;

  const int pages = layout.PagesToPrint();
  if (fromPage > pages) {
    error = "The printout has " + std::to_string(pages) + (pages == 1 ? " page" : " pages") +
            ", so page " + std::to_string(fromPage) + " cannot be printed.";
    return false;
  }
  const int first = std::clamp(fromPage > 0 ? fromPage : 1, 1, pages);
  const int last = std::clamp(toPage > 0 ? toPage : pages, first, pages);
  QPainter painter;
  if (!painter.begin(&device)) {
    error = "The printer could not be started, so nothing was printed.";
    return false;
  }
  for (int page = first; page <= last; ++page) {
    if (page > first && !device.newPage()) {
      error = "The printer stopped after page " + std::to_string(page - 1) + ".";
      painter.end();
      return false;
    }
    DrawPage(painter, layout, model, fonts, page);
  }
  if (!painter.end()) {
    error = "The printout could not be finished.";
    return false;
  }
  return true;
}

bool WriteListPdf(QIODevice& out, const DeviceListModel& model,
                  const std::vector<int>& displayOrder, std::string& error,
                  const ListPrintLook& look) {
  QPdfWriter writer(&out);
  writer.setResolution(600);
  writer.setCreator(QString::fromUtf8(product::kName.data(), product::kName.size()) + ' ' +
                    QString::fromUtf8(product::kVersion.data(), product::kVersion.size()));
  writer.setTitle(QStringLiteral("Wrenlocator device list"));
  // A quarter inch all round, where a printer could not print anyway.
  writer.setPageLayout(QPageLayout(LocalePaper(), QPageLayout::Portrait,
                                   QMarginsF(6.35, 6.35, 6.35, 6.35), QPageLayout::Millimeter));
  return PaintList(writer, model, displayOrder, look, error);
}

bool WriteListPdf(const std::string& path, const DeviceListModel& model,
                  const std::vector<int>& displayOrder, std::string& error,
                  const ListPrintLook& look) {
  QSaveFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly)) {
    error = file.errorString().toStdString();
    return false;
  }
  if (!WriteListPdf(file, model, displayOrder, error, look)) {
    file.cancelWriting();
    return false;
  }
  if (!file.commit()) {
    error = file.errorString().toStdString();
    return false;
  }
  return true;
}

}  // namespace wren
