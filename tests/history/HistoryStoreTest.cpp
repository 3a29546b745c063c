#include "core/history/HistoryStore.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "base/System.h"
#include "core/history/DeviceHistory.h"
#include "support/TestFiles.h"

namespace wren {
namespace {

using test::ReadFile;
using test::WithoutCreated;
using test::WriteFile;

const std::string kHeader = test::DataFileStart("dataroot");

DeviceRecord Device(std::string address, std::string name) {
  DeviceRecord r;
  r.m_radioName = "hci0";
  r.m_name = std::move(name);
  r.m_address = std::move(address);
  r.m_producer = "Acme Corp.";
  r.m_lastSeen = "14:03:59 07/21/2009";
  r.m_lastUsed = "13:00:00 07/20/2009";
  r.m_type = "Phone/Smart phone";
  r.m_services = "Audio,Telephony";
  r.m_image = 7;
  return r;
}

class HistoryFile : public ::testing::Test {
protected:
  void SetUp() override { platform::SetDataFolderOverride(folder); }
  void TearDown() override { platform::SetDataFolderOverride(""); }
  std::string Path(const std::string& name = "history.xml") const { return scratch / name; }
  std::string History() const { return ReadFile(Path()); }

  test::TempFolder scratch{"history"};
  const std::string folder = scratch.path();
};

TEST_F(HistoryFile, FirstRunCreatesAnEmptyHistory) {
  HistoryStore store;
  HistoryFileCheck check = store.CheckFile();
  EXPECT_FALSE(check.fileRead);
  EXPECT_FALSE(check.unreadable);
  EXPECT_TRUE(check.newFileWritten);
  EXPECT_EQ(check.message, "");
  const std::string text = History();
  EXPECT_EQ(WithoutCreated(text), kHeader + "/>\r\n");
  EXPECT_NE(WithoutCreated(text), text) << "created must be a \"%m/%d/%Y %H:%M:%S\" stamp";
}

TEST_F(HistoryFile, SavedFileByteForByte) {
  DeviceRecord odd = Device("00:11:22:33:44:55", "Tom's \"Phone\" & <Co>");
  odd.m_image = -3;
  odd.m_services = "";
  DeviceList list = {Device("AA:BB:CC:DD:EE:FF", "Headset"), odd};
  HistoryStore store;
  std::string error;
  ASSERT_TRUE(store.SaveHistory(list, &error)) << error;
  EXPECT_EQ(WithoutCreated(History()),
            kHeader +
                ">\r\n"
                "<entry Radio=\"hci0\" Name=\"Headset\" Address=\"AA:BB:CC:DD:EE:FF\" "
                "Producer=\"Acme Corp.\" LastSeenTime=\"14:03:59 07/21/2009\" "
                "LastUsedTime=\"13:00:00 07/20/2009\" Type=\"Phone/Smart phone\" "
                "Services=\"Audio,Telephony\" Image=\"7\"/>\r\n"
                "<entry Radio=\"hci0\" Name=\"Tom&apos;s &quot;Phone&quot; &amp; &lt;Co&gt;\" "
                "Address=\"00:11:22:33:44:55\" Producer=\"Acme Corp.\" "
                "LastSeenTime=\"14:03:59 07/21/2009\" LastUsedTime=\"13:00:00 07/20/2009\" "
                "Type=\"Phone/Smart phone\" Services=\"\" Image=\"-3\"/>\r\n"
                "</dataroot>\r\n");
  // And it reads back as it was, flags at their defaults.
  DeviceList back;
  HistoryStore reader;
  EXPECT_TRUE(reader.LoadHistory(back).fileRead);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back.back().m_name, "Tom's \"Phone\" & <Co>");
  EXPECT_EQ(back.back().m_image, -3);
  EXPECT_EQ(back.back().m_services, "");
  EXPECT_EQ(back.front().m_lastUsed, "13:00:00 07/20/2009");
  EXPECT_EQ(back.front().m_connected, 1);
  EXPECT_EQ(back.front().m_isLocalRadio, 0);
  EXPECT_EQ(back.front().m_classOfDevice, 0u);
}

TEST_F(HistoryFile, ControlCharactersAreStoredAsSpaces) {
  HistoryStore store;
  ASSERT_TRUE(store.SaveHistory({Device("00:00:00:00:00:01",
                                        "two\nlines\tand\x7f"
                                        "\xe9")}));
  EXPECT_NE(History().find("Name=\"two lines and  \""), std::string::npos);
  DeviceList back;
  HistoryStore().LoadHistory(back);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back.front().m_name, "two lines and  ");
}

