// Moving through the elements, name matching, attribute lookup and the
// value codecs.

#include "xml/XmlDocument.h"
#include "support/XmlDocumentInspector.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include <string>

namespace wren {
namespace {

const char kTree[] =
    "<?xml version=\"1.0\"?>\r\n"
    "<root id=\"r\">\r\n"
    "<item id=\"1\"/>\r\n"
    "<other id=\"2\">\r\n"
    "<leaf id=\"2.1\"/>\r\n"
    "<leaf id=\"2.2\"/>\r\n"
    "</other>\r\n"
    "<item id=\"3\"><leaf id=\"3.1\"/></item>\r\n"
    "</root>\r\n";

class Navigation : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(doc.SetText(kTree)) << doc.GetResult(); }
  XmlDocument doc;
};

TEST_F(Navigation, FindElementWalksSiblingsAtTheParentLevel) {
  EXPECT_FALSE(doc.FindElement("item"));  // only the root is at document level
  ASSERT_TRUE(doc.FindElement("root"));
  EXPECT_EQ(doc.GetAttribute("id"), "r");
  EXPECT_FALSE(doc.FindElement());  // no second top-level element
  EXPECT_EQ(doc.GetAttribute("id"), "r");
  ASSERT_TRUE(doc.EnterElement());
  EXPECT_EQ(doc.GetAttribute("id"), "");  // no current element inside yet
  ASSERT_TRUE(doc.FindElement("item"));
  EXPECT_EQ(doc.GetAttribute("id"), "1");
  ASSERT_TRUE(doc.FindElement("item"));
  EXPECT_EQ(doc.GetAttribute("id"), "3");
  EXPECT_FALSE(doc.FindElement("item"));
  EXPECT_EQ(doc.GetAttribute("id"), "3");  // unchanged on failure
}

TEST_F(Navigation, EmptyNameMatchesEveryElement) {
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.EnterElement());
  std::string ids;
  while (doc.FindElement()) ids += doc.GetAttribute("id") + ",";
  EXPECT_EQ(ids, "1,2,3,");
}

TEST_F(Navigation, FindChildElementKeepsTheCurrentElement) {
  // Without a current element it first finds the root.
  ASSERT_TRUE(doc.FindChildElement("other"));
  EXPECT_EQ(doc.GetAttribute("id"), "r");
  EXPECT_EQ(doc.GetChildAttribute("id"), "2");
  ASSERT_TRUE(doc.FindChildElement());
  EXPECT_EQ(doc.GetChildAttribute("id"), "3");
  EXPECT_FALSE(doc.FindChildElement());
  EXPECT_EQ(doc.GetChildAttribute("id"), "3");
  // Entering makes the child current; leaving makes it the child again.
  ASSERT_TRUE(doc.EnterElement());
  EXPECT_EQ(doc.GetAttribute("id"), "3");
  EXPECT_EQ(doc.GetChildAttribute("id"), "");
  ASSERT_TRUE(doc.FindChildElement("leaf"));
  EXPECT_EQ(doc.GetChildAttribute("id"), "3.1");
  ASSERT_TRUE(doc.LeaveElement());
  EXPECT_EQ(doc.GetAttribute("id"), "r");
  EXPECT_EQ(doc.GetChildAttribute("id"), "3");
  EXPECT_FALSE(doc.LeaveElement());  // already at document level
  EXPECT_EQ(doc.GetAttribute("id"), "r");
}

TEST_F(Navigation, EnterElementNeedsACurrentElement) {
  EXPECT_FALSE(doc.EnterElement());
  ASSERT_TRUE(doc.FindElement("root"));
  ASSERT_TRUE(doc.FindChildElement("other"));
  ASSERT_TRUE(doc.EnterElement());
  ASSERT_TRUE(doc.EnterElement());  // into "other", with no current element
  EXPECT_FALSE(doc.EnterElement());
  ASSERT_TRUE(doc.FindElement("leaf"));
  EXPECT_EQ(doc.GetAttribute("id"), "2.1");
  doc.ResetPosition();
  EXPECT_EQ(doc.GetAttribute("id"), "");
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetAttribute("id"), "r");
}

