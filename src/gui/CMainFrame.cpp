#include "gui/CMainFrame.h"
#include "base/Product.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>

#include <iostream>

#include "core/bluetooth/BluetoothPlatform.h"
#include "gui/CAboutDlg.h"
#include "gui/CDeviceAuditDlg.h"
#include "gui/CHistoryDialog.h"
#include "gui/CNewVersionDialog.h"
#include "gui/CWrenlocatorView.h"
#include "gui/DesktopTools.h"
#include "gui/DeviceImageStrip.h"
#include "gui/ListPrinterCommands.h"
#include "gui/DeviceTableModel.h"
#include "gui/LockKeys.h"
#include "gui/QtDeviceDialogs.h"
#include "gui/CSearchParamsDlg.h"
#include "core/history/HistoryStore.h"
#include "core/datafile/XmlDataFile.h"
#include "base/System.h"
#include "adapters/qt/QtHttpClient.h"
#include "core/update/UpdateCheck.h"

namespace wren::gui {
namespace {

struct ProductLink {
  const char* title;
  const char* url;
};

// The maker's other products, under the same example domain as the home page.
constexpr ProductLink kProducts[] = {
    {"Pelmark Wi-Fi Surveyor", "http://www.pelmark.example/wifisurveyor/"},
    {"Pelmark Port Watcher", "http://www.pelmark.example/portwatcher/"},
    {"Pelmark USB Auditor", "http://www.pelmark.example/usbauditor/"},
    {"Pelmark Network Inventory", "http://www.pelmark.example/netinventory/"},
    {"Pelmark Serial Monitor", "http://www.pelmark.example/serialmonitor/"},
    {"Pelmark Infrared Explorer", "http://www.pelmark.example/irexplorer/"},
};

// The printer picture of the device image strip.
constexpr int kPrinterImage = 10;

}  // namespace

QString WindowCaption(bool simulation) {
  if (!simulation) return kAppTitle;
  return QString("%1 - simulation, no device is real").arg(kAppTitle);
}

void WindowStatus::SetStatusText(const std::string& text) {
  if (m_window)
    m_window->SetStatusText(QString::fromStdString(text));
  else
    m_pending = text;
}

void WindowStatus::OnLogged(const std::string& line, const LogResult& result) {
  if (result.written) return;
  std::cerr << "wrenlocator: alarm log not written: " << result.error << " (" << line << ")\n";
  // The user sees it too: the log is what the alarms leave behind.
  SetStatusText("Alarm log not written: " + result.error);
}

void WindowStatus::Attach(CMainFrame* window) {
  m_window = window;
  if (m_window && !m_pending.empty()) m_window->SetStatusText(QString::fromStdString(m_pending));
  m_pending.clear();
}

CMainFrame::CMainFrame(Session& session, WindowStatus& status, const WindowPorts& ports,
                       QWidget* parent)
    : QMainWindow(parent), m_session(session), m_status(status), m_ports(ports) {
  setObjectName("mainFrame");
  setWindowIcon(CAboutDlg::ProgramIcon());
  // The window: bars, then the device-event registration.
  CreateActions();
  CreateMenus();
  CreateToolBar();
  CreateStatusBar();
  CreateAccelerators();
  m_status.Attach(this);
  Monitoring().OnCreate();

  // The view: its columns over the rows (the history is loaded by now).
  m_model = new DeviceTableModel(m_session.List(), this);
  m_view = new CWrenlocatorView(*m_model, this);
  setCentralWidget(m_view);
  WireReportCommands();
  WireDeviceCommands();

  setWindowTitle(WindowCaption(m_session.Simulation() != nullptr));
  qApp->installEventFilter(this);
  UpdateLockIndicators();
}

CMainFrame::~CMainFrame() {
  qApp->removeEventFilter(this);
  EndSession();
  m_status.Attach(nullptr);
}

QAction* CMainFrame::Action(const char* name) const { return findChild<QAction*>(name); }

void CMainFrame::CreateActions() {
  struct CommandText {
    const char* name;
    const char* text;    // menu text ("" for toolbar-only)
    const char* prompt;  // status-bar prompt
    const char* tip;     // tooltip
    QStyle::StandardPixmap pixmap;
    const char* themeIcon;
  };
  // Device Information, Audit and Search and Add are created disabled until
  // their handlers arrive (WireDeviceCommands).
  static const CommandText commands[] = {
      {"fileSaveAs", "Save &As...", "Save Active Document", "Save Active Document",
       QStyle::SP_DialogSaveButton, "document-save-as"},
      {"filePrint", "&Print...", "Print the active document", "Print", QStyle::SP_FileIcon,
       "document-print"},
      {"filePrintSetup", "P&rint Setup...", "Change the printer and printing options",
       "Print Setup", QStyle::SP_FileIcon, "document-print"},
      {"fileExit", "E&xit", "Quit the application; prompts to save documents", "Exit",
       QStyle::SP_DialogCloseButton, "application-exit"},
      {"viewToolbar", "&Toolbar", "Show or hide the toolbar", "Toggle ToolBar",
       QStyle::SP_CustomBase, ""},
      {"viewStatusBar", "&Status Bar", "Show or hide the status bar", "Toggle StatusBar",
       QStyle::SP_CustomBase, ""},
      {"monitoringRun", "Run...", "Run Bluetooth Monitoring", "Run Bluetooth Monitoring",
       QStyle::SP_MediaPlay, ""},
      {"toolsFileTransfer", "File Transfer Wizard", "Bluetooth File Transfer Wizard",
       "Bluetooth File Transfer Wizard", QStyle::SP_ArrowRight, ""},
      {"toolsMobileDevices", "Mobile Devices...", "Bluetooth Devices ", "Bluetooth Devices ",
       QStyle::SP_ComputerIcon, ""},
      {"toolsDeviceInformation", "Device Information...", "Device Information ",
       "Device Information ", QStyle::SP_CustomBase, ""},
      {"toolsAudit", "Audit Selected Device...", "Audit Selected Device ", "Audit Selected Device ",
       QStyle::SP_CustomBase, ""},
      {"toolsHistoryReport", "History Report", "History Report", "History Report",
       QStyle::SP_CustomBase, ""},
      {"updateCheck", "Check for Updates...", "Check for Updates", "Check for Updates",
       QStyle::SP_CustomBase, ""},
      {"helpTopics", "Help Topics...", "Help Topics", "Help Topics", QStyle::SP_CustomBase, ""},
      {"helpCheckUpdates", "Check for Updates...", "Check for Updates", "Check for Updates",
       QStyle::SP_CustomBase, ""},
      {"helpFaq", "Frequently Asked Questions...", "Frequently Asked Questions...",
       "Frequently Asked Questions...", QStyle::SP_CustomBase, ""},
      {"helpHomePage", "Wrenlocator Home Page...", "Wrenlocator Home Page", "Wrenlocator Home Page",
       QStyle::SP_CustomBase, ""},
      {"helpEmail", "E-Mail Support", "E-Mail Support", "E-Mail Support", QStyle::SP_CustomBase,
       ""},
      {"helpAbout", "&About Wrenlocator...",
       "Display program information, version number and copyright", "About",
       QStyle::SP_MessageBoxInformation, "help-about"},
      // Toolbar buttons.
      {"barSave", "", "Save Active Document", "Save Active Document", QStyle::SP_DialogSaveButton,
       "document-save"},
      {"barCopyRow", "", "Copy Selected Row", "Copy Selected Row", QStyle::SP_FileIcon,
       "edit-copy"},
      {"barCopyAll", "", "Copy All Items", "Copy All Items", QStyle::SP_FileDialogDetailedView,
       "edit-select-all"},
      {"barBluetoothDevices", "", "Bluetooth Devices", "Bluetooth Devices", QStyle::SP_ComputerIcon,
       "bluetooth"},
      {"barFileTransfer", "", "Bluetooth File Transfer Wizard", "Bluetooth File Transfer Wizard",
       QStyle::SP_ArrowRight, "document-send"},
      {"barSearchAdd", "", "Search and Add New Bluetooth Device",
       "Search and Add New Bluetooth Device", QStyle::SP_FileDialogNewFolder, "list-add"},
      {"barRun", "", "Run Bluetooth Monitoring", "Run Bluetooth Monitoring", QStyle::SP_MediaPlay,
       "media-playback-start"},
      {"barStop", "", "Stop Monitoring", "Stop Monitoring", QStyle::SP_MediaStop,
       "media-playback-stop"},
      {"barHistoryReport", "", "History Report", "History Report",
       QStyle::SP_FileDialogContentsView, "document-open-recent"},
      {"barAlarmLog", "", "Session Alarm Log", "Session Alarm Log", QStyle::SP_MessageBoxWarning,
       "text-x-generic"},
      {"barHomePage", "", "Product Home Page", "Product Home Page", QStyle::SP_DirHomeIcon,
       "go-home"},
      {"barCheckVersion", "", "Check New Version", "Check New Version", QStyle::SP_BrowserReload,
       "system-software-update"},
      {"barAbout", "", "About", "About", QStyle::SP_MessageBoxInformation, "help-about"},
      {"barHelp", "", "Help", "Help", QStyle::SP_DialogHelpButton, "help-contents"},
  };
  for (const CommandText& command : commands) {
    auto* action = new QAction(this);
    action->setObjectName(command.name);
    action->setText(*command.text ? command.text : command.tip);
    action->setStatusTip(command.prompt);
    action->setToolTip(command.tip);
    if (command.pixmap != QStyle::SP_CustomBase)
      action->setIcon(QIcon::fromTheme(command.themeIcon, style()->standardIcon(command.pixmap)));
  }
  // The style has no printer of its own: without a theme, the device
  // strip's printer keeps Print apart from the page-like copy buttons.
  if (!QIcon::hasThemeIcon("document-print")) {
    const QIcon printer = DeviceImageStrip::Shared().Icon(kPrinterImage);
    for (const char* name : {"filePrint", "filePrintSetup"}) Action(name)->setIcon(printer);
  }

  for (const char* later : {"toolsDeviceInformation", "toolsAudit", "barSearchAdd"})
    Action(later)->setEnabled(false);
  Action("filePrint")->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  Action("filePrint")->setShortcutContext(Qt::WindowShortcut);

  connect(Action("fileExit"), &QAction::triggered, this, &QWidget::close);
  connect(Action("monitoringRun"), &QAction::triggered, this, &CMainFrame::OnRunMonitoring);
  connect(Action("barRun"), &QAction::triggered, this, &CMainFrame::OnRunMonitoring);
  connect(Action("barStop"), &QAction::triggered, this, &CMainFrame::OnStopMonitoring);
  connect(Action("barAlarmLog"), &QAction::triggered, this, &CMainFrame::OnSessionAlarmLog);
  connect(Action("helpTopics"), &QAction::triggered, this, &CMainFrame::OnHelp);
  connect(Action("barHelp"), &QAction::triggered, this, &CMainFrame::OnHelp);
  connect(Action("helpFaq"), &QAction::triggered, this, &CMainFrame::OnHomePage);
  connect(Action("helpHomePage"), &QAction::triggered, this, &CMainFrame::OnHomePage);
  connect(Action("barHomePage"), &QAction::triggered, this, &CMainFrame::OnHomePage);
  connect(Action("helpEmail"), &QAction::triggered, this, &CMainFrame::OnEmailSupport);
  connect(Action("toolsMobileDevices"), &QAction::triggered, this, &CMainFrame::OnBluetoothDevices);
  connect(Action("barBluetoothDevices"), &QAction::triggered, this,
          &CMainFrame::OnBluetoothDevices);
  connect(Action("toolsFileTransfer"), &QAction::triggered, this,
          &CMainFrame::OnFileTransferWizard);
  connect(Action("barFileTransfer"), &QAction::triggered, this, &CMainFrame::OnFileTransferWizard);
  for (const char* name : {"fileSaveAs", "barSave"})
    connect(Action(name), &QAction::triggered, this, &CMainFrame::OnSaveAs);
  connect(Action("barCopyRow"), &QAction::triggered, this, &CMainFrame::OnCopyRow);
  connect(Action("barCopyAll"), &QAction::triggered, this, &CMainFrame::OnCopyAll);
  // An empty list prints too: the title, the headings and "Page 1 of 1".
  connect(Action("filePrint"), &QAction::triggered, this, &CMainFrame::OnPrint);
  connect(Action("filePrintSetup"), &QAction::triggered, this, &CMainFrame::OnPrintSetup);
  for (const char* name : {"toolsHistoryReport", "barHistoryReport"})
    connect(Action(name), &QAction::triggered, this, &CMainFrame::OnHistoryReport);
  for (const char* name : {"helpAbout", "barAbout"})
    connect(Action(name), &QAction::triggered, this, &CMainFrame::OnAbout);
  for (const char* name : {"updateCheck", "helpCheckUpdates", "barCheckVersion"})
    connect(Action(name), &QAction::triggered, this, &CMainFrame::OnCheckForUpdates);

  // The help page is installed with the program; without it Help is off.
  if (m_ports.helpPage.empty()) {
    for (const char* name : {"helpTopics", "barHelp"}) {
      Action(name)->setEnabled(false);
      Action(name)->setToolTip("Help: the help page is not installed");
    }
  }

  // The desktop's Bluetooth manager and send-file tool, when one is installed.
  const FoundTool manager = FindDesktopTool(m_ports.launcher, BluetoothManagerTools());
  m_bluetoothManager = manager.path;
  m_managerArgs = manager.args;
  if (!manager.Found()) {
    const QString why =
        QString::fromStdString(MissingToolTip("Bluetooth Devices", BluetoothManagerTools()));
    for (const char* name : {"toolsMobileDevices", "barBluetoothDevices"}) {
      Action(name)->setEnabled(false);
      Action(name)->setToolTip(why);
      Action(name)->setStatusTip(why);
    }
  }
  const FoundTool sender = FindDesktopTool(m_ports.launcher, SendFileTools());
  m_sendFileTool = sender.path;
  m_sendFileArgs = sender.args;
  if (!sender.Found()) {
    const QString why =
        QString::fromStdString(MissingToolTip("Bluetooth File Transfer Wizard", SendFileTools()));
    for (const char* name : {"toolsFileTransfer", "barFileTransfer"}) {
      Action(name)->setEnabled(false);
      Action(name)->setToolTip(why);
      Action(name)->setStatusTip(why);
    }
  }
}

void CMainFrame::CreateMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("menuBar");
  auto menu = [bar](const char* name, const char* title) {
    QMenu* m = bar->addMenu(title);
    m->setObjectName(name);
    m->setToolTipsVisible(true);
    return m;
  };
  QMenu* file = menu("menuFile", "&File");
  file->addAction(Action("fileSaveAs"));
  file->addSeparator();
  file->addAction(Action("filePrint"));
  file->addAction(Action("filePrintSetup"));
  file->addSeparator();
  file->addAction(Action("fileExit"));

