// The main window over a simulated stack on stepped time: menus, toolbar,
// accelerators, status bar, commands, start-up files and the device list;
// then the report, print, history, About and update commands through
// stand-ins for the clipboard, the file dialog, messages and HTTP.
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include "core/monitor/EventLog.h"
#include "app/Fakes.h"
#include "app/MonitorFakes.h"
#include "gui/CAboutDlg.h"
#include "gui/CHistoryDialog.h"
#include "gui/CMainFrame.h"
#include "gui/CNewVersionDialog.h"
#include "gui/CSearchAddDlg.h"
#include "gui/CWrenlocatorView.h"
#include "gui/DeviceTableModel.h"
#include "program/StackFactory.h"
#include "ports/HttpClient.h"
#include "adapters/posix/MemorySettingsStore.h"
#include "base/System.h"
#include "core/monitor/Session.h"
#include "adapters/sim/SimulatedStack.h"
#include "support/TestFiles.h"
#include "core/list/DeviceListModel.h"

namespace wren::gui {
namespace {

using test::TempFolder;

// Programs "installed" for the desktop-tool commands; records starts.
class FakeLauncher : public platform::ProgramLauncher {
public:
  std::map<std::string, std::string> installed;  // program -> path
  std::vector<std::pair<std::string, std::vector<std::string>>> started;
  std::string FindProgram(const std::string& program) const override {
    auto it = installed.find(program);
    return it == installed.end() ? "" : it->second;
  }
  bool StartDetached(const std::string& path, const std::vector<std::string>& args) override {
    started.emplace_back(path, args);
    return true;
  }
};

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
  std::optional<SaveAsChoice> AskForPath() override {
    ++asked;
    return choice;
  }
  std::optional<SaveAsChoice> choice;
  int asked = 0;
};

class FakeMessages : public MessagePort {
public:
  void ShowError(const std::string& title, const std::string& text) override {
    shown.push_back(title + ": " + text);
  }
  std::vector<std::string> shown;
};

// Answers every fetch from memory and remembers what was asked.
class CannedHttp : public platform::HttpClient {
public:
  bool Fetch(const std::string& url, std::string& outBody, std::string& outError) override {
    urls.push_back(url);
    outBody = body;
    outError = error;
    return ok;
  }
  bool ok = true;
  std::string body, error;
  std::vector<std::string> urls;
};

// Each test's waits for a modal window end with the test: a window that
// never came up must not leave a wait behind for the next test to meet.
int g_testGeneration = 0;

// Runs `action` on the next modal window, once it is up.
void WhenModal(std::function<void(QWidget*)> action, int generation = g_testGeneration) {
  QTimer::singleShot(0, [action, generation] {
    if (generation != g_testGeneration) return;
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return WhenModal(action, generation);
    action(modal);
  });
}

// Presses a key in the next modal dialog, as the user confirming it would.
void AnswerNextDialog(Qt::Key key) {
  QTimer::singleShot(0, [key] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr) << "no dialog came up";
    QTest::keyClick(dialog, key);
  });
}

class MainWindow : public ::testing::Test {
protected:
  void SetUp() override { platform::SetDataFolderOverride(m_data.path()); }
  void TearDown() override {
    ++g_testGeneration;
    m_window.reset();
    m_session.reset();
    platform::SetDataFolderOverride("");
  }

  // The window over the lab scenario on stepped time, or with `stack`
  // "bluez" over a stack that is no simulation.
  CMainFrame& Open(std::string stack = "sim", std::string helpPage = "/opt/help/index.html") {
    if (stack == "sim") stack = "sim:" + std::string(WREN_TEST_DATA) + "/../e2e/lab.xml";
    SessionFailure failure;
    m_session = SessionBuilder(m_stacks, HostPorts{m_settings, m_sound, m_messenger, m_timer,
                                                   m_dispatcher, m_status})
                    .Stack(stack)
                    .SteppedClock(true)
                    .Build(failure);
    EXPECT_NE(m_session, nullptr) << failure.message;
    WindowPorts ports{m_sound, m_shell, m_launcher, std::move(helpPage)};
    ports.manifestUrl = kMirror;
    ports.http = &m_http;
    ports.clipboard = &m_clipboard;
    ports.saveAs = &m_saveAs;
    ports.messages = &m_messages;
    m_window = std::make_unique<CMainFrame>(*m_session, m_status, ports);
    return *m_window;
  }
  // The workers finish and the user-interface thread takes their results.
  void Settle() {
    for (int i = 0; i < 3; ++i) {
      m_session->Workers().WaitIdle();
      m_dispatcher.RunPending();
    }
  }

  static constexpr const char* kMirror = "http://mirror.example/wrenlocator/version.xml";