TEST(NameMatching, WholeNamesOrTheFourContinuations) {
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText("<r><ab/><a/><a2/></r>"));
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.FindChildElement("a"));
  ASSERT_TRUE(doc.EnterElement());
  EXPECT_TRUE(doc.LeaveElement());
  EXPECT_FALSE(doc.FindChildElement("a"));  // ab and a2 are other names
  doc.ResetPosition();
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.EnterElement());
  // A name going on with ' ', '=', '/' or '[' matches by its head.
  EXPECT_TRUE(doc.FindElement("a[2]"));
  EXPECT_FALSE(doc.FindElement("a"));
  doc.ResetPosition();
  EXPECT_FALSE(doc.FindElement("R"));  // case matters
  EXPECT_FALSE(doc.FindElement("r2"));
  EXPECT_TRUE(doc.FindElement("r/child"));
}

struct AttributeCase {
  const char* tag;
  const char* name;
  const char* value;
};

class AttributeLookup : public ::testing::TestWithParam<AttributeCase> {};

TEST_P(AttributeLookup, ReadsTheValue) {
  const AttributeCase& c = GetParam();
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText(c.tag)) << doc.GetResult();
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetAttribute(c.name), c.value) << c.tag;
}

const AttributeCase kAttributes[] = {
    {"<a b=\"1\"/>", "b", "1"},
    {"<a b='1'/>", "b", "1"},
    {"<a\r\n b\t=\n \"1\" />", "b", "1"},
    {"<a b=\"\"/>", "b", ""},
    {"<a bb=\"1\" b=\"2\"/>", "b", "2"},
    {"<a bb=\"1\" b=\"2\"/>", "bb", "1"},
    {"<a b=\"1\" b=\"2\"/>", "b", "1"},
    {"<a b=1 c=\"2\"/>", "b", ""},
    {"<a b=1 c=\"2\"/>", "c", "2"},
    {"<a b=\"x\"/>", "B", ""},
    {"<a x=\"b\" b=\"2\"/>", "b", "2"},
    {"<a b=\"x>y\"></a>", "b", "x>y"},
    {"<a b=\"1\"/>", "a", ""},
    {"<a c=\"1\"/>", "b", ""},
    {"<a/>", "b", ""},
    {"<a/ b=\"1\"></a>", "b", ""},
    {"<a b c=\"1\"/>", "b", ""},
    {"<a b=\"1&amp;2\"/>", "b", "1&2"},
};

INSTANTIATE_TEST_SUITE_P(XmlDocument, AttributeLookup, ::testing::ValuesIn(kAttributes));

TEST(AttributeLookup, ChildAttributeReadsTheChildPosition) {
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText("<a v='p'><b v='c'/></a>"));
  EXPECT_EQ(doc.GetChildAttribute("v"), "");
  ASSERT_TRUE(doc.FindChildElement("b"));
  EXPECT_EQ(doc.GetAttribute("v"), "p");
  EXPECT_EQ(doc.GetChildAttribute("v"), "c");
}

TEST(AttributeLookup, StaysInsideTheStartTag) {
  // The last quote of the tag opens a string the tokenizer would run past
  // the '>' with; the value after the tag is not this element's.
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText("<r><a b=x\"y \"w>z\" c=\"v\"/></a></r>")) << doc.GetResult();
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.FindChildElement("a"));
  EXPECT_EQ(doc.GetChildAttribute("c"), "");
  // Setting it adds one to the tag instead of rewriting the content.
  ASSERT_TRUE(doc.SetChildAttribute("c", "new"));
  EXPECT_EQ(doc.GetText(), "<r><a b=x\"y \"w c=\"new\">z\" c=\"v\"/></a></r>");
  EXPECT_EQ(XmlDocumentInspector::Check(doc, true), "");
}

struct DecodeCase {
  const char* raw;
  const char* decoded;
};

class Decoding : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decoding, DecodesReferences) {
  const DecodeCase& c = GetParam();
  EXPECT_EQ(XmlDocument::DecodeValue(c.raw), c.decoded) << c.raw;
  // The same through an attribute.
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText(std::string("<a v=\"") + c.raw + "\"/>"));
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetAttribute("v"), c.decoded) << c.raw;
}