  QMenu* view = menu("menuView", "&View");
  view->addAction(Action("viewToolbar"));
  view->addAction(Action("viewStatusBar"));

  QMenu* monitoring = menu("menuMonitoring", "&Monitoring");
  monitoring->addAction(Action("monitoringRun"));

  QMenu* tools = menu("menuTools", "&Tools");
  tools->addAction(Action("toolsFileTransfer"));
  tools->addSeparator();
  tools->addAction(Action("toolsMobileDevices"));
  tools->addSeparator();
  tools->addAction(Action("toolsDeviceInformation"));
  tools->addSeparator();
  tools->addAction(Action("toolsAudit"));
  tools->addSeparator();
  tools->addAction(Action("toolsHistoryReport"));

  QMenu* update = menu("menuUpdate", "&Update");
  update->addAction(Action("updateCheck"));

  QMenu* help = menu("menuHelp", "&Help");
  help->addAction(Action("helpTopics"));
  help->addSeparator();
  help->addAction(Action("helpCheckUpdates"));
  help->addSeparator();
  help->addAction(Action("helpFaq"));
  help->addSeparator();
  help->addAction(Action("helpHomePage"));
  help->addAction(Action("helpEmail"));
  help->addSeparator();
  QMenu* products = help->addMenu("Pelmark Products");
  products->setObjectName("menuProducts");
  for (const ProductLink& product : kProducts) {
    QAction* link = products->addAction(product.title);
    link->setStatusTip(QString("Open the web page of %1").arg(product.title));
    const std::string url = product.url;
    connect(link, &QAction::triggered, this, [this, url] { OpenUrl(url); });
  }
  help->addSeparator();
  help->addAction(Action("helpAbout"));
}