TEST_F(HistoryFile, LettersOfEveryLanguageAreStoredAndReadBackAsTheyAre) {
  const std::string names[] = {"J\xC3\xBCrgen's Handy", "Caf\xC3\xA9 Wi-Fi point",
                               "\xC3\x98rsted kamera", "\xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x8E\xA7"};
  DeviceList saved;
  for (std::size_t i = 0; i < std::size(names); ++i)
    saved.push_back(Device("00:00:00:00:00:0" + std::to_string(i + 1), names[i]));
  HistoryStore store;
  ASSERT_TRUE(store.SaveHistory(saved));
  EXPECT_NE(History().find("Name=\"J\xC3\xBCrgen"), std::string::npos);
  DeviceList back;
  HistoryStore().LoadHistory(back);
  ASSERT_EQ(back.size(), std::size(names));
  std::size_t i = 0;
  for (const DeviceRecord& record : back) EXPECT_EQ(record.m_name, names[i++]);
}

TEST_F(HistoryFile, DevicesSeenInARunAreSavedMostRecentFirst) {
  DeviceHistory history;
  history.Load();
  history.Merge(Device("00:00:00:00:00:01", "first"));
  history.Merge(Device("00:00:00:00:00:02", "second"));
  ASSERT_TRUE(history.Save());
  const std::string text = History();
  const auto second = text.find("Name=\"second\"");
  const auto first = text.find("Name=\"first\"");
  ASSERT_NE(second, std::string::npos);
  ASSERT_NE(first, std::string::npos);
  EXPECT_LT(second, first);
  std::size_t lines = 0;
  for (std::size_t at = text.find("\r\n<entry "); at != std::string::npos;
       at = text.find("\r\n<entry ", at + 1))
    ++lines;
  EXPECT_EQ(lines, 2u);
}

TEST_F(HistoryFile, HandWrittenEntriesLoadTheSame) {
  WriteFile(
      Path(),
      "<?xml version=\"1.0\"?>\n"
      "<!-- written by hand -->\n"
      "<dataroot>\n"
      "  <device Image=\"12\" Services=\"S\" Type=\"T\" LastUsedTime=\"U\" LastSeenTime=\"L\"\n"
      "          Producer=\"P\" Address=\"A\" Name=\"N\" Radio=\"R\"></device>\n"
      "  <entry Address=\"A\" Image=\"abc\"/>\n"
      "  <entry Address=\"A\" Image=\"  -12xyz\"/>\n"
      "</dataroot>\n");
  DeviceList list;
  HistoryStore store;
  HistoryFileCheck check = store.LoadHistory(list);
  EXPECT_TRUE(check.fileRead);
  EXPECT_EQ(check.message, "");
  ASSERT_EQ(list.size(), 3u);  // file order, duplicates kept
  const DeviceRecord& full = list.front();
  EXPECT_EQ(full.m_radioName, "R");
  EXPECT_EQ(full.m_name, "N");
  EXPECT_EQ(full.m_address, "A");
  EXPECT_EQ(full.m_producer, "P");
  EXPECT_EQ(full.m_lastSeen, "L");
  EXPECT_EQ(full.m_lastUsed, "U");
  EXPECT_EQ(full.m_type, "T");
  EXPECT_EQ(full.m_services, "S");
  EXPECT_EQ(full.m_image, 12);
  auto second = std::next(list.begin());
  EXPECT_EQ(second->m_image, 0);  // letters only
  EXPECT_EQ(second->m_name, "");  // missing attribute
  EXPECT_EQ(list.back().m_image, -12);
}

TEST(HistoryImage, ConvertsLikeTheCLibrary) {
  struct Case {
    const char* text;
    std::int32_t value;
  };
  const Case cases[] = {{"7", 7},
                        {"", 0},
                        {"abc", 0},
                        {" \t+42", 42},
                        {"-0", 0},
                        {"12abc", 12},
                        {"- 5", 0},
                        {"2147483647", INT_MAX},
                        {"2147483648", INT_MAX},
                        {"-2147483648", INT_MIN},
                        {"-99999999999999999999", INT_MIN},
                        {"0x1F", 0},
                        {"00042", 42}};
  for (const Case& c : cases) EXPECT_EQ(HistoryStore::ParseImage(c.text), c.value) << c.text;
}

TEST_F(HistoryFile, SavingTwiceChangesOnlyTheCreatedStamp) {
  DeviceList list = {Device("00:00:00:00:00:01", "a"), Device("00:00:00:00:00:02", "b")};
  HistoryStore store;
  ASSERT_TRUE(store.SaveHistory(list));
  const std::string once = History();
  ASSERT_TRUE(store.SaveHistory(list));
  EXPECT_EQ(WithoutCreated(History()), WithoutCreated(once));
}

TEST_F(HistoryFile, AnEmptyListSavesAnEmptyRoot) {
  HistoryStore store;
  ASSERT_TRUE(store.SaveHistory({Device("00:00:00:00:00:01", "a")}));
  ASSERT_TRUE(store.SaveHistory({}));
  EXPECT_EQ(WithoutCreated(History()), kHeader + "/>\r\n");
}

