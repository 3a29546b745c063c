// The printed list, read back from PDF output with poppler's tools.
#include "paint/ListPrinterPainter.h"
#include "gui/ListPrinterCommands.h"
#include "core/print/ListPrinter.h"
#include "support/TestFiles.h"
#include "core/list/DeviceListModel.h"

#include <QBuffer>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace wren {
namespace {

using test::TempFolder;

std::string RunTool(const QString& program, const QStringList& args) {
  QProcess process;
  process.start(program, args);
  if (!process.waitForFinished(30000) || process.exitCode() != 0) {
    ADD_FAILURE() << program.toStdString()
                  << " failed: " << process.readAllStandardError().toStdString();
    return {};
  }
  return process.readAllStandardOutput().toStdString();
}

std::string PageText(const std::string& pdf, int page) {
  const QString n = QString::number(page);
  return RunTool("pdftotext", {"-f", n, "-l", n, "-layout", QString::fromStdString(pdf), "-"});
}

int PageCount(const std::string& pdf) {
  const std::string info = RunTool("pdfinfo", {QString::fromStdString(pdf)});
  const auto match = QRegularExpression("Pages:\\s+(\\d+)").match(QString::fromStdString(info));
  return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// Where each word starts across the page, from the text's bounding boxes.
std::multimap<std::string, double> WordLefts(const std::string& pdf, int page) {
  const QString n = QString::number(page);
  const std::string html =
      RunTool("pdftotext", {"-bbox", "-f", n, "-l", n, QString::fromStdString(pdf), "-"});
  std::multimap<std::string, double> lefts;
  const QRegularExpression word("<word xMin=\"([0-9.]+)\"[^>]*>([^<]*)</word>");
  for (auto it = word.globalMatch(QString::fromStdString(html)); it.hasNext();) {
    const auto m = it.next();
    lefts.emplace(m.captured(2).toStdString(), m.captured(1).toDouble());
  }
  return lefts;
}

std::string RowName(int row) {
  char name[32];
  std::snprintf(name, sizeof name, "Device%04d", row);
  return name;
}

void FillRows(DeviceListModel& model, int rows) {
  for (int row = 0; row < rows; ++row) {
    model.InsertRow(row, RowName(row), 3);
    model.SetCellText(row, 1, "Phone");
    model.SetCellText(row, 2, "AA:BB:CC:00:00:01");
    model.SetCellText(row, 3, "Acme");
  }
}

class Printing : public ::testing::Test {
protected:
  void SetUp() override {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setResolution(600);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                      QMarginsF(5, 5, 5, 5), QPageLayout::Millimeter));
    printer.setOutputFileName(QString::fromStdString(pdf));
  }
  int RowsPerPage() {
    ListPrinter layout;
    std::string why;
    EXPECT_TRUE(LayOutList(printer, 1, {}, {}, layout, why)) << why;
    return layout.RowsPerPage();
  }
  TempFolder folder{"print"};
  std::string pdf = folder / "list.pdf";
  QPrinter printer{QPrinter::HighResolution};
  DeviceListModel model;
  std::string error;
};