void CMainFrame::CreateToolBar() {
  m_toolBar = new QToolBar("Toolbar", this);
  m_toolBar->setObjectName("toolBar");
  m_toolBar->setMovable(false);
  m_toolBar->setFloatable(false);
  m_toolBar->setIconSize(QSize(16, 16));
  m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  addToolBar(Qt::TopToolBarArea, m_toolBar);
  const char* layout[] = {"barSave",
                          nullptr,
                          "barCopyRow",
                          "barCopyAll",
                          nullptr,
                          "filePrint",
                          nullptr,
                          "barBluetoothDevices",
                          "barFileTransfer",
                          "barSearchAdd",
                          nullptr,
                          "barRun",
                          "barStop",
                          nullptr,
                          "barHistoryReport",
                          "barAlarmLog",
                          nullptr,
                          "barHomePage",
                          "barCheckVersion",
                          nullptr,
                          "barAbout",
                          "barHelp"};
  for (const char* name : layout) {
    if (name)
      m_toolBar->addAction(Action(name));
    else
      m_toolBar->addSeparator();
  }
  QAction* toggle = Action("viewToolbar");
  toggle->setCheckable(true);
  toggle->setChecked(true);
  connect(toggle, &QAction::toggled, m_toolBar, &QWidget::setVisible);
  connect(m_toolBar, &QToolBar::visibilityChanged, toggle, &QAction::setChecked);
}

