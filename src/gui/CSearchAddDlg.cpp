#include "gui/CSearchAddDlg.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <string>

#include "gui/DeviceImageStrip.h"
#include "gui/QtPairingAgent.h"
#include "adapters/qt/UiPost.h"
#include "core/bluetooth/BluetoothPlatform.h"

namespace wren::gui {

using platform::BluetoothAddress;
using platform::DeviceProperties;
using platform::DeviceResult;

namespace {

constexpr int kAddressRole = Qt::UserRole;
constexpr std::size_t kNameMax = 248;

QString ShownName(const DeviceProperties& d) {
  const std::string& name = d.alias.empty() ? d.name : d.alias;
  if (name.empty()) return "(no name)";
  // A Bluetooth name has at most 248 bytes; whatever a stack passes on
  // beyond that is cut, so that a huge name cannot slow the list down.
  std::size_t keep = std::min(name.size(), kNameMax);
  // Never in the middle of a character.
  while (keep < name.size() && keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
    --keep;
  QString text = QString::fromUtf8(name.data(), static_cast<qsizetype>(keep));
  if (keep < name.size()) text += QChar(0x2026);
  // A tab or line break in a device's name would break the row apart.
  for (QChar& c : text)
    if (c.category() == QChar::Other_Control) c = QChar(' ');
  return text;
}

QString StateText(const DeviceProperties& d) {
  QStringList parts;
  if (d.paired) parts << "Paired";
  if (d.trusted) parts << "Trusted";
  if (d.connected) parts << "Connected";
  if (d.blocked) parts << "Blocked";
  return parts.join(", ");
}

}  // namespace

// Hears the stack on its thread and posts what it hears to the dialog.
class CSearchAddDlg::Feed final : public platform::DeviceListener {
public:
  Feed(std::shared_ptr<UiPost> post, CSearchAddDlg* dialog)
      : m_post(std::move(post)), m_dialog(dialog) {}