const DecodeCase kDecoding[] = {
    {"plain", "plain"},
    {"&#65;", "A"},
    {"x&#65;y&#66;z", "xAyBz"},
    {"&#x41;", "A"},
    {"&#233;", "\xC3\xA9"},
    {"&#x7FF;", "\xDF\xBF"},
    {"&#x800;", "\xE0\xA0\x80"},
    {"&#x263A;", "\xE2\x98\xBA"},
    {"&#1234567;", "\xED\x9A\x87"},  // seven characters: still a reference, cut to three bytes
    {"&#12345678;", "&#12345678;"},  // eight are out of reach
    {"&#0;", "&#0;"},
    {"&#x0;", "&#x0;"},
    {"&#;", "&#;"},
    {"&#x;", "&#x;"},
    {"&#abc;", "&#abc;"},
    {"&#65", "&#65"},
    {"&#65a;", "A"},  // the conversion stops at the first non-digit
    {"&lt;&amp;&gt;&apos;&quot;", "<&>'\""},
    {"&amp;lt;", "&lt;"},
    {"&bogus;", "&bogus;"},
    {"a & b", "a & b"},
    {"&", "&"},
    {"&lt", "&lt"},
    {"x&quot", "x&quot"},
    {"&&amp;", "&&"},
};

INSTANTIATE_TEST_SUITE_P(XmlDocument, Decoding, ::testing::ValuesIn(kDecoding));

TEST(Encoding, AttributesEscapeFiveContentThree) {
  EXPECT_EQ(XmlDocument::EncodeAttributeValue("a<b&c>d'e\"f"), "a&lt;b&amp;c&gt;d&apos;e&quot;f");
  EXPECT_EQ(XmlDocument::EncodeContent("a<b&c>d'e\"f"), "a&lt;b&amp;c&gt;d'e\"f");
  const std::string bytes("\x01\x7F\x80\xFF\t\r\n", 7);
  EXPECT_EQ(XmlDocument::EncodeAttributeValue(bytes), bytes);
  EXPECT_EQ(XmlDocument::EncodeContent(""), "");
  EXPECT_EQ(XmlDocument::DecodeValue(XmlDocument::EncodeAttributeValue("<&&amp;>'\"")),
            "<&&amp;>'\"");
}

// --- the current element: name, attribute walk, lines ----------------------

TEST(CurrentElement, NameAndLineFollowThePosition) {
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText(
      "<?xml version=\"1.0\"?>\r\n<root a=\"1\">\r\n  <first/>\n\n<second\nx='y'>t</second>"
      "<third/></root>\n"));
  EXPECT_EQ(doc.GetElementName(), "");
  EXPECT_EQ(doc.GetElementLine(), 0u);
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetElementName(), "root");
  EXPECT_EQ(doc.GetElementLine(), 2u);
  ASSERT_TRUE(doc.EnterElement());
  const struct {
    const char* name;
    std::size_t line;
  } kChildren[] = {{"first", 3}, {"second", 5}, {"third", 6}};
  for (const auto& c : kChildren) {
    ASSERT_TRUE(doc.FindElement());
    EXPECT_EQ(doc.GetElementName(), c.name);
    EXPECT_EQ(doc.GetElementLine(), c.line) << c.name;
  }
  // Lines are asked out of order too.
  ASSERT_TRUE(doc.LeaveElement());
  EXPECT_EQ(doc.GetElementLine(), 2u);
  EXPECT_EQ(doc.LineOfOffset(0), 1u);
  EXPECT_EQ(doc.LineOfOffset(static_cast<std::int64_t>(doc.GetText().size())), 7u);
}

TEST(CurrentElement, LinesFollowEdits) {
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText("<r>\n<a/>\n</r>"));
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.FindChildElement("a"));
  ASSERT_TRUE(doc.EnterElement());
  EXPECT_EQ(doc.GetElementLine(), 2u);
  ASSERT_TRUE(doc.LeaveElement());
  ASSERT_TRUE(doc.SetAttribute("v", "x"));  // on r: the text before a does not gain a line
  ASSERT_TRUE(doc.AddChildElement("b"));    // a CR LF follows every added element
  doc.ResetPosition();
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.EnterElement());
  ASSERT_TRUE(doc.FindElement("a"));
  EXPECT_EQ(doc.GetElementLine(), 2u);
  ASSERT_TRUE(doc.FindElement("b"));
  EXPECT_EQ(doc.GetElementLine(), 3u);
  EXPECT_EQ(doc.GetElementName(), "b");
}

struct WalkCase {
  const char* tag;
  bool wellFormed;
  std::vector<std::tuple<std::string, std::string, bool>> attributes;
};

class AttributeWalk : public ::testing::TestWithParam<WalkCase> {};

