#include "core/refdata/VendorDatabase.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "core/datafile/XmlDataFile.h"
#include "xml/XmlDocument.h"

extern "C" const char wren_vendor_db[];
extern const std::size_t wren_vendor_db_size;

namespace wren {
namespace {

// Out of order, repeated prefixes, entities, other element names, entries
// without a usable addr, a nested element and a comment.
constexpr std::string_view kFixture =
    "<?xml version=\"1.0\"?>\r\n"
    "<Macaddresses version=\"1.7.4.0\" created=\"01/02/2003 04:05:06\">\r\n"
    "<mac addr=\"08-00-30\" company=\"NETWORK RESEARCH CORPORATION\"/>\r\n"
    "<mac addr=\"00-0A-D9\" company=\"Sony Corporation\" street=\"1-7-1 Konan\" "
    "country=\"JP\"/>\r\n"
    "<mac addr=\"00-01-C8\" company=\"THOMAS CONRAD CORP.\"/>\r\n"
    "<mac addr=\"08-00-30\" company=\"ROYAL MELBOURNE INST OF TECH\"/>\r\n"
    "<mac addr=\"00-01-C8\" company=\"CONRAD CORP.\"/>\r\n"
    "<!-- a comment between entries -->\r\n"
    "<mac addr=\"08-00-30\" company=\"CERN\"/>\r\n"
    "<mac addr=\"00-00-21\" company=\"SUREMAN COMP. &amp; COMMUN. CORP.\"/>\r\n"
    "<mac addr=\"00-17-32\" company=\"&quot;RISSA&quot; &apos;s &lt;lab&gt;\"/>\r\n"
    "<vendor addr=\"00-11-22\" company=\"Listed under another name\"/>\r\n"
    "<mac company=\"No addr at all\"/>\r\n"
    "<mac addr=\"\" company=\"Empty addr\"/>\r\n"
    "<mac addr=\"00-AB-CD\"/>\r\n"
    "<mac addr=\"00&#45;0B-00\" company=\"Addr written with a reference\"/>\r\n"
    "<group addr=\"00-77-77\" company=\"Group\">\r\n"
    "<mac addr=\"00-88-88\" company=\"Nested one level down\"/>\r\n"
    "</group>\r\n"
    "</Macaddresses>\r\n";

// The lookup as a walk through the document, the way the database is
// defined; the index must give the same answer for every prefix.
std::pair<int, std::string> WalkLookUp(std::string_view xml, std::string_view prefix) {
  XmlDocument document;
  document.SetText(xml);
  document.ResetPosition();
  if (!document.FindElement("Macaddresses") || !document.EnterElement()) return {0, {}};
  while (document.FindElement()) {
    if (document.GetAttribute("addr") == prefix) return {1, document.GetAttribute("company")};
  }
  return {0, {}};
}

std::string Find(const VendorDatabase& db, std::string_view prefix) {
  std::string company = "<unchanged>";
  db.LookUpVendor(company, prefix);
  return company;
}

class VendorFixture : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_EQ(m_db.LoadFromText(kFixture), 1); }
  VendorDatabase m_db;
};

TEST_F(VendorFixture, FindsEntriesByExactPrefix) {
  struct Case {
    std::string_view prefix;
    int found;
    std::string_view company;
  };
  const Case cases[] = {
      {"00-0A-D9", 1, "Sony Corporation"},
      {"00-0a-d9", 0, "<unchanged>"},  // letter case counts
      {"00-0A-D9 ", 0, "<unchanged>"},
      {"00-0A-D", 0, "<unchanged>"},
      {"00:0A:D9", 0, "<unchanged>"},
      {"00-01-C8", 1, "THOMAS CONRAD CORP."},           // first of two
      {"08-00-30", 1, "NETWORK RESEARCH CORPORATION"},  // first of three
      {"00-00-21", 1, "SUREMAN COMP. & COMMUN. CORP."},
      {"00-17-32", 1, "\"RISSA\" 's <lab>"},
      {"00-11-22", 1, "Listed under another name"},
      {"00-AB-CD", 1, ""},  // present without a company: found, name empty
      {"00-0B-00", 1, "Addr written with a reference"},
      {"00-77-77", 1, "Group"},
      {"00-88-88", 0, "<unchanged>"},  // only the root's own children count
      {"FF-FF-FF", 0, "<unchanged>"},
  };
  for (const Case& c : cases) {
    std::string company = "<unchanged>";
    EXPECT_EQ(m_db.LookUpVendor(company, c.prefix), c.found) << c.prefix;
    EXPECT_EQ(company, c.company) << c.prefix;
  }
}

