// The history report dialog over documents written the way history.xml is.
#include "gui/CHistoryDialog.h"
#include "gui/DeviceImageStrip.h"
#include "gui/ReportCommands.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QImage>
#include <QTimer>
#include <QPixmap>
#include <QTreeView>

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace wren {
namespace {

// A strip of `count` one-colour images; the colour tells the index.
class FakeStrip : public DeviceIconSource {
public:
  explicit FakeStrip(int count = 48) : m_count(count) {}
  int Count() const override { return m_count; }
  QIcon Icon(int index) const override {
    asked.insert(index);
    QPixmap pixmap(16, 15);
    pixmap.fill(QColor(index, 0, 0));
    return QIcon(pixmap);
  }
  mutable std::set<int> asked;

private:
  int m_count;
};

// The index of the strip image an item shows, or -1 for none.
int ImageOf(const QModelIndex& index) {
  const QVariant decoration = index.data(Qt::DecorationRole);
  if (!decoration.isValid()) return -1;
  const QIcon icon = decoration.value<QIcon>();
  if (icon.isNull()) return -1;
  return icon.pixmap(16, 15).toImage().pixelColor(0, 0).red();
}

std::string Entry(const std::string& name, const std::string& type, const std::string& image,
                  const std::string& address = "00:1A:2B:3C:4D:5E") {
  return "<entry Radio=\"Desk\" Name=\"" + name + "\" Address=\"" + address +
         "\" Producer=\"Acme\" LastSeenTime=\"14:03:59 07/21/2009\" "
         "LastUsedTime=\"13:00:00 07/21/2009\" Type=\"" +
         type + "\" Services=\"Audio,\" Image=\"" + image + "\"/>\r\n";
}

std::string Document(const std::string& entries) {
  if (entries.empty()) return test::DataFileStart("dataroot") + "/>\r\n";
  return test::DataFileStart("dataroot") + ">\r\n" + entries + "</dataroot>\r\n";
}

std::string Text(const QModelIndex& index) { return index.data().toString().toStdString(); }

TEST(HistoryDialog, ShowsOneCollapsedItemPerEntryWithItsSummaryImageAndEightChildren) {
  FakeStrip strip;
  CHistoryDialog dialog(Document(Entry("Phone", "Phone/Smart phone", "3") +
                                 Entry("Mouse", "Peripheral", "17", "00:1F:20:04:05:06")),
                        &strip);
  EXPECT_EQ(dialog.windowTitle(), "History Dialog");
  auto* tree = dialog.findChild<QTreeView*>("historyTree");
  ASSERT_NE(tree, nullptr);
  dialog.show();
  QAbstractItemModel* model = tree->model();
  ASSERT_EQ(model->rowCount(), 2);
  const QModelIndex phone = model->index(0, 0);
  const QModelIndex mouse = model->index(1, 0);
  EXPECT_EQ(Text(phone), "Phone Phone/Smart phone Acme 14:03:59 07/21/2009");
  EXPECT_EQ(Text(mouse), "Mouse Peripheral Acme 14:03:59 07/21/2009");
  EXPECT_FALSE(tree->isExpanded(phone));
  EXPECT_FALSE(tree->isExpanded(mouse));
  EXPECT_EQ(ImageOf(phone), 3);
  EXPECT_EQ(ImageOf(mouse), 17);

  ASSERT_EQ(model->rowCount(mouse), 8);
  const char* children[] = {"Radio:Desk",
                            "Name:Mouse",
                            "Type:Peripheral",
                            "Address:00:1F:20:04:05:06",
                            "Producer:Acme",
                            "LastSeenTime:14:03:59 07/21/2009",
                            "LastUsedTime:13:00:00 07/21/2009",
                            "Services:Audio,"};
  for (int row = 0; row < 8; ++row) {
    const QModelIndex child = model->index(row, 0, mouse);
    EXPECT_EQ(Text(child), children[row]);
    EXPECT_EQ(ImageOf(child), 34);
    EXPECT_EQ(model->parent(child), mouse);
    EXPECT_EQ(model->rowCount(child), 0);
  }
  EXPECT_FALSE(model->index(8, 0, mouse).isValid());
  EXPECT_FALSE(model->index(2, 0).isValid());
  EXPECT_FALSE(model->parent(phone).isValid());
}

TEST(HistoryDialog, AnEmptyHistoryOrOneWithoutDatarootGivesAnEmptyTree) {
  FakeStrip strip;
  for (const std::string& text :
       {Document(""),
        std::string("<?xml version=\"1.0\"?>\r\n<other>" + Entry("x", "y", "1") + "</other>\r\n"),
        std::string("not xml at all <"), std::string()}) {
    CHistoryDialog dialog(text, &strip);
    dialog.show();
    EXPECT_EQ(dialog.Tree()->model()->rowCount(), 0) << text;
  }
}

TEST(HistoryDialog, AnEmptyNameStartsTheSummaryWithASpace) {
  CHistoryDialog dialog(Document(Entry("", "Computer", "1")), nullptr);
  QAbstractItemModel* model = dialog.Tree()->model();
  ASSERT_EQ(model->rowCount(), 1);
  EXPECT_EQ(Text(model->index(0, 0)), " Computer Acme 14:03:59 07/21/2009");
  EXPECT_EQ(Text(model->index(1, 0, model->index(0, 0))), "Name:");
  // Without an image strip nothing shows an image.
  EXPECT_EQ(ImageOf(model->index(0, 0)), -1);
  EXPECT_EQ(ImageOf(model->index(1, 0, model->index(0, 0))), -1);
}

TEST(HistoryDialog, AnImageOutOfTheStripsRangeShowsNoImageOnTheTopItemOnly) {
  FakeStrip strip(48);
  CHistoryDialog dialog(
      Document(Entry("a", "t", "-1") + Entry("b", "t", "48") + Entry("c", "t", "99999999999") +
               Entry("d", "t", "47") + Entry("e", "t", "zero")),
      &strip);
  QAbstractItemModel* model = dialog.Tree()->model();
  ASSERT_EQ(model->rowCount(), 5);
  const int wanted[] = {-1, -1, -1, 47, 0};
  for (int row = 0; row < 5; ++row) {
    const QModelIndex top = model->index(row, 0);
    EXPECT_EQ(ImageOf(top), wanted[row]) << row;
    EXPECT_EQ(ImageOf(model->index(0, 0, top)), 34) << row;
  }
  EXPECT_EQ(strip.asked.count(-1), 0u);
  EXPECT_EQ(strip.asked.count(48), 0u);
}

TEST(HistoryDialog, TheProgramsImageStripGivesTheImages) {
  ASSERT_TRUE(DeviceImageStrip::Shared().IsValid());
  StripIconSource strip(DeviceImageStrip::Shared());
  CHistoryDialog dialog(Document(Entry("a", "t", "3") + Entry("b", "t", "48")), &strip);
  QAbstractItemModel* model = dialog.Tree()->model();
  const QIcon three = model->index(0, 0).data(Qt::DecorationRole).value<QIcon>();
  ASSERT_FALSE(three.isNull());
  EXPECT_EQ(three.pixmap(16, 15).toImage(), DeviceImageStrip::Shared().Pixmap(3).toImage());
  EXPECT_NE(three.pixmap(16, 15).toImage(), DeviceImageStrip::Shared().Pixmap(34).toImage());
  EXPECT_FALSE(model->index(1, 0).data(Qt::DecorationRole).isValid());
  const QIcon child =
      model->index(0, 0, model->index(1, 0)).data(Qt::DecorationRole).value<QIcon>();
  EXPECT_EQ(child.pixmap(16, 15).toImage(), DeviceImageStrip::Shared().Pixmap(34).toImage());
}

TEST(HistoryDialog, AHundredThousandEntriesOpenWithEveryItemReachable) {
  std::string entries;
  entries.reserve(100000 * 260);
  char name[32];
  for (int i = 0; i < 100000; ++i) {
    std::snprintf(name, sizeof name, "Device %06d", i);
    entries += Entry(name, "Phone", std::to_string(i % 48));
  }
  FakeStrip strip;
  CHistoryDialog dialog(Document(entries), &strip);
  dialog.show();
  QAbstractItemModel* model = dialog.Tree()->model();
  ASSERT_EQ(model->rowCount(), 100000);
  const QModelIndex last = model->index(99999, 0);
  EXPECT_EQ(Text(last), "Device 099999 Phone Acme 14:03:59 07/21/2009");
  dialog.Tree()->scrollTo(last);
  dialog.Tree()->expand(last);
  EXPECT_EQ(Text(model->index(1, 0, last)), "Name:Device 099999");
  EXPECT_EQ(ImageOf(last), 99999 % 48);
}

TEST(HistoryDialog, AMegabyteValueIsCutForShowingOnly) {
  const std::string services(1 << 20, 'S');
  std::string entry = Entry("Big", "t", "1");
  entry.replace(entry.find("Audio,"), 6, services);
  CHistoryDialog dialog(Document(entry), nullptr);
  dialog.show();
  const QModelIndex top = dialog.Tree()->model()->index(0, 0);
  const QString shown = dialog.Tree()->model()->index(7, 0, top).data().toString();
  EXPECT_EQ(shown.size(), HistoryTreeModel::kShownLength + 1);
  EXPECT_TRUE(shown.startsWith("Services:SSS"));
  EXPECT_EQ(dialog.Model()->Entries().front().m_services.size(), services.size());
}

class FakeMessages : public MessagePort {
public:
  void ShowError(const std::string& title, const std::string& text) override {
    shown.push_back(title + ": " + text);
  }
  std::vector<std::string> shown;
};

// Reads the tree of the modal history dialog once it is up, then closes it.
void ReadAndCloseHistoryDialog(std::vector<std::string>& summaries, std::string& title) {
  QTimer::singleShot(0, [&summaries, &title] {
    auto* dialog = qobject_cast<CHistoryDialog*>(QApplication::activeModalWidget());
    if (!dialog) return ReadAndCloseHistoryDialog(summaries, title);
    title = dialog->windowTitle().toStdString();
    QAbstractItemModel* model = dialog->Tree()->model();
    for (int row = 0; row < model->rowCount(); ++row)
      summaries.push_back(Text(model->index(row, 0)));
    dialog->close();
  });
}

TEST(HistoryReport, SavesFirstThenShowsTheDocumentAsSaved) {
  std::vector<std::string> steps;
  std::string document = Document(Entry("Old", "t", "1"));
  FakeMessages messages;
  std::vector<std::string> summaries;
  std::string title;
  ReadAndCloseHistoryDialog(summaries, title);
  RunHistoryReport(
      nullptr,
      [&](std::string&) {
        steps.push_back("save");
        document = Document(Entry("New", "t", "1") + Entry("Old", "t", "1"));
        return true;
      },
      [&] {
        steps.push_back("text");
        return document;
      },
      nullptr, messages);
  EXPECT_EQ(steps, (std::vector<std::string>{"save", "text"}));
  EXPECT_EQ(title, "History Dialog");
  ASSERT_EQ(summaries.size(), 2u);
  EXPECT_EQ(summaries[0].substr(0, 4), "New ");
  EXPECT_TRUE(messages.shown.empty());
}

TEST(HistoryReport, AFailedSaveIsToldAndTheReportStillShows) {
  FakeMessages messages;
  std::vector<std::string> summaries;
  std::string title;
  ReadAndCloseHistoryDialog(summaries, title);
  RunHistoryReport(
      nullptr,
      [](std::string& error) {
        error = "history.xml: No space left on device";
        return false;
      },
      [] { return Document(Entry("Kept", "t", "1")); }, nullptr, messages);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_NE(messages.shown[0].find("No space left on device"), std::string::npos);
  ASSERT_EQ(summaries.size(), 1u);
  EXPECT_EQ(summaries[0].substr(0, 5), "Kept ");
}

}  // namespace
}  // namespace wren
