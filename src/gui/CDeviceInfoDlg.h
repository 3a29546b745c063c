#pragma once
// Device Information: the properties of one remote device as the stack
// reports them, with the actions a property sheet offers (connect or
// disconnect, trust or untrust, block or unblock, rename, remove after a
// confirmation). It watches the device while open, so what it shows stays
// current. Every failed action says why in the dialog's status line.
//
// Results and listener calls of the device manager come on a thread of the
// stack, or inside the call: they are posted to the dialog's thread, and
// dropped once the dialog is gone.

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ports/DeviceManager.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace wren::platform {
class UiPost;
}

namespace wren::gui {

class CDeviceInfoDlg : public QDialog {
  Q_OBJECT
public:
  // The producer of a device, "" when it is not listed.
  using ProducerLookup = std::function<std::string(const platform::DeviceProperties&)>;
  // Asks for a new alias; none: the user cancelled.
  using AliasPrompt = std::function<std::optional<std::string>(QWidget*, const std::string&)>;
  // Asks whether the device may really be removed.
  using RemoveConfirm = std::function<bool(QWidget*, const std::string& name)>;

  // `device` is the device as a scan saw it; what the stack knows now
  // replaces it at once.
  CDeviceInfoDlg(platform::DeviceManager& devices, const platform::DeviceInfo& device,
                 ProducerLookup producer, QWidget* parent = nullptr);
  ~CDeviceInfoDlg() override;

  void SetAliasPrompt(AliasPrompt prompt) { m_askAlias = std::move(prompt); }
  void SetRemoveConfirm(RemoveConfirm confirm) { m_confirmRemove = std::move(confirm); }

  const platform::DeviceProperties& Shown() const { return m_device; }
  bool Known() const { return m_known; }

  // The actions, as the buttons run them.
  void OnConnect();
  void OnTrust();
  void OnBlock();
  void OnRename();
  void OnRemove();

  // The most rows the UUID list shows; the rest are counted in a last row.
  static constexpr int kMaxUuidRows = 500;
  // Names longer than this many characters are cut before eliding.
  static constexpr int kMaxShownChars = 256;

signals:
  // An action's answer arrived and is shown (tests, and anyone waiting).
  void actionFinished(bool ok);
  // The shown properties changed (a live update or a refresh).
  void propertiesShown();

private:
  class Listener;

  void Show(const platform::DeviceProperties& device);
  void Refresh();
  void OnRemoved();
  void Run(const QString& busy, const QString& success, bool closeOnSuccess,
           std::function<void(platform::DeviceDone)> action);
  void OnDone(const platform::DeviceResult& result, const QString& success, bool closeOnSuccess);
  void SetStatus(const QString& text, bool error);
  void EnableActions(bool enabled);

  platform::DeviceManager& m_devices;
  platform::DeviceProperties m_device;
  ProducerLookup m_producer;
  AliasPrompt m_askAlias;
  RemoveConfirm m_confirmRemove;
  bool m_known = false;
  bool m_busy = false;
  QString m_pendingSuccess;
  bool m_closeOnSuccess = false;

  std::shared_ptr<platform::UiPost> m_post;
  std::unique_ptr<Listener> m_listener;
  std::unique_ptr<platform::NotificationHandle> m_watch;

  QLabel* m_image = nullptr;
  QLabel* m_title = nullptr;
  QLabel* m_name = nullptr;
  QLabel* m_alias = nullptr;
  QLabel* m_address = nullptr;
  QLabel* m_producerText = nullptr;
  QLabel* m_class = nullptr;
  QLabel* m_type = nullptr;
  QLabel* m_services = nullptr;
  QLabel* m_paired = nullptr;
  QLabel* m_trusted = nullptr;
  QLabel* m_blocked = nullptr;
  QLabel* m_connected = nullptr;
  QLabel* m_rssi = nullptr;
  QLabel* m_txPower = nullptr;
  QLabel* m_lastSeen = nullptr;
  QLabel* m_lastUsed = nullptr;
  QListWidget* m_uuids = nullptr;
  QLabel* m_status = nullptr;
  QPushButton* m_connect = nullptr;
  QPushButton* m_trust = nullptr;
  QPushButton* m_block = nullptr;
  QPushButton* m_rename = nullptr;
  QPushButton* m_remove = nullptr;
};

// A text shown in one line: control characters become spaces and a text
// longer than `maxChars` is cut and marked with an ellipsis. The data it
// came from is kept whole.
QString ElidedLine(const std::string& text, int maxChars);

}  // namespace wren::gui