TEST_F(VendorFixture, EmptyPrefixMatchesTheFirstEntryWithoutAddr) {
  // An absent addr reads as empty, so the entry without one comes first.
  std::string company;
  EXPECT_EQ(m_db.LookUpVendor(company, ""), 1);
  EXPECT_EQ(company, "No addr at all");
}

TEST_F(VendorFixture, AgreesWithTheDocumentWalk) {
  const std::string_view prefixes[] = {
      "",         "08-00-30",  "00-0A-D9", "00-01-C8", "00-00-21", "00-17-32",     "00-11-22",
      "00-AB-CD", "00-0B-00",  "00-77-77", "00-88-88", "00-0a-d9", "00&#45;0B-00", "08-00-3",
      "8-00-30",  "08-00-300", "FF-FF-FF", "00-00-00"};
  for (std::string_view prefix : prefixes) {
    auto [found, company] = WalkLookUp(kFixture, prefix);
    std::string indexed;
    EXPECT_EQ(m_db.LookUpVendor(indexed, prefix), found) << '"' << prefix << '"';
    EXPECT_EQ(indexed, company) << '"' << prefix << '"';
  }
  // One entry per distinct addr text among the root's children.
  EXPECT_EQ(m_db.size(), 10u);
}

TEST(VendorDatabase, AddrTextsOutsideTheUsualFormMatchOnlyThemselves) {
  VendorDatabase db;
  ASSERT_EQ(db.LoadFromText("<Macaddresses>"
                            "<mac addr=\"00-0a-d9\" company=\"lower\"/>"
                            "<mac addr=\"00-0A-D9 \" company=\"trailing space\"/>"
                            "<mac addr=\"000AD9\" company=\"no hyphens\"/>"
                            "<mac addr=\"00-0A-D9\" company=\"upper\"/>"
                            "<mac addr=\"00-0a-d9\" company=\"lower again\"/>"
                            "</Macaddresses>"),
            1);
  EXPECT_EQ(Find(db, "00-0a-d9"), "lower");
  EXPECT_EQ(Find(db, "00-0A-D9 "), "trailing space");
  EXPECT_EQ(Find(db, "000AD9"), "no hyphens");
  EXPECT_EQ(Find(db, "00-0A-D9"), "upper");
  EXPECT_EQ(Find(db, "00-0A-d9"), "<unchanged>");
  EXPECT_EQ(Find(db, ""), "<unchanged>");  // no entry with an empty addr here
  EXPECT_EQ(db.size(), 4u);
}

TEST(VendorDatabase, OtherRootFindsNothing) {
  VendorDatabase db;
  EXPECT_EQ(db.LoadFromText("<?xml version=\"1.0\"?>\r\n<Vendors>\r\n"
                            "<mac addr=\"00-0A-D9\" company=\"Sony Corporation\"/>\r\n"
                            "</Vendors>\r\n"),
            0);
  EXPECT_EQ(Find(db, "00-0A-D9"), "<unchanged>");
  EXPECT_EQ(db.size(), 0u);
}

TEST(VendorDatabase, UnparsableTextLoadsNothing) {
  const std::string_view texts[] = {
      "",
      "<?xml version=\"1.0\"?>\r\n",
      "<Macaddresses>\r\n<mac addr=\"00-0A-D9\" company=\"Sony Corporation\"/>\r\n",  // not ended
      "<Macaddresses><mac addr=\"00-0A-D9\" company=\"x\"/></Macaddresses><Macaddresses/>",
      "<Macaddresses><mac addr=\"00-0A-D9\" company=\"x\"></Macaddresses>",
  };
  for (std::string_view text : texts) {
    VendorDatabase db;
    // A good load first: a failed reload must not leave the old entries.
    ASSERT_EQ(db.LoadFromText(kFixture), 1);
    EXPECT_EQ(db.LoadFromText(text), 0) << text;
    EXPECT_EQ(db.size(), 0u) << text;
    EXPECT_EQ(Find(db, "00-0A-D9"), "<unchanged>") << text;
    EXPECT_EQ(Find(db, ""), "<unchanged>") << text;
  }
}

