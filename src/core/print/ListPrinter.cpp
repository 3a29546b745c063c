#include "core/print/ListPrinter.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace wren {
namespace {

// Widths times the scale, truncated toward zero, kept inside int.
std::int64_t Scaled(std::int64_t pixels, double scale) {
  const double value = static_cast<double>(std::max<std::int64_t>(pixels, 0)) * scale;
  constexpr double kLimit = static_cast<double>(std::numeric_limits<int>::max());
  return static_cast<std::int64_t>(std::min(value, kLimit));
}

int ClampToInt(std::int64_t value) {
  return static_cast<int>(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                                   std::numeric_limits<int>::max()));
}

bool IsOrderOf(const std::vector<int>& order, std::size_t count) {
  if (order.size() != count) return false;
  std::vector<bool> seen(count, false);
  for (int column : order) {
    if (column < 0 || static_cast<std::size_t>(column) >= count || seen[column]) return false;
    seen[column] = true;
  }
  return true;
}

}  // namespace

void ListPrinter::Reset() {
  m_scale = 0;
  m_titleBand = m_footerBand = m_body = m_printable = m_page = PrintRect();
  m_titleSize = m_footerSize = m_bodySize = TextSize();
  m_margins = Margins();
  m_rowsPerPage = m_pageCount = m_rowCount = 0;
  m_laidOut = false;
  m_columnOrder.clear();
  m_columns.clear();
}

bool ListPrinter::BeginPrinting(const PrintMeasures& measures, int rowCount,
                                const std::vector<int>& screenWidths,
                                const std::vector<int>& displayOrder, std::string& error) {
  Reset();
  if (measures.title.height <= 0 || measures.footer.height <= 0 || measures.body.height <= 0 ||
      measures.body.width <= 0 || measures.screenCharWidth <= 0) {
    error = "The printer's fonts could not be measured, so the list cannot be printed.";
    return false;
  }
  if (screenWidths.size() > static_cast<std::size_t>(kMaxColumns)) {
    error = "The list has more columns than can be printed (at most 100).";
    return false;
  }
  std::vector<int> order = displayOrder;
  if (order.empty()) {
    for (std::size_t i = 0; i < screenWidths.size(); ++i) order.push_back(static_cast<int>(i));
  } else if (!IsOrderOf(order, screenWidths.size())) {
    error = "The list's column order is not valid, so the list cannot be printed.";
    return false;
  }

  m_titleSize = measures.title;
  m_footerSize = measures.footer;
  m_bodySize = measures.body;
  m_page = {0, 0, std::max(measures.pageWidth, 0), std::max(measures.pageHeight, 0)};
  m_printable = {m_page.left + m_margins.left, m_page.top + m_margins.top,
                 m_page.right - m_margins.right, m_page.bottom - m_margins.bottom};
  m_titleBand = {m_printable.left, m_printable.top, m_printable.right,
                 m_printable.top + kBandLines * m_titleSize.height};
  m_footerBand = {m_printable.left, m_printable.bottom - kBandLines * m_footerSize.height,
                  m_printable.right, m_printable.bottom};
  m_body = {m_printable.left, m_titleBand.bottom, m_printable.right, m_footerBand.top};

  const int line = m_bodySize.height;
  // The headings take one line; a page that cannot hold one row below them
  // would make the page count meaningless.
  if (m_body.Width() <= 0 || m_body.Height() < 2 * line) {
    char text[320];
    std::snprintf(text, sizeof text,
                  "The page is too small to print the list: between the title and the page "
                  "number there must be room for the headings and at least one row (%d printer "
                  "units high), but there are %d by %d units. Choose a larger paper size or "
                  "smaller margins.",
                  2 * line, std::max(m_body.Width(), 0), std::max(m_body.Height(), 0));
    error = text;
    Reset();
    return false;
  }

  m_scale = static_cast<double>(m_bodySize.width) / static_cast<double>(measures.screenCharWidth);
  m_rowCount = std::max(rowCount, 0);
  m_rowsPerPage = (m_body.Height() - line) / line;
  m_pageCount =
      ClampToInt((static_cast<std::int64_t>(m_rowCount) + m_rowsPerPage - 1) / m_rowsPerPage);
  m_columnOrder = std::move(order);

  const std::int64_t indent = Scaled(kIndent, m_scale);
  std::int64_t left = m_body.left;
  for (int column : m_columnOrder) {
    const std::int64_t width = Scaled(screenWidths[column], m_scale);
    ColumnGeometry g;
    g.right = ClampToInt(std::min<std::int64_t>(left + width, m_body.right));
    g.left = ClampToInt(std::min<std::int64_t>(left + indent, m_body.right));
    m_columns.push_back(g);
    left = std::min<std::int64_t>(left + width, std::numeric_limits<int>::max());
  }
  m_laidOut = true;
  return true;
}

int ListPrinter::ColumnAt(int position) const {
  if (position < 0 || position >= ColumnCount()) return -1;
  return m_columnOrder[position];
}

PrintRect ListPrinter::ColumnSpan(int position) const {
  if (position < 0 || position >= ColumnCount()) return {};
  const ColumnGeometry& g = m_columns[position];
  return {g.left, m_body.top, std::max(g.right, g.left), m_body.bottom};
}

PrintRect ListPrinter::HeadingCell(int position) const {
  PrintRect cell = ColumnSpan(position);
  cell.top = m_body.top;
  cell.bottom = cell.top + m_bodySize.height;
  return cell;
}

PrintRect ListPrinter::RowCell(int row, int position) const {
  PrintRect cell = ColumnSpan(position);
  if (m_rowsPerPage <= 0 || row < 0) return {};
  cell.top = m_body.top + m_bodySize.height * (1 + row % m_rowsPerPage);
  cell.bottom = cell.top + m_bodySize.height;
  return cell;
}

std::pair<int, int> ListPrinter::RowsOfPage(int page) const {
  if (page < 1 || m_rowsPerPage <= 0) return {0, 0};
  const std::int64_t first = static_cast<std::int64_t>(page - 1) * m_rowsPerPage;
  if (first >= m_rowCount) return {m_rowCount, m_rowCount};
  const std::int64_t last = std::min<std::int64_t>(first + m_rowsPerPage, m_rowCount);
  return {static_cast<int>(first), static_cast<int>(last)};
}

PrintRect ListPrinter::TitleBar() const {
  const int top = m_titleBand.top + m_titleSize.height * 3 / 2;
  return {m_titleBand.left, top, m_titleBand.right, top + kBarHeight};
}

PrintRect ListPrinter::TitleLine() const {
  return {m_titleBand.left, m_titleBand.top, m_titleBand.right,
          m_titleBand.top + m_titleSize.height};
}

PrintRect ListPrinter::FooterBar() const {
  const int top = m_footerBand.top + m_footerSize.height / 2;
  return {m_footerBand.left, top, m_footerBand.right, top + kBarHeight};
}

PrintRect ListPrinter::FooterLine() const {
  return {m_footerBand.left, m_footerBand.bottom - m_footerSize.height, m_footerBand.right,
          m_footerBand.bottom};
}

std::string ListPrinter::PageText(int page, int count) {
  char text[64];
  std::snprintf(text, sizeof text, "Page %d of %d", page, count);
  return text;
}

}  // namespace wren
