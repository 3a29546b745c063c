// Editing: attributes set in place or added, elements added in the
// writer's line layout, and the index kept in line with the text.

#include "xml/XmlDocument.h"
#include "support/XmlDocumentInspector.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace wren {
namespace {

const char kDeclaration[] = "<?xml version=\"1.0\"?>\r\n";

::testing::AssertionResult Consistent(const XmlDocument& doc) {
  std::string problem = XmlDocumentInspector::Check(doc, true);
  if (problem.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << problem << "\ntext: " << doc.GetText();
}

TEST(WriterLayout, FileBuiltFromABareDeclaration) {
  XmlDocument doc;
  EXPECT_FALSE(doc.SetText(kDeclaration));
  ASSERT_TRUE(doc.AddElement("dataroot"));
  EXPECT_TRUE(doc.IsWellFormed());
  EXPECT_EQ(doc.GetText(), std::string(kDeclaration) + "<dataroot/>\r\n");
  ASSERT_TRUE(doc.SetAttribute("version", "1.7.4.0"));
  ASSERT_TRUE(doc.SetAttribute("vendor", "Pelmark LLC."));
  EXPECT_EQ(doc.GetText(), std::string(kDeclaration) +
                               "<dataroot version=\"1.7.4.0\" vendor=\"Pelmark LLC.\"/>\r\n");

  doc.ResetPosition();
  ASSERT_TRUE(doc.FindElement("dataroot"));
  ASSERT_TRUE(doc.EnterElement());
  ASSERT_TRUE(doc.AddElement("entry"));
  ASSERT_TRUE(doc.SetAttribute("Name", "Tom & \"Jerry\""));
  ASSERT_TRUE(doc.SetAttribute("Image", std::int32_t{-12}));
  ASSERT_TRUE(doc.AddElement("entry"));
  ASSERT_TRUE(doc.SetAttribute("Name", "<b>"));
  ASSERT_TRUE(doc.SetAttribute("Image", std::int32_t{7}));
  EXPECT_EQ(doc.GetText(),
            "<?xml version=\"1.0\"?>\r\n"
            "<dataroot version=\"1.7.4.0\" vendor=\"Pelmark LLC.\">\r\n"
            "<entry Name=\"Tom &amp; &quot;Jerry&quot;\" Image=\"-12\"/>\r\n"
            "<entry Name=\"&lt;b&gt;\" Image=\"7\"/>\r\n"
            "</dataroot>\r\n");
  EXPECT_TRUE(Consistent(doc));

  // It reads back as written.
  XmlDocument again;
  ASSERT_TRUE(again.SetText(doc.GetText()));
  ASSERT_TRUE(again.FindElement("dataroot"));
  EXPECT_EQ(again.GetAttribute("vendor"), "Pelmark LLC.");
  ASSERT_TRUE(again.EnterElement());
  ASSERT_TRUE(again.FindElement());
  EXPECT_EQ(again.GetAttribute("Name"), "Tom & \"Jerry\"");
  EXPECT_EQ(again.GetAttribute("Image"), "-12");
  ASSERT_TRUE(again.FindElement());
  EXPECT_EQ(again.GetAttribute("Name"), "<b>");
}

TEST(WriterLayout, ChildrenOfAFreshEmptyRoot) {
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText("<r a=\"1\"/>\r\n"));
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.AddChildElement("c1"));
  EXPECT_EQ(doc.GetText(), "<r a=\"1\">\r\n<c1/>\r\n</r>\r\n");
  ASSERT_TRUE(doc.AddChildElement("c2", "x<y"));
  EXPECT_EQ(doc.GetText(), "<r a=\"1\">\r\n<c1/>\r\n<c2>x&lt;y</c2>\r\n</r>\r\n");
  EXPECT_EQ(doc.GetAttribute("a"), "1");
  EXPECT_EQ(doc.GetChildAttribute("a"), "");
  ASSERT_TRUE(doc.SetChildAttribute("k", "v"));
  EXPECT_EQ(doc.GetText(), "<r a=\"1\">\r\n<c1/>\r\n<c2 k=\"v\">x&lt;y</c2>\r\n</r>\r\n");
  EXPECT_TRUE(Consistent(doc));
}

