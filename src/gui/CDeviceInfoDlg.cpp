#include "gui/CDeviceInfoDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "core/bluetooth/BluetoothPlatform.h"
#include "core/bluetooth/ServiceTexts.h"
#include "adapters/qt/UiPost.h"
#include "gui/DeviceImageStrip.h"

namespace wren::gui {

using platform::UiPost;
namespace {

// A Bluetooth name is at most 248 bytes; an alias longer than that is refused.
constexpr std::size_t kMaxAliasBytes = 248;
// The widest a value is drawn, in pixels; longer texts are elided.
constexpr int kValueWidth = 380;

QString YesNo(bool value) { return value ? "Yes" : "No"; }

QString Decibels(const std::optional<std::int16_t>& value) {
  return value ? QString("%1 dBm").arg(*value) : QString("Not known");
}

QString TimeText(const platform::UtcTime& time) {
  if (time.IsZero()) return "Never";
  const std::string text = BluetoothPlatform::FormatStackTime(time);
  return text.empty() ? QString("Never") : QString::fromStdString(text);
}

std::optional<std::string> AskAlias(QWidget* parent, const std::string& current) {
  bool ok = false;
  const QString alias = QInputDialog::getText(
      parent, "Rename Device", "New name for this device (empty: its own):", QLineEdit::Normal,
      QString::fromStdString(current), &ok);
  if (!ok) return std::nullopt;
  return alias.toStdString();
}

bool ConfirmRemove(QWidget* parent, const std::string& name) {
  const QString question =
      QString("Remove %1?\n\nThe pairing and trust with this device are forgotten.")
          .arg(ElidedLine(name, CDeviceInfoDlg::kMaxShownChars));
  return QMessageBox::question(parent, "Remove Device", question,
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace

QString ElidedLine(const std::string& text, int maxChars) {
  // Cut before converting: a huge text costs no more than the bound.
  const std::size_t bytes = static_cast<std::size_t>(maxChars) * 4 + 4;
  QString line =
      QString::fromUtf8(text.data(), static_cast<qsizetype>(std::min(text.size(), bytes)));
  bool cut = text.size() > bytes;
  if (line.size() > maxChars) {
    line.truncate(maxChars);
    cut = true;
  }
  for (QChar& c : line)
    if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
        c == QChar::ParagraphSeparator)
      c = QChar(' ');
  if (cut) line += QChar(0x2026);
  return line;
}

class CDeviceInfoDlg::Listener : public platform::DeviceListener {
public:
  // Calls from the stack's threads reach `dialog` through `post` while the
  // dialog exists; afterwards they go nowhere.
  Listener(std::shared_ptr<UiPost> post, CDeviceInfoDlg* dialog, platform::BluetoothAddress address)
      : m_post(std::move(post)), m_dialog(dialog), m_address(address) {}
  void OnDeviceChanged(const platform::DeviceProperties& device, bool) override {
    if (device.address != m_address) return;
    m_post->Post([dialog = m_dialog, device] {
      // A device that was gone and is back: its actions work again.
      if (!dialog->m_known) dialog->SetStatus(QString(), false);
      dialog->m_known = true;
      dialog->Show(device);
    });
  }
  void OnDeviceRemoved(platform::BluetoothAddress address) override {
    if (address != m_address) return;
    m_post->Post([dialog = m_dialog] { dialog->OnRemoved(); });
  }

private:
  std::shared_ptr<UiPost> m_post;
  CDeviceInfoDlg* m_dialog;
  platform::BluetoothAddress m_address;
};

CDeviceInfoDlg::CDeviceInfoDlg(platform::DeviceManager& devices, const platform::DeviceInfo& device,
                               ProducerLookup producer, QWidget* parent)
    : QDialog(parent),
      m_devices(devices),
      m_producer(std::move(producer)),
      m_askAlias(AskAlias),
      m_confirmRemove(ConfirmRemove),
      m_post(std::make_shared<UiPost>(this)) {
  setObjectName("deviceInfoDialog");
  setWindowTitle("Device Information");

  m_image = new QLabel(this);
  m_image->setObjectName("infoImage");
  m_title = new QLabel(this);
  m_title->setObjectName("infoTitle");
  m_title->setTextFormat(Qt::PlainText);
  QFont big = m_title->font();
  big.setBold(true);
  big.setPointSizeF(big.pointSizeF() * 1.25);
  m_title->setFont(big);
  auto* head = new QHBoxLayout;
  head->addWidget(m_image);
  head->addWidget(m_title, 1);

  auto* form = new QFormLayout;
  form->setLabelAlignment(Qt::AlignRight);
  auto value = [this, form](const char* name, const QString& label) {
    auto* text = new QLabel(this);
    text->setObjectName(name);
    text->setTextFormat(Qt::PlainText);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(label, text);
    return text;
  };
  m_name = value("infoName", "Name:");
  m_alias = value("infoAlias", "Alias:");
  m_address = value("infoAddress", "Address:");
  m_producerText = value("infoProducer", "Producer:");
  m_class = value("infoClass", "Class of device:");
  m_type = value("infoType", "Type:");
  m_services = value("infoServiceClasses", "Service classes:");
  m_paired = value("infoPaired", "Paired:");
  m_trusted = value("infoTrusted", "Trusted:");
  m_blocked = value("infoBlocked", "Blocked:");
  m_connected = value("infoConnected", "Connected:");
  m_rssi = value("infoRssi", "Signal strength:");
  m_txPower = value("infoTxPower", "Transmit power:");
  m_lastSeen = value("infoLastSeen", "Last seen:");
  m_lastUsed = value("infoLastUsed", "Last used:");

  m_uuids = new QListWidget(this);
  m_uuids->setObjectName("infoUuids");
  m_uuids->setUniformItemSizes(true);
  m_uuids->setMinimumHeight(90);
  form->addRow("Services:", m_uuids);

  auto button = [this](const char* name, const QString& text, void (CDeviceInfoDlg::*slot)()) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, slot);
    return b;
  };
  m_connect = button("infoConnect", "Connect", &CDeviceInfoDlg::OnConnect);
  m_trust = button("infoTrust", "Trust", &CDeviceInfoDlg::OnTrust);
  m_block = button("infoBlock", "Block", &CDeviceInfoDlg::OnBlock);
  m_rename = button("infoRename", "Rename...", &CDeviceInfoDlg::OnRename);
  m_remove = button("infoRemove", "Remove...", &CDeviceInfoDlg::OnRemove);
  auto* actions = new QHBoxLayout;
  for (QPushButton* b : {m_connect, m_trust, m_block, m_rename, m_remove}) actions->addWidget(b);
  actions->addStretch(1);

