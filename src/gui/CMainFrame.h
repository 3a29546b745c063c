#pragma once
// The main window: menus, toolbar, accelerators and status bar around the
// device list, driving the session's main-frame logic (monitoring cycle,
// event log, alarms). Construction follows the program's start-up order:
// the frame's logic first (settings, vendor database, history check, the
// start-up line of a fresh alarm log), then the bars and the device-event
// registration, then the list with the history loaded.

#include <QMainWindow>

#include <functional>
#include <memory>
#include <string>

#include "core/monitor/Monitor.h"
#include "core/monitor/Session.h"
#include "gui/CSearchParamsDlg.h"
#include "gui/ReportCommands.h"
#include "ports/ProgramLauncher.h"
#include "ports/Shell.h"

class QAction;
class QLabel;
class QMenu;
class QPrinter;
class QToolBar;

namespace wren {
class BluetoothPlatform;
}

namespace wren::platform {
class HttpClient;
}

namespace wren::gui {

class CMainFrame;
class CWrenlocatorView;
class QtDeviceDialogs;
class DeviceTableModel;

inline constexpr const char* kAppTitle = "Wrenlocator";

// Pane 0 of the status bar as the session's status sink. A text given
// before the window exists (the stack's note) is shown once it does; log
// lines that could not be written are reported on standard error.
class WindowStatus : public StatusSink {
public:
  void SetStatusText(const std::string& text) override;
  void OnLogged(const std::string& line, const LogResult& result) override;
  void Attach(CMainFrame* window);

private:
  CMainFrame* m_window = nullptr;
  std::string m_pending;
};

// What the window needs beyond the session. The pointers may stay null:
// the window then uses the desktop's own (clipboard, file dialog, message
// box, HTTP).
struct WindowPorts {
  platform::SoundOutput& sound;  // the search dialog's Play
  platform::Shell& shell;
  platform::ProgramLauncher& launcher;
  std::string helpPage;  // the help page's path; "" when none is installed
  // The version manifest the update check fetches; "" for the maker's.
  std::string manifestUrl = {};
  platform::HttpClient* http = nullptr;
  ClipboardPort* clipboard = nullptr;
  SaveAsPort* saveAs = nullptr;
  MessagePort* messages = nullptr;
};

// The caption: the title alone on a real stack; a simulation says so.
QString WindowCaption(bool simulation);

class CMainFrame : public QMainWindow {
  Q_OBJECT
public:
  // The session is built (its frame has written the start-up line); the
  // window adds its bars, registers the frame for device events and shows
  // the list. `status` must be the session's status sink.
  CMainFrame(Session& session, WindowStatus& status, const WindowPorts& ports,
             QWidget* parent = nullptr);
  ~CMainFrame() override;

  // Shows the window centred on the screen, with its caption.
  void ShowCentred();

  // Commands.
  void OnRunMonitoring();
  void OnStopMonitoring();
  void OnSessionAlarmLog();
  void OnHelp();
  void OnHomePage();
  void OnEmailSupport();
  void OnBluetoothDevices();
  void OnFileTransferWizard();
  void OnSearchAddDevice();
  void OnCopyRow();
  void OnCopyAll();
  void OnSaveAs();
  void OnPrint();
  void OnPrintSetup();
  void OnHistoryReport();
  void OnAbout();
  void OnCheckForUpdates();

  // Pane 0 of the status bar.
  QString StatusText() const;
  void SetStatusText(const QString& text);

  Monitor& Monitoring() { return m_session.Monitoring(); }
  Session& GetSession() { return m_session; }
  CWrenlocatorView& View() { return *m_view; }
  // Runs `then` once, right after the list has first been painted.
  void AfterFirstPaint(std::function<void()> then);

  // A command's action by its objectName (tests, and the window's own wiring).
  QAction* Action(const char* name) const;

  // The window's printer: Print Setup's choices hold for the next Print.
  QPrinter& Printer();

  // The last outcome of saving the history at close ("" when it was saved).
  const std::string& SaveError() const { return m_saveError; }

protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  void CreateStatusBar();
  void CreateAccelerators();
  void UpdateLockIndicators();
  void OpenUrl(const std::string& url);
  void EndSession();
  void WireReportCommands();
  void WireDeviceCommands();

  Session& m_session;
  WindowStatus& m_status;
  WindowPorts m_ports;

  DeviceTableModel* m_model = nullptr;
  CWrenlocatorView* m_view = nullptr;
  QToolBar* m_toolBar = nullptr;
  QLabel* m_statusPane = nullptr;
  QLabel* m_capsPane = nullptr;
  QLabel* m_numPane = nullptr;
  QLabel* m_scrollPane = nullptr;
  std::string m_bluetoothManager, m_sendFileTool;
  std::vector<std::string> m_managerArgs, m_sendFileArgs;
  QtAlarmFileChooser m_chooser;
  // The desktop's own ports where the caller gave none.
  std::unique_ptr<platform::HttpClient> m_ownHttp;
  std::unique_ptr<ClipboardPort> m_ownClipboard;
  std::unique_ptr<SaveAsPort> m_ownSaveAs;
  std::unique_ptr<MessagePort> m_ownMessages;
  MessagePort* m_messages = nullptr;
  std::unique_ptr<ReportCommands> m_reports;
  std::unique_ptr<QPrinter> m_printer;
  // Device Information: its own gateway and the dialogs over the device port.
  std::unique_ptr<BluetoothPlatform> m_propertiesPlatform;
  std::unique_ptr<QtDeviceDialogs> m_deviceDialogs;
  std::function<void()> m_afterFirstPaint;
  bool m_ended = false;
  std::string m_saveError;
};

}  // namespace wren::gui