TEST(WriterLayout, EmptyParentWrittenWithTwoSlashes) {
  // Dropping one '/' of "//>" would leave an empty-element tag.
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText("<r><c a//><d/></r>")) << doc.GetResult();
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.FindChildElement("c"));
  ASSERT_TRUE(doc.EnterElement());
  ASSERT_TRUE(doc.AddChildElement("x"));
  EXPECT_EQ(doc.GetText(), "<r><c a/ >\r\n<x/>\r\n</c><d/></r>");
  EXPECT_TRUE(Consistent(doc));
}

TEST(WriterLayout, ParentWithoutContent) {
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText("<r></r>"));
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.AddChildElement("c"));
  EXPECT_EQ(doc.GetText(), "<r>\r\n<c/>\r\n</r>");
  ASSERT_TRUE(doc.AddChildElement("d"));
  EXPECT_EQ(doc.GetText(), "<r>\r\n<c/>\r\n<d/>\r\n</r>");
  EXPECT_TRUE(Consistent(doc));
}

TEST(WriterLayout, PlacementSkipsOnlyPureWhitespace) {
  XmlDocument doc;
  // After a sibling followed by blanks the new element goes past them.
  ASSERT_TRUE(doc.SetText("<r>\r\n  <a/>  \r\n  <c/>\r\n</r>"));
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.FindChildElement("a"));
  ASSERT_TRUE(doc.AddChildElement("b"));
  EXPECT_EQ(doc.GetText(), "<r>\r\n  <a/>  \r\n  <b/>\r\n<c/>\r\n</r>");
  EXPECT_TRUE(Consistent(doc));
  // Text after the sibling keeps the new element right behind it.
  ASSERT_TRUE(doc.SetText("<r><a/>text<c/></r>"));
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.FindChildElement("a"));
  ASSERT_TRUE(doc.AddChildElement("b"));
  EXPECT_EQ(doc.GetText(), "<r><a/><b/>\r\ntext<c/></r>");
  EXPECT_TRUE(Consistent(doc));
  // As the last child it goes right before the parent's end tag.
  ASSERT_TRUE(doc.SetText("<r><a/> text </r>"));
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.AddChildElement("z"));
  EXPECT_EQ(doc.GetText(), "<r><a/> text <z/>\r\n</r>");
  EXPECT_TRUE(Consistent(doc));
}

TEST(WriterLayout, AddElementAfterTheCurrentSibling) {
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText("<r>\r\n<a/>\r\n<c><x/></c>\r\n</r>\r\n<!-- end -->"));
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.EnterElement());
  ASSERT_TRUE(doc.FindElement("a"));
  ASSERT_TRUE(doc.AddElement("b", "&"));
  EXPECT_EQ(doc.GetText(), "<r>\r\n<a/>\r\n<b>&amp;</b>\r\n<c><x/></c>\r\n</r>\r\n<!-- end -->");
  EXPECT_TRUE(Consistent(doc));
  // The new element is current: the next search goes on after it.
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.FindChildElement("x"));
  ASSERT_TRUE(doc.AddChildElement("y"));
  EXPECT_EQ(doc.GetText(),
            "<r>\r\n<a/>\r\n<b>&amp;</b>\r\n<c><x/><y/>\r\n</c>\r\n</r>\r\n<!-- end -->");
  EXPECT_TRUE(Consistent(doc));
  // Without a current element AddElement appends as the last child.
  doc.ResetPosition();
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.EnterElement());
  ASSERT_TRUE(doc.AddElement("last"));
  EXPECT_EQ(
      doc.GetText(),
      "<r>\r\n<a/>\r\n<b>&amp;</b>\r\n<c><x/><y/>\r\n</c>\r\n<last/>\r\n</r>\r\n<!-- end -->");
  EXPECT_TRUE(Consistent(doc));
}