  m_status = new QLabel(this);
  m_status->setObjectName("infoStatus");
  m_status->setTextFormat(Qt::PlainText);
  m_status->setWordWrap(true);

  auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
  close->setObjectName("infoButtons");
  connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(head);
  layout->addLayout(form, 1);
  layout->addLayout(actions);
  layout->addWidget(m_status);
  layout->addWidget(close);

  // What the scan saw stands in until the stack answers.
  platform::DeviceProperties shown;
  shown.address = device.address;
  shown.name = shown.alias = device.name;
  shown.classOfDevice = device.classOfDevice;
  shown.paired = device.authenticated;
  shown.connected = device.connected;
  shown.lastSeen = device.lastSeen;
  shown.lastUsed = device.lastUsed;
  m_known = m_devices.Properties(device.address, shown);
  Show(shown);
  if (!m_known) OnRemoved();

  m_listener = std::make_unique<Listener>(m_post, this, device.address);
  m_watch = m_devices.WatchDevices(*m_listener);
  // Wide enough for a service name with its full UUID.
  resize(std::max(sizeHint().width(), 580), sizeHint().height());
}

CDeviceInfoDlg::~CDeviceInfoDlg() {
  // No listener call after this, and no answer reaches the dialog.
  m_watch.reset();
  m_post->Detach();
}

void CDeviceInfoDlg::Show(const platform::DeviceProperties& device) {
  m_device = device;
  auto set = [](QLabel* label, const std::string& text) {
    const QString line = ElidedLine(text, kMaxShownChars);
    label->setText(label->fontMetrics().elidedText(line, Qt::ElideRight, kValueWidth));
    label->setToolTip(line != label->text() ? line : QString());
  };
  const std::string& shownName = device.alias.empty() ? device.name : device.alias;
  const std::string address = BluetoothPlatform::FormatAddress(device.address);
  set(m_title, shownName.empty() ? address : shownName);
  set(m_name, device.name.empty() ? std::string("(not known)") : device.name);
  set(m_alias, device.alias);
  m_address->setText(QString::fromStdString(address));
  const std::string producer = m_producer ? m_producer(device) : std::string();
  set(m_producerText, producer.empty() ? std::string("(not listed)") : producer);

  std::string type, services;
  const int image = BluetoothPlatform::DescribeDevice(device.classOfDevice, device.le, device.uuids,
                                                      type, services);
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%06X", device.classOfDevice);
  m_class->setText(hex);
  set(m_type, type);
  set(m_services, services.empty() ? std::string("(none)") : services);
  m_image->setPixmap(DeviceImageStrip::Shared().Pixmap(image).scaled(
      DeviceImageStrip::kWidth * 2, DeviceImageStrip::kHeight * 2));

  m_paired->setText(YesNo(device.paired));
  m_trusted->setText(YesNo(device.trusted));
  m_blocked->setText(YesNo(device.blocked));
  m_connected->setText(YesNo(device.connected));
  m_rssi->setText(Decibels(device.rssi));
  m_txPower->setText(Decibels(device.txPower));
  m_lastSeen->setText(TimeText(device.lastSeen));
  m_lastUsed->setText(TimeText(device.lastUsed));

  m_uuids->clear();
  const std::size_t shownRows = std::min<std::size_t>(device.uuids.size(), kMaxUuidRows);
  QStringList rows;
  rows.reserve(static_cast<qsizetype>(shownRows) + 1);
  for (std::size_t i = 0; i < shownRows; ++i) {
    const std::string& uuid = device.uuids[i];
    const std::string name = ServiceUuidName(uuid);
    const QString text = ElidedLine(uuid, 64);
    rows << (name.empty() ? text : QString("%1 (%2)").arg(QString::fromStdString(name), text));
  }
  if (device.uuids.size() > shownRows)
    rows << QString("... and %1 more").arg(device.uuids.size() - shownRows);
  m_uuids->addItems(rows);
  for (int i = 0; i < m_uuids->count(); ++i) m_uuids->item(i)->setToolTip(rows[i]);

  m_connect->setText(device.connected ? "Disconnect" : "Connect");
  m_trust->setText(device.trusted ? "Untrust" : "Trust");
  m_block->setText(device.blocked ? "Unblock" : "Block");
  EnableActions(m_known && !m_busy);
  emit propertiesShown();
}

void CDeviceInfoDlg::Refresh() {
  platform::DeviceProperties now;
  if (m_devices.Properties(m_device.address, now)) {
    m_known = true;
    Show(now);
  }
}

void CDeviceInfoDlg::OnRemoved() {
  m_known = false;
  EnableActions(false);
  SetStatus("The Bluetooth stack no longer knows this device.", true);
}

void CDeviceInfoDlg::EnableActions(bool enabled) {
  for (QPushButton* b : {m_connect, m_trust, m_block, m_rename, m_remove}) b->setEnabled(enabled);
}

void CDeviceInfoDlg::SetStatus(const QString& text, bool error) {
  m_status->setText(text);
  m_status->setStyleSheet(error ? "QLabel { color: #b00000; }" : QString());
}

void CDeviceInfoDlg::Run(const QString& busy, const QString& success, bool closeOnSuccess,
                         std::function<void(platform::DeviceDone)> action) {
  if (m_busy || !m_known) return;
  m_busy = true;
  m_pendingSuccess = success;
  m_closeOnSuccess = closeOnSuccess;
  EnableActions(false);
  SetStatus(busy, false);
  action([post = m_post, dialog = this](const platform::DeviceResult& result) {
    post->Post([dialog, result] {
      dialog->OnDone(result, dialog->m_pendingSuccess, dialog->m_closeOnSuccess);
    });
  });
}

void CDeviceInfoDlg::OnDone(const platform::DeviceResult& result, const QString& success,
                            bool closeOnSuccess) {
  m_busy = false;
  m_closeOnSuccess = false;
  if (result.ok) {
    SetStatus(success, false);
    Refresh();
    EnableActions(m_known);
    emit actionFinished(true);
    if (closeOnSuccess) accept();
    return;
  }
  // Never an empty failure: the stack's words, else its error's.
  const QString text = QString::fromStdString(platform::DeviceErrorText(result));
  SetStatus(ElidedLine(text.toStdString(), 1024), true);
  Refresh();
  EnableActions(m_known);
  emit actionFinished(false);
}

void CDeviceInfoDlg::OnConnect() {
  const platform::BluetoothAddress address = m_device.address;
  if (m_device.connected) {
    Run("Disconnecting...", "Disconnected.", false, [this, address](platform::DeviceDone done) {
      m_devices.Disconnect(address, std::move(done));
    });
  } else {
    Run("Connecting...", "Connected.", false, [this, address](platform::DeviceDone done) {
      m_devices.Connect(address, std::move(done));
    });
  }
}

void CDeviceInfoDlg::OnTrust() {
  const bool trust = !m_device.trusted;
  Run(trust ? "Trusting..." : "Untrusting...", trust ? "Trusted." : "No longer trusted.", false,
      [this, address = m_device.address, trust](platform::DeviceDone done) {
        m_devices.SetTrusted(address, trust, std::move(done));
      });
}

void CDeviceInfoDlg::OnBlock() {
  const bool block = !m_device.blocked;
  Run(block ? "Blocking..." : "Unblocking...", block ? "Blocked." : "Unblocked.", false,
      [this, address = m_device.address, block](platform::DeviceDone done) {
        m_devices.SetBlocked(address, block, std::move(done));
      });
}

void CDeviceInfoDlg::OnRename() {
  if (m_busy || !m_known || !m_askAlias) return;
  const std::optional<std::string> alias = m_askAlias(this, m_device.alias);
  if (!alias) return;
  if (alias->size() > kMaxAliasBytes) {
    SetStatus(QString("The name is too long: at most %1 bytes.").arg(kMaxAliasBytes), true);
    return;
  }
  const QString success = alias->empty() ? "The device has its own name again." : "Renamed.";
  Run("Renaming...", success, false,
      [this, address = m_device.address, alias = *alias](platform::DeviceDone done) {
        m_devices.SetAlias(address, alias, std::move(done));
      });
}

void CDeviceInfoDlg::OnRemove() {
  if (m_busy || !m_known || !m_confirmRemove) return;
  const std::string& name = m_device.alias.empty() ? m_device.name : m_device.alias;
  if (!m_confirmRemove(this,
                       name.empty() ? BluetoothPlatform::FormatAddress(m_device.address) : name))
    return;
  Run("Removing...", "Removed.", true,
      [this, address = m_device.address](platform::DeviceDone done) {
        m_devices.Remove(address, std::move(done));
      });
}

}  // namespace wren::gui
