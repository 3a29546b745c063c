#include "history/XmlDataFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

#include "platform/System.h"

namespace wren {
namespace {

const std::string kHeaderAttributes =
    " version=\"1.7.4.0\" vendor=\"Pelmark LLC.\" url=\"http://www.pelmark.example/wrenlocator/"
    "?utm_source=wrenlocator-1740&amp;utm_medium=wrenlocator-1740&amp;utm_campaign=wrenlocator-1740\""
    " mail=\"support@pelmark.example\" created=\"CREATED\" comments=\"Wrenlocator Database File\"";

// The created stamp changes with every build of a file; tests compare the
// rest byte for byte.
std::string WithoutCreated(const std::string& text) {
  static const std::regex stamp("created=\"\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d\"");
  return std::regex_replace(text, stamp, "created=\"CREATED\"");
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class DataFolder : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/wren-datafile-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    folder = tmpl;
    platform::SetDataFolderOverride(folder);
  }
  void TearDown() override { platform::SetDataFolderOverride(""); }
  std::string folder;
};

TEST(XmlDataFile, CreateNewWritesDeclarationAndHeaderOnAnEmptyRoot) {
  XmlDataFile file;
  file.SetText("<old><stuff/></old>");
  file.CreateNew("dataroot");
  EXPECT_EQ(WithoutCreated(file.GetDocumentText()),
            "<?xml version=\"1.0\"?>\r\n<dataroot" + kHeaderAttributes + "/>\r\n");
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

TEST(XmlDataFile, SanitizeReplacesEveryNonPrintableByteAndKeepsTheLength) {
  struct Case { std::string in, out; };
  const Case cases[] = {
      {"plain text ~!", "plain text ~!"},
      {"a\tb\nc\rd", "a b c d"},
      {"caf\xC3\xA9", "caf  "},   // an accented letter in UTF-8 is two bytes
      {std::string("x\0y", 3), "x y"},
      {"\x7F\x80\xFF", "   "},
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
  EXPECT_EQ(WithoutCreated(text),
            "<?xml version=\"1.0\"?>\r\n<dataroot" + kHeaderAttributes + ">\r\n"
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

}  // namespace
}  // namespace wren
