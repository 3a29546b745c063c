// Copy Row, Copy All, Save As and the print commands, with the clipboard,
// the file dialog and the message box stood in for, and then the Qt
// adapters themselves, driven as a user would.
#include "gui/ListPrinterCommands.h"
#include "gui/ReportCommands.h"
#include "support/TestFiles.h"
#include "core/list/DeviceListModel.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>

namespace wren {
namespace {

using test::ReadFile;
using test::TempFolder;

class FakeClipboard : public ClipboardPort {
public:
  void SetText(const std::string& value) override {
    text = value;
    ++puts;
  }
  std::string text = "untouched";
  int puts = 0;
};

class FakeSaveAs : public SaveAsPort {
public:
  std::optional<SaveAsChoice> AskForPath() override { return choice; }
  std::optional<SaveAsChoice> choice;
};

class FakeMessages : public MessagePort {
public:
  void ShowError(const std::string& title, const std::string& text) override {
    shown.push_back(title + ": " + text);
  }
  std::vector<std::string> shown;
};

void AddRow(DeviceListModel& model, const std::string& first, int image,
            const std::string& producer = "Acme") {
  const int row = model.InsertRow(model.RowCount(), first, image);
  model.SetCellText(row, 1, "Phone");
  model.SetCellText(row, 2, "00:00:00:00:00:0" + std::to_string(row));
  model.SetCellText(row, 3, producer);
}

int FilesIn(const std::string& folder) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    (void)entry;
    ++files;
  }
  return files;
}

class Commands : public ::testing::Test {
protected:
  FakeClipboard clipboard;
  FakeSaveAs saveAs;
  FakeMessages messages;
  ReportCommands commands{clipboard, saveAs, messages};
  DeviceListModel model;
  TempFolder folder{"reports"};
};

TEST_F(Commands, CopyAllOfAnEmptyListPutsAnEmptyText) {
  EXPECT_TRUE(commands.CopyAll(model));
  EXPECT_EQ(clipboard.puts, 1);
  EXPECT_EQ(clipboard.text, "");
}

TEST_F(Commands, CopyRowCopiesOnlyTheTopmostSelectedRow) {
  AddRow(model, "zero", 1);
  AddRow(model, "one", 2);
  AddRow(model, "two", 3);
  EXPECT_TRUE(commands.CopyRow(model, {2, 1, 7}));
  EXPECT_EQ(clipboard.text, "one\tPhone\t00:00:00:00:00:01\tAcme\t\t\t\t\t\t");
  clipboard.text = "kept";
  EXPECT_FALSE(commands.CopyRow(model, {}));
  EXPECT_FALSE(commands.CopyRow(model, {-1, 3}));
  EXPECT_EQ(clipboard.text, "kept") << "no selected row leaves the clipboard alone";
}

TEST_F(Commands, ClipboardTextsCarryTabsAndLongCellsWhole) {
  const std::string megabyte(1 << 20, 'x');
  AddRow(model, "a\tb", 0, megabyte);
  ASSERT_TRUE(commands.CopyAll(model));
  EXPECT_EQ(clipboard.text, "a\tb\tPhone\t00:00:00:00:00:00\t" + megabyte + "\t\t\t\t\t\t\t\r");
  ASSERT_TRUE(commands.CopyRow(model, {0}));
  EXPECT_EQ(clipboard.text.size(), 3 + 1 + 5 + 1 + 17 + 1 + megabyte.size() + 6);
}