void CMainFrame::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("statusBar");
  m_statusPane = new QLabel("Ready", bar);
  m_statusPane->setObjectName("statusPane");
  m_statusPane->setTextFormat(Qt::PlainText);
  m_statusPane->setMinimumWidth(1);
  bar->addWidget(m_statusPane, 1);
  if (m_session.Simulation()) {
    auto* simulation = new QLabel("SIMULATION - no device is real", bar);
    simulation->setObjectName("simulationPane");
    simulation->setToolTip(QString::fromStdString(m_session.Stack().Description()));
    simulation->setStyleSheet("QLabel { color: #a00000; font-weight: bold; padding: 0 6px; }");
    bar->addPermanentWidget(simulation);
  }
  auto indicator = [bar](const char* name, const char* text) {
    auto* label = new QLabel(text, bar);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignCenter);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance("SCRL") + 12);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bar->addPermanentWidget(label);
    return label;
  };
  m_capsPane = indicator("capsPane", "CAP");
  m_numPane = indicator("numPane", "NUM");
  m_scrollPane = indicator("scrollPane", "SCRL");

  QAction* toggle = Action("viewStatusBar");
  toggle->setCheckable(true);
  toggle->setChecked(true);
  connect(toggle, &QAction::toggled, bar, &QWidget::setVisible);
}

