// Parsing, the failure texts with their offsets, loading and saving, and
// inputs large or deep enough to break a fixed-width or recursive index.

#include "xml/XmlDocument.h"
#include "support/XmlDocumentInspector.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace wren {
namespace {

struct ParseFailure {
  const char* label;
  std::string text;
  std::string result;
};

void PrintTo(const ParseFailure& f, std::ostream* os) { *os << f.label; }

class ParseFailureTest : public ::testing::TestWithParam<ParseFailure> {};

TEST_P(ParseFailureTest, ReportsTheMessageAndKeepsTheText) {
  const ParseFailure& f = GetParam();
  XmlDocument doc;
  EXPECT_FALSE(doc.SetText(f.text));
  EXPECT_EQ(doc.GetResult(), f.result);
  EXPECT_FALSE(doc.IsWellFormed());
  EXPECT_EQ(doc.GetText(), f.text);
  EXPECT_EQ(XmlDocumentInspector::ElementCount(doc), 0u);
  // No element survives a failed parse for navigation either.
  EXPECT_FALSE(doc.FindElement());
  EXPECT_FALSE(doc.FindChildElement());
  EXPECT_EQ(XmlDocumentInspector::Check(doc, false), "");
}

const ParseFailure kFailures[] = {
    {"empty", "", "Empty document"},
    {"declaration only", "<?xml version=\"1.0\"?>\r\n", "Root element not found"},
    {"text only", "just text", "Root element not found"},
    {"second root", "<a/><b/>", "Element 'b' at offset 4 is sibling to root"},
    {"second root after end tag", "<a></a>\r\n<c x='1'>",
     "Element 'c' at offset 9 is sibling to root"},
    {"end tag first", "</a>", "No start tag for end tag 'a' at offset 0"},
    {"end tag after root", "<a/></b>", "No start tag for end tag 'b' at offset 4"},
    {"mismatch", "<a></b>", "End tag 'b' at offset 4 does not match start tag 'a' at offset 0"},
    {"mismatch longer", "<a></ab>",
     "End tag 'ab' at offset 4 does not match start tag 'a' at offset 0"},
    {"mismatch shorter", "<ab></a>",
     "End tag 'a' at offset 5 does not match start tag 'ab' at offset 0"},
    {"mismatch nested", "<a><b></a></b>",
     "End tag 'a' at offset 7 does not match start tag 'b' at offset 3"},
    {"not ended", "<a>", "Element 'a' at offset 0 not ended"},
    {"innermost not ended", "<a>\n<bc d='1'>", "Element 'bc' at offset 4 not ended"},
    {"digit after <", "<1/>", "Incorrect tag name character at offset 0"},
    {"space after <", "<a>< b/></a>", "Incorrect tag name character at offset 3"},
    {"high byte after <", "<a>\n<\xE9/></a>", "Incorrect tag name character at offset 4"},
    {"bad ! tag", "<a><!x></a>", "Incorrect ! tag at offset 3"},
    {"bad comment tag", "<!-x-->", "Incorrect comment tag at offset 0"},
    {"bad [ tag", "<a/><![X[y]]>", "Incorrect tag at offset 4"},
    {"start tag unterminated", "<a", "Element tag at offset 0 unterminated"},
    {"quoted > does not end", "<r><a b=\">\"", "Element tag at offset 3 unterminated"},
    {"end tag unterminated", "<a></a", "Element end tag at offset 3 unterminated"},
    {"comment unterminated", "<a><!-- x</a>", "Comment at offset 3 unterminated"},
    {"cdata unterminated", "<a><![CDATA[x]]</a>", "CDATA Section at offset 3 unterminated"},
    {"pi unterminated", "<?xml version", "Processing instruction at offset 0 unterminated"},
    {"pi <?> at offset 0 is open", "<?><a/>", "Processing instruction at offset 0 unterminated"},
    {"doctype unterminated", "<!DOCTYPE a [ <!ENTITY e 'x'>", "Doctype at offset 0 unterminated"},
    {"comment in doctype unterminated", "<a/><!DOCTYPE a [ <!-- x",
     "Doctype at offset 4 unterminated"},
    {"lone <", "<a/>\r\n<", "tag at offset 6 unterminated"},
    {"lone <!", "<a/><!", "tag at offset 4 unterminated"},
    {"lone <!-", "<a/><!-", "tag at offset 4 unterminated"},
    {"lone <![", "<a/><![", "tag at offset 4 unterminated"},
    {"declaration unterminated", "<a/><!ELEMENT", "tag at offset 4 unterminated"},
    // Inside a DOCTYPE a bad character is reported at the last '>' seen.
    {"bad name in doctype", "<!DOCTYPE a [<!ENTITY e 'x'> <1> ]><a/>",
     "Incorrect tag name character at offset 27"},
    {"bad name in doctype, no > yet", "<!DOCTYPE a [<1> ]><a/>",
     "Incorrect tag name character at offset 0"},
    {"cdata in doctype", "<!DOCTYPE a [<!-- c -> --><![CDATA[x]]>]><a/>",
     "Incorrect ! tag at offset 25"},
    {"doctype in doctype", "x<!DOCTYPE a [<!DOCTYPE b>]><a/>", "Incorrect ! tag at offset 1"},
    {"declaration outside doctype", "<!ELEMENT a ANY><a/>",
     "Markup declaration at offset 0 outside DOCTYPE"},
    {"attlist outside doctype", "<a>\r\n<!ATTLIST a b CDATA #IMPLIED>\r\n</a>",
     "Markup declaration at offset 5 outside DOCTYPE"},
};

INSTANTIATE_TEST_SUITE_P(XmlDocument, ParseFailureTest, ::testing::ValuesIn(kFailures));

TEST(XmlParse, NewDocumentIsEmpty) {
  XmlDocument doc;
  EXPECT_EQ(doc.GetText(), "");
  EXPECT_EQ(doc.GetResult(), "Empty document");
  EXPECT_FALSE(doc.IsWellFormed());
}

TEST(XmlParse, SkipsEverythingThatIsNotAnElement) {
  const std::string text =
      "<?xml version=\"1.0\"?>\r\n"
      "<!DOCTYPE r [\r\n"
      "<!ELEMENT r ANY>\r\n"
      "<!ATTLIST r a CDATA #IMPLIED>\r\n"
      "<!ENTITY e \"x\">\r\n"
      "<!-- a comment > in the subset -->\r\n"
      "<?pi in subset?>\r\n"
      "]>\r\n"
      "<!-- before -->stray text<?before?>\r\n"
      "<r a='1'><![CDATA[<x></y>]]><?p?><!-- <in/> -->text<c/></r>\r\n"
      "<!-- after --><?after?>\r\n";
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText(text)) << doc.GetResult();
  EXPECT_EQ(doc.GetResult(), "");
  EXPECT_EQ(XmlDocumentInspector::ElementCount(doc), 2u);
  ASSERT_TRUE(doc.FindElement("r"));
  EXPECT_EQ(doc.GetAttribute("a"), "1");
  ASSERT_TRUE(doc.FindChildElement());
  EXPECT_FALSE(doc.FindChildElement());
  EXPECT_EQ(XmlDocumentInspector::Check(doc, true), "");
}