TEST(WriterLayout, OneRootOnly) {
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText("<r/>"));
  EXPECT_FALSE(doc.AddElement("second"));
  ASSERT_TRUE(doc.FindElement());
  EXPECT_FALSE(doc.AddElement("second"));
  EXPECT_EQ(doc.GetText(), "<r/>");
  // Without a current element nothing can take a child or an attribute.
  doc.ResetPosition();
  EXPECT_FALSE(doc.AddChildElement("c"));
  EXPECT_FALSE(doc.SetAttribute("a", "1"));
  EXPECT_FALSE(doc.SetChildAttribute("a", "1"));
  ASSERT_TRUE(doc.FindElement());
  EXPECT_FALSE(doc.SetChildAttribute("a", "1"));
  EXPECT_EQ(doc.GetText(), "<r/>");
}

TEST(WriterLayout, AddChildElementNeedsACurrentElement) {
  XmlDocument doc;
  ASSERT_FALSE(doc.SetText(std::string(kDeclaration)));
  EXPECT_FALSE(doc.AddChildElement("c"));
  EXPECT_EQ(doc.GetText(), kDeclaration);
  // A failed parse leaves the text to build on.
  ASSERT_FALSE(doc.SetText("<broken"));
  ASSERT_TRUE(doc.AddElement("root", "t"));
  EXPECT_EQ(doc.GetText(), "<broken<root>t</root>\r\n");
  EXPECT_TRUE(XmlDocumentInspector::Check(doc, false).empty());
}

TEST(SetAttribute, ReplacesOnlyTheValue) {
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText("<r><a b = 'old' c=\"2\">t</a><n/></r>"));
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.FindChildElement("a"));
  ASSERT_TRUE(doc.EnterElement());
  ASSERT_TRUE(doc.SetAttribute("b", "it's \"new\""));
  EXPECT_EQ(doc.GetText(), "<r><a b = 'it&apos;s &quot;new&quot;' c=\"2\">t</a><n/></r>");
  EXPECT_EQ(doc.GetAttribute("b"), "it's \"new\"");
  ASSERT_TRUE(doc.SetAttribute("c", ""));
  EXPECT_EQ(doc.GetText(), "<r><a b = 'it&apos;s &quot;new&quot;' c=\"\">t</a><n/></r>");
  EXPECT_TRUE(Consistent(doc));
  ASSERT_TRUE(doc.FindElement("n"));
  ASSERT_TRUE(doc.SetAttribute("z", "1"));
  EXPECT_EQ(doc.GetText(), "<r><a b = 'it&apos;s &quot;new&quot;' c=\"\">t</a><n z=\"1\"/></r>");
  EXPECT_TRUE(Consistent(doc));
}

TEST(SetAttribute, AddsBeforeTheTagEnd) {
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText("<r x='1'><e a=\"1\" /><f>text</f></r>"));
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.SetAttribute("y", "2"));
  EXPECT_EQ(doc.GetText(), "<r x='1' y=\"2\"><e a=\"1\" /><f>text</f></r>");
  ASSERT_TRUE(doc.FindChildElement("e"));
  ASSERT_TRUE(doc.SetChildAttribute("b", "<2>"));
  EXPECT_EQ(doc.GetText(), "<r x='1' y=\"2\"><e a=\"1\"  b=\"&lt;2&gt;\"/><f>text</f></r>");
  ASSERT_TRUE(doc.FindChildElement("f"));
  ASSERT_TRUE(doc.SetChildAttribute("c", "3"));
  EXPECT_EQ(doc.GetText(), "<r x='1' y=\"2\"><e a=\"1\"  b=\"&lt;2&gt;\"/><f c=\"3\">text</f></r>");
  EXPECT_EQ(doc.GetChildAttribute("c"), "3");
  EXPECT_TRUE(Consistent(doc));
}

