#include "core/datafile/XmlDataFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/System.h"
#include "support/TestFiles.h"

namespace wren {
namespace {

using test::ReadFile;
using test::WithoutCreated;

class DataFolder : public ::testing::Test {
protected:
  void SetUp() override { platform::SetDataFolderOverride(folder); }
  void TearDown() override { platform::SetDataFolderOverride(""); }
  test::TempFolder scratch{"datafile"};
  const std::string folder = scratch.path();
};

TEST(XmlDataFile, CreateNewWritesDeclarationAndHeaderOnAnEmptyRoot) {
  XmlDataFile file;
  file.SetText("<old><stuff/></old>");
  file.CreateNew("dataroot");
  EXPECT_EQ(WithoutCreated(file.GetDocumentText()), test::DataFileStart("dataroot") + "/>\r\n");
  EXPECT_TRUE(file.IsWellFormed());
  // The root is current: attributes go onto it.
  EXPECT_EQ(file.GetAttribute("comments"), "Wrenlocator Database File");
}

TEST(XmlDataFile, CreatedIsTheLocalTimeOfBuilding) {
  setenv("TZ", "UTC", 1);
  tzset();
  XmlDataFile file;
  std::time_t before = std::time(nullptr);
  file.CreateNew("dataroot");
  std::string created = file.GetAttribute("created");
  std::tm tm{};
  ASSERT_NE(strptime(created.c_str(), "%m/%d/%Y %H:%M:%S", &tm), nullptr) << created;
  std::time_t stamp = timegm(&tm);
  EXPECT_LE(before, stamp);
  EXPECT_LE(stamp - before, 2);
  unsetenv("TZ");
  tzset();
}

TEST(XmlDataFile, SanitizeKeepsLettersReplacesControlsAndBrokenBytesAndKeepsTheLength) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"plain text ~!", "plain text ~!"},
      {"a\tb\nc\rd", "a b c d"},
      {"J\xC3\xBCrgen's Handy", "J\xC3\xBCrgen's Handy"},  // two bytes
      {"Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xA7",
       "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xA7"},  // 2, 3, 4
      {std::string("x\0y", 3), "x y"},
      {"\x1B[2J\x07", " [2J "},  // escape and bell
      {"\x7F\x80\xFF", "   "},   // DEL, a lone continuation, never a lead
      {"a\xC2\x9B"
       "1m",
       "a  1m"},                     // C1 control (CSI) in UTF-8
      {"\xC3", " "},                 // cut short at the end
      {"\xC3(x", " (x"},             // cut short by a byte that continues nothing
      {"\xC0\xAF", "  "},            // overlong "/"
      {"\xE0\x80\xAF", "   "},       // overlong, three bytes
      {"\xED\xA0\x80", "   "},       // a surrogate
      {"\xF4\x90\x80\x80", "    "},  // above U+10FFFF
      {"\xF5\x80", "  "},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(XmlDataFile::SanitizeText(c.in), c.out);
    EXPECT_EQ(XmlDataFile::SanitizeText(c.in).size(), c.in.size());
  }
}

TEST(XmlDataFile, SetAttributeCleansThenEscapesAndReadsBack) {
  XmlDataFile file;
  file.CreateNew("dataroot");
  ASSERT_TRUE(file.EnterElement());
  ASSERT_TRUE(file.AddElement("entry"));
  ASSERT_TRUE(file.SetAttribute("Name", "Tom's \"Phone\"\t& <Co>"));
  ASSERT_TRUE(file.SetAttribute("Image", -7));
  EXPECT_NE(file.GetDocumentText().find(
                "<entry Name=\"Tom&apos;s &quot;Phone&quot; &amp; &lt;Co&gt;\" Image=\"-7\"/>\r\n"),
            std::string::npos)
      << file.GetDocumentText();
  EXPECT_EQ(file.GetAttribute("Name"), "Tom's \"Phone\" & <Co>");
  EXPECT_EQ(file.GetAttribute("Image"), "-7");
}

TEST(XmlDataFile, ReadHeaderFillsWhatItCanParse) {
  struct Case {
    const char* text;
    bool ok;
    ProgramVersion expected;
  };
  const ProgramVersion start(9, 9, 9, 9);
  const Case cases[] = {
      {"<anyname version=\"2.3.4.5\" created=\"x\"/>", true, {2, 3, 4, 5}},
      {"<r version=\"2.0\"/>", false, {2, 0, 9, 9}},
      {"<r version=\"\"/>", false, {9, 9, 9, 9}},
      {"<r/>", false, {9, 9, 9, 9}},
      {"<r version=\"abc\"/>", false, {9, 9, 9, 9}},
      {"no root here", false, {9, 9, 9, 9}},
  };
  for (const auto& c : cases) {
    XmlDataFile file;
    file.SetText(c.text);
    ProgramVersion v = start;
    std::string created = "unchanged";
    EXPECT_EQ(file.ReadHeader(v, created), c.ok) << c.text;
    EXPECT_EQ(v, c.expected) << c.text << " gave " << v.ToString();
  }
  XmlDataFile file;
  file.SetText("<manifest version=\"1.8.0.0\" created=\"12/01/2026\"/>");
  ProgramVersion v;
  std::string created;
  ASSERT_TRUE(file.ReadHeader(v, created));
  EXPECT_EQ(created, "12/01/2026");
  EXPECT_TRUE(ProgramVersion().IsOlderThan(v));
}

