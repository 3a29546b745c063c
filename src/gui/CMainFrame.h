#pragma once
// The main window: menus, toolbar, accelerators and status bar around the
// device list, driving the session's main-frame logic (monitoring cycle,
// event log, alarms). Construction follows the program's start-up order:
// the frame's logic first (settings, vendor database, history check, the
// start-up line of a fresh alarm log), then the bars and the device-event
// registration, then the list with the history loaded.

#include <QMainWindow>

#include <memory>
#include <string>

#include "app/MainFrame.h"
#include "history/HistoryStore.h"
#include "platform/ProgramLauncher.h"
#include "platform/Shell.h"
#include "view/DeviceListView.h"

class QAction;
class QLabel;
class QMenu;
class QToolBar;

namespace wren::gui {

class CWrenlocatorView;
class DeviceTableModel;

inline constexpr const char* kAppTitle = "Wrenlocator";

struct WindowPorts {
  platform::BluetoothStack& stack;
  platform::SettingsStore& settings;
  platform::SoundOutput& sound;
  platform::MessengerTransport& messenger;
  platform::Timer& timer;
  platform::WorkerStarter& workers;
  platform::Dispatcher& dispatcher;
  platform::Clock& clock;
  platform::Shell& shell;
  platform::ProgramLauncher& launcher;
  std::string simulation;  // what the simulated stack plays; "" on a real stack
  std::string helpPage;    // the help page's path; "" when none is installed
};

// The caption: the title alone on a real stack; a simulation says so.
QString WindowCaption(const std::string& simulation);

class CMainFrame : public QMainWindow {
  Q_OBJECT
public:
  explicit CMainFrame(const WindowPorts& ports, QWidget* parent = nullptr);
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

  // Pane 0 of the status bar.
  QString StatusText() const;
  void SetStatusText(const QString& text);

  MainFrame& Frame() { return *m_frame; }
  DeviceListView& ListState() { return m_list; }
  CWrenlocatorView& View() { return *m_view; }
  // A command's action by its objectName (tests, and the window's own wiring).
  QAction* Action(const char* name) const;

  // The last outcome of saving the history at close ("" when it was saved).
  const std::string& SaveError() const { return m_saveError; }

protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  class Status;
  class SearchDialogRunner;
  class ListMerge;

  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  void CreateStatusBar();
  void CreateAccelerators();
  void UpdateLockIndicators();
  void OpenUrl(const std::string& url);
  void EndSession();

  WindowPorts m_ports;
  std::unique_ptr<Status> m_status;
  std::unique_ptr<SearchDialogRunner> m_dialog;
  HistoryStore m_startupCheck;
  DeviceListView m_list;
  std::unique_ptr<ListMerge> m_merge;
  std::unique_ptr<MainFrame> m_frame;

  DeviceTableModel* m_model = nullptr;
  CWrenlocatorView* m_view = nullptr;
  QToolBar* m_toolBar = nullptr;
  QLabel* m_statusPane = nullptr;
  QLabel* m_capsPane = nullptr;
  QLabel* m_numPane = nullptr;
  QLabel* m_scrollPane = nullptr;
  std::string m_bluetoothManager, m_sendFileTool;
  std::vector<std::string> m_managerArgs, m_sendFileArgs;
  bool m_ended = false;
  std::string m_saveError;
};

}  // namespace wren::gui