TEST_F(Printing, TwiceRowsPerPagePlusOneRowsGiveThreePagesWithTheirFooters) {
  const int perPage = RowsPerPage();
  ASSERT_GT(perPage, 10);
  FillRows(model, 2 * perPage + 1);
  ASSERT_TRUE(PrintList(model, {}, printer, &error)) << error;
  ASSERT_EQ(PageCount(pdf), 3);
  for (int page = 1; page <= 3; ++page) {
    const std::string text = PageText(pdf, page);
    EXPECT_NE(text.find("Page " + std::to_string(page) + " of 3"), std::string::npos) << text;
    EXPECT_NE(text.find("Radio-Device"), std::string::npos) << "headings on page " << page;
    EXPECT_NE(text.find("Wrenlocator"), std::string::npos) << "title on page " << page;
  }
  // Every row once, on its own page.
  const std::string first = PageText(pdf, 1);
  const std::string second = PageText(pdf, 2);
  const std::string third = PageText(pdf, 3);
  EXPECT_NE(first.find(RowName(0)), std::string::npos);
  EXPECT_NE(first.find(RowName(perPage - 1)), std::string::npos);
  EXPECT_EQ(first.find(RowName(perPage)), std::string::npos);
  EXPECT_NE(second.find(RowName(perPage)), std::string::npos);
  EXPECT_NE(second.find(RowName(2 * perPage - 1)), std::string::npos);
  EXPECT_NE(third.find(RowName(2 * perPage)), std::string::npos);
  EXPECT_EQ(third.find(RowName(2 * perPage - 1)), std::string::npos);
  EXPECT_EQ(third.find("Device0"), third.rfind("Device0")) << "the last page holds one row";
}

TEST_F(Printing, DraggedColumnsPrintInDisplayOrder) {
  FillRows(model, 3);
  // Address first, then Producer, Radio-Device and Type.
  const std::vector<int> order{2, 3, 0, 1, 4, 5, 6, 7, 8, 9};
  ASSERT_TRUE(PrintList(model, order, printer, &error)) << error;
  const auto lefts = WordLefts(pdf, 1);
  for (const char* word : {"Address", "Producer", "Radio-Device", "Type", "Acme", "Device0000"})
    ASSERT_NE(lefts.find(word), lefts.end()) << word << " missing";
  EXPECT_LT(lefts.find("Address")->second, lefts.find("Producer")->second);
  EXPECT_LT(lefts.find("Producer")->second, lefts.find("Radio-Device")->second);
  EXPECT_LT(lefts.find("Radio-Device")->second, lefts.find("Type")->second);
  // The cells follow their headings.
  EXPECT_DOUBLE_EQ(lefts.find("Acme")->second, lefts.find("Producer")->second);
  EXPECT_DOUBLE_EQ(lefts.find("Device0000")->second, lefts.find("Radio-Device")->second);
}

TEST_F(Printing, AColumnBeyondTheRightEdgeIsNotPrinted) {
  FillRows(model, 1);
  model.SetCellText(0, 9, "Telephony");
  // Services is the last column and far wider than the page; with the
  // list's widths it starts past the edge.
  std::vector<int> wide(kColumnCount, 400);
  ListPrintLook look;
  look.screenWidths = wide;
  ASSERT_TRUE(PrintList(model, {}, printer, &error, look)) << error;
  const std::string text = PageText(pdf, 1);
  EXPECT_NE(text.find("Radio-Device"), std::string::npos);
  EXPECT_EQ(text.find("Services"), std::string::npos);
  EXPECT_EQ(text.find("Telephony"), std::string::npos);
}

TEST_F(Printing, AnEmptyListPrintsOnePageWithTitleHeadingsAndFooter) {
  ASSERT_TRUE(PrintList(model, {}, printer, &error)) << error;
  ASSERT_EQ(PageCount(pdf), 1);
  const std::string text = PageText(pdf, 1);
  EXPECT_NE(text.find("Page 1 of 1"), std::string::npos) << text;
  EXPECT_NE(text.find("Address"), std::string::npos) << text;
  EXPECT_NE(text.find("Wrenlocator"), std::string::npos) << text;
}

TEST_F(Printing, APageTooSmallForTwoLinesIsRefusedAndNothingIsWritten) {
  FillRows(model, 5);
  printer.setPageLayout(QPageLayout(QPageSize(QSizeF(80, 18), QPageSize::Millimeter),
                                    QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                                    QPageLayout::Millimeter));
  EXPECT_FALSE(PrintList(model, {}, printer, &error));
  EXPECT_NE(error.find("too small"), std::string::npos) << error;
  EXPECT_FALSE(QFile::exists(QString::fromStdString(pdf)));
}