TEST_F(DataFolder, SaveAndLoadRoundTripByteForByte) {
  XmlDataFile file;
  file.CreateNew("dataroot");
  file.EnterElement();
  for (int i = 0; i < 3; ++i) {
    file.AddElement("entry");
    file.SetAttribute("Name", "Device " + std::to_string(i));
    file.SetAttribute("Image", i);
  }
  const std::string text = file.GetDocumentText();
  EXPECT_EQ(WithoutCreated(text), test::DataFileStart("dataroot") +
                                      ">\r\n"
                                      "<entry Name=\"Device 0\" Image=\"0\"/>\r\n"
                                      "<entry Name=\"Device 1\" Image=\"1\"/>\r\n"
                                      "<entry Name=\"Device 2\" Image=\"2\"/>\r\n"
                                      "</dataroot>\r\n");
  ASSERT_TRUE(file.SaveBesideExecutable("history.xml")) << file.GetResultText();
  EXPECT_EQ(ReadFile(folder + "/history.xml"), text);

  XmlDataFile loaded;
  ASSERT_TRUE(loaded.LoadBesideExecutable("history.xml"));
  EXPECT_EQ(loaded.GetDocumentText(), text);
  EXPECT_EQ(loaded.GetResultText(), std::to_string(text.size()) + " bytes");
  ASSERT_TRUE(loaded.SaveBesideExecutable("copy.xml"));
  EXPECT_EQ(ReadFile(folder + "/copy.xml"), text);
}

TEST_F(DataFolder, LoadingAMissingFileFailsWithTheSystemMessage) {
  XmlDataFile file;
  EXPECT_FALSE(file.LoadBesideExecutable("history.xml"));
  EXPECT_EQ(file.GetResultText(), "No such file or directory");
}

// Saving writes the text byte for byte, through a whole-file replace.
class SavedFiles : public ::testing::Test {
protected:
  std::string Path(const char* name) const { return m_scratch / name; }
  test::TempFolder m_scratch{"save"};
};

TEST_F(SavedFiles, SaveAndLoadAreByteForByte) {
  std::string bytes = "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<r a=\"\x01\x7F\x80\xFF\">\n\r\r\n";
  bytes.push_back('\0');
  bytes += "\t</r>\r\n\x1A trailing";
  test::WriteFile(Path("in.xml"), bytes);
  XmlDataFile doc;
  ASSERT_TRUE(doc.LoadFile(Path("in.xml"))) << doc.GetResultText();
  EXPECT_EQ(doc.GetResultText(), std::to_string(bytes.size()) + " bytes");
  EXPECT_EQ(doc.GetDocumentText(), bytes);
  ASSERT_TRUE(doc.SaveFile(Path("out.xml")));
  EXPECT_EQ(doc.GetResultText(), std::to_string(bytes.size()) + " bytes");
  EXPECT_EQ(ReadFile(Path("out.xml")), bytes);
}

TEST_F(SavedFiles, SaveReplacesTheWholeFile) {
  test::WriteFile(Path("h.xml"), std::string(10000, 'x'));
  XmlDataFile doc;
  ASSERT_TRUE(doc.SetText("<a/>\r\n"));
  ASSERT_TRUE(doc.SaveFile(Path("h.xml")));
  EXPECT_EQ(ReadFile(Path("h.xml")), "<a/>\r\n");
  EXPECT_EQ(doc.GetResultText(), "6 bytes");
  // Even a document that does not parse saves its text.
  XmlDataFile bad;
  bad.SetText("<a");
  EXPECT_TRUE(bad.SaveFile(Path("h.xml")));
  EXPECT_EQ(ReadFile(Path("h.xml")), "<a");
}

TEST_F(SavedFiles, SaveFailureReportsTheSystemMessage) {
  XmlDataFile doc;
  ASSERT_TRUE(doc.SetText("<a/>"));
  EXPECT_FALSE(doc.SaveFile(Path("no/such/folder/a.xml")));
  EXPECT_EQ(doc.GetResultText(), std::strerror(ENOENT));
}

}  // namespace
}  // namespace wren