void CMainFrame::CreateAccelerators() {
  // Accelerators of the window (Ctrl+P is Print's own shortcut): save acts;
  // new and open have no document to act on, and the editing and pane keys
  // are taken and do nothing, as the list has nothing to edit.
  struct Key {
    const char* name;
    QKeySequence keys;
  };
  const Key keys[] = {
      {"acceleratorNew", QKeySequence(Qt::CTRL | Qt::Key_N)},
      {"acceleratorOpen", QKeySequence(Qt::CTRL | Qt::Key_O)},
      {"acceleratorSave", QKeySequence(Qt::CTRL | Qt::Key_S)},
      {"acceleratorUndo", QKeySequence(Qt::CTRL | Qt::Key_Z)},
      {"acceleratorUndoAlt", QKeySequence(Qt::ALT | Qt::Key_Backspace)},
      {"acceleratorCut", QKeySequence(Qt::CTRL | Qt::Key_X)},
      {"acceleratorCutAlt", QKeySequence(Qt::SHIFT | Qt::Key_Delete)},
      {"acceleratorCopy", QKeySequence(Qt::CTRL | Qt::Key_C)},
      {"acceleratorCopyAlt", QKeySequence(Qt::CTRL | Qt::Key_Insert)},
      {"acceleratorPaste", QKeySequence(Qt::CTRL | Qt::Key_V)},
      {"acceleratorPasteAlt", QKeySequence(Qt::SHIFT | Qt::Key_Insert)},
      {"acceleratorNextPane", QKeySequence(Qt::Key_F6)},
      {"acceleratorPreviousPane", QKeySequence(Qt::SHIFT | Qt::Key_F6)},
  };
  for (const Key& key : keys) {
    auto* action = new QAction(this);
    action->setObjectName(key.name);
    action->setShortcut(key.keys);
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
  }
  // The list has no file of its own: Save asks where, as Save As does.
  connect(Action("acceleratorSave"), &QAction::triggered, this, &CMainFrame::OnSaveAs);
}