  TempFolder m_data{"gui"};
  FakeClipboard m_clipboard;
  FakeSaveAs m_saveAs;
  FakeMessages m_messages;
  CannedHttp m_http;
  platform::MemorySettingsStore m_settings;
  test::FakeSoundOutput m_sound;
  test::FakeMessenger m_messenger;
  test::FakeTimer m_timer;
  test::QueueDispatcher m_dispatcher;
  test::FakeShell m_shell;
  FakeLauncher m_launcher;
  WindowStatus m_status;
  StackFactory m_stacks{[](bool, bool, std::string&) {
    auto stack = std::make_unique<test::FakeStack>();
    stack->SetRadios({platform::RadioInfo{}});
    platform::StackPorts ports;
    ports.stack = std::move(stack);
    return ports;
  }};
  std::unique_ptr<Session> m_session;
  std::unique_ptr<CMainFrame> m_window;
};

// A menu as rows "text|shortcut|enabled"; "-" for a separator, ">" before a submenu.
std::vector<std::string> Rows(const QMenu* menu) {
  std::vector<std::string> rows;
  for (QAction* a : menu->actions()) {
    if (a->isSeparator()) {
      rows.push_back("-");
    } else if (a->menu()) {
      rows.push_back(">" + a->text().toStdString());
    } else {
      rows.push_back(a->text().toStdString() + "|" + a->shortcut().toString().toStdString() + "|" +
                     (a->isEnabled() ? "on" : "off"));
    }
  }
  return rows;
}

TEST_F(MainWindow, MenusHoldEveryItemWithItsTextAccessKeyAndShortcut) {
  m_launcher.installed = {{"blueman-manager", "/usr/bin/blueman-manager"},
                          {"bluetooth-sendto", "/usr/bin/bluetooth-sendto"}};
  CMainFrame& w = Open();
  std::vector<std::string> titles;
  for (QAction* a : w.menuBar()->actions()) titles.push_back(a->text().toStdString());
  EXPECT_EQ(titles, (std::vector<std::string>{"&File", "&View", "&Monitoring", "&Tools", "&Update",
                                              "&Help"}));

  const std::map<std::string, std::vector<std::string>> expected{
      {"menuFile",
       {"Save &As...||on", "-", "&Print...|Ctrl+P|on", "P&rint Setup...||on", "-", "E&xit||on"}},
      {"menuView", {"&Toolbar||on", "&Status Bar||on"}},
      {"menuMonitoring", {"Run...||on"}},
      {"menuTools",
       {"File Transfer Wizard||on", "-", "Mobile Devices...||on", "-", "Device Information...||on",
        "-", "Audit Selected Device...||on", "-", "History Report||on"}},
      {"menuUpdate", {"Check for Updates...||on"}},
      {"menuHelp",
       {"Help Topics...||on", "-", "Check for Updates...||on", "-",
        "Frequently Asked Questions...||on", "-", "Wrenlocator Home Page...||on",
        "E-Mail Support||on", "-", ">Pelmark Products", "-", "&About Wrenlocator...||on"}},
  };
  for (const auto& [name, rows] : expected) {
    const QMenu* menu = w.findChild<QMenu*>(QString::fromStdString(name));
    ASSERT_NE(menu, nullptr) << name;
    EXPECT_EQ(Rows(menu), rows) << name;
  }
  const QMenu* products = w.findChild<QMenu*>("menuProducts");
  ASSERT_NE(products, nullptr);
  EXPECT_EQ(products->actions().size(), 6);
}

TEST_F(MainWindow, ToolbarLeftToRightWithSeparatorsTooltipsAndPrompts) {
  CMainFrame& w = Open();
  const QToolBar* bar = w.findChild<QToolBar*>("toolBar");
  ASSERT_NE(bar, nullptr);
  std::vector<std::string> tips;
  for (QAction* a : bar->actions()) {
    if (a->isSeparator()) {
      tips.push_back("|");
      continue;
    }
    // Prompt and tooltip agree on the toolbar, except for print.
    if (a->objectName() != "filePrint") {
      EXPECT_EQ(a->statusTip(), a->toolTip()) << a->objectName().toStdString();
    }
    tips.push_back(a->statusTip().toStdString());
  }
  // No desktop tools installed here: those two name what to install.
  ASSERT_EQ(tips.size(), 22u);
  EXPECT_EQ(tips[0], "Save Active Document");
  EXPECT_EQ(tips[1], "|");
  EXPECT_EQ(tips[2], "Copy Selected Row");
  EXPECT_EQ(tips[3], "Copy All Items");
  EXPECT_EQ(tips[4], "|");
  EXPECT_EQ(tips[5], "Print the active document");
  EXPECT_EQ(tips[6], "|");
  EXPECT_NE(tips[7].find("Bluetooth Devices: not available - install one of blueman-manager"),
            std::string::npos);
  EXPECT_NE(tips[8].find("Bluetooth File Transfer Wizard: not available"), std::string::npos);
  const std::vector<std::string> rest(tips.begin() + 9, tips.end());
  EXPECT_EQ(rest, (std::vector<std::string>{
                      "Search and Add New Bluetooth Device", "|", "Run Bluetooth Monitoring",
                      "Stop Monitoring", "|", "History Report", "Session Alarm Log", "|",
                      "Product Home Page", "Check New Version", "|", "About", "Help"}));
  // Stop is on the toolbar only.
  for (const QMenu* menu : w.findChildren<QMenu*>())
    for (QAction* a : menu->actions()) EXPECT_NE(a->statusTip(), "Stop Monitoring");
  EXPECT_FALSE(bar->isMovable());
  EXPECT_FALSE(bar->isFloatable());
}