TEST(VendorDatabase, LookUpBeforeLoadingFindsNothing) {
  VendorDatabase db;
  EXPECT_EQ(Find(db, "00-0A-D9"), "<unchanged>");
  EXPECT_EQ(Find(db, ""), "<unchanged>");
  EXPECT_EQ(db.size(), 0u);
}

TEST(VendorDatabase, ReloadReplacesTheEntries) {
  VendorDatabase db;
  ASSERT_EQ(db.LoadFromText(kFixture), 1);
  ASSERT_EQ(
      db.LoadFromText("<Macaddresses><mac addr=\"12-34-56\" company=\"New\"/></Macaddresses>"), 1);
  EXPECT_EQ(Find(db, "12-34-56"), "New");
  EXPECT_EQ(Find(db, "00-0A-D9"), "<unchanged>");
  EXPECT_EQ(db.size(), 1u);
}

// --- The database compiled into the program --------------------------------

std::string_view EmbeddedText() { return std::string_view(wren_vendor_db, wren_vendor_db_size); }

bool IsCanonicalPrefix(std::string_view s) {
  auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); };
  return s.size() == 8 && hex(s[0]) && hex(s[1]) && s[2] == '-' && hex(s[3]) && hex(s[4]) &&
         s[5] == '-' && hex(s[6]) && hex(s[7]);
}

// Well-formed UTF-8 (no overlong form, surrogate or value past U+10FFFF)
// holding no control character.
bool IsPrintableUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      if (c < 0x20 || c == 0x7F) return false;
      ++i;
      continue;
    }
    std::size_t n = 0;
    std::uint32_t cp = 0;
    if (c >= 0xC2 && c <= 0xDF)
      n = 1, cp = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF)
      n = 2, cp = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF4)
      n = 3, cp = c & 0x07;
    else
      return false;
    if (i + n >= s.size()) return false;
    for (std::size_t k = 1; k <= n; ++k) {
      const auto d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF) || (cp >= 0x80 && cp <= 0x9F))
      return false;
    i += n + 1;
  }
  return true;
}

TEST(EmbeddedVendorDatabase, LoadsAndNamesWellKnownPrefixes) {
  VendorDatabase db;
  ASSERT_EQ(db.LoadVendorDatabase(), 1);
  EXPECT_GT(db.size(), 30000u);
  struct Case {
    std::string_view prefix;
    std::string_view company;
  };
  const Case cases[] = {
      {"00-0A-D9", "Sony Corporation"},
      {"00-01-C8", "THOMAS CONRAD CORP."},
      {"08-00-30", "NETWORK RESEARCH CORPORATION"},
      {"00-03-93", "Apple, Inc."},
      {"00-50-F2", "MICROSOFT CORP."},
      {"00-1A-11", "Google, Inc."},
      {"00-00-00", "XEROX CORPORATION"},
      {"00-00-21", "SUREMAN COMP. & COMMUN. CORP."},
      {"00-17-32", "Science-Technical Center \"RISSA\""},
      {"FC-FF-AA", "IEEE Registration Authority"},
      // The registry's own letters, not spaces where its UTF-8 was.
      {"00-23-9F",
       "Institut f\xC3\xBCr Pr\xC3\xBC"
       "ftechnik"},
  };
  for (const Case& c : cases) EXPECT_EQ(Find(db, c.prefix), c.company) << c.prefix;
  EXPECT_EQ(Find(db, "00-0a-d9"), "<unchanged>");
  EXPECT_EQ(Find(db, ""), "<unchanged>");  // every entry has a prefix
}