void CMainFrame::WireReportCommands() {
  if (!m_ports.clipboard) m_ownClipboard = std::make_unique<QtClipboard>();
  if (!m_ports.saveAs) m_ownSaveAs = std::make_unique<QtSaveAsDialog>(this);
  if (!m_ports.messages) m_ownMessages = std::make_unique<QtMessageBox>(this);
  m_messages = m_ports.messages ? m_ports.messages : m_ownMessages.get();
  m_reports = std::make_unique<ReportCommands>(
      m_ports.clipboard ? *m_ports.clipboard : *m_ownClipboard,
      m_ports.saveAs ? *m_ports.saveAs : *m_ownSaveAs, *m_messages);
  m_view->SetCopyRowHandler([this] { OnCopyRow(); });
  m_view->SetCopyAllHandler([this] { OnCopyAll(); });
  m_view->SetSaveAsHandler([this] { OnSaveAs(); });
}

// The device commands: the audit dialog the view keeps, with a gateway of
// its own kept alive by its query (a worker may still hold it), and Device
// Information over the device port when the stack has one.
void CMainFrame::WireDeviceCommands() {
  auto auditPlatform = std::make_shared<BluetoothPlatform>(m_session.Stack());
  m_view->SetAuditDialog(new CDeviceAuditDlg(
      [auditPlatform](const std::string& address, std::string& services, std::stop_token cancel) {
        return auditPlatform->QueryServices(address, services, cancel);
      }));
  connect(Action("toolsAudit"), &QAction::triggered, m_view,
          &CWrenlocatorView::AuditSelectedDevice);
  Action("toolsAudit")->setEnabled(true);

  platform::DeviceManager* devices = m_session.Devices();
  if (!devices) return;
  m_propertiesPlatform = std::make_unique<BluetoothPlatform>(m_session.Stack());
  m_deviceDialogs = std::make_unique<QtDeviceDialogs>(
      *devices,
      [this](const platform::DeviceProperties& device) {
        return Monitoring().Bluetooth().ProducerOf(device.address, device.le);
      },
      this);
  m_view->SetDeviceInformationHandler([this](const std::string& address) {
    m_propertiesPlatform->ShowDeviceProperties(*m_deviceDialogs, QtDeviceDialogs::HandleOf(this),
                                               address);
  });
  connect(Action("toolsDeviceInformation"), &QAction::triggered, m_view,
          &CWrenlocatorView::ShowDeviceInformation);
  Action("toolsDeviceInformation")->setEnabled(true);
  connect(Action("barSearchAdd"), &QAction::triggered, this, &CMainFrame::OnSearchAddDevice);
  Action("barSearchAdd")->setEnabled(true);
}

// The main frame's gateway runs the selection dialog with its add-device
// steps; what is added shows up in later scans.
void CMainFrame::OnSearchAddDevice() {
  if (!m_deviceDialogs) return;
  Monitoring().Bluetooth().SelectDevices(*m_deviceDialogs, QtDeviceDialogs::HandleOf(this));
}

void CMainFrame::ShowCentred() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
  resize(std::min(1024, available.width() * 9 / 10), std::min(640, available.height() * 9 / 10));
  show();
  const QRect frame = frameGeometry();
  move(available.center().x() - frame.width() / 2, available.center().y() - frame.height() / 2);
  setWindowTitle(WindowCaption(m_session.Simulation() != nullptr));
}

// Run and Run...: the search parameters first; a cancelled dialog changes nothing.
void CMainFrame::OnRunMonitoring() {
  SearchParamsRunDialog dialog(m_ports.sound, m_chooser, this);
  if (dialog.DoModal(Monitoring().SearchDialog()) != kDialogRun) return;
  Monitoring().RunMonitoring();
}

void CMainFrame::OnStopMonitoring() { Monitoring().OnStopMonitoring(); }

void CMainFrame::OnSessionAlarmLog() { m_ports.shell.OpenPath(Monitoring().AlarmLog().LogPath()); }

void CMainFrame::OnHelp() {
  if (!m_ports.helpPage.empty()) m_ports.shell.OpenPath(m_ports.helpPage);
}

void CMainFrame::OnHomePage() { OpenUrl(std::string(kHomePageUrl)); }

void CMainFrame::OnEmailSupport() {
  // "mailto:%s?subject=%s %s", the space escaped for a valid address.
  OpenUrl("mailto:" + std::string(kSupportMail) + "?subject=" + std::string(product::kName) +
          "%20" + std::string(product::kShortVersion));
}

void CMainFrame::OnBluetoothDevices() {
  if (!m_bluetoothManager.empty())
    m_ports.launcher.StartDetached(m_bluetoothManager, m_managerArgs);
}