TEST_F(MainWindow, AcceleratorsAreAllThereAndOnlyTheActingOnesDoSomething) {
  CMainFrame& w = Open();
  std::vector<std::string> keys;
  for (QAction* a : w.actions()) keys.push_back(a->shortcut().toString().toStdString());
  EXPECT_EQ(keys, (std::vector<std::string>{"Ctrl+N", "Ctrl+O", "Ctrl+S", "Ctrl+Z", "Alt+Backspace",
                                            "Ctrl+X", "Shift+Del", "Ctrl+C", "Ctrl+Ins", "Ctrl+V",
                                            "Shift+Ins", "F6", "Shift+F6"}));
  // Only Save acts: it asks where to save the list, as Save As does (here
  // the user cancels). The others change nothing: no dialog, no file, no row.
  w.show();
  for (QAction* a : w.actions()) a->trigger();
  EXPECT_EQ(m_saveAs.asked, 1);
  EXPECT_EQ(w.View().model()->rowCount(), 0);
  EXPECT_TRUE(m_shell.opened.empty());
  EXPECT_EQ(m_clipboard.puts, 0);
  EXPECT_EQ(w.Monitoring().WorkersStarted(), 0u);
}

TEST_F(MainWindow, CaptionIsTheTitleOnARealStackAndSaysSimulationOtherwise) {
  EXPECT_EQ(Open("bluez").windowTitle(), "Wrenlocator");
  EXPECT_EQ(m_window->findChild<QLabel*>("simulationPane"), nullptr);
  m_window.reset();
  m_session.reset();
  CMainFrame& sim = Open("sim");
  EXPECT_EQ(sim.windowTitle(), "Wrenlocator - simulation, no device is real");
  const QLabel* pane = sim.findChild<QLabel*>("simulationPane");
  ASSERT_NE(pane, nullptr);
  EXPECT_EQ(pane->text(), "SIMULATION - no device is real");
  EXPECT_TRUE(pane->toolTip().contains("lab.xml")) << pane->toolTip().toStdString();
  // Pane 0 says so too until the first event line.
  EXPECT_TRUE(sim.StatusText().contains("a simulation, none of its devices is real"));
}

TEST_F(MainWindow, StatusBarHasTheMessagePaneThenCapNumScrl) {
  CMainFrame& w = Open("bluez");
  w.show();
  EXPECT_EQ(w.StatusText(), "Ready");
  std::vector<std::string> indicators;
  for (const char* name : {"capsPane", "numPane", "scrollPane"}) {
    const QLabel* label = w.findChild<QLabel*>(name);
    ASSERT_NE(label, nullptr) << name;
    indicators.push_back(label->text().toStdString());
    // The offscreen display does not tell the lock state: shown greyed, and says so.
    EXPECT_FALSE(label->isEnabled());
    EXPECT_FALSE(label->toolTip().isEmpty());
  }
  EXPECT_EQ(indicators, (std::vector<std::string>{"CAP", "NUM", "SCRL"}));
}

TEST_F(MainWindow, ViewMenuTogglesTheBars) {
  CMainFrame& w = Open();
  w.show();
  w.Action("viewToolbar")->trigger();
  EXPECT_FALSE(w.findChild<QToolBar*>("toolBar")->isVisible());
  EXPECT_FALSE(w.Action("viewToolbar")->isChecked());
  w.Action("viewStatusBar")->trigger();
  EXPECT_FALSE(w.statusBar()->isVisible());
  w.Action("viewToolbar")->trigger();
  w.Action("viewStatusBar")->trigger();
  EXPECT_TRUE(w.findChild<QToolBar*>("toolBar")->isVisible());
  EXPECT_TRUE(w.statusBar()->isVisible());
}

TEST_F(MainWindow, FirstStartCreatesHistoryAndEveryStartEmptiesTheAlarmLog) {
  test::WriteFile(m_data / "alarmlog.txt", "old line one\nold line two\n");
  ASSERT_FALSE(std::filesystem::exists(m_data / "history.xml"));
  Open();
  const std::string history = test::ReadFile(m_data / "history.xml");
  EXPECT_NE(history.find("<dataroot"), std::string::npos) << history;
  const std::string log = test::ReadFile(m_data / "alarmlog.txt");
  EXPECT_EQ(log.find("old line"), std::string::npos) << log;
  // The start-up line comes first, stamped with the session's clock.
  EXPECT_EQ(log.rfind(FormatTimeText(1248185030) + " - Wrenlocator Started", 0), 0u) << log;
  // Nothing of it shows: the status bar did not exist yet.
  EXPECT_EQ(m_window->StatusText().toStdString().find("Started"), std::string::npos);
}

class RunCommand : public MainWindow, public ::testing::WithParamInterface<const char*> {};

