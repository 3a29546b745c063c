#include "core/list/ListExporter.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

namespace wren {
namespace {

using test::ReadFile;
using test::WithoutCreated;
using test::WriteFile;

const std::string kHeader = test::DataFileStart("dataroot");

void AddRow(DeviceListModel& model, const std::array<std::string, kColumnCount>& texts,
            int itemImage) {
  int row = model.InsertRow(model.RowCount(), texts[0], itemImage);
  for (int c = 1; c < kColumnCount; ++c) model.SetCellText(row, c, texts[c]);
}

class Reports : public ::testing::Test {
protected:
  void SetUp() override {
    AddRow(model,
           {"hci0 -> Phone", "Phone/Smart phone", "AA:BB:CC:DD:EE:FF", "Acme Corp.",
            "14:03:59 07/21/2009", "", "Connected", "Remembered", "Authenticated", "Audio"},
           3);
    AddRow(model,
           {"hci0 -> hci0 (local)", "Computer", "00:11:22:33:44:55", "", "", "", "", "", "", ""},
           kNoImage);
  }
  DeviceListModel model;
};

TEST_F(Reports, TextReportEndsEveryCellWithATabAndEveryRowWithACarriageReturn) {
  EXPECT_EQ(ListExporter::BuildTextReport(model),
            "hci0 -> Phone\tPhone/Smart phone\tAA:BB:CC:DD:EE:FF\tAcme Corp.\t"
            "14:03:59 07/21/2009\t\tConnected\tRemembered\tAuthenticated\tAudio\t\r"
            "hci0 -> hci0 (local)\tComputer\t00:11:22:33:44:55\t\t\t\t\t\t\t\t\r");
  EXPECT_EQ(ListExporter::BuildTextReport(DeviceListModel()), "");
}

TEST_F(Reports, RowTextJoinsTheCellsWithTabs) {
  EXPECT_EQ(ListExporter::BuildRowText(model, 1),
            "hci0 -> hci0 (local)\tComputer\t00:11:22:33:44:55\t\t\t\t\t\t\t");
  EXPECT_EQ(ListExporter::BuildRowText(model, 2), "");
  EXPECT_EQ(ListExporter::BuildRowText(model, -1), "");
}

TEST_F(Reports, XmlReportByteForByte) {
  EXPECT_EQ(WithoutCreated(ListExporter::BuildXmlReport(model)),
            kHeader +
                ">\r\n"
                "<ListData>\r\n"
                "<Row image=\"3\" Radio-Device=\"hci0 -&gt; Phone\" Type=\"Phone/Smart phone\" "
                "Address=\"AA:BB:CC:DD:EE:FF\" Producer=\"Acme Corp.\" "
                "LastSeenTime=\"14:03:59 07/21/2009\" LastUsedTime=\"\" Connected=\"Connected\" "
                "Remembered=\"Remembered\" Authenticated=\"Authenticated\" Services=\"Audio\"/>\r\n"
                "<Row image=\"-1\" Radio-Device=\"hci0 -&gt; hci0 (local)\" Type=\"Computer\" "
                "Address=\"00:11:22:33:44:55\" Producer=\"\" LastSeenTime=\"\" LastUsedTime=\"\" "
                "Connected=\"\" Remembered=\"\" Authenticated=\"\" Services=\"\"/>\r\n"
                "</ListData>\r\n"
                "</dataroot>\r\n");
}

TEST(XmlReport, EmptyListKeepsListDataEmpty) {
  EXPECT_EQ(WithoutCreated(ListExporter::BuildXmlReport(DeviceListModel())),
            kHeader + ">\r\n<ListData/>\r\n</dataroot>\r\n");
}

std::string XmlServices(const std::string& cell) {
  DeviceListModel model;
  AddRow(model, {"r", "", "", "", "", "", "", "", "", cell}, 0);
  const std::string xml = ListExporter::BuildXmlReport(model);
  const std::string key = " Services=\"";
  const auto start = xml.find(key);
  if (start == std::string::npos) return "<missing>";
  const auto end = xml.find('"', start + key.size());
  return xml.substr(start + key.size(), end - start - key.size());
}

TEST(XmlReport, CellValuesAreCleanedTrimmedAndEscaped) {
  EXPECT_EQ(XmlServices("Audio\tTelephony"), "Audio Telephony");
  EXPECT_EQ(XmlServices("  padded\r\n"), "padded");
  EXPECT_EQ(XmlServices("caf\xe9"), "caf");
  EXPECT_EQ(XmlServices("a \"b\" & 'c'"), "a &quot;b&quot; &amp; &apos;c&apos;");
}

TEST(XmlReport, LongCellsAreCutTo255InTheXmlReportOnly) {
  std::string cell;
  for (int i = 0; i < 300; ++i) cell += static_cast<char>('a' + i % 26);
  EXPECT_EQ(XmlServices(cell), cell.substr(0, 255));
  DeviceListModel model;
  AddRow(model, {"r", "", "", "", "", "", "", "", "", cell}, 0);
  EXPECT_NE(ListExporter::BuildTextReport(model).find(cell + "\t\r"), std::string::npos);
  EXPECT_EQ(ListExporter::BuildRowText(model, 0).substr(10), cell);
  // The cut comes before the trim: spaces brought to the end by it go too.
  std::string spaced = std::string(250, 'x') + "      tail";
  EXPECT_EQ(XmlServices(spaced), std::string(250, 'x'));
}

TEST(XmlReport, TabsStayInTheTextReports) {
  DeviceListModel model;
  AddRow(model, {"r", "", "", "", "", "", "", "", "", "a\tb"}, 0);
  EXPECT_EQ(ListExporter::BuildTextReport(model), "r\t\t\t\t\t\t\t\t\ta\tb\t\r");
  EXPECT_EQ(ListExporter::BuildRowText(model, 0), "r\t\t\t\t\t\t\t\t\ta\tb");
}

TEST(XmlReport, NegativeImagesAreWrittenAsMinusOne) {
  struct Case {
    int image;
    const char* text;
  };
  for (const Case& c : {Case{-1, "-1"}, Case{-7, "-1"}, Case{0, "0"}, Case{47, "47"}}) {
    DeviceListModel model;
    AddRow(model, {"r", "", "", "", "", "", "", "", "", ""}, c.image);
    EXPECT_NE(
        ListExporter::BuildXmlReport(model).find(std::string("<Row image=\"") + c.text + "\" "),
        std::string::npos)
        << c.image;
  }
}

TEST(SaveAsChoice, ExtensionDecidesTheReport) {
  struct Case {
    const char* path;
    bool textFilter;
    const char* finalPath;
    ReportKind kind;
  };
  const Case cases[] = {
      {"/tmp/list.xml", true, "/tmp/list.xml", ReportKind::Xml},
      {"/tmp/list.XmL", true, "/tmp/list.XmL", ReportKind::Xml},
      {"/tmp/list.txt", false, "/tmp/list.txt", ReportKind::Text},
      {"/tmp/list.csv", false, "/tmp/list.csv", ReportKind::Text},
      {"/tmp/list", true, "/tmp/list.txt", ReportKind::Text},
      {"/tmp/list", false, "/tmp/list.xml", ReportKind::Xml},
      {"/tmp/dir.xml/list", true, "/tmp/dir.xml/list.txt", ReportKind::Text},
      {"/tmp/list.", false, "/tmp/list.", ReportKind::Text},
      {"/tmp/list.tar.xml", true, "/tmp/list.tar.xml", ReportKind::Xml},
  };
  for (const Case& c : cases) {
    std::string path = c.path;
    EXPECT_EQ(ListExporter::ChooseReportKind(path, c.textFilter), c.kind) << c.path;
    EXPECT_EQ(path, c.finalPath);
  }
}

TEST_F(Reports, WrittenReportsKeepTheirBytes) {
  test::TempFolder scratch("report");
  const std::string& folder = scratch.path();
  std::string error;
  ASSERT_TRUE(ListExporter::WriteReport(model, folder + "/list.txt", ReportKind::Text, error))
      << error;
  EXPECT_EQ(ReadFile(folder + "/list.txt"), ListExporter::BuildTextReport(model));
  ASSERT_TRUE(ListExporter::WriteReport(model, folder + "/list.xml", ReportKind::Xml, error))
      << error;
  EXPECT_EQ(WithoutCreated(ReadFile(folder + "/list.xml")),
            WithoutCreated(ListExporter::BuildXmlReport(model)));
  EXPECT_FALSE(
      ListExporter::WriteReport(model, folder + "/missing/list.txt", ReportKind::Text, error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace wren