TEST(XmlParse, TerminatorsCountTheOpenersCharacters) {
  XmlDocument doc;
  // "<!-->" is a whole comment, and "<?>" closes itself past offset 0.
  EXPECT_TRUE(doc.SetText("<!--><a/>")) << doc.GetResult();
  EXPECT_TRUE(doc.SetText(" <?><a/>")) << doc.GetResult();
  EXPECT_TRUE(doc.SetText("<a><![CDATA[]]></a>")) << doc.GetResult();
}

TEST(XmlParse, QuotesInsideAStartTag) {
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText("<a b=\"x>y\" c='p>q'><d/></a>")) << doc.GetResult();
  ASSERT_TRUE(doc.FindElement("a"));
  EXPECT_EQ(doc.GetAttribute("b"), "x>y");
  EXPECT_EQ(doc.GetAttribute("c"), "p>q");
  EXPECT_TRUE(doc.FindChildElement("d"));
  // A quote of the other kind inside a value is a plain character.
  ASSERT_TRUE(doc.SetText("<a b=\"Bob's phone\" c='say \"hi\"'><d/></a>")) << doc.GetResult();
  ASSERT_TRUE(doc.FindElement("a"));
  EXPECT_EQ(doc.GetAttribute("b"), "Bob's phone");
  EXPECT_EQ(doc.GetAttribute("c"), "say \"hi\"");
  EXPECT_TRUE(doc.FindChildElement("d"));
}

TEST(XmlParse, EndTagNameFollowsTheMatchingRule) {
  XmlDocument doc;
  EXPECT_TRUE(doc.SetText("<a></a >")) << doc.GetResult();
  EXPECT_TRUE(doc.SetText("<a>\r\n</a\r\n>")) << doc.GetResult();
  // A start name going on with '=' or '[' is matched by its head.
  EXPECT_TRUE(doc.SetText("<a[1]></a>")) << doc.GetResult();
}