TEST_P(RunCommand, ConfirmedWithEnterStartsTheCycleAndFillsTheList) {
  CMainFrame& w = Open();
  w.show();
  m_settings.WriteInt("Settings", "UpdateSpeed", 5);
  AnswerNextDialog(Qt::Key_Return);
  w.Action(GetParam())->trigger();
  EXPECT_TRUE(w.Monitoring().Monitoring());
  EXPECT_NE(w.Monitoring().TimerId(), 0u);
  EXPECT_EQ(w.Monitoring().PeriodMs(), 5000);
  EXPECT_EQ(m_session->SteppedTimer()->NextDue(), std::optional<std::int64_t>(5000));
  EXPECT_EQ(w.Monitoring().WorkersStarted(), 1u);
  Settle();
  // The lab's adapter and its four devices, in the order the scan gave them.
  ASSERT_EQ(w.View().model()->rowCount(), 5);
  EXPECT_EQ(w.View().model()->index(0, 0).data().toString(),
            "Desk adapter -> Desk adapter (local)");
  EXPECT_EQ(w.View().model()->index(1, 2).data().toString(), "00:1A:2B:3C:4D:5E");
  EXPECT_FALSE(w.View().model()->index(1, 2).data(Qt::DecorationRole).isNull());

  // Stop ends the ticks.
  w.Action("barStop")->trigger();
  EXPECT_FALSE(w.Monitoring().Monitoring());
  EXPECT_EQ(w.Monitoring().TimerId(), 0u);
  EXPECT_EQ(m_session->SteppedTimer()->NextDue(), std::nullopt);
}

TEST_P(RunCommand, CancelledWithEscapeChangesNothing) {
  CMainFrame& w = Open();
  w.show();
  AnswerNextDialog(Qt::Key_Escape);
  w.Action(GetParam())->trigger();
  EXPECT_FALSE(w.Monitoring().Monitoring());
  EXPECT_EQ(w.Monitoring().TimerId(), 0u);
  EXPECT_EQ(w.Monitoring().WorkersStarted(), 0u);
}

INSTANTIATE_TEST_SUITE_P(ToolbarAndMenu, RunCommand, ::testing::Values("barRun", "monitoringRun"));

TEST_F(MainWindow, DeviceEventsShowInPaneZero) {
  CMainFrame& w = Open();
  w.show();
  AnswerNextDialog(Qt::Key_Return);
  w.Action("barRun")->trigger();
  Settle();
  m_session->Simulation()->AdvanceTime(1500);  // the phone comes in range
  Settle();
  EXPECT_TRUE(w.StatusText().contains("00:1A:2B:3C:4D:5E")) << w.StatusText().toStdString();
  EXPECT_TRUE(w.StatusText().contains("Bluetooth device has changed"))
      << w.StatusText().toStdString();
}

TEST_F(MainWindow, ClosingSavesTheListsDevicesToHistory) {
  CMainFrame& w = Open();
  w.show();
  AnswerNextDialog(Qt::Key_Return);
  w.Action("barRun")->trigger();
  Settle();
  w.close();
  EXPECT_TRUE(w.SaveError().empty());
  const std::string history = test::ReadFile(m_data / "history.xml");
  for (const char* address :
       {"00:1A:2B:3C:4D:5E", "00:03:89:44:55:66", "00:1F:20:04:05:06", "02:AB:CD:16:17:18"})
    EXPECT_NE(history.find(address), std::string::npos) << address;
}

TEST_F(MainWindow, WebHelpAndLogCommandsOpenTheirTargets) {
  CMainFrame& w = Open("sim", "/opt/wrenlocator/help/index.html");
  const struct {
    const char* action;
    std::string target;
  } cases[] = {
      {"barAlarmLog", m_data / "alarmlog.txt"},
      {"helpTopics", "/opt/wrenlocator/help/index.html"},
      {"barHelp", "/opt/wrenlocator/help/index.html"},
      {"helpHomePage", std::string(kHomePageUrl)},
      {"barHomePage", std::string(kHomePageUrl)},
      {"helpFaq", std::string(kHomePageUrl)},
      {"helpEmail", "mailto:support@pelmark.example?subject=Wrenlocator%201.7.4"},
  };
  for (const auto& c : cases) {
    m_shell.opened.clear();
    w.Action(c.action)->trigger();
    EXPECT_EQ(m_shell.opened, std::vector<std::string>{c.target}) << c.action;
  }
  for (QAction* product : w.findChild<QMenu*>("menuProducts")->actions()) {
    m_shell.opened.clear();
    product->trigger();
    ASSERT_EQ(m_shell.opened.size(), 1u);
    EXPECT_EQ(m_shell.opened[0].rfind("http://www.pelmark.example/", 0), 0u) << m_shell.opened[0];
  }
}

TEST_F(MainWindow, HelpWithoutAnInstalledPageIsOffAndSaysWhy) {
  CMainFrame& w = Open("sim", "");
  EXPECT_FALSE(w.Action("helpTopics")->isEnabled());
  EXPECT_TRUE(w.Action("barHelp")->toolTip().contains("not installed"));
}