TEST_P(AttributeWalk, ListsThePairsInOrder) {
  const WalkCase& c = GetParam();
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText(c.tag)) << doc.GetResult();
  ASSERT_TRUE(doc.FindElement());
  std::vector<XmlAttribute> seen{{"stale", "stale", true}};
  EXPECT_EQ(doc.GetAttributes(seen), c.wellFormed) << c.tag;
  std::vector<std::tuple<std::string, std::string, bool>> got;
  for (const XmlAttribute& a : seen) got.emplace_back(a.name, a.rawValue, a.quoted);
  EXPECT_EQ(got, c.attributes) << c.tag;
}

const WalkCase kWalks[] = {
    {"<a/>", true, {}},
    {"<a></a>", true, {}},
    {"<a b=\"1\" c='2'/>", true, {{"b", "1", true}, {"c", "2", true}}},
    {"<a\r\n b\t=\n \"x&amp;y\" / ></a>", true, {{"b", "x&amp;y", true}}},
    {"<a b=\"\"/>", true, {{"b", "", true}}},
    {"<a b=1 c=\"2\"/>", true, {{"b", "1", false}, {"c", "2", true}}},
    {"<a b=\"1\" b=\"2\"/>", true, {{"b", "1", true}, {"b", "2", true}}},
    {"<a b=\"x>y\"></a>", true, {{"b", "x>y", true}}},
    {"<a b c=\"1\"/>", false, {}},
    {"<a b=\"1\" c/>", false, {{"b", "1", true}}},
    {"<a b=\"1\" =\"2\"/>", false, {{"b", "1", true}}},
    {"<a b==\"1\"/>", false, {}},
    {"<a \"b\"=\"1\"/>", false, {}},
    {"<a b=\"1\"\"2\"/>", false, {{"b", "1", true}}},
    {"<a b=\"1\" ! c=\"2\"/>", false, {{"b", "1", true}}},
    // The scanner pairs the quote in "it's" with the one after '=': the tag
    // ends at the first '>' and the last value never closes inside it.
    {"<a b=\"1\" it's=\"x\" c='y>z'></a>", false, {{"b", "1", true}, {"it's", "x", true}}},
};

INSTANTIATE_TEST_SUITE_P(XmlDocument, AttributeWalk, ::testing::ValuesIn(kWalks));

TEST(AttributeWalk, NoCurrentElementHasNoAttributes) {
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText("<a b=\"1\"/>"));
  std::vector<XmlAttribute> seen{{"stale", "stale", true}};
  EXPECT_FALSE(doc.GetAttributes(seen));
  EXPECT_TRUE(seen.empty());
}

// Reads are remembered per start tag; every edit must make them read the
// text again, wherever the edit falls.
TEST(AttributeReads, SeeEveryEdit) {
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText("<r><e a=\"1\" b=\"2\"/><e a=\"3\"/></r>"));
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.EnterElement());
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetAttribute("a"), "1");
  EXPECT_EQ(doc.GetAttribute("b"), "2");
  ASSERT_TRUE(doc.SetAttribute("a", "longer value"));
  EXPECT_EQ(doc.GetAttribute("a"), "longer value");
  EXPECT_EQ(doc.GetAttribute("b"), "2");
  ASSERT_TRUE(doc.SetAttribute("c", "&"));
  EXPECT_EQ(doc.GetAttribute("c"), "&");
  ASSERT_TRUE(doc.FindElement());
  EXPECT_EQ(doc.GetAttribute("a"), "3");
  EXPECT_EQ(doc.GetAttribute("b"), "");
  // An element added before this one moves it; the read still finds it.
  ASSERT_TRUE(doc.LeaveElement());
  ASSERT_TRUE(doc.SetAttribute("z", "0"));
  ASSERT_TRUE(doc.EnterElement());
  EXPECT_EQ(doc.GetAttribute("a"), "3");
  // A new text with the same element numbers.
  ASSERT_TRUE(doc.SetText("<r><e a=\"x\"/><e a=\"y\"/></r>"));
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.FindChildElement());
  ASSERT_TRUE(doc.FindChildElement());
  EXPECT_EQ(doc.GetChildAttribute("a"), "y");
  EXPECT_EQ(doc.GetAttribute("a"), "");
  ASSERT_TRUE(doc.SetChildAttribute("a", "w"));
  EXPECT_EQ(doc.GetChildAttribute("a"), "w");
  EXPECT_EQ(XmlDocumentInspector::Check(doc, true), "");
}