TEST_F(Commands, SaveAsTakesTheReportFromTheExtensionOrTheSelectedFilter) {
  AddRow(model, "a\tb", -1);
  AddRow(model, std::string(300, 'n'), 0);
  struct Case {
    std::string typed;
    bool textFilter;
    std::string written;
    bool xml;
  };
  const Case cases[] = {
      {"typed.xml", true, "typed.xml", true},      // .xml under the text filter
      {"bare", false, "bare.xml", true},           // no extension, XML filter
      {"bare2", true, "bare2.txt", false},         // no extension, text filter
      {"report.log", false, "report.log", false},  // another extension: text
      {"UPPER.XML", true, "UPPER.XML", true},
  };
  for (const Case& c : cases) {
    saveAs.choice = SaveAsChoice{folder / c.typed, c.textFilter};
    std::string saved;
    ASSERT_EQ(commands.SaveAs(model, &saved), SaveOutcome::Saved) << c.typed;
    EXPECT_EQ(saved, folder / c.written);
    const std::string bytes = ReadFile(folder / c.written);
    if (c.xml) {
      EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\"?>\r\n", 0), 0u) << c.typed;
      EXPECT_NE(bytes.find("<Row image=\"-1\" Radio-Device=\"a b\""), std::string::npos);
      EXPECT_NE(bytes.find("<Row image=\"0\" Radio-Device=\"" + std::string(255, 'n') + "\""),
                std::string::npos);
    } else {
      EXPECT_EQ(bytes.rfind("a\tb\tPhone\t", 0), 0u) << c.typed;
      EXPECT_NE(bytes.find(std::string(300, 'n') + "\t"), std::string::npos);
      EXPECT_EQ(bytes.find('\n'), std::string::npos) << "rows end in a bare carriage return";
    }
  }
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_EQ(FilesIn(folder.path()), 5) << "no temporary file is left behind";
}

TEST_F(Commands, CancelWritesNothing) {
  AddRow(model, "x", 0);
  saveAs.choice.reset();
  EXPECT_EQ(commands.SaveAs(model), SaveOutcome::Cancelled);
  EXPECT_EQ(FilesIn(folder.path()), 0);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(Commands, AFileThatCannotBeWrittenIsNamedInAMessage) {
  AddRow(model, "x", 0);
  std::vector<std::string> paths{folder / "no-such-folder/report.txt", "/sys/report.txt"};
  // A folder without write permission stops everyone but root.
  const std::string locked = folder / "locked";
  std::filesystem::create_directory(locked);
  std::filesystem::permissions(
      locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  if (geteuid() != 0) paths.push_back(locked + "/report.txt");
  for (const std::string& path : paths) {
    messages.shown.clear();
    saveAs.choice = SaveAsChoice{path, true};
    EXPECT_EQ(commands.SaveAs(model), SaveOutcome::Failed) << path;
    ASSERT_EQ(messages.shown.size(), 1u) << path;
    EXPECT_NE(messages.shown[0].find("\"" + path + "\""), std::string::npos) << messages.shown[0];
    EXPECT_FALSE(std::filesystem::exists(path));
  }
  std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
}

TEST_F(Commands, AFullDiskKeepsTheOldFileAndSaysSo) {
  const std::string megabyte(1 << 20, 'x');
  AddRow(model, "x", 0, megabyte);
  const std::string path = folder / "report.txt";
  test::WriteFile(path, "the old report");
  // The file-size limit makes the write fail as a full disk does.
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit small = old;
  small.rlim_cur = 64 * 1024;
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  saveAs.choice = SaveAsChoice{path, true};
  const SaveOutcome outcome = commands.SaveAs(model);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(outcome, SaveOutcome::Failed);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_NE(messages.shown[0].find(path), std::string::npos);
  EXPECT_EQ(ReadFile(path), "the old report");
  EXPECT_EQ(FilesIn(folder.path()), 1) << "the temporary file is removed";
  // With room again, the megabyte cell is written whole.
  ASSERT_EQ(commands.SaveAs(model), SaveOutcome::Saved);
  EXPECT_NE(ReadFile(path).find(megabyte), std::string::npos);
}

// Runs `action` on the modal dialog that `open` shows, once it is up.
void WhenModal(std::function<void(QWidget*)> action) {
  QTimer::singleShot(0, [action] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) {
      WhenModal(action);
      return;
    }
    action(modal);
  });
}

TEST(QtAdapters, TheClipboardHoldsThePlainText) {
  QtClipboard clipboard;
  clipboard.SetText("a\tb\r");
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "a\tb\r");
  clipboard.SetText("");
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "");
}