TEST(XmlParse, BinaryBytesAreCarriedThrough) {
  std::string text = "<r v=\"";
  for (int c = 1; c < 256; ++c) {
    if (c != '"') text.push_back(static_cast<char>(c));
  }
  text += "\">";
  text.push_back('\0');
  text += "\xFF\xFE</r>";
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText(text)) << doc.GetResult();
  EXPECT_EQ(doc.GetText(), text);
  ASSERT_TRUE(doc.FindElement("r"));
  // No entity among the bytes is complete, so the value reads back as is.
  EXPECT_EQ(doc.GetAttribute("v"), text.substr(6, 254));
}

TEST(XmlParse, SetTextOfItsOwnText) {
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText("<a><b/></a>"));
  std::string_view own = doc.GetText();
  EXPECT_TRUE(doc.SetText(own.substr(3, 4)));
  EXPECT_EQ(doc.GetText(), "<b/>");
}

TEST(XmlParse, MovedFromDocumentIsEmptyAndUsable) {
  XmlDocument a;
  ASSERT_TRUE(a.SetText("<a x='1'/>"));
  XmlDocument b(std::move(a));
  ASSERT_TRUE(b.FindElement());
  EXPECT_EQ(b.GetAttribute("x"), "1");
  EXPECT_EQ(a.GetText(), "");  // NOLINT(bugprone-use-after-move)
  EXPECT_FALSE(a.IsWellFormed());
  EXPECT_TRUE(a.AddElement("n"));
  XmlDocument c;
  c = std::move(b);
  EXPECT_TRUE(c.IsWellFormed());
}

// --- loading ---------------------------------------------------------------

class XmlFiles : public ::testing::Test {
protected:
  std::string Path(const char* name) const { return m_scratch / name; }
  static void Write(const std::string& path, const std::string& bytes) {
    test::WriteFile(path, bytes);
  }
  static std::string Read(const std::string& path) { return test::ReadFile(path); }
  test::TempFolder m_scratch{"xml"};
};

TEST_F(XmlFiles, LoadReportsTheByteCount) {
  Write(Path("a.xml"), "<a/>\n");
  XmlDocument doc;
  EXPECT_TRUE(doc.LoadFile(Path("a.xml")));
  EXPECT_EQ(doc.GetResult(), "5 bytes");
  EXPECT_TRUE(doc.IsWellFormed());
}

TEST_F(XmlFiles, LoadJoinsTheByteCountAndTheParseMessage) {
  Write(Path("open.xml"), "<a>");
  Write(Path("empty.xml"), "");
  XmlDocument doc;
  EXPECT_FALSE(doc.LoadFile(Path("open.xml")));
  EXPECT_EQ(doc.GetResult(), "3 bytes, Element 'a' at offset 0 not ended");
  EXPECT_EQ(doc.GetText(), "<a>");
  EXPECT_FALSE(doc.LoadFile(Path("empty.xml")));
  EXPECT_EQ(doc.GetResult(), "0 bytes, Empty document");
}

TEST_F(XmlFiles, LoadFailureLeavesTheDocument) {
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText("<keep/>"));
  EXPECT_FALSE(doc.LoadFile(Path("missing.xml")));
  EXPECT_EQ(doc.GetResult(), std::strerror(ENOENT));
  EXPECT_EQ(doc.GetText(), "<keep/>");
  EXPECT_TRUE(doc.IsWellFormed());
  EXPECT_FALSE(doc.LoadFile(m_scratch.path()));  // a folder opens but cannot be read
  EXPECT_EQ(doc.GetResult(), std::strerror(EISDIR));
  EXPECT_EQ(doc.GetText(), "<keep/>");
}

// --- sizes and depths a packed or recursive index cannot hold ---------------

