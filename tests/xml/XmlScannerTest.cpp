// The fast node scanner against the character-by-character rules, on
// whole documents and on every truncation of them.

#include "xml/XmlScanner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wren::xml {
namespace {

struct Scanned {
  int type;
  std::int64_t start;
  std::int64_t length;
  bool empty;
  std::string name;
  std::string message;
  bool operator==(const Scanned&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Scanned& s) {
  return os << "{type " << s.type << " at " << s.start << " len " << s.length << " empty "
            << s.empty << " name '" << s.name << "' message '" << s.message << "'}";
}

// The markup nodes of `text` in order; character data is left out, since
// the two scanners may cut it differently.
template <typename Scan>
std::vector<Scanned> Nodes(std::string_view text, Scan scan) {
  std::vector<Scanned> out;
  std::int64_t pos = 0;
  for (;;) {
    NodeScan node;
    std::string message;
    int type = scan(text, pos, node, message);
    if (type == kText || type == kWhitespace) {
      pos = node.start + node.length;
      continue;
    }
    Scanned s{type,
              node.start,
              type == kScanError ? 0 : node.length,
              type == kStartTag && node.empty,
              type == kScanError ? std::string()
                                 : std::string(text.substr(node.nameStart, node.nameLength)),
              message};
    out.push_back(s);
    if (type < 0) return out;
    pos = node.start + node.length;
  }
}

const char* const kSamples[] = {
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<r a='1' b=\"x>y\"><c/><d>text &amp; "
    "more</d></r>\r\n",
    "<!DOCTYPE r [\n<!ELEMENT r ANY>\n<!-- c > c -->\n<?pi x?>\n<e a=\"'>\"/>\n]>\n<r/>",
    "<r><![CDATA[ <not> ]] ]]><!----><!-- - --><?p?><?\?></r>",
    "<!--><?><a b='\"' c=\"'\"/></a b>",
    "<a\tb\n=\r'1'/ >< 1><!x><!-x><![x><!ELEMENT x>",
    "text <a/>more<b>\r\n\t <c d=''/></b>",
    "<!DOCTYPE a [ <!-- x --> <1> ]>",
    "<!DOCTYPE a [ <![CDATA[x]]> ]>",
    "<!DOCTYPE a [ <a b='>'> <!D ]>",
    "<:a/><_b/><{c/><\x7F/><\x80/><`/>",
};

TEST(NodeScanner, FastScannerFollowsTheRules) {
  for (const char* sample : kSamples) {
    const std::string text = sample;
    for (std::size_t n = 0; n <= text.size(); ++n) {
      const std::string_view prefix(text.data(), n);
      EXPECT_EQ(Nodes(prefix, ScanNode), Nodes(prefix, ScanNodeStepwise)) << "text: " << prefix;
    }
  }
}

TEST(NodeScanner, ReportsNamesAndEmptyTags) {
  const std::string text = "<a b='1'/><cd>x</cd ><?pi data?>";
  auto nodes = Nodes(text, ScanNode);
  ASSERT_EQ(nodes.size(), 5u);
  EXPECT_EQ(nodes[0], (Scanned{kStartTag, 0, 10, true, "a", ""}));
  EXPECT_EQ(nodes[1], (Scanned{kStartTag, 10, 4, false, "cd", ""}));
  EXPECT_EQ(nodes[2], (Scanned{kEndTag, 15, 6, false, "cd", ""}));
  EXPECT_EQ(nodes[3], (Scanned{kProcessingInstruction, 21, 11, false, "pi", ""}));
  EXPECT_EQ(nodes[4].type, kEndOfText);
}

TEST(Tokenizer, SplitsAStartTag) {
  const std::string tag = "<a b=\"x y\" c = 'z'/ d\\e?f!g<h>";
  TokenCursor cur;
  cur.text = tag.data();
  cur.end = static_cast<std::int64_t>(tag.size());
  cur.next = 1;
  std::vector<std::string> tokens;
  while (cur.Next()) tokens.push_back((cur.quoted ? "q:" : "") + std::string(cur.Token()));
  const std::vector<std::string> expected = {"a",  "b", "=", "q:x y", "c", "=", "q:z", "/", "d",
                                             "\\", "e", "?", "f",     "!", "g", "<",   "h", ">"};
  EXPECT_EQ(tokens, expected);
}

TEST(Tokenizer, UnclosedQuoteRunsToTheEnd) {
  const std::string tag = "<a b='open";
  TokenCursor cur;
  cur.text = tag.data();
  cur.end = static_cast<std::int64_t>(tag.size());
  cur.next = 3;
  ASSERT_TRUE(cur.Next());
  ASSERT_TRUE(cur.Next());
  ASSERT_TRUE(cur.Next());
  EXPECT_TRUE(cur.quoted);
  EXPECT_FALSE(cur.closed);
  EXPECT_EQ(cur.Token(), "open");
  EXPECT_FALSE(cur.Next());
}

}  // namespace
}  // namespace wren::xml