TEST(QtAdapters, TheSaveAsDialogOffersBothFiltersAndTellsWhichWasSelected) {
  TempFolder folder("saveas");
  QtSaveAsDialog adapter(nullptr);
  QStringList filters;
  QString suffix = "unset";
  WhenModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (!dialog) return modal->close();
    filters = dialog->nameFilters();
    suffix = dialog->defaultSuffix();
    dialog->selectNameFilter(QtSaveAsDialog::kXmlFilter);
    dialog->selectFile(QString::fromStdString(folder / "report"));
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides accept()
    return true;
  });
  const auto choice = adapter.AskForPath();
  ASSERT_TRUE(choice.has_value());
  EXPECT_EQ(filters, QStringList({"Text Files (*.txt)", "Xml Files (*.xml)"}));
  EXPECT_EQ(suffix, "");
  EXPECT_EQ(choice->path, folder / "report");
  EXPECT_FALSE(choice->textFilterSelected);

  WhenModal([](QWidget* modal) { return modal->close(); });
  EXPECT_FALSE(adapter.AskForPath().has_value());
}

TEST(QtAdapters, TheMessageBoxShowsTheText) {
  QtMessageBox adapter(nullptr);
  QString text;
  WhenModal([&](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) text = box->text();
    return modal->close();
  });
  adapter.ShowError("Save As", "The report could not be saved to \"/x/y.txt\"");
  EXPECT_EQ(text.toStdString(), "The report could not be saved to \"/x/y.txt\"");
}

TEST(PrintCommands, TheHeaderGivesTheDisplayOrderWidthsAndFont) {
  QStandardItemModel items(1, kColumnCount);
  QTableView table;
  table.setModel(&items);
  QFont font("Liberation Sans", 13);
  table.setFont(font);
  for (int c = 0; c < kColumnCount; ++c) table.setColumnWidth(c, 50 + c);
  table.horizontalHeader()->moveSection(2, 0);  // Address dragged to the front
  const std::vector<int> order = DisplayOrderOf(*table.horizontalHeader());
  EXPECT_EQ(order, (std::vector<int>{2, 0, 1, 3, 4, 5, 6, 7, 8, 9}));
  const ListPrintLook look = LookOf(*table.horizontalHeader());
  ASSERT_EQ(look.screenWidths.size(), static_cast<std::size_t>(kColumnCount));
  EXPECT_EQ(look.screenWidths[2], 52);
  EXPECT_EQ(look.screenWidths[9], 59);
  EXPECT_EQ(look.screenFont.pointSize(), 13);
}

TEST(PrintCommands, PrintConfirmedPrintsCancelledDoesNot) {
  TempFolder folder("printcmd");
  DeviceListModel model;
  AddRow(model, "Printed row", 1);
  FakeMessages messages;
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  const std::string pdf = folder / "out.pdf";
  printer.setOutputFileName(QString::fromStdString(pdf));

  WhenModal([](QWidget* modal) { return modal->close(); });
  EXPECT_FALSE(RunPrintCommand(nullptr, printer, model, {}, {}, messages));
  EXPECT_FALSE(std::filesystem::exists(pdf));

  bool wasPrintDialog = false;
  WhenModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<QPrintDialog*>(modal);
    wasPrintDialog = dialog != nullptr;
    if (!dialog) return modal->close();
    dialog->accept();
    return true;
  });
  EXPECT_TRUE(RunPrintCommand(nullptr, printer, model, {}, {}, messages));
  EXPECT_TRUE(wasPrintDialog);
  EXPECT_EQ(ReadFile(pdf).substr(0, 5), "%PDF-");
  EXPECT_TRUE(messages.shown.empty());

  // A job that cannot be laid out (here a column order that is not the
  // list's): the user is told, nothing is printed.
  std::filesystem::remove(pdf);
  WhenModal([](QWidget* modal) {
    if (auto* dialog = qobject_cast<QPrintDialog*>(modal))
      dialog->accept();
    else
      modal->close();
    return true;
  });
  EXPECT_FALSE(RunPrintCommand(nullptr, printer, model, {0, 0}, {}, messages));
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_NE(messages.shown[0].find("Print: "), std::string::npos) << messages.shown[0];
  EXPECT_FALSE(std::filesystem::exists(pdf));
}

TEST(PrintCommands, PrintSetupShowsThePageSetupDialog) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  bool wasPageSetup = false;
  WhenModal([&](QWidget* modal) {
    wasPageSetup = qobject_cast<QPageSetupDialog*>(modal) != nullptr;
    return modal->close();
  });
  EXPECT_FALSE(RunPrintSetupCommand(nullptr, printer));
  EXPECT_TRUE(wasPageSetup);
}

}  // namespace
}  // namespace wren