TEST_F(MainWindow, DesktopToolsStartTheFirstInstalledWithArgumentsNeverAShell) {
  m_launcher.installed = {{"gnome-control-center", "/usr/bin/gnome-control-center"},
                          {"systemsettings", "/usr/bin/systemsettings"},
                          {"bluedevil-sendfile", "/usr/bin/bluedevil-sendfile"}};
  CMainFrame& w = Open();
  for (const char* name :
       {"toolsMobileDevices", "barBluetoothDevices", "toolsFileTransfer", "barFileTransfer"})
    EXPECT_TRUE(w.Action(name)->isEnabled()) << name;
  w.Action("toolsMobileDevices")->trigger();
  w.Action("barBluetoothDevices")->trigger();
  w.Action("barFileTransfer")->trigger();
  using Start = std::pair<std::string, std::vector<std::string>>;
  EXPECT_EQ(m_launcher.started,
            (std::vector<Start>{{"/usr/bin/gnome-control-center", {"bluetooth"}},
                                {"/usr/bin/gnome-control-center", {"bluetooth"}},
                                {"/usr/bin/bluedevil-sendfile", {}}}));
}

TEST_F(MainWindow, DesktopToolsMissingAreOffWithAReason) {
  CMainFrame& w = Open();
  for (const char* name :
       {"toolsMobileDevices", "barBluetoothDevices", "toolsFileTransfer", "barFileTransfer"}) {
    EXPECT_FALSE(w.Action(name)->isEnabled()) << name;
    EXPECT_TRUE(w.Action(name)->toolTip().contains("install one of")) << name;
  }
  w.Action("barFileTransfer")->trigger();
  EXPECT_TRUE(m_launcher.started.empty());
}

TEST_F(MainWindow, SearchAndAddOpensItsDialogOnAStackThatManagesDevices) {
  CMainFrame& w = Open();
  QAction* searchAdd = w.Action("barSearchAdd");
  ASSERT_TRUE(searchAdd->isEnabled());
  QString title;
  bool discovering = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<CSearchAddDlg*>(QApplication::activeModalWidget());
    if (!dialog) return;
    title = dialog->windowTitle();
    discovering = dialog->Discovering();
    dialog->reject();
  });
  searchAdd->trigger();
  EXPECT_EQ(title, "Search and Add New Bluetooth Device");
  EXPECT_TRUE(discovering);
  m_window.reset();
  m_session.reset();
  // A stack without device management: nothing to search with.
  EXPECT_FALSE(Open("bluez").Action("barSearchAdd")->isEnabled());
}

TEST_F(MainWindow, UnwritableDataFolderStillOpensAndSaysTheHistoryWasNotSaved) {
  // A file where the folder should be: no one can write beneath it.
  const std::string notAFolder = m_data / "not-a-folder";
  test::WriteFile(notAFolder, "x");
  platform::SetDataFolderOverride(notAFolder);
  CMainFrame& w = Open();
  w.show();
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(w.StatusText(), "Alarm log not written: Not a directory");
  w.close();
  EXPECT_FALSE(w.SaveError().empty());
  EXPECT_EQ(test::ReadFile(notAFolder), "x");
}

// The window's report, print, history, About and update commands, each from
// every place it is offered.
class WindowCommands : public MainWindow {
protected:
  // The window with the lab's devices listed.
  CMainFrame& OpenWithRows() {
    CMainFrame& w = Open();
    w.show();
    AnswerNextDialog(Qt::Key_Return);
    w.Action("barRun")->trigger();
    Settle();
    EXPECT_EQ(w.View().model()->rowCount(), 5);
    return w;
  }
  // A command as the user reaches it: a window action or a context-menu entry.
  void Choose(CMainFrame& w, const std::string& name) {
    if (name.rfind("context", 0) == 0) {
      std::unique_ptr<QMenu> menu(w.View().CreateContextMenu(&w));
      QAction* entry = menu->findChild<QAction*>(QString::fromStdString(name));
      ASSERT_NE(entry, nullptr) << name;
      ASSERT_TRUE(entry->isEnabled()) << name;
      entry->trigger();
      return;
    }
    QAction* action = w.Action(name.c_str());
    ASSERT_NE(action, nullptr) << name;
    ASSERT_TRUE(action->isEnabled()) << name;
    action->trigger();
  }
  // The cells as the list shows them, in creation order.
  static std::string Cell(const CMainFrame& w, int row, int column) {
    return const_cast<CMainFrame&>(w)
        .View()
        .model()
        ->index(row, column)
        .data()
        .toString()
        .toStdString();
  }
  static std::string RowText(const CMainFrame& w, int row) {
    std::string text;
    for (int c = 0; c < kColumnCount; ++c) text += (c ? "\t" : "") + Cell(w, row, c);
    return text;
  }
  static std::string AllText(CMainFrame& w) {
    std::string text;
    for (int r = 0; r < w.View().model()->rowCount(); ++r) {
      for (int c = 0; c < kColumnCount; ++c) text += Cell(w, r, c) + "\t";
      text += "\r";
    }
    return text;
  }
  static void Select(CMainFrame& w, int row) {
    w.View().setCurrentIndex(w.View().model()->index(row, 0));
    w.View().selectRow(row);
  }
};