void CMainFrame::OnFileTransferWizard() {
  if (!m_sendFileTool.empty()) m_ports.launcher.StartDetached(m_sendFileTool, m_sendFileArgs);
}

void CMainFrame::OpenUrl(const std::string& url) { m_ports.shell.OpenUrl(url); }

// Copy Row without a selected row leaves the clipboard as it is.
void CMainFrame::OnCopyRow() { m_reports->CopyRow(m_session.List(), m_view->SelectedRows()); }

void CMainFrame::OnCopyAll() { m_reports->CopyAll(m_session.List()); }

void CMainFrame::OnSaveAs() { m_reports->SaveAs(m_session.List()); }

QPrinter& CMainFrame::Printer() {
  // Made on first use: a printer is slow to set up and most sessions never print.
  if (!m_printer) m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  return *m_printer;
}

void CMainFrame::OnPrint() {
  const QHeaderView& header = *m_view->horizontalHeader();
  RunPrintCommand(this, Printer(), m_session.List(), DisplayOrderOf(header), LookOf(header),
                  *m_messages);
}

void CMainFrame::OnPrintSetup() { RunPrintSetupCommand(this, Printer()); }

// The file is saved first, so that the report shows this session's devices.
// When it could not be, the report is built from the history in memory: the
// store's document may then be empty or stale.
void CMainFrame::OnHistoryReport() {
  StripIconSource icons(DeviceImageStrip::Shared());
  bool saved = false;
  RunHistoryReport(
      this, [this, &saved](std::string& error) { return saved = m_session.SaveHistory(&error); },
      [this, &saved] {
        if (saved) return m_session.History().Store().File().GetDocumentText();
        return HistoryStore::DocumentText(m_session.History().List());
      },
      &icons, *m_messages);
}

void CMainFrame::OnAbout() {
  CAboutDlg dlg(m_ports.shell, this);
  dlg.exec();
}

void CMainFrame::OnCheckForUpdates() {
  platform::HttpClient* http = m_ports.http;
  if (!http) {
    if (!m_ownHttp) m_ownHttp = std::make_unique<platform::QtHttpClient>();
    http = m_ownHttp.get();
  }
  const std::string manifest =
      m_ports.manifestUrl.empty() ? ManifestUrl(nullptr) : m_ports.manifestUrl;
  CNewVersionDialog::CheckForUpdates(this, *http, m_ports.shell, manifest,
                                     std::string(kInstallerUrl),
                                     [](int i) { return DeviceImageStrip::Shared().Icon(i); });
}

QString CMainFrame::StatusText() const { return m_statusPane->text(); }

void CMainFrame::SetStatusText(const QString& text) {
  m_statusPane->setText(text);
  m_statusPane->repaint();
}

void CMainFrame::UpdateLockIndicators() {
  const std::optional<LockKeyState> locks = ReadLockKeys();
  const QString unknown = "Lock state not reported by this display";
  auto show = [&](QLabel* pane, std::optional<bool> on) {
    pane->setEnabled(on.value_or(false));
    pane->setToolTip(on ? QString() : unknown);
  };
  show(m_capsPane, locks ? std::optional<bool>(locks->caps) : std::nullopt);
  show(m_numPane, locks ? std::optional<bool>(locks->num) : std::nullopt);
  show(m_scrollPane, locks ? std::optional<bool>(locks->scroll) : std::nullopt);
}

void CMainFrame::AfterFirstPaint(std::function<void()> then) {
  m_afterFirstPaint = std::move(then);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  if (m_afterFirstPaint && event->type() == QEvent::Paint && m_view &&
      watched == m_view->viewport()) {
    // The paint runs after this filter; the call comes once it is done.
    QTimer::singleShot(0, this, [this, then = std::move(m_afterFirstPaint)] { then(); });
    m_afterFirstPaint = nullptr;
  }
  // Lock keys change only by a key press, ours or another program's seen
  // when the window comes back.
  if (event->type() == QEvent::KeyRelease || event->type() == QEvent::ApplicationActivate)
    UpdateLockIndicators();
  return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::EndSession() {
  if (m_ended) return;
  m_ended = true;
  m_session.Shutdown();
  std::string error;
  if (!m_session.SaveHistory(&error)) {
    m_saveError = error.empty() ? "history.xml not saved" : error;
    std::cerr << "wrenlocator: history.xml not saved: " << m_saveError << '\n';
  }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  EndSession();
  QMainWindow::closeEvent(event);
}

}  // namespace wren::gui