// Reads after each edit of the same start tag agree with a fresh parse of
// the edited text, for names new and old, values longer and shorter, and
// tags of every ending.
TEST(AttributeReads, AgreeWithAFreshParseAfterEveryEdit) {
  const char* const kTags[] = {"<e/>",
                               "<e></e>",
                               "<e a=\"1\"/>",
                               "<e a=\"1\" b='2'></e>",
                               "<e a=1 b=\"2\"/>",
                               "<e/ a=\"1\"></e>",
                               "<e a=\"1\" ?></e>"};
  const char* const kNames[] = {"a", "b", "c", "a b", "x=y", ""};
  const char* const kValues[] = {"", "longer value", "<&>\"'", "x"};
  for (const char* tag : kTags) {
    XmlDocument doc;
    ASSERT_TRUE(doc.SetText(std::string("<r>") + tag + "</r>")) << tag;
    ASSERT_TRUE(doc.FindElement());
    ASSERT_TRUE(doc.EnterElement());
    ASSERT_TRUE(doc.FindElement());
    for (const char* name : kNames) {
      for (const char* value : kValues) {
        (void)doc.GetAttribute("b");  // keep the tag's tokens before the edit
        ASSERT_TRUE(doc.SetAttribute(name, value));
        XmlDocument fresh;
        ASSERT_TRUE(fresh.SetText(doc.GetText())) << doc.GetText();
        ASSERT_TRUE(fresh.FindElement());
        ASSERT_TRUE(fresh.EnterElement());
        ASSERT_TRUE(fresh.FindElement());
        for (const char* probe : {"a", "b", "c", "a b", "x", "x=y", "z"}) {
          EXPECT_EQ(doc.GetAttribute(probe), fresh.GetAttribute(probe))
              << doc.GetText() << " " << probe;
          EXPECT_EQ(doc.GetAttribute(probe), XmlDocumentInspector::FreshAttribute(doc, probe))
              << probe;
        }
      }
    }
    EXPECT_EQ(XmlDocumentInspector::Check(doc, true), "") << tag;
  }
}

struct StrictCase {
  const char* raw;
  bool ok;
  const char* result;  // the text, or the reference refused
};

class StrictDecoding : public ::testing::TestWithParam<StrictCase> {};

TEST_P(StrictDecoding, KeepsToUnicode) {
  const StrictCase& c = GetParam();
  std::string out = "stale";
  std::string bad;
  ASSERT_EQ(XmlDocument::DecodeValueStrict(c.raw, out, bad), c.ok) << c.raw;
  EXPECT_EQ(c.ok ? out : bad, c.result) << c.raw;
}

const StrictCase kStrict[] = {
    {"plain &amp; &lt;", true, "plain & <"},
    {"&#65;&#x42;", true, "AB"},
    {"&#x263A;", true, "\xE2\x98\xBA"},
    {"&#x1F600;", true, "\xF0\x9F\x98\x80"},
    {"&#1114111;", true, "\xF4\x8F\xBF\xBF"},
    {"&#00000065;", true, "A"},
    {"&#65a;", true, "A"},
    {"&#abc; &#; &#x;", true, "&#abc; &#; &#x;"},
    {"&#0;", false, "&#0;"},
    {"x&#x0;", false, "&#x0;"},
    {"&#xD800;", false, "&#xD800;"},
    {"&#57343;", false, "&#57343;"},
    {"&#x110000;", false, "&#x110000;"},
    {"&#1234567;", false, "&#1234567;"},
    {"&#99999999999999999999999;", false, "&#99999999999999999999999;"},
    {"&#-5;", false, "&#-5;"},
};

INSTANTIATE_TEST_SUITE_P(XmlDocument, StrictDecoding, ::testing::ValuesIn(kStrict));

TEST(ParseFailureLine, NamesTheLineOfTheFault) {
  const struct {
    const char* text;
    std::size_t line;
  } kCases[] = {
      {"<a>\n<b>\n</c>\n</a>", 3},
      {"<a>\n\n<b", 3},
      {"<a>\n<b/>\n", 1},
      {"<a/>\n<b/>", 2},
      {"\n\n</a>", 3},
      {"<a>\n<!-x>\n</a>", 2},
      {"", 0},
      {"text only\n", 0},
  };
  for (const auto& c : kCases) {
    XmlDocument doc;
    EXPECT_FALSE(doc.SetText(c.text)) << c.text;
    EXPECT_EQ(doc.GetErrorLine(), c.line) << c.text << ": " << doc.GetResult();
  }
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText("<a/>"));
  EXPECT_EQ(doc.GetErrorLine(), 0u);
}

}  // namespace
}  // namespace wren