TEST_F(WindowCommands, CopyRowAndCopyAllFromToolbarAndContextMenuInCreationOrder) {
  CMainFrame& w = OpenWithRows();
  // The address dragged to the front changes what is shown, not what is copied.
  w.View().horizontalHeader()->moveSection(2, 0);
  Select(w, 2);
  const std::string row2 = RowText(w, 2);
  ASSERT_EQ(row2.rfind(Cell(w, 2, 0) + "\t" + Cell(w, 2, 1) + "\t" + Cell(w, 2, 2) + "\t", 0), 0u);
  for (const char* entry : {"barCopyRow", "contextCopyRow"}) {
    m_clipboard.text.clear();
    Choose(w, entry);
    EXPECT_EQ(m_clipboard.text, row2) << entry;
  }
  for (const char* entry : {"barCopyAll", "contextCopyAll"}) {
    m_clipboard.text.clear();
    Choose(w, entry);
    EXPECT_EQ(m_clipboard.text, AllText(w)) << entry;
    EXPECT_EQ(std::count(m_clipboard.text.begin(), m_clipboard.text.end(), '\r'), 5) << entry;
  }
  // No row selected: Copy Row leaves the clipboard alone.
  w.View().clearSelection();
  const int puts = m_clipboard.puts;
  Choose(w, "barCopyRow");
  Choose(w, "contextCopyRow");
  EXPECT_EQ(m_clipboard.puts, puts);
  EXPECT_EQ(m_clipboard.text, AllText(w));
}

TEST_F(WindowCommands, CopyAllOfAnEmptyListIsAnEmptyText) {
  CMainFrame& w = Open();
  Choose(w, "barCopyAll");
  EXPECT_EQ(m_clipboard.text, "");
  EXPECT_EQ(m_clipboard.puts, 1);
}

TEST_F(WindowCommands, SaveAsFromMenuToolbarContextMenuAndCtrlSWritesTheReport) {
  CMainFrame& w = OpenWithRows();
  Choose(w, "barCopyAll");
  const std::string textReport = m_clipboard.text;
  int n = 0;
  for (const char* entry : {"fileSaveAs", "barSave", "contextSaveAs", "acceleratorSave"}) {
    SCOPED_TRACE(entry);
    const std::string text = m_data / ("list" + std::to_string(++n) + ".txt");
    const std::string xml =
        m_data / ("list" + std::to_string(n));  // takes the XML filter's extension
    m_saveAs.choice = SaveAsChoice{text, true};
    Choose(w, entry);
    EXPECT_EQ(test::ReadFile(text), textReport);
    m_saveAs.choice = SaveAsChoice{xml, false};
    Choose(w, entry);
    const std::string written = test::ReadFile(xml + ".xml");
    EXPECT_NE(written.find("<dataroot"), std::string::npos) << written;
    EXPECT_NE(written.find("00:1A:2B:3C:4D:5E"), std::string::npos) << written;
  }
  EXPECT_EQ(m_saveAs.asked, 8);
  EXPECT_TRUE(m_messages.shown.empty());

  // A folder that does not exist: the user is told, with the file's name.
  const std::string nowhere = m_data / "no-such-folder/list.txt";
  m_saveAs.choice = SaveAsChoice{nowhere, true};
  Choose(w, "fileSaveAs");
  ASSERT_EQ(m_messages.shown.size(), 1u);
  EXPECT_NE(m_messages.shown[0].find(nowhere), std::string::npos) << m_messages.shown[0];
  EXPECT_FALSE(std::filesystem::exists(nowhere));
}

// The text of a PDF's pages, one line per printed line.
std::string PdfText(const std::string& pdf) {
  QProcess process;
  process.start("pdftotext", {"-layout", QString::fromStdString(pdf), "-"});
  if (!process.waitForFinished(30000) || process.exitCode() != 0) {
    ADD_FAILURE() << "pdftotext failed on " << pdf;
    return {};
  }
  return process.readAllStandardOutput().toStdString();
}