TEST_F(HistoryFile, UnreadableFilesAreKeptUnderNumberedNames) {
  const std::string truncated = kHeader + ">\r\n<entry Radio=\"hci0\" Name=\"Hea";
  std::string binary("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe<\0>", 20);
  const std::string third = "<dataroot><entry></dataroot>";
  const std::string originals[] = {truncated, binary, third};
  const std::string names[] = {"history.xml.bad", "history.xml.bad.1", "history.xml.bad.2"};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(names[i]);
    WriteFile(Path(), originals[i]);
    HistoryStore store;
    HistoryFileCheck check = store.CheckFile();
    EXPECT_FALSE(check.fileRead);
    EXPECT_TRUE(check.unreadable);
    EXPECT_TRUE(check.newFileWritten);
    EXPECT_EQ(check.keptAs, Path(names[i]));
    EXPECT_EQ(ReadFile(Path(names[i])), originals[i]);
    EXPECT_EQ(WithoutCreated(History()), kHeader + "/>\r\n");
    const std::string start = "history.xml could not be read (";
    const std::string end = "); kept as " + names[i];
    EXPECT_EQ(check.message.compare(0, start.size(), start), 0) << check.message;
    ASSERT_GE(check.message.size(), end.size());
    EXPECT_EQ(check.message.substr(check.message.size() - end.size()), end) << check.message;
    // The reason is one printable line.
    for (char c : check.message) EXPECT_TRUE(c >= 0x20 && c < 0x7f) << check.message;
  }
  // Earlier copies were not touched by later ones.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ReadFile(Path(names[i])), originals[i]);
}

TEST_F(HistoryFile, LoadingAnUnreadableFileKeepsItAndAddsNothing) {
  WriteFile(Path(), "not xml at all");
  DeviceList list = {Device("00:00:00:00:00:01", "in memory")};
  HistoryStore store;
  HistoryFileCheck check = store.LoadHistory(list);
  EXPECT_TRUE(check.unreadable);
  EXPECT_EQ(ReadFile(Path("history.xml.bad")), "not xml at all");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list.front().m_name, "in memory");
}

TEST_F(HistoryFile, AFileWithAnotherRootIsKeptToo) {
  const std::string other = "<?xml version=\"1.0\"?>\r\n<Macaddresses><a/></Macaddresses>\r\n";
  WriteFile(Path(), other);
  HistoryStore store;
  HistoryFileCheck check = store.CheckFile();
  EXPECT_TRUE(check.unreadable);
  EXPECT_EQ(check.message,
            "history.xml could not be read (no dataroot element); kept as history.xml.bad");
  EXPECT_EQ(ReadFile(Path("history.xml.bad")), other);
}