TEST(SetAttribute, ValueTheParserReadsOtherwiseIsNotRewritten) {
  // The parser reads the quote before v as closing the one after p, so
  // rewriting "v'w" would move the end of the tag; the attribute is added.
  const std::string tag = "<a x=p\"q id=\"v'w\" z=' k=\"\">";
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText("<r>" + tag + "</a><b/></r>")) << doc.GetResult();
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.FindChildElement("a"));
  EXPECT_EQ(doc.GetChildAttribute("id"), "v'w");
  ASSERT_TRUE(doc.SetChildAttribute("id", "1"));
  EXPECT_EQ(doc.GetText(), "<r><a x=p\"q id=\"v'w\" z=' k=\"\" id=\"1\"></a><b/></r>");
  EXPECT_TRUE(Consistent(doc));
}

TEST(SetAttribute, NumbersAreDecimal) {
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText("<r/>"));
  ASSERT_TRUE(doc.FindElement());
  ASSERT_TRUE(doc.SetAttribute("min", std::numeric_limits<std::int32_t>::min()));
  ASSERT_TRUE(doc.SetAttribute("max", std::numeric_limits<std::int32_t>::max()));
  ASSERT_TRUE(doc.SetAttribute("zero", std::int32_t{0}));
  EXPECT_EQ(doc.GetText(), "<r min=\"-2147483648\" max=\"2147483647\" zero=\"0\"/>");
}

TEST(SetAttribute, ValuesTakenFromTheDocumentItself) {
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText("<r a=\"abc\"/>"));
  ASSERT_TRUE(doc.FindElement());
  const std::string_view own = doc.GetText();
  ASSERT_TRUE(doc.SetAttribute(own.substr(1, 1), own));
  EXPECT_EQ(doc.GetText(), "<r a=\"abc\" r=\"&lt;r a=&quot;abc&quot;/&gt;\"/>");
}

TEST(Edits, MixedEditsKeepTheIndexInLine) {
  XmlDocument doc;
  ASSERT_TRUE(doc.SetText(
      "<?xml version=\"1.0\"?>\n<r>\n <a><b/><c>t</c></a>\n <d/>\n</r>\n<!-- tail -->"));
  ASSERT_TRUE(doc.FindElement("r"));
  ASSERT_TRUE(doc.FindChildElement("a"));
  ASSERT_TRUE(doc.EnterElement());
  ASSERT_TRUE(doc.FindChildElement("b"));
  ASSERT_TRUE(doc.SetChildAttribute("k", "long value that moves everything after it"));
  ASSERT_TRUE(Consistent(doc));
  ASSERT_TRUE(doc.AddChildElement("b2", "x"));
  ASSERT_TRUE(Consistent(doc));
  ASSERT_TRUE(doc.SetChildAttribute("k", "v"));
  ASSERT_TRUE(Consistent(doc));
  ASSERT_TRUE(doc.LeaveElement());
  ASSERT_TRUE(doc.SetAttribute("top", "1"));
  ASSERT_TRUE(Consistent(doc));
  ASSERT_TRUE(doc.SetAttribute("top", "a much longer value than before"));
  ASSERT_TRUE(doc.SetAttribute("top", ""));
  ASSERT_TRUE(Consistent(doc));
  ASSERT_TRUE(doc.FindChildElement("d"));
  ASSERT_TRUE(doc.EnterElement());
  ASSERT_TRUE(doc.AddChildElement("e"));
  ASSERT_TRUE(doc.AddChildElement("f"));
  ASSERT_TRUE(doc.EnterElement());
  ASSERT_TRUE(doc.AddChildElement("g", "deep"));
  ASSERT_TRUE(Consistent(doc));
  EXPECT_EQ(XmlDocumentInspector::ElementCount(doc), 9u);
  EXPECT_EQ(
      doc.GetText(),
      "<?xml version=\"1.0\"?>\n<r top=\"\">\n"
      " <a><b k=\"long value that moves everything after it\"/><b2 k=\"v\">x</b2>\r\n<c>t</c></a>\n"
      " <d>\r\n<e/>\r\n<f>\r\n<g>deep</g>\r\n</f>\r\n</d>\n"
      "</r>\n<!-- tail -->");
}

}  // namespace
}  // namespace wren
