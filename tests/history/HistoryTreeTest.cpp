#include "core/history/HistoryTree.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace wren {
namespace {

std::string Document(const std::string& entries) {
  return test::DataFileStart("dataroot") + ">\r\n" + entries + "</dataroot>\r\n";
}

std::vector<DeviceRecord> Read(const std::string& text) {
  XmlDataFile file;
  EXPECT_TRUE(file.SetText(text)) << text;
  return HistoryTree::ReadEntries(file);
}

TEST(HistoryTree, OneItemPerEntryInFileOrderWithItsEightChildren) {
  const auto entries = Read(Document(
      "<entry Radio=\"Desk\" Name=\"Phone\" Address=\"00:1A:2B:3C:4D:5E\" Producer=\"Acme\" "
      "LastSeenTime=\"14:03:59 07/21/2009\" LastUsedTime=\"13:00:00 07/21/2009\" "
      "Type=\"Phone/Smart phone\" Services=\"Audio,Telephony,\" Image=\"3\"/>\r\n"
      "<entry Radio=\"Desk\" Name=\"Mouse\" Address=\"00:1F:20:04:05:06\" Producer=\"\" "
      "LastSeenTime=\"\" LastUsedTime=\"\" Type=\"Peripheral\" Services=\"\" Image=\"17\"/>\r\n"));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(HistoryTree::Summary(entries[0]), "Phone Phone/Smart phone Acme 14:03:59 07/21/2009");
  EXPECT_EQ(HistoryTree::Summary(entries[1]), "Mouse Peripheral  ");
  EXPECT_EQ(entries[0].m_image, 3);
  EXPECT_EQ(entries[1].m_image, 17);
  const char* children[] = {"Radio:Desk",
                            "Name:Phone",
                            "Type:Phone/Smart phone",
                            "Address:00:1A:2B:3C:4D:5E",
                            "Producer:Acme",
                            "LastSeenTime:14:03:59 07/21/2009",
                            "LastUsedTime:13:00:00 07/21/2009",
                            "Services:Audio,Telephony,"};
  for (int child = 0; child < HistoryTree::kChildCount; ++child)
    EXPECT_EQ(HistoryTree::ChildText(entries[0], child), children[child]) << child;
  EXPECT_EQ(HistoryTree::ChildText(entries[0], 8), "");
  EXPECT_EQ(HistoryTree::ChildText(entries[0], -1), "");
}

TEST(HistoryTree, AnEmptyNameStartsTheSummaryWithASpace) {
  const auto entries =
      Read(Document("<entry Name=\"\" Type=\"Computer\" Producer=\"Dell\" "
                    "LastSeenTime=\"09:30:00 05/14/2024\"/>\r\n"));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(HistoryTree::Summary(entries[0]), " Computer Dell 09:30:00 05/14/2024");
  EXPECT_EQ(HistoryTree::ChildText(entries[0], 1), "Name:");
  // Missing attributes read as empty texts; a missing Image as 0.
  EXPECT_EQ(HistoryTree::ChildText(entries[0], 7), "Services:");
  EXPECT_EQ(entries[0].m_image, 0);
}

TEST(HistoryTree, EntriesOfAnyNameAndAttributeOrderAndEscapedValuesRead) {
  const auto entries =
      Read(Document("<device Image=\" -2x\" Services=\"A &amp; B\" Name=\"Say &quot;hi&quot;\" "
                    "Address=\"01:02:03:04:05:06\"/>\r\n"));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].m_image, -2);
  EXPECT_EQ(HistoryTree::ChildText(entries[0], 7), "Services:A & B");
  EXPECT_EQ(HistoryTree::Summary(entries[0]), "Say \"hi\"   ");
}

TEST(HistoryTree, NoEntriesWithoutADatarootOrWithAnEmptyOne) {
  EXPECT_TRUE(Read(test::DataFileStart("dataroot") + "/>\r\n").empty());
  EXPECT_TRUE(Read("<?xml version=\"1.0\"?>\r\n<other><entry Name=\"x\"/></other>\r\n").empty());
  XmlDataFile empty;
  EXPECT_TRUE(HistoryTree::ReadEntries(empty).empty());
}

}  // namespace
}  // namespace wren