TEST_F(WindowCommands, PrintFromMenuToolbarAndCtrlPPrintsTheListAsShown) {
  CMainFrame& w = OpenWithRows();
  w.View().horizontalHeader()->moveSection(2, 0);
  w.Printer().setOutputFormat(QPrinter::PdfFormat);
  const std::string pdf = m_data / "list.pdf";
  w.Printer().setOutputFileName(QString::fromStdString(pdf));

  const std::vector<std::pair<std::string, std::function<void()>>> entries{
      {"File menu", [&] { w.findChild<QMenu*>("menuFile")->actions()[2]->trigger(); }},
      {"toolbar", [&] { w.findChild<QToolBar*>("toolBar")->actions()[5]->trigger(); }},
      {"Ctrl+P",
       [&] {
         // The key goes to the list, in the window the user works in.
         w.activateWindow();
         ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
         QTest::keyClick(&w.View(), Qt::Key_P, Qt::ControlModifier);
       }},
  };
  for (const auto& [where, choose] : entries) {
    SCOPED_TRACE(where);
    std::filesystem::remove(pdf);
    bool printDialog = false;
    WhenModal([&](QWidget* modal) {
      printDialog = qobject_cast<QPrintDialog*>(modal) != nullptr;
      if (printDialog)
        static_cast<QDialog*>(modal)->accept();
      else
        modal->close();
    });
    choose();
    EXPECT_TRUE(printDialog);
    const std::string text = PdfText(pdf);
    EXPECT_NE(text.find("00:1A:2B:3C:4D:5E"), std::string::npos) << text;
    EXPECT_NE(text.find("Page 1 of 1"), std::string::npos) << text;
    // Printed in the order shown: the dragged address comes first.
    const std::size_t address = text.find("Address"), radio = text.find("Radio-Device");
    ASSERT_NE(address, std::string::npos) << text;
    ASSERT_NE(radio, std::string::npos) << text;
    EXPECT_LT(address, radio) << text;
  }

  // Cancelled: nothing printed.
  std::filesystem::remove(pdf);
  WhenModal([](QWidget* modal) { modal->close(); });
  Choose(w, "filePrint");
  EXPECT_FALSE(std::filesystem::exists(pdf));
  EXPECT_TRUE(m_messages.shown.empty());
}

TEST_F(WindowCommands, AnEmptyListStillPrintsAReadablePage) {
  CMainFrame& w = Open();
  w.show();
  ASSERT_TRUE(w.Action("filePrint")->isEnabled());
  w.Printer().setOutputFormat(QPrinter::PdfFormat);
  const std::string pdf = m_data / "empty.pdf";
  w.Printer().setOutputFileName(QString::fromStdString(pdf));
  WhenModal([](QWidget* modal) {
    if (auto* dialog = qobject_cast<QPrintDialog*>(modal))
      dialog->accept();
    else
      modal->close();
  });
  Choose(w, "filePrint");
  const std::string text = PdfText(pdf);
  EXPECT_NE(text.find("Radio-Device"), std::string::npos) << text;
  EXPECT_NE(text.find("Page 1 of 1"), std::string::npos) << text;
}

TEST_F(WindowCommands, PrintSetupShowsThePageSetupOfTheWindowsPrinter) {
  CMainFrame& w = Open();
  w.show();
  bool pageSetup = false;
  WhenModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<QPageSetupDialog*>(modal);
    pageSetup = dialog != nullptr && dialog->printer() == &w.Printer();
    modal->close();
  });
  Choose(w, "filePrintSetup");
  EXPECT_TRUE(pageSetup);
}

TEST_F(WindowCommands, HistoryReportSavesFirstThenShowsTheHistoryFromToolbarAndMenu) {
  CMainFrame& w = OpenWithRows();
  for (const char* entry : {"barHistoryReport", "toolsHistoryReport"}) {
    SCOPED_TRACE(entry);
    std::filesystem::remove(m_data / "history.xml");
    std::string onDisk, title;
    std::vector<std::string> summaries;
    WhenModal([&](QWidget* modal) {
      onDisk = test::ReadFile(m_data / "history.xml");
      title = modal->windowTitle().toStdString();
      if (auto* dialog = qobject_cast<CHistoryDialog*>(modal)) {
        QAbstractItemModel* tree = dialog->Tree()->model();
        for (int row = 0; row < tree->rowCount(); ++row)
          summaries.push_back(tree->index(row, 0).data().toString().toStdString());
      }
      modal->close();
    });
    Choose(w, entry);
    EXPECT_EQ(title, "History Dialog");
    // The file was written before the dialog came up, with this session's devices.
    EXPECT_NE(onDisk.find("00:1A:2B:3C:4D:5E"), std::string::npos) << onDisk;
    EXPECT_EQ(summaries.size(), m_session->History().Size());
    EXPECT_GE(summaries.size(), 4u);
  }
  EXPECT_TRUE(m_messages.shown.empty());
}

TEST_F(WindowCommands, HistoryReportTellsAFailedSaveAndStillShows) {
  const std::string notAFolder = m_data / "not-a-folder";
  test::WriteFile(notAFolder, "x");
  platform::SetDataFolderOverride(notAFolder);
  CMainFrame& w = OpenWithRows();
  std::string title;
  std::vector<std::string> summaries;
  WhenModal([&](QWidget* modal) {
    title = modal->windowTitle().toStdString();
    if (auto* dialog = qobject_cast<CHistoryDialog*>(modal)) {
      QAbstractItemModel* tree = dialog->Tree()->model();
      for (int row = 0; row < tree->rowCount(); ++row)
        summaries.push_back(tree->index(row, 0).data().toString().toStdString());
    }
    modal->close();
  });
  Choose(w, "barHistoryReport");
  EXPECT_EQ(title, "History Dialog");
  // This session's devices, from memory.
  EXPECT_EQ(summaries.size(), m_session->History().Size());
  EXPECT_GE(summaries.size(), 4u);
  ASSERT_EQ(m_messages.shown.size(), 1u);
  EXPECT_NE(m_messages.shown[0].find("could not be saved"), std::string::npos)
      << m_messages.shown[0];
  EXPECT_EQ(test::ReadFile(notAFolder), "x");
}