TEST_F(Printing, ThePageRangeOfThePrintDialogIsHonoured) {
  FillRows(model, 2 * RowsPerPage() + 1);
  printer.setPrintRange(QPrinter::PageRange);
  printer.setFromTo(2, 2);
  ASSERT_TRUE(PrintList(model, {}, printer, &error)) << error;
  ASSERT_EQ(PageCount(pdf), 1);
  EXPECT_NE(PageText(pdf, 1).find("Page 2 of 3"), std::string::npos);
}

TEST_F(Printing, APageRangeBeyondTheLastPageIsRefused) {
  FillRows(model, 3);
  printer.setPrintRange(QPrinter::PageRange);
  printer.setFromTo(2, 4);
  EXPECT_FALSE(PrintList(model, {}, printer, &error));
  EXPECT_NE(error.find("has 1 page"), std::string::npos) << error;
  EXPECT_FALSE(QFile::exists(QString::fromStdString(pdf)));
}

TEST_F(Printing, TabsAndLineEndsInACellPrintAsSpaces) {
  FillRows(model, 1);
  model.SetCellText(0, 1, "Left\tRight\nBelow");
  ASSERT_TRUE(PrintList(model, {}, printer, &error)) << error;
  const auto lefts = WordLefts(pdf, 1);
  ASSERT_NE(lefts.find("Left"), lefts.end());
  ASSERT_NE(lefts.find("Right"), lefts.end());
  ASSERT_NE(lefts.find("Below"), lefts.end());
  EXPECT_LT(lefts.find("Left")->second, lefts.find("Right")->second) << "one line";
  EXPECT_LT(lefts.find("Right")->second, lefts.find("Below")->second) << "one line";
}

TEST_F(Printing, TheFontsAreTheMetricTwinsOfArialAndTimesNewRoman) {
  FillRows(model, 2);
  ASSERT_TRUE(PrintList(model, {}, printer, &error)) << error;
  const std::string fonts = RunTool("pdffonts", {QString::fromStdString(pdf)});
  EXPECT_NE(fonts.find("LiberationSans-Bold"), std::string::npos) << fonts;
  EXPECT_TRUE(QString::fromStdString(fonts).contains(
      QRegularExpression("^LiberationSans\\s", QRegularExpression::MultilineOption)))
      << fonts;
  EXPECT_NE(fonts.find("LiberationSerif"), std::string::npos) << fonts;
}

TEST_F(Printing, AMegabyteCellIsCutAtItsCell) {
  FillRows(model, 2);
  model.SetCellText(0, 0, std::string(1 << 20, 'W'));
  ASSERT_TRUE(PrintList(model, {}, printer, &error)) << error;
  ASSERT_EQ(PageCount(pdf), 1);
  const std::string text = PageText(pdf, 1);
  EXPECT_NE(text.find(RowName(1)), std::string::npos);
  EXPECT_LT(text.size(), 20000u) << "the whole cell went into the document";
}

TEST(PdfExport, WritesThroughATemporaryFileAndNamesNoFileOnFailure) {
  TempFolder folder("pdf");
  DeviceListModel model;
  FillRows(model, 4);
  std::string error;
  const std::string path = folder / "list.pdf";
  test::WriteFile(path, "old");
  ASSERT_TRUE(WriteListPdf(path, model, {}, error)) << error;
  EXPECT_EQ(test::ReadFile(path).substr(0, 5), "%PDF-");
  EXPECT_NE(PageText(path, 1).find(RowName(3)), std::string::npos);
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1) << "a temporary file was left behind";

  EXPECT_FALSE(WriteListPdf(folder / "missing/list.pdf", model, {}, error));
  EXPECT_FALSE(error.empty());

  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  ASSERT_TRUE(WriteListPdf(buffer, model, {}, error)) << error;
  EXPECT_TRUE(buffer.data().startsWith("%PDF-"));
}

}  // namespace
}  // namespace wren
