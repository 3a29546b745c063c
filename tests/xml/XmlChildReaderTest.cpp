// The piecewise reader against the whole-document parse: the same texts
// accepted, the same children and attribute values, whatever the size of
// the pieces the file is read in.

#include "xml/XmlChildReader.h"
#include "xml/XmlDocument.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace wren {
namespace {

const char* const kProbes[] = {"a", "b", "Name", "Image", "x", ""};

// What the document says: parsed or not; the root's children with their
// probed attributes.
struct Reading {
  bool ok = false;
  std::vector<std::vector<std::string>> children;
};

Reading ByDocument(const std::string& text) {
  Reading r;
  XmlDocument doc;
  r.ok = doc.SetText(text);
  if (!r.ok) return r;
  doc.ResetPosition();
  if (!doc.FindElement() || !doc.EnterElement()) return r;
  while (doc.FindElement()) {
    std::vector<std::string> values;
    for (const char* probe : kProbes) values.push_back(doc.GetAttribute(probe));
    r.children.push_back(values);
  }
  return r;
}

Reading ByReader(const std::string& text, std::size_t chunk) {
  Reading r;
  std::FILE* f = std::tmpfile();
  EXPECT_NE(f, nullptr);
  if (!f) return r;
  std::fwrite(text.data(), 1, text.size(), f);
  std::rewind(f);
  {
    XmlChildReader reader(f, chunk);
    while (reader.NextChild()) {
      std::vector<std::string> values;
      for (const char* probe : kProbes) values.push_back(reader.GetAttribute(probe));
      r.children.push_back(values);
    }
    r.ok = !reader.Failed();
  }
  std::fclose(f);
  if (!r.ok) r.children.clear();
  return r;
}

const char* const kTexts[] = {
    "<r/>",
    "<?xml version=\"1.0\"?>\r\n<r a=\"1\">\r\n<e a=\"x&amp;y\" b='2'/>\r\n<e/>\r\n</r>\r\n",
    "<r><e a=\"1\"><deep a=\"no\"><deeper/></deep></e><f b=\"q>r\" a=\"2\"></f></r>",
    "<!DOCTYPE r [ <!ELEMENT r ANY> <!-- c --> ]>\n<r><e a=\"d\"/></r>",
    "<!-- lead --><r><![CDATA[ <e a=\"no\"/> ]]><?pi <e/> ?><e a=\"yes\"/></r><!-- tail -->",
    "<?>\n<r/>",
    "<r><?></r>",
    "<r><e Name=\"n\" Image=\"7\" Name=\"dup\"/></r>",
    "<r><e a=1 b=\"2\"/><e a=\"x\" / ></e></r>",
    "<r><e/ a=\"1\"></e></r>",
    "text<r/>",
    "<r></r>trailing text",
    // Not documents.
    "",
    "   ",
    "<?xml version=\"1.0\"?>\n",
    "<r>",
    "<r><e></r>",
    "<r/><s/>",
    "</r>",
    "<r><e a=\"1></e></r>",
    "<r><!ELEMENT x></r>",
    "<r><!-x></r>",
    "<r><e></f></r>",
    "<r><e/></r><",
};

TEST(XmlChildReader, AgreesWithTheDocumentInAnyPieces) {
  for (const char* text : kTexts) {
    const Reading expected = ByDocument(text);
    for (std::size_t chunk : {1u, 2u, 3u, 5u, 7u, 16u, 100u, 1u << 20}) {
      const Reading got = ByReader(text, chunk);
      EXPECT_EQ(got.ok, expected.ok) << text << " in pieces of " << chunk;
      EXPECT_EQ(got.children, expected.children) << text << " in pieces of " << chunk;
    }
  }
}

TEST(XmlChildReader, LargeDocumentAcrossManyPieces) {
  std::string text = "<?xml version=\"1.0\"?>\r\n<dataroot version=\"1\">\r\n";
  for (int i = 0; i < 3000; ++i) {
    text += "<entry Name=\"Device " + std::to_string(i) + " &lt;" +
            std::string(static_cast<std::size_t>(i % 37), 'x') + "&gt;\" Image=\"" +
            std::to_string(i % 48) + "\"/>\r\n";
  }
  text += "</dataroot>\r\n";
  const Reading expected = ByDocument(text);
  ASSERT_TRUE(expected.ok);
  ASSERT_EQ(expected.children.size(), 3000u);
  for (std::size_t chunk : {13u, 4096u}) {
    const Reading got = ByReader(text, chunk);
    EXPECT_TRUE(got.ok);
    EXPECT_EQ(got.children, expected.children);
  }
  // Cut anywhere, it is not a document.
  const Reading cut = ByReader(text.substr(0, text.size() / 2), 4096);
  EXPECT_FALSE(cut.ok);
}

TEST(XmlChildReader, RootNameAsFindElementMatchesIt) {
  const struct {
    const char* text;
    const char* name;
    bool matches;
  } kCases[] = {
      {"<dataroot/>", "dataroot", true},   {"<dataroot a=\"1\"></dataroot>", "dataroot", true},
      {"<datarootx/>", "dataroot", false}, {"<data/>", "dataroot", false},
      {"<dataroot/>", "", true},           {"<a=b/>", "a=b", true},
  };
  for (const auto& c : kCases) {
    XmlDocument doc;
    ASSERT_TRUE(doc.SetText(c.text)) << c.text;
    ASSERT_EQ(doc.FindElement(c.name), c.matches) << c.text;
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    std::fputs(c.text, f);
    std::rewind(f);
    XmlChildReader reader(f, 3);
    EXPECT_FALSE(reader.NextChild());
    EXPECT_FALSE(reader.Failed()) << c.text;
    EXPECT_EQ(reader.RootNameIs(c.name), c.matches) << c.text;
    std::fclose(f);
  }
}

TEST(XmlChildReader, MissingFileFails) {
  XmlChildReader reader(std::string("/nonexistent/folder/history.xml"));
  EXPECT_FALSE(reader.NextChild());
  EXPECT_TRUE(reader.Failed());
  EXPECT_FALSE(reader.RootNameIs("dataroot"));
}

}  // namespace
}  // namespace wren