TEST_F(HistoryFile, AnUnreadableFileThatCannotBeKeptIsNeverOverwritten) {
  WriteFile(Path(), "<broken");
  // Every name a copy could take is in use.
  WriteFile(Path("history.xml.bad"), "x");
  for (int i = 1; i <= 999; ++i) WriteFile(Path("history.xml.bad." + std::to_string(i)), "x");
  DeviceHistory history;
  HistoryFileCheck check = history.Load();
  EXPECT_TRUE(check.unreadable);
  EXPECT_EQ(check.keptAs, "");
  EXPECT_FALSE(check.newFileWritten);
  EXPECT_NE(check.message.find("will not be overwritten"), std::string::npos) << check.message;
  history.Merge(Device("00:00:00:00:00:01", "new"));
  std::string error;
  EXPECT_FALSE(history.Save(&error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(ReadFile(Path()), "<broken");
  EXPECT_EQ(history.List().size(), 1u);

  // Once a name is free again the next save keeps the file and goes ahead.
  ASSERT_EQ(unlink(Path("history.xml.bad.500").c_str()), 0);
  ASSERT_TRUE(history.Save(&error)) << error;
  EXPECT_EQ(ReadFile(Path("history.xml.bad.500")), "<broken");
  EXPECT_NE(History().find("Name=\"new\""), std::string::npos);
}

// Something other than a regular file named history.xml is neither read
// through, waited on, nor replaced: the check says so and saves refuse.
TEST_F(HistoryFile, ALinkOrFifoIsLeftAsItIs) {
  const std::string target = Path("elsewhere.xml");
  const std::string known =
      kHeader +
      ">\r\n<entry Radio=\"r\" Name=\"old\" Address=\"00:00:00:00:00:09\" "
      "Producer=\"\" LastSeenTime=\"\" LastUsedTime=\"\" Type=\"\" Services=\"\" "
      "Image=\"1\"/>\r\n</dataroot>\r\n";
  WriteFile(target, known);
  struct Case {
    const char* what;
    std::function<void()> plant;
    const char* kind;
    std::function<bool()> stillThere;
  };
  const Case cases[] = {
      {"link", [&] { ASSERT_EQ(symlink(target.c_str(), Path().c_str()), 0); }, "a symbolic link",
       [&] {
         struct stat st {};
         return lstat(Path().c_str(), &st) == 0 && S_ISLNK(st.st_mode);
       }},
      {"fifo", [&] { ASSERT_EQ(mkfifo(Path().c_str(), 0644), 0); }, "a FIFO",
       [&] {
         struct stat st {};
         return lstat(Path().c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.plant();
    DeviceHistory history;
    HistoryFileCheck check = history.Load();
    EXPECT_TRUE(check.unreadable);
    EXPECT_FALSE(check.fileRead);
    EXPECT_EQ(check.keptAs, "");
    EXPECT_EQ(check.message,
              "history.xml is not used (it is " + std::string(c.kind) +
                  ", not a regular file); it is left as it is and will not be overwritten");
    EXPECT_TRUE(history.List().empty());
    history.Merge(Device("00:00:00:00:00:01", "new"));
    std::string error;
    EXPECT_FALSE(history.Save(&error));
    EXPECT_EQ(error,
              "history.xml is " + std::string(c.kind) + ", not a regular file; not overwritten");
    EXPECT_TRUE(c.stillThere());
    EXPECT_EQ(ReadFile(target), known);
    EXPECT_EQ(access(Path("history.xml.bad").c_str(), F_OK), -1);
    ASSERT_EQ(unlink(Path().c_str()), 0);
  }
}

// A link planted after a good start is not replaced by the save either.
TEST_F(HistoryFile, ALinkPlantedDuringARunIsNotReplaced) {
  DeviceHistory history;
  history.Load();
  const std::string target = Path("elsewhere.xml");
  WriteFile(target, "mine");
  ASSERT_EQ(unlink(Path().c_str()), 0);
  ASSERT_EQ(symlink(target.c_str(), Path().c_str()), 0);
  history.Merge(Device("00:00:00:00:00:01", "new"));
  std::string error;
  EXPECT_FALSE(history.Save(&error));
  EXPECT_EQ(ReadFile(target), "mine");
  char buffer[PATH_MAX] = {};
  EXPECT_GT(readlink(Path().c_str(), buffer, sizeof buffer - 1), 0);
}

TEST_F(HistoryFile, AFailedSaveIsReportedAndChangesNothing) {
  // The data folder is a plain file, so nothing can be written below it.
  const std::string blocker = Path("not-a-folder");
  WriteFile(blocker, "x");
  platform::SetDataFolderOverride(blocker);
  DeviceHistory history;
  history.Merge(Device("00:00:00:00:00:01", "kept"));
  std::string error;
  EXPECT_FALSE(history.Save(&error));
  EXPECT_FALSE(error.empty());
  ASSERT_EQ(history.List().size(), 1u);
  EXPECT_EQ(history.List().front().m_name, "kept");
  EXPECT_EQ(ReadFile(blocker), "x");

  HistoryFileCheck check = HistoryStore().CheckFile();
  EXPECT_FALSE(check.newFileWritten);
  EXPECT_EQ(check.message.rfind("history.xml could not be created (", 0), 0u) << check.message;
}

// A very large file that turns out not to be XML is kept whole.
TEST_F(HistoryFile, AHundredMegabyteFileIsKeptWhole) {
  std::string big = kHeader + ">\r\n<entry Name=\"";
  big.resize(100u << 20, 'x');
  WriteFile(Path(), big);
  HistoryStore store;
  HistoryFileCheck check = store.CheckFile();
  EXPECT_TRUE(check.unreadable);
  EXPECT_EQ(check.keptAs, Path("history.xml.bad"));
  EXPECT_EQ(ReadFile(Path("history.xml.bad")), big);
  EXPECT_EQ(WithoutCreated(History()), kHeader + "/>\r\n");
}

TEST_F(HistoryFile, DuplicatesInTheFileAreAllOverwrittenByAScan) {
  HistoryStore writer;
  ASSERT_TRUE(
      writer.SaveHistory({Device("00:00:00:00:00:01", "old"), Device("00:00:00:00:00:02", "x"),
                          Device("00:00:00:00:00:01", "older")}));
  DeviceHistory history;
  EXPECT_TRUE(history.Load().fileRead);
  history.Merge(Device("00:00:00:00:00:01", "now"));
  ASSERT_EQ(history.List().size(), 3u);
  EXPECT_EQ(history.List().front().m_name, "now");
  EXPECT_EQ(history.List().back().m_name, "now");
}

}  // namespace
}  // namespace wren
