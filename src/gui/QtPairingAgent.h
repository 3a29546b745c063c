#pragma once
// The pairing agent of the add-device dialog: every question of the stack
// becomes a CPairingPromptDlg over the dialog. Questions arrive on a thread
// of the stack and are posted to the user-interface thread; the answer
// goes back from there. One prompt is open at a time: a new question
// replaces (and declines) the one before, and the stack's Cancel closes it.
// A question still open when the agent goes is declined.

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

#include "gui/CPairingPromptDlg.h"
#include "ports/DeviceManager.h"

namespace wren::platform {
class UiPost;
}

namespace wren::gui {

using platform::UiPost;

class QtPairingAgent final : public QObject, public platform::PairingAgent {
  Q_OBJECT
public:
  // Prompts open over `parent`; `describe` names a device for them
  // (its address when not given).
  explicit QtPairingAgent(QWidget* parent,
                          std::function<QString(platform::BluetoothAddress)> describe = {});
  ~QtPairingAgent() override;

  // PairingAgent: from any thread.
  void ConfirmPasskey(platform::BluetoothAddress device, std::uint32_t passkey,
                      std::function<void(bool)> reply) override;
  void DisplayPasskey(platform::BluetoothAddress device, std::uint32_t passkey,
                      std::uint16_t entered) override;
  void DisplayPinCode(platform::BluetoothAddress device, const std::string& pin) override;
  void RequestPinCode(platform::BluetoothAddress device,
                      std::function<void(std::optional<std::string>)> reply) override;
  void RequestPasskey(platform::BluetoothAddress device,
                      std::function<void(std::optional<std::uint32_t>)> reply) override;
  void Cancel() override;

  // User-interface thread. The prompt open now, or null.
  CPairingPromptDlg* OpenPrompt() const { return m_prompt.data(); }
  // Closes the open prompt, declining its question (the pairing ended).
  void ClosePrompt();

signals:
  // The user dismissed a prompt that shows a passkey or PIN: such a
  // question has no answer, so whoever paired should cancel the pairing.
  void DisplayDismissed(platform::BluetoothAddress device);

private:
  // Opens a prompt of `kind` for `device`, closing the one before.
  CPairingPromptDlg* Open(CPairingPromptDlg::Kind kind, platform::BluetoothAddress device);

  QPointer<QWidget> m_parent;
  std::function<QString(platform::BluetoothAddress)> m_describe;
  std::shared_ptr<UiPost> m_post;
  QPointer<CPairingPromptDlg> m_prompt;
  bool m_closing = false;  // our own close: no DisplayDismissed
};

}  // namespace wren::gui