  void OnDeviceChanged(const DeviceProperties& device, bool) override {
    m_post->Post([dialog = m_dialog, device] { dialog->OnDeviceChanged(device); });
  }
  void OnDeviceRemoved(BluetoothAddress device) override {
    m_post->Post([dialog = m_dialog, device] { dialog->OnDeviceRemoved(device); });
  }

private:
  std::shared_ptr<UiPost> m_post;
  CSearchAddDlg* m_dialog;
};

CSearchAddDlg::CSearchAddDlg(platform::DeviceManager& devices,
                             const platform::DeviceSelection& selection, ProducerLookup producer,
                             QWidget* parent)
    : QDialog(parent),
      m_devices(devices),
      m_selection(selection),
      m_producer(std::move(producer)),
      m_post(std::make_shared<UiPost>(this)) {
  setObjectName("searchAddDlg");
  setWindowTitle("Search and Add New Bluetooth Device");
  auto* layout = new QVBoxLayout(this);

  m_info = new QLabel(this);
  m_info->setObjectName("searchInfo");
  m_info->setWordWrap(true);
  m_info->setTextFormat(Qt::PlainText);
  m_info->setText(!selection.info.empty() ? QString::fromStdString(selection.info)
                  : selection.addNewDeviceWizard
                      ? QString("Switch the device on and make it discoverable. Select it once it "
                                "appears below, then press Add to pair with it and trust it.")
                      : QString("Select a Bluetooth device."));
  layout->addWidget(m_info);

  m_list = new QTreeWidget(this);
  m_list->setObjectName("deviceList");
  m_list->setColumnCount(kColumns);
  m_list->setHeaderLabels({"Name", "Type", "Address", "Producer", "Signal", "State"});
  m_list->setRootIsDecorated(false);
  m_list->setUniformRowHeights(true);
  m_list->setSelectionMode(QAbstractItemView::SingleSelection);
  m_list->setAllColumnsShowFocus(true);
  m_list->setIconSize(QSize(DeviceImageStrip::kWidth, DeviceImageStrip::kHeight));
  m_list->setTextElideMode(Qt::ElideRight);
  QHeaderView* header = m_list->header();
  header->setStretchLastSection(false);
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->resizeSection(kName, 170);
  header->resizeSection(kType, 145);
  header->resizeSection(kAddress, 125);
  header->resizeSection(kProducer, 150);
  header->resizeSection(kSignal, 65);
  header->setSectionResizeMode(kState, QHeaderView::Stretch);
  layout->addWidget(m_list, 1);

  m_status = new QLabel(this);
  m_status->setObjectName("searchStatus");
  m_status->setWordWrap(true);
  m_status->setTextFormat(Qt::PlainText);
  m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_status->setMinimumHeight(2 * m_status->fontMetrics().lineSpacing());
  layout->addWidget(m_status);

  auto* buttons = new QHBoxLayout;
  m_add = new QPushButton(selection.addNewDeviceWizard ? "&Add" : "&Select", this);
  m_add->setObjectName("addButton");
  m_add->setToolTip(selection.addNewDeviceWizard ? "Pair with the selected device and trust it"
                                                 : "Choose the selected device");
  m_close = new QPushButton("Close", this);
  m_close->setObjectName("closeButton");
  buttons->addWidget(m_add);
  buttons->addStretch(1);
  buttons->addWidget(m_close);
  layout->addLayout(buttons);

  connect(m_add, &QPushButton::clicked, this, &CSearchAddDlg::OnAdd);
  connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
  connect(m_list, &QTreeWidget::currentItemChanged, this, [this] { UpdateButtons(); });
  connect(m_list, &QTreeWidget::itemActivated, this, [this] { OnAdd(); });

  m_feed = std::make_unique<Feed>(m_post, this);
  m_agent = std::make_unique<QtPairingAgent>(
      this, [this](BluetoothAddress device) { return Describe(device); });
  connect(m_agent.get(), &QtPairingAgent::DisplayDismissed, this, [this](BluetoothAddress device) {
    // A passkey or PIN shown and then dismissed: the user gives up.
    if (m_pairing && *m_pairing == device) m_devices.CancelPairing(device, [](const auto&) {});
  });

  resize(860, 400);
  UpdateButtons();
}

CSearchAddDlg::~CSearchAddDlg() {
  m_post->Detach();
  Stop();
}

void CSearchAddDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  Start();
}

void CSearchAddDlg::done(int result) {
  Stop();
  QDialog::done(result);
}

void CSearchAddDlg::Start() {
  if (m_started) return;
  m_started = true;
  m_watch = m_devices.WatchDevices(*m_feed);
  m_agentRegistration = m_devices.RegisterPairingAgent(*m_agent);
  for (const DeviceProperties& device : m_devices.Devices()) OnDeviceChanged(device);
  m_discovery = m_devices.StartDiscovery();
  if (!m_discovery) {
    m_noRadio = true;
    SetStatus(
        "No Bluetooth adapter is available to search with. Plug one in or switch it on, then "
        "open this dialog again.",
        true);
  } else {
    SetStatus("Searching for devices...", false);
  }
  UpdateButtons();
}

void CSearchAddDlg::Stop() {
  if (m_pairing) {
    // Answered later, if at all; nobody waits for it.
    m_devices.CancelPairing(*m_pairing, [](const DeviceResult&) {});
    m_pairing.reset();
  }
  if (m_agent) m_agent->ClosePrompt();
  m_discovery.reset();
  m_agentRegistration.reset();
  m_watch.reset();
  UpdateButtons();
}

QTreeWidgetItem* CSearchAddDlg::Row(BluetoothAddress device) const {
  auto it = m_rows.find(device.Value());
  return it == m_rows.end() ? nullptr : it->second;
}

bool CSearchAddDlg::Wanted(const DeviceProperties& d) const {
  const platform::DeviceSelection& s = m_selection;
  if (!s.showAuthenticated && !s.showRemembered && !s.showUnknown) return true;
  const bool remembered = d.paired || d.trusted;
  return (s.showAuthenticated && d.paired) || (s.showRemembered && remembered) ||
         (s.showUnknown && !remembered);
}

void CSearchAddDlg::OnDeviceChanged(const DeviceProperties& device) {
  QTreeWidgetItem* row = Row(device.address);
  if (!row) {
    // The filter picks what is listed; once listed, a device stays while
    // it is there, also when pairing makes it a remembered one.
    if (!Wanted(device)) return;
    row = new QTreeWidgetItem(m_list);
    m_rows[device.address.Value()] = row;
    row->setData(kName, kAddressRole, QVariant::fromValue<qulonglong>(device.address.Value()));
  }
  m_known[device.address.Value()] = device;
  Fill(row, device);
  UpdateButtons();
}

void CSearchAddDlg::OnDeviceRemoved(BluetoothAddress device) {
  delete Row(device);
  m_rows.erase(device.Value());
  m_known.erase(device.Value());
  UpdateButtons();
}

void CSearchAddDlg::Fill(QTreeWidgetItem* row, const DeviceProperties& d) {
  std::string type, services;
  const int image =
      BluetoothPlatform::DescribeDevice(d.classOfDevice, d.le, d.uuids, type, services);
  const std::string producer = m_producer ? m_producer(d) : std::string();
  const QString name = ShownName(d);
  row->setText(kName, name);
  row->setToolTip(kName, name);
  row->setIcon(kName, DeviceImageStrip::Shared().Icon(image));
  row->setText(kType, QString::fromStdString(type));
  row->setToolTip(kType, QString::fromStdString(type));
  row->setText(kAddress, QString::fromStdString(d.address.Text()));
  row->setText(kProducer, QString::fromStdString(producer));
  row->setToolTip(kProducer, QString::fromStdString(producer));
  row->setText(kSignal, d.rssi ? QString("%1 dBm").arg(*d.rssi) : QString());
  row->setText(kState, StateText(d));
  row->setToolTip(kState, StateText(d));
}

QString CSearchAddDlg::Describe(BluetoothAddress device) const {
  auto it = m_known.find(device.Value());
  const QString address = QString::fromStdString(device.Text());
  if (it == m_known.end()) return address;
  return QString("\"%1\" (%2)").arg(ShownName(it->second), address);
}

void CSearchAddDlg::OnAdd() {
  QTreeWidgetItem* row = m_list->currentItem();
  if (!row || m_pairing || !m_add->isEnabled()) return;
  const BluetoothAddress device = row->data(kName, kAddressRole).toULongLong();
  if (!m_selection.addNewDeviceWizard) {
    // Only a choice: the device as it is, nothing paired.
    Choose(device, false);
    accept();
    return;
  }
  m_pairing = device;
  m_pairingName = Describe(device);
  SetStatus(QString("Pairing with %1... Answer what it asks.").arg(m_pairingName), false);
  UpdateButtons();
  auto post = m_post;
  m_devices.Pair(device, [post, this, device](const DeviceResult& result) {
    post->Post([this, device, result] { OnPaired(device, result); });
  });
}

void CSearchAddDlg::OnPaired(BluetoothAddress device, const DeviceResult& result) {
  if (!m_pairing || *m_pairing != device) return;  // cancelled since
  m_agent->ClosePrompt();
  if (!result.ok) {
    m_pairing.reset();
    Failed(QString("Pairing with %1 failed").arg(m_pairingName), result);
    UpdateButtons();
    return;
  }
  SetStatus(QString("Paired with %1. Trusting it...").arg(m_pairingName), false);
  auto post = m_post;
  m_devices.SetTrusted(device, true, [post, this, device](const DeviceResult& r) {
    post->Post([this, device, r] { OnTrusted(device, r); });
  });
}

void CSearchAddDlg::OnTrusted(BluetoothAddress device, const DeviceResult& result) {
  if (!m_pairing || *m_pairing != device) return;
  m_pairing.reset();
  // Paired is added, trusted or not.
  Choose(device, true);
  if (!result.ok) {
    Failed(QString("%1 is paired, but could not be trusted").arg(m_pairingName), result);
  } else {
    SetStatus(QString("%1 was added: it is paired and trusted. The device list shows it from the "
                      "next scan.")
                  .arg(m_pairingName),
              false);
  }
  UpdateButtons();
}

void CSearchAddDlg::Choose(BluetoothAddress device, bool paired) {
  platform::DeviceInfo info;
  info.address = device;
  auto it = m_known.find(device.Value());
  if (it != m_known.end()) {
    const DeviceProperties& p = it->second;
    info.name = p.alias.empty() ? p.name : p.alias;
    info.classOfDevice = p.classOfDevice;
    info.connected = p.connected;
    info.authenticated = p.paired;
    info.remembered = p.paired || p.trusted;
    info.lastSeen = p.lastSeen;
    info.lastUsed = p.lastUsed;
  }
  if (paired) info.authenticated = info.remembered = true;
  std::erase_if(m_chosen, [&](const platform::DeviceInfo& d) { return d.address == device; });
  m_chosen.push_back(info);
}

void CSearchAddDlg::Failed(const QString& what, const DeviceResult& result) {
  const std::string text = platform::DeviceErrorText(result);
  SetStatus(QString("%1: %2").arg(what, QString::fromStdString(text)), true);
}

void CSearchAddDlg::SetStatus(const QString& text, bool failure) {
  m_status->setText(text);
  m_status->setProperty("failure", failure);
  m_status->setStyleSheet(failure ? "QLabel { color: #a00000; }" : QString());
}

void CSearchAddDlg::UpdateButtons() {
  // Choosing without pairing needs no radio; adding does.
  const bool radio = m_discovery != nullptr || !m_selection.addNewDeviceWizard;
  const bool can = m_started && radio && !m_pairing && m_list->currentItem() != nullptr;
  m_add->setEnabled(can);
  m_add->setDefault(can);
  m_close->setDefault(!can);
}

bool RunSearchAddDialog(QWidget* parent, platform::DeviceManager& devices,
                        const platform::DeviceSelection& selection,
                        std::vector<platform::DeviceInfo>& chosen,
                        CSearchAddDlg::ProducerLookup producer) {
  CSearchAddDlg dialog(devices, selection, std::move(producer), parent);
  dialog.exec();
  chosen = dialog.Chosen();
  return !chosen.empty();
}

}  // namespace wren::gui
