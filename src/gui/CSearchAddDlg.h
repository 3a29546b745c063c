#pragma once
// "Search and Add New Bluetooth Device": discovers while it is open, lists
// the devices as they appear, change and go (unknown ones included), and
// adds the one the user picks: pairs with it, answering the stack's
// questions through its own pairing agent, then trusts it. Everything it
// does goes through the device manager port.
//
// Closing stops the discovery, cancels a pairing still in flight and gives
// up the pairing agent. Answers that arrive later are dropped.

#include <QDialog>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ports/DeviceManager.h"

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace wren::platform {
class UiPost;
}

namespace wren::gui {

class QtPairingAgent;
using platform::UiPost;

class CSearchAddDlg : public QDialog {
  Q_OBJECT
public:
  // The producer of a device; "" when unknown.
  using ProducerLookup = std::function<std::string(const platform::DeviceProperties&)>;

  // `producer` names the producers; without it the column stays empty.
  CSearchAddDlg(platform::DeviceManager& devices, const platform::DeviceSelection& selection,
                ProducerLookup producer = {}, QWidget* parent = nullptr);
  ~CSearchAddDlg() override;

  // The devices added (paired and trusted) while the dialog was open.
  const std::vector<platform::DeviceInfo>& Chosen() const { return m_chosen; }

  // The list's columns.
  enum Column { kName, kType, kAddress, kProducer, kSignal, kState, kColumns };

  // Starts discovering (done when first shown).
  void Start();
  // Stops discovering, cancels a pairing in flight, closes the prompts.
  void Stop();

  bool Discovering() const { return m_discovery != nullptr; }
  bool Pairing() const { return m_pairing.has_value(); }
  QTreeWidget* DeviceList() const { return m_list; }
  QLabel* StatusLabel() const { return m_status; }
  QPushButton* AddButton() const { return m_add; }
  QtPairingAgent& Agent() { return *m_agent; }
  // The row of `device`; null when it is not listed.
  QTreeWidgetItem* Row(platform::BluetoothAddress device) const;

  void done(int result) override;

protected:
  void showEvent(QShowEvent* event) override;

private:
  class Feed;

  void OnDeviceChanged(const platform::DeviceProperties& device);
  void OnDeviceRemoved(platform::BluetoothAddress device);
  bool Wanted(const platform::DeviceProperties& device) const;
  void Fill(QTreeWidgetItem* row, const platform::DeviceProperties& device);
  QString Describe(platform::BluetoothAddress device) const;
  void OnAdd();
  void OnPaired(platform::BluetoothAddress device, const platform::DeviceResult& result);
  void OnTrusted(platform::BluetoothAddress device, const platform::DeviceResult& result);
  // Puts `device` among the chosen ones (as paired, when it was).
  void Choose(platform::BluetoothAddress device, bool paired);
  void Failed(const QString& what, const platform::DeviceResult& result);
  void SetStatus(const QString& text, bool failure);
  void UpdateButtons();

  platform::DeviceManager& m_devices;
  platform::DeviceSelection m_selection;
  ProducerLookup m_producer;
  std::vector<platform::DeviceInfo> m_chosen;
  // The latest properties of every device listed, by address.
  std::map<std::uint64_t, platform::DeviceProperties> m_known;
  // The row of every device listed: a discovery reports often.
  std::map<std::uint64_t, QTreeWidgetItem*> m_rows;
  std::optional<platform::BluetoothAddress> m_pairing;
  QString m_pairingName;  // the device being paired, as the user knows it
  bool m_started = false;
  bool m_noRadio = false;

  QLabel* m_info = nullptr;
  QTreeWidget* m_list = nullptr;
  QLabel* m_status = nullptr;
  QPushButton* m_add = nullptr;
  QPushButton* m_close = nullptr;

  // Declared in this order so that they go in the reverse one: first the
  // registrations, then what they call.
  std::shared_ptr<UiPost> m_post;
  std::unique_ptr<Feed> m_feed;
  std::unique_ptr<QtPairingAgent> m_agent;
  std::unique_ptr<platform::NotificationHandle> m_watch;
  std::unique_ptr<platform::NotificationHandle> m_agentRegistration;
  std::unique_ptr<platform::DiscoverySession> m_discovery;
};

// Runs the dialog modally over `parent`; true when devices were added,
// which are then in `chosen`.
bool RunSearchAddDialog(QWidget* parent, platform::DeviceManager& devices,
                        const platform::DeviceSelection& selection,
                        std::vector<platform::DeviceInfo>& chosen,
                        CSearchAddDlg::ProducerLookup producer = {});

}  // namespace wren::gui
