#pragma once
// The small window a pairing asks the user through: confirm the passkey
// both sides show, show a passkey or PIN to type on the device, or type
// the device's PIN or passkey here.

#include <QDialog>
#include <QString>

#include <cstdint>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace wren::gui {

class CPairingPromptDlg : public QDialog {
  Q_OBJECT
public:
  enum class Kind {
    ConfirmPasskey,
    DisplayPasskey,
    DisplayPinCode,
    RequestPinCode,
    RequestPasskey
  };

  // `device` names the device as the user knows it ("Phone (00:1A:...)").
  CPairingPromptDlg(Kind kind, const QString& device, QWidget* parent = nullptr);

  Kind GetKind() const { return m_kind; }
  const QString& Device() const { return m_device; }

  // What is shown: the passkey as six digits, or the PIN.
  void SetPasskey(std::uint32_t passkey);
  void SetPin(const QString& pin);
  // Display passkey: how many of its digits were typed on the device.
  void SetEntered(std::uint16_t entered);

  // What the user typed; none while it is not a valid answer.
  std::optional<QString> Pin() const;
  std::optional<std::uint32_t> Passkey() const;

  // "004711": a passkey as the six digits both sides show (more digits for
  // a value beyond 999999, which no stack should send).
  static QString PasskeyText(std::uint32_t passkey);
  // A PIN BlueZ takes: 1 to 16 bytes of UTF-8 with no control characters.
  static bool ValidPin(const QString& pin);
  // A passkey typed as 1 to 6 digits (0 to 999999); none for anything else.
  static std::optional<std::uint32_t> ParsePasskey(const QString& text);

  QLabel* Question() const { return m_question; }
  QLabel* Shown() const { return m_shown; }
  QLabel* Progress() const { return m_progress; }
  QLineEdit* Edit() const { return m_edit; }
  QPushButton* AcceptButton() const { return m_accept; }
  QPushButton* RejectButton() const { return m_reject; }

private:
  void UpdateAccept();

  Kind m_kind;
  QString m_device;
  QLabel* m_question = nullptr;
  QLabel* m_shown = nullptr;     // the passkey or PIN to compare or type
  QLabel* m_progress = nullptr;  // display passkey: digits typed so far
  QLineEdit* m_edit = nullptr;   // request PIN or passkey
  QPushButton* m_accept = nullptr;
  QPushButton* m_reject = nullptr;
};

}  // namespace wren::gui
