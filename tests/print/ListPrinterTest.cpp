#include "core/print/ListPrinter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wren {
namespace {

// A letter page at 600 dots per inch; odd line heights so that the bands'
// integer arithmetic shows.
PrintMeasures LetterAt600() {
  PrintMeasures m;
  m.pageWidth = 5100;
  m.pageHeight = 6600;
  m.title = {40, 101};
  m.footer = {35, 81};
  m.body = {30, 60};
  m.screenCharWidth = 6;  // scale 5
  return m;
}

class Layout : public ::testing::Test {
protected:
  bool Lay(const PrintMeasures& m, int rows, const std::vector<int>& widths,
           const std::vector<int>& order = {}) {
    error.clear();
    return printer.BeginPrinting(m, rows, widths, order, error);
  }
  ListPrinter printer;
  std::string error;
};

TEST_F(Layout, BandsAndBodyFollowTheMarginsAndTheFontHeights) {
  ASSERT_TRUE(Lay(LetterAt600(), 10, {100}));
  EXPECT_EQ(printer.Page(), (PrintRect{0, 0, 5100, 6600}));
  EXPECT_EQ(printer.PrintableArea(), (PrintRect{200, 150, 4900, 6450}));
  EXPECT_EQ(printer.TitleBand(), (PrintRect{200, 150, 4900, 352}));
  EXPECT_EQ(printer.FooterBand(), (PrintRect{200, 6288, 4900, 6450}));
  EXPECT_EQ(printer.Body(), (PrintRect{200, 352, 4900, 6288}));
  // The bars: 1.5 title lines (101 * 3 / 2 = 151) and half a footer line
  // (81 / 2 = 40) below their band's top, five units high.
  EXPECT_EQ(printer.TitleBar(), (PrintRect{200, 301, 4900, 306}));
  EXPECT_EQ(printer.FooterBar(), (PrintRect{200, 6328, 4900, 6333}));
  EXPECT_EQ(printer.TitleLine(), (PrintRect{200, 150, 4900, 251}));
  EXPECT_EQ(printer.FooterLine(), (PrintRect{200, 6369, 4900, 6450}));
}

TEST_F(Layout, RowsPerPageAndPageCount) {
  // Body 5936 high, lines of 60: the headings and 97 rows.
  struct Case {
    int rows;
    int pages;
  };
  for (const Case& c :
       {Case{0, 0}, Case{1, 1}, Case{97, 1}, Case{98, 2}, Case{194, 2}, Case{2 * 97 + 1, 3}}) {
    ASSERT_TRUE(Lay(LetterAt600(), c.rows, {100})) << error;
    EXPECT_EQ(printer.RowsPerPage(), 97);
    EXPECT_EQ(printer.PageCount(), c.pages) << c.rows << " rows";
  }
}

TEST_F(Layout, TwiceRowsPerPagePlusOneGivesThreePagesTheLastWithOneRow) {
  ASSERT_TRUE(Lay(LetterAt600(), 2 * 97 + 1, {100}));
  ASSERT_EQ(printer.PagesToPrint(), 3);
  EXPECT_EQ(printer.RowsOfPage(1), std::make_pair(0, 97));
  EXPECT_EQ(printer.RowsOfPage(2), std::make_pair(97, 194));
  EXPECT_EQ(printer.RowsOfPage(3), std::make_pair(194, 195));
  EXPECT_EQ(printer.RowsOfPage(4), std::make_pair(195, 195));
  EXPECT_EQ(printer.RowsOfPage(0), std::make_pair(0, 0));
  EXPECT_EQ(printer.PageText(1), "Page 1 of 3");
  EXPECT_EQ(printer.PageText(3), "Page 3 of 3");
}

TEST_F(Layout, RowCellsStartBelowTheHeadingsOnEveryPage) {
  ASSERT_TRUE(Lay(LetterAt600(), 200, {100}));
  EXPECT_EQ(printer.HeadingCell(0), (PrintRect{225, 352, 700, 412}));
  EXPECT_EQ(printer.RowCell(0, 0), (PrintRect{225, 412, 700, 472}));
  // The last row of a page ends inside the body; the next page starts over.
  EXPECT_EQ(printer.RowCell(96, 0).top, 352 + 60 * 97);
  EXPECT_LE(printer.RowCell(96, 0).bottom, printer.Body().bottom);
  EXPECT_EQ(printer.RowCell(97, 0), printer.RowCell(0, 0));
  EXPECT_EQ(printer.RowCell(195, 0), printer.RowCell(1, 0));
}

TEST_F(Layout, AnEmptyListHasNoPagesButPrintsOneReadablePage) {
  ASSERT_TRUE(Lay(LetterAt600(), 0, {100, 50}));
  EXPECT_EQ(printer.PageCount(), 0);
  EXPECT_EQ(printer.PagesToPrint(), 1);
  EXPECT_EQ(printer.RowsOfPage(1), std::make_pair(0, 0));
  EXPECT_EQ(printer.PageText(1), "Page 1 of 1");
}

TEST_F(Layout, DraggedColumnsGoInDisplayOrderEachWithItsOwnWidth) {
  // Screen widths 100, 50 and 200 pixels at scale 5; displayed as 2, 0, 1.
  ASSERT_TRUE(Lay(LetterAt600(), 1, {100, 50, 200}, {2, 0, 1}));
  ASSERT_EQ(printer.ColumnCount(), 3);
  EXPECT_EQ(printer.ColumnAt(0), 2);
  EXPECT_EQ(printer.ColumnAt(1), 0);
  EXPECT_EQ(printer.ColumnAt(2), 1);
  EXPECT_EQ(printer.ColumnAt(3), -1);
  // Each cell starts 5 pixels (25 units) into its column.
  EXPECT_EQ(printer.ColumnSpan(0).left, 225);
  EXPECT_EQ(printer.ColumnSpan(0).right, 1200);
  EXPECT_EQ(printer.ColumnSpan(1).left, 1225);
  EXPECT_EQ(printer.ColumnSpan(1).right, 1700);
  EXPECT_EQ(printer.ColumnSpan(2).left, 1725);
  EXPECT_EQ(printer.ColumnSpan(2).right, 1950);
}

TEST_F(Layout, AColumnPastTheRightEdgeIsCutThereAndLaterOnesAreNotPrinted) {
  // 2000 + 3000 + 1500 units on a body 4700 wide starting at 200.
  ASSERT_TRUE(Lay(LetterAt600(), 1, {400, 600, 300}));
  EXPECT_EQ(printer.ColumnSpan(0), (PrintRect{225, 352, 2200, 6288}));
  EXPECT_EQ(printer.ColumnSpan(1), (PrintRect{2225, 352, 4900, 6288}));
  EXPECT_TRUE(printer.ColumnSpan(2).IsEmpty());
  EXPECT_TRUE(printer.RowCell(0, 2).IsEmpty());
  EXPECT_LE(printer.ColumnSpan(2).right, printer.Body().right);
  // A column narrower than its indent has no room for text either.
  ASSERT_TRUE(Lay(LetterAt600(), 1, {4, 100}));
  EXPECT_TRUE(printer.ColumnSpan(0).IsEmpty());
  EXPECT_EQ(printer.ColumnSpan(1).left, 245);
}

TEST_F(Layout, ABodyFontTwiceAsWideDoublesEveryColumn) {
  PrintMeasures narrow = LetterAt600();
  narrow.pageWidth = 60000;  // nothing cut
  PrintMeasures wide = narrow;
  wide.body.width = 2 * narrow.body.width;
  const std::vector<int> widths{130, 77, 250, 9};
  const std::vector<int> order{3, 1, 0, 2};
  ASSERT_TRUE(Lay(narrow, 1, widths, order));
  std::vector<int> narrowRights;
  for (int p = 0; p < 4; ++p) narrowRights.push_back(printer.ColumnSpan(p).right);
  const double narrowScale = printer.Scale();
  ASSERT_TRUE(Lay(wide, 1, widths, order));
  EXPECT_DOUBLE_EQ(printer.Scale(), 2 * narrowScale);
  int narrowLeft = 200;
  int wideLeft = 200;
  for (int p = 0; p < 4; ++p) {
    EXPECT_EQ(printer.ColumnSpan(p).right - wideLeft, 2 * (narrowRights[p] - narrowLeft)) << p;
    EXPECT_EQ(printer.ColumnSpan(p).right - wideLeft, widths[order[p]] * 10) << p;
    narrowLeft = narrowRights[p];
    wideLeft = printer.ColumnSpan(p).right;
  }
}

TEST_F(Layout, ScaledWidthsAndIndentAreTruncated) {
  PrintMeasures m = LetterAt600();
  m.body.width = 7;
  m.screenCharWidth = 3;  // scale 2.333...
  ASSERT_TRUE(Lay(m, 1, {100, 100}));
  EXPECT_EQ(printer.ColumnSpan(0).right, 200 + 233);
  EXPECT_EQ(printer.ColumnSpan(0).left, 200 + 11);
  EXPECT_EQ(printer.ColumnSpan(1).right, 200 + 466);
}

TEST_F(Layout, APageTooShortForTwoBodyLinesIsRefusedWithAMessage) {
  // Body = page height - 300 (margins) - 202 (title) - 162 (footer).
  PrintMeasures m = LetterAt600();
  m.pageHeight = 664 + 119;
  EXPECT_FALSE(Lay(m, 5, {100}));
  EXPECT_NE(error.find("too small"), std::string::npos) << error;
  EXPECT_EQ(printer.PageCount(), 0);
  EXPECT_EQ(printer.PagesToPrint(), 0);
  EXPECT_EQ(printer.RowsPerPage(), 0);

  m.pageHeight = 664 + 120;  // exactly the headings and one row
  ASSERT_TRUE(Lay(m, 5, {100})) << error;
  EXPECT_EQ(printer.RowsPerPage(), 1);
  EXPECT_EQ(printer.PageCount(), 5);

  m.pageHeight = 100;  // smaller than the margins
  EXPECT_FALSE(Lay(m, 5, {100}));
  m = LetterAt600();
  m.pageWidth = 400;  // no width left between the margins
  EXPECT_FALSE(Lay(m, 5, {100}));
  EXPECT_FALSE(error.empty());
}

TEST_F(Layout, BadMeasuresAndColumnOrdersAreRefused) {
  PrintMeasures m = LetterAt600();
  m.screenCharWidth = 0;
  EXPECT_FALSE(Lay(m, 1, {100}));
  m = LetterAt600();
  m.body.height = 0;
  EXPECT_FALSE(Lay(m, 1, {100}));
  for (const std::vector<int>& order : {std::vector<int>{0, 0, 1}, std::vector<int>{0, 1},
                                        std::vector<int>{0, 1, 3}, std::vector<int>{-1, 0, 1}}) {
    EXPECT_FALSE(Lay(LetterAt600(), 1, {10, 10, 10}, order));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(printer.PagesToPrint(), 0);
  }
  EXPECT_FALSE(Lay(LetterAt600(), 1, std::vector<int>(101, 10)));
  EXPECT_TRUE(Lay(LetterAt600(), 1, std::vector<int>(100, 10)));
}

TEST_F(Layout, HugeWidthsAndRowCountsStayInRange) {
  ASSERT_TRUE(Lay(LetterAt600(), 2147483647, {2147483647, -5, 100}));
  EXPECT_EQ(printer.PageCount(), (2147483647 + 96LL) / 97);
  EXPECT_EQ(printer.ColumnSpan(0).right, 4900);
  EXPECT_TRUE(printer.ColumnSpan(1).IsEmpty());
  EXPECT_TRUE(printer.ColumnSpan(2).IsEmpty());
  const auto last = printer.RowsOfPage(printer.PageCount());
  EXPECT_EQ(last.second, 2147483647);
  EXPECT_GT(last.second, last.first);
}

TEST_F(Layout, ResetClearsTheJobButKeepsTheTitles) {
  printer.SetLeftTitle("Wrenlocator");
  printer.SetRightTitle("Right");
  ASSERT_TRUE(Lay(LetterAt600(), 300, {100}));
  printer.Reset();
  EXPECT_EQ(printer.PageCount(), 0);
  EXPECT_EQ(printer.ColumnCount(), 0);
  EXPECT_EQ(printer.Body(), PrintRect());
  EXPECT_EQ(printer.PageMargins().left, 200);
  EXPECT_EQ(printer.PageMargins().top, 150);
  EXPECT_EQ(printer.LeftTitle(), "Wrenlocator");
  EXPECT_EQ(printer.RightTitle(), "Right");
}

TEST(PageText, FormatsThePageNumberAndCount) {
  EXPECT_EQ(ListPrinter::PageText(2, 3), "Page 2 of 3");
  EXPECT_EQ(ListPrinter::PageText(12, 140), "Page 12 of 140");
}

}  // namespace
}  // namespace wren
