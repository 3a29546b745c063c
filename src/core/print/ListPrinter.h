#pragma once
// The printed device list, laid out without any drawing toolkit: a title
// band at the top of every page, the column headings and as many rows as
// fit below them, and a footer band with the page number. Everything is in
// printer device units; the drawing side measures the fonts on the printer
// and hands the figures in, then asks where each piece goes.
//
// Columns print in the user's display order, each as wide as on screen
// times the scale (printer units per screen pixel, from the ratio of the
// body font's average character width on the printer to the list font's on
// screen). A column is cut at the body's right edge; columns further right
// are not printed.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wren {

struct PrintRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool operator==(const PrintRect&) const = default;
};

// Average character width and line height of a font on one device.
struct TextSize {
  int width = 0;
  int height = 0;
};

// What the drawing side measured for one print job.
struct PrintMeasures {
  int pageWidth = 0;  // the printable page, in printer device units
  int pageHeight = 0;
  TextSize title;  // the fonts, measured on the printer
  TextSize footer;
  TextSize body;
  int screenCharWidth = 0;  // the list font's average character width on screen, pixels
};

// Fonts of the printout: face, size in points and weight (400 normal,
// 700 bold); none italic.
struct PrintFontSpec {
  std::string_view face;
  int points;
  int weight;
};

class ListPrinter {
public:
  static constexpr int kMaxColumns = 100;
  static constexpr int kIndent = 5;     // screen pixels before a cell's text, times the scale
  static constexpr int kBarHeight = 5;  // the black bars of the title and footer bands
  static constexpr int kBandLines = 2;  // both bands are two lines of their font tall
  static constexpr PrintFontSpec kTitleFont{"Arial", 12, 700};
  static constexpr PrintFontSpec kFooterFont{"Arial", 10, 400};
  static constexpr PrintFontSpec kHeadingFont{"Arial", 9, 700};
  static constexpr PrintFontSpec kBodyFont{"Times New Roman", 10, 400};
  // The average character width is this sample's width over its length.
  static constexpr std::string_view kWidthSample =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSATUVWXYZ";

  struct Margins {
    int left = 200;
    int top = 150;
    int right = 200;
    int bottom = 150;
  };

  ListPrinter() = default;
  virtual ~ListPrinter() = default;

  void SetLeftTitle(std::string title) { m_leftTitle = std::move(title); }
  void SetRightTitle(std::string title) { m_rightTitle = std::move(title); }
  const std::string& LeftTitle() const { return m_leftTitle; }
  const std::string& RightTitle() const { return m_rightTitle; }

  // Clears the previous job's layout (the titles stay).
  void Reset();

  // Lays out a job over `rowCount` rows. `screenWidths` are the list's column
  // widths in screen pixels, in creation order; `displayOrder` lists the
  // creation indexes in display order (empty: creation order). False with a
  // message for the user when the job cannot be laid out: a page too short
  // for two lines of the body font below the title, fonts that could not be
  // measured, or a column order that is not one of the list's.
  bool BeginPrinting(const PrintMeasures& measures, int rowCount,
                     const std::vector<int>& screenWidths, const std::vector<int>& displayOrder,
                     std::string& error);

  int RowCount() const { return m_rowCount; }
  int ColumnCount() const { return static_cast<int>(m_columnOrder.size()); }
  int RowsPerPage() const { return m_rowsPerPage; }
  // Pages the rows need: 0 for an empty list.
  int PageCount() const { return m_pageCount; }
  // Pages a job prints: an empty list still prints one page with the titles,
  // the headings and its footer, so the printout says what it is.
  int PagesToPrint() const { return m_pageCount > 0 ? m_pageCount : (m_laidOut ? 1 : 0); }
  double Scale() const { return m_scale; }

  const PrintRect& Page() const { return m_page; }
  const PrintRect& PrintableArea() const { return m_printable; }
  const PrintRect& TitleBand() const { return m_titleBand; }
  const PrintRect& FooterBand() const { return m_footerBand; }
  const PrintRect& Body() const { return m_body; }
  const Margins& PageMargins() const { return m_margins; }
  const TextSize& TitleTextSize() const { return m_titleSize; }
  const TextSize& FooterTextSize() const { return m_footerSize; }
  const TextSize& BodyTextSize() const { return m_bodySize; }

  // The creation index of the column at display position `position`.
  int ColumnAt(int position) const;
  // The horizontal extent of the cells at display position `position`
  // (top and bottom are the body's); empty when the column lies past the
  // body's right edge or is narrower than its indent.
  PrintRect ColumnSpan(int position) const;
  PrintRect HeadingCell(int position) const;
  PrintRect RowCell(int row, int position) const;
  // The rows page `page` (from 1) prints: [first, second).
  std::pair<int, int> RowsOfPage(int page) const;

  // The title band's black bar and its first line, where both titles go.
  PrintRect TitleBar() const;
  PrintRect TitleLine() const;
  // The footer band's black bar and its last line, where the page number goes.
  PrintRect FooterBar() const;
  PrintRect FooterLine() const;

  // "Page %d of %d" over the pages this job prints.
  std::string PageText(int page) const { return PageText(page, PagesToPrint()); }
  static std::string PageText(int page, int count);

private:
  struct ColumnGeometry {
    int left = 0;
    int right = 0;
  };

  std::string m_leftTitle;
  std::string m_rightTitle;
  double m_scale = 0;
  PrintRect m_titleBand;
  PrintRect m_footerBand;
  PrintRect m_body;
  PrintRect m_printable;
  PrintRect m_page;
  TextSize m_titleSize;
  TextSize m_footerSize;
  TextSize m_bodySize;
  Margins m_margins;
  int m_rowsPerPage = 0;
  int m_pageCount = 0;
  int m_rowCount = 0;
  bool m_laidOut = false;
  std::vector<int> m_columnOrder;
  std::vector<ColumnGeometry> m_columns;  // by display position
};

}  // namespace wren
