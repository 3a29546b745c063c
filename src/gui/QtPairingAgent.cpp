#include "gui/QtPairingAgent.h"

#include <QWidget>

#include "base/BluetoothAddress.h"
#include "adapters/qt/UiPost.h"
#include "gui/ReplyOnce.h"

namespace wren::gui {

using platform::BluetoothAddress;
using Kind = CPairingPromptDlg::Kind;

QtPairingAgent::QtPairingAgent(QWidget* parent, std::function<QString(BluetoothAddress)> describe)
    : m_parent(parent), m_describe(std::move(describe)), m_post(std::make_shared<UiPost>(this)) {}

QtPairingAgent::~QtPairingAgent() {
  m_post->Detach();
  ClosePrompt();
}

void QtPairingAgent::ConfirmPasskey(BluetoothAddress device, std::uint32_t passkey,
                                    std::function<void(bool)> reply) {
  ReplyOnce<bool> once(std::move(reply), false);
  m_post->Post([this, device, passkey, once] {
    CPairingPromptDlg* prompt = Open(Kind::ConfirmPasskey, device);
    prompt->SetPasskey(passkey);
    connect(prompt, &QDialog::finished, this,
            [once](int result) { once(result == QDialog::Accepted); });
    prompt->open();
  });
}

void QtPairingAgent::DisplayPasskey(BluetoothAddress device, std::uint32_t passkey,
                                    std::uint16_t entered) {
  m_post->Post([this, device, passkey, entered] {
    // Each key typed on the device comes as a new call: the prompt stays.
    CPairingPromptDlg* prompt = m_prompt;
    const bool same = prompt && prompt->GetKind() == Kind::DisplayPasskey &&
                      prompt->property("device").toULongLong() == device.Value();
    if (!same) {
      prompt = Open(Kind::DisplayPasskey, device);
      prompt->open();
    }
    prompt->SetPasskey(passkey);
    prompt->SetEntered(entered);
  });
}

void QtPairingAgent::DisplayPinCode(BluetoothAddress device, const std::string& pin) {
  m_post->Post([this, device, pin] {
    CPairingPromptDlg* prompt = Open(Kind::DisplayPinCode, device);
    prompt->SetPin(QString::fromStdString(pin));
    prompt->open();
  });
}

void QtPairingAgent::RequestPinCode(BluetoothAddress device,
                                    std::function<void(std::optional<std::string>)> reply) {
  ReplyOnce<std::optional<std::string>> once(std::move(reply), std::nullopt);
  m_post->Post([this, device, once] {
    CPairingPromptDlg* prompt = Open(Kind::RequestPinCode, device);
    connect(prompt, &QDialog::finished, this, [once, prompt](int result) {
      std::optional<QString> pin = prompt->Pin();
      if (result != QDialog::Accepted || !pin) return once(std::nullopt);
      once(pin->toStdString());
    });
    prompt->open();
  });
}

void QtPairingAgent::RequestPasskey(BluetoothAddress device,
                                    std::function<void(std::optional<std::uint32_t>)> reply) {
  ReplyOnce<std::optional<std::uint32_t>> once(std::move(reply), std::nullopt);
  m_post->Post([this, device, once] {
    CPairingPromptDlg* prompt = Open(Kind::RequestPasskey, device);
    connect(prompt, &QDialog::finished, this, [once, prompt](int result) {
      once(result == QDialog::Accepted ? prompt->Passkey() : std::nullopt);
    });
    prompt->open();
  });
}

void QtPairingAgent::Cancel() {
  m_post->Post([this] { ClosePrompt(); });
}

void QtPairingAgent::ClosePrompt() {
  if (!m_prompt) return;
  m_closing = true;
  CPairingPromptDlg* prompt = m_prompt;
  m_prompt = nullptr;
  prompt->reject();  // declines its question, if it asked one
  prompt->deleteLater();
  m_closing = false;
}

CPairingPromptDlg* QtPairingAgent::Open(Kind kind, BluetoothAddress device) {
  ClosePrompt();
  const QString name = m_describe ? m_describe(device) : QString::fromStdString(device.Text());
  auto* prompt = new CPairingPromptDlg(kind, name, m_parent);
  prompt->setProperty("device", QVariant::fromValue<qulonglong>(device.Value()));
  m_prompt = prompt;
  connect(prompt, &QDialog::finished, this, [this, prompt, kind, device](int result) {
    if (m_prompt == prompt) m_prompt = nullptr;
    prompt->deleteLater();
    const bool shows = kind == Kind::DisplayPasskey || kind == Kind::DisplayPinCode;
    if (shows && result != QDialog::Accepted && !m_closing) emit DisplayDismissed(device);
  });
  return prompt;
}

}  // namespace wren::gui