TEST(XmlParseLimits, MillionLevelsOfNesting) {
  constexpr int kDepth = 1000000;
  std::string text;
  text.reserve(7u * kDepth);
  for (int i = 0; i < kDepth; ++i) text += "<a>";
  for (int i = 0; i < kDepth; ++i) text += "</a>";
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText(text)) << doc.GetResult();
  EXPECT_EQ(XmlDocumentInspector::ElementCount(doc), static_cast<std::size_t>(kDepth));

  // Walk to the innermost element and add below it; the root moves nothing
  // but every encloser grows.
  ASSERT_TRUE(doc.FindElement("a"));
  int depth = 1;
  while (doc.FindChildElement("a")) {
    ASSERT_TRUE(doc.EnterElement());
    ++depth;
  }
  EXPECT_EQ(depth, kDepth);
  ASSERT_TRUE(doc.AddChildElement("deepest", "x"));
  EXPECT_EQ(doc.GetText().substr(3u * kDepth, 22), "\r\n<deepest>x</deepest>");
  // An attribute on the root shifts every descendant.
  doc.ResetPosition();
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.SetAttribute("level", "0"));
  EXPECT_EQ(doc.GetText().substr(0, 13), "<a level=\"0\">");
  EXPECT_EQ(XmlDocumentInspector::Check(doc, true), "");

  text.resize(3u * kDepth);  // no end tags at all
  EXPECT_FALSE(doc.SetText(std::move(text)));
  EXPECT_EQ(doc.GetResult(),
            "Element 'a' at offset " + std::to_string(3 * (kDepth - 1)) + " not ended");
}

TEST(XmlParseLimits, FiveMebibyteStartTag) {
  const std::string value(5u << 20, 'v');
  const std::string text = "<r><big a=\"" + value + "\" b='2'></big><after/></r>";
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText(text)) << doc.GetResult();
  ASSERT_TRUE(doc.FindElement("r"));
  ASSERT_TRUE(doc.FindChildElement("big"));
  EXPECT_EQ(doc.GetChildAttribute("a"), value);
  EXPECT_EQ(doc.GetChildAttribute("b"), "2");
  ASSERT_TRUE(doc.FindChildElement("after"));
  ASSERT_TRUE(doc.EnterElement());
  ASSERT_TRUE(doc.LeaveElement());
  doc.ResetPosition();
  ASSERT_TRUE(doc.FindElement("r"));
  ASSERT_TRUE(doc.FindChildElement("big"));
  ASSERT_TRUE(doc.SetChildAttribute("c", "3"));
  EXPECT_EQ(doc.GetChildAttribute("c"), "3");
  ASSERT_TRUE(doc.EnterElement());
  ASSERT_TRUE(doc.AddChildElement("inside"));
  EXPECT_EQ(XmlDocumentInspector::Check(doc, true), "");
  EXPECT_NE(doc.GetText().find("b='2' c=\"3\">\r\n<inside/>\r\n</big><after/>"), std::string::npos);
}

TEST(XmlParseLimits, LongElementNames) {
  const std::string name(2000, 'n');
  const std::string text =
      "<r>\r\n<" + name + " k='v'>text</" + name + ">\r\n<" + name + "/>\r\n</r>\r\n";
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText(text)) << doc.GetResult();
  ASSERT_TRUE(doc.FindElement("r"));
  ASSERT_TRUE(doc.EnterElement());
  ASSERT_TRUE(doc.FindElement(name));
  EXPECT_EQ(doc.GetAttribute("k"), "v");
  ASSERT_TRUE(doc.FindElement(name));
  ASSERT_TRUE(doc.AddChildElement(name, "c"));
  EXPECT_EQ(XmlDocumentInspector::Check(doc, true), "");
  // The empty one grew an end tag of 2,003 characters.
  EXPECT_NE(doc.GetText().find("<" + name + ">\r\n<" + name + ">c</" + name + ">\r\n</" + name +
                               ">\r\n</r>"),
            std::string::npos);

  std::string mismatch = "<" + name + "></" + name + "x>";
  EXPECT_FALSE(doc.SetText(mismatch));
  EXPECT_EQ(doc.GetResult(), "End tag '" + name + "x' at offset " +
                                 std::to_string(name.size() + 3) + " does not match start tag '" +
                                 name + "' at offset 0");
}

TEST(XmlParseLimits, ManyElementsGrowTheIndexAcrossSegments) {
  // More than one 65,536-entry segment, with a text too short to have
  // reserved them up front.
  constexpr int kCount = 200000;
  std::string text = "<r>";
  for (int i = 0; i < kCount; ++i) text += "<e/>";
  text += "</r>";
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText(text)) << doc.GetResult();
  EXPECT_EQ(XmlDocumentInspector::ElementCount(doc), static_cast<std::size_t>(kCount) + 1);
  EXPECT_EQ(XmlDocumentInspector::Check(doc, false), "");
  ASSERT_TRUE(doc.FindElement("r"));
  ASSERT_TRUE(doc.EnterElement());
  int n = 0;
  while (doc.FindElement("e")) ++n;
  EXPECT_EQ(n, kCount);
  ASSERT_TRUE(doc.AddElement("last"));
  EXPECT_EQ(doc.GetText().substr(doc.GetText().size() - 17), "<e/><last/>\r\n</r>");
}

}  // namespace
}  // namespace wren