TEST(EmbeddedVendorDatabase, FileLayout) {
  std::string_view text = EmbeddedText();
  std::string url(kHomePageUrl);
  for (std::size_t at = url.find('&'); at != std::string::npos; at = url.find('&', at + 1)) {
    url.replace(at, 1, "&amp;");
  }
  const std::string head =
      std::string("<?xml version=\"1.0\"?>\r\n<Macaddresses version=\"1.7.4.0\"") + " vendor=\"" +
      std::string(kVendorName) + "\" url=\"" + url + "\" mail=\"" + std::string(kSupportMail) +
      "\" created=\"";
  ASSERT_EQ(text.substr(0, head.size()), head);
  // created="MM/DD/YYYY HH:MM:SS"
  std::string_view created = text.substr(head.size(), 19);
  const std::string_view shape = "99/99/9999 99:99:99";
  for (std::size_t i = 0; i < shape.size(); ++i) {
    if (shape[i] == '9') {
      EXPECT_TRUE(created[i] >= '0' && created[i] <= '9') << created;
    } else {
      EXPECT_EQ(created[i], shape[i]) << created;
    }
  }
  std::string_view rest = text.substr(head.size() + 19);
  const std::string_view tail = "\" comments=\"Wrenlocator Database File\">\r\n";
  ASSERT_EQ(rest.substr(0, tail.size()), tail);
  rest.remove_prefix(tail.size());

  const std::string_view end = "</Macaddresses>\r\n";
  ASSERT_GE(rest.size(), end.size());
  ASSERT_EQ(rest.substr(rest.size() - end.size()), end);
  rest.remove_suffix(end.size());

  // UTF-8 without control characters, one entry per line, CR LF only,
  // ascending prefixes.
  std::size_t lines = 0;
  std::string previous;
  while (!rest.empty()) {
    std::size_t eol = rest.find("\r\n");
    ASSERT_NE(eol, std::string_view::npos);
    std::string_view line = rest.substr(0, eol);
    rest.remove_prefix(eol + 2);
    ++lines;
    ASSERT_TRUE(IsPrintableUtf8(line)) << "line " << lines << ": " << line;
    ASSERT_EQ(line.substr(0, 11), "<mac addr=\"") << line;
    ASSERT_EQ(line.substr(line.size() - 2), "/>") << line;
    std::string addr(line.substr(11, 8));
    ASSERT_TRUE(IsCanonicalPrefix(addr)) << line;
    ASSERT_EQ(line[19], '"') << line;
    ASSERT_LE(previous, addr) << line;  // canonical texts sort like numbers
    previous = addr;
  }
  EXPECT_GT(lines, 30000u);
}

TEST(EmbeddedVendorDatabase, EveryEntryResolvesToItsFirstListing) {
  // Independent of the index: walk the document once, keep the first
  // company of each prefix, then ask the database for every one.
  XmlDocument document;
  ASSERT_TRUE(document.SetText(EmbeddedText()));
  ASSERT_TRUE(document.FindElement("Macaddresses"));
  ASSERT_TRUE(document.EnterElement());
  std::vector<std::pair<std::string, std::string>> firsts;
  std::size_t entries = 0;
  while (document.FindElement()) {
    ++entries;
    std::string addr = document.GetAttribute("addr");
    if (!firsts.empty() && firsts.back().first == addr) continue;  // ascending: repeats adjoin
    firsts.emplace_back(std::move(addr), document.GetAttribute("company"));
  }
  VendorDatabase db;
  ASSERT_EQ(db.LoadVendorDatabase(), 1);
  EXPECT_EQ(db.size(), firsts.size());
  EXPECT_LT(firsts.size(), entries);  // the registry repeats a few prefixes
  std::size_t wrong = 0;
  for (const auto& [addr, company] : firsts) {
    if (Find(db, addr) != company) ++wrong;
  }
  EXPECT_EQ(wrong, 0u);
}

TEST(EmbeddedVendorDatabase, ConcurrentLookUps) {
  VendorDatabase db;
  ASSERT_EQ(db.LoadVendorDatabase(), 1);
  const std::pair<std::string_view, std::string_view> expected[] = {
      {"00-0A-D9", "Sony Corporation"},
      {"00-01-C8", "THOMAS CONRAD CORP."},
      {"08-00-30", "NETWORK RESEARCH CORPORATION"},
      {"00-03-93", "Apple, Inc."},
      {"00-0a-d9", ""},
      {"", ""},
      {"12-34-5", ""}};
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&db, &expected, &mismatches] {
      std::string company;
      for (int round = 0; round < 2000; ++round) {
        for (const auto& [prefix, name] : expected) {
          company.clear();
          int found = db.LookUpVendor(company, prefix);
          if (found != (name.empty() ? 0 : 1) || company != name) ++mismatches;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace wren