TEST_F(WindowCommands, AboutFromMenuAndToolbarAndTheWindowWearsTheProgramIcon) {
  CMainFrame& w = Open();
  w.show();
  EXPECT_FALSE(w.windowIcon().isNull());
  EXPECT_EQ(w.windowIcon().pixmap(32).toImage(), CAboutDlg::ProgramIcon().pixmap(32).toImage());
  for (const char* entry : {"helpAbout", "barAbout"}) {
    std::string title;
    bool about = false;
    WhenModal([&](QWidget* modal) {
      title = modal->windowTitle().toStdString();
      about = qobject_cast<CAboutDlg*>(modal) != nullptr;
      modal->close();
    });
    Choose(w, entry);
    EXPECT_TRUE(about) << entry;
    EXPECT_EQ(title, "About Wrenlocator") << entry;
  }
}

// What the update check showed: the window's title and, for a message box, its text.
struct Shown {
  std::string title, text;
  std::vector<std::string> rows;
};

void ReadAndClose(Shown& shown) {
  WhenModal([&shown](QWidget* modal) {
    shown.title = modal->windowTitle().toStdString();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) shown.text = box->text().toStdString();
    if (auto* dialog = qobject_cast<CNewVersionDialog*>(modal))
      for (int i = 0; i < dialog->List()->topLevelItemCount(); ++i)
        shown.rows.push_back(dialog->List()->topLevelItem(i)->text(0).toStdString());
    modal->close();
  });
}

TEST_F(WindowCommands, CheckForUpdatesFromEveryPlaceFetchesTheGivenManifest) {
  CMainFrame& w = Open();
  w.show();
  m_http.body = "<m version=\"1.7.4.1\" created=\"12/01/2026\"><update type=\"Fix\"/></m>";
  for (const char* entry : {"updateCheck", "helpCheckUpdates", "barCheckVersion"}) {
    SCOPED_TRACE(entry);
    m_http.urls.clear();
    Shown shown;
    ReadAndClose(shown);
    Choose(w, entry);
    EXPECT_EQ(m_http.urls, std::vector<std::string>{kMirror});
    EXPECT_EQ(shown.title, "New Version Available!");
    EXPECT_EQ(shown.rows, (std::vector<std::string>{"Product", "Date", "Type"}));
  }
}

TEST_F(WindowCommands, CheckForUpdatesTellsNoNewVersionAndAFailedConnection) {
  CMainFrame& w = Open();
  w.show();
  struct Case {
    bool ok;
    std::string body, error, text;
  } cases[] = {
      {true, "<m version=\"1.7.4.0\" created=\"d\"/>", "", "There are no new versions available."},
      {false, "", "Connection refused", "Internet Connection Failed...Connection refused"},
  };
  for (const Case& c : cases) {
    m_http.ok = c.ok;
    m_http.body = c.body;
    m_http.error = c.error;
    Shown shown;
    ReadAndClose(shown);
    Choose(w, "barCheckVersion");
    EXPECT_EQ(shown.text, c.text);
    EXPECT_NE(shown.title, "New Version Available!");
  }
}

}  // namespace
}  // namespace wren::gui

namespace wren::gui {
namespace {

// Device Information and Audit Selected Device from the Tools menu: each
// opens its dialog on the selected device; Device Information only for a
// device the stack knows.
TEST_F(WindowCommands, DeviceCommandsOpenTheirDialogsOnTheSelectedDevice) {
  CMainFrame& w = OpenWithRows();
  std::vector<std::string> opened;
  auto closeNextDialog = [&] {
    QTimer::singleShot(0, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal) return;
      std::string address;
      if (auto* label = modal->findChild<QLabel*>("infoAddress"))
        address = label->text().toStdString();
      if (auto* edit = modal->findChild<QLineEdit*>("auditAddress"))
        address = edit->text().toStdString();
      opened.push_back(modal->objectName().toStdString() + " " + address);
      qobject_cast<QDialog*>(modal)->reject();
    });
  };
  ASSERT_TRUE(w.Action("toolsDeviceInformation")->isEnabled());
  ASSERT_TRUE(w.Action("toolsAudit")->isEnabled());

  w.View().setCurrentIndex(w.View().model()->index(1, 0));
  closeNextDialog();
  w.Action("toolsDeviceInformation")->trigger();
  closeNextDialog();
  w.Action("toolsAudit")->trigger();
  EXPECT_EQ(opened, (std::vector<std::string>{"deviceInfoDialog 00:1A:2B:3C:4D:5E",
                                              "deviceAuditDialog 00:1A:2B:3C:4D:5E"}));

  // The local adapter's row is no remote device the stack knows.
  opened.clear();
  w.View().setCurrentIndex(w.View().model()->index(0, 0));
  closeNextDialog();
  w.Action("toolsDeviceInformation")->trigger();
  QTest::qWait(20);
  EXPECT_TRUE(opened.empty());
}

}  // namespace
}  // namespace wren::gui
