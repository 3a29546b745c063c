#include "gui/CPairingPromptDlg.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace wren::gui {
namespace {

constexpr int kPinBytes = 16;
constexpr std::uint32_t kPasskeyMax = 999999;

QString TitleOf(CPairingPromptDlg::Kind kind) {
  using Kind = CPairingPromptDlg::Kind;
  switch (kind) {
    case Kind::ConfirmPasskey:
      return "Confirm Bluetooth Passkey";
    case Kind::DisplayPasskey:
      return "Type Bluetooth Passkey";
    case Kind::DisplayPinCode:
      return "Type Bluetooth PIN";
    case Kind::RequestPinCode:
      return "Enter Bluetooth PIN";
    case Kind::RequestPasskey:
      return "Enter Bluetooth Passkey";
  }
  return "Bluetooth Pairing";
}

QString QuestionOf(CPairingPromptDlg::Kind kind, const QString& device) {
  using Kind = CPairingPromptDlg::Kind;
  switch (kind) {
    case Kind::ConfirmPasskey:
      return QString("Does %1 show this passkey?").arg(device);
    case Kind::DisplayPasskey:
      return QString("Type this passkey on %1, then press its Enter key:").arg(device);
    case Kind::DisplayPinCode:
      return QString("Type this PIN on %1:").arg(device);
    case Kind::RequestPinCode:
      return QString(
                 "Enter the PIN of %1 (1 to 16 characters).\nA device without a keypad "
                 "often uses 0000 or 1234; its manual says which.")
          .arg(device);
    case Kind::RequestPasskey:
      return QString("Enter the six-digit passkey that %1 shows:").arg(device);
  }
  return device;
}

}  // namespace

CPairingPromptDlg::CPairingPromptDlg(Kind kind, const QString& device, QWidget* parent)
    : QDialog(parent), m_kind(kind), m_device(device) {
  setObjectName("pairingPrompt");
  setWindowTitle(TitleOf(kind));
  auto* layout = new QVBoxLayout(this);

  m_question = new QLabel(QuestionOf(kind, device), this);
  m_question->setObjectName("promptQuestion");
  m_question->setTextFormat(Qt::PlainText);
  m_question->setWordWrap(true);
  layout->addWidget(m_question);

  if (kind == Kind::RequestPinCode || kind == Kind::RequestPasskey) {
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(kind == Kind::RequestPinCode ? "pinEdit" : "passkeyEdit");
    if (kind == Kind::RequestPinCode) {
      m_edit->setMaxLength(kPinBytes);
    } else {
      m_edit->setMaxLength(6);
      m_edit->setPlaceholderText("000000");
      m_edit->setValidator(
          new QRegularExpressionValidator(QRegularExpression("[0-9]{0,6}"), m_edit));
    }
    layout->addWidget(m_edit);
    connect(m_edit, &QLineEdit::textChanged, this, &CPairingPromptDlg::UpdateAccept);
  } else {
    m_shown = new QLabel(this);
    m_shown->setObjectName("promptShown");
    m_shown->setTextFormat(Qt::PlainText);
    m_shown->setAlignment(Qt::AlignCenter);
    m_shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont big = m_shown->font();
    big.setPointSizeF(big.pointSizeF() * 2);
    big.setBold(true);
    big.setLetterSpacing(QFont::AbsoluteSpacing, 4);
    m_shown->setFont(big);
    layout->addWidget(m_shown);
  }
  if (kind == Kind::DisplayPasskey) {
    m_progress = new QLabel(this);
    m_progress->setObjectName("promptProgress");
    m_progress->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_progress);
    SetEntered(0);
  }
  auto* buttons = new QDialogButtonBox(this);
  buttons->setObjectName("promptButtons");
  switch (kind) {
    case Kind::ConfirmPasskey:
      m_accept = buttons->addButton(QDialogButtonBox::Yes);
      m_reject = buttons->addButton(QDialogButtonBox::No);
      break;
    case Kind::DisplayPasskey:
    case Kind::DisplayPinCode:
      m_reject = buttons->addButton(QDialogButtonBox::Cancel);
      break;
    case Kind::RequestPinCode:
    case Kind::RequestPasskey:
      m_accept = buttons->addButton(QDialogButtonBox::Ok);
      m_reject = buttons->addButton(QDialogButtonBox::Cancel);
      break;
  }
  layout->addWidget(buttons);

  if (m_accept) {
    m_accept->setObjectName("promptAccept");
    m_accept->setDefault(true);
    connect(m_accept, &QPushButton::clicked, this, &QDialog::accept);
  }
  m_reject->setObjectName("promptReject");
  // Enter answers with Ok or Yes, never with No or Cancel.
  m_reject->setAutoDefault(false);
  if (m_edit) m_edit->setFocus();
  connect(m_reject, &QPushButton::clicked, this, &QDialog::reject);
  UpdateAccept();
  setMinimumWidth(440);
}

void CPairingPromptDlg::SetPasskey(std::uint32_t passkey) {
  if (m_shown) m_shown->setText(PasskeyText(passkey));
}

void CPairingPromptDlg::SetPin(const QString& pin) {
  if (m_shown) m_shown->setText(pin);
}

void CPairingPromptDlg::SetEntered(std::uint16_t entered) {
  if (!m_progress) return;
  const int typed = std::min<int>(entered, 6);
  m_progress->setText(QString("%1 of 6 digits typed").arg(typed));
}

std::optional<QString> CPairingPromptDlg::Pin() const {
  if (m_kind != Kind::RequestPinCode || !ValidPin(m_edit->text())) return std::nullopt;
  return m_edit->text();
}

std::optional<std::uint32_t> CPairingPromptDlg::Passkey() const {
  if (m_kind != Kind::RequestPasskey) return std::nullopt;
  return ParsePasskey(m_edit->text());
}

QString CPairingPromptDlg::PasskeyText(std::uint32_t passkey) {
  // Out of range, it is still shown as it came, never as another number.
  return QString("%1").arg(passkey, 6, 10, QChar('0'));
}

bool CPairingPromptDlg::ValidPin(const QString& pin) {
  const QByteArray bytes = pin.toUtf8();
  if (bytes.isEmpty() || bytes.size() > kPinBytes) return false;
  for (QChar c : pin)
    if (c.category() == QChar::Other_Control) return false;
  return true;
}

std::optional<std::uint32_t> CPairingPromptDlg::ParsePasskey(const QString& text) {
  static const QRegularExpression digits("^[0-9]{1,6}$");
  if (!digits.match(text).hasMatch()) return std::nullopt;
  const std::uint32_t value = text.toUInt();
  if (value > kPasskeyMax) return std::nullopt;
  return value;
}

void CPairingPromptDlg::UpdateAccept() {
  if (!m_accept || !m_edit) return;
  const bool valid = m_kind == Kind::RequestPinCode ? Pin().has_value() : Passkey().has_value();
  m_accept->setEnabled(valid);
  if (valid) m_accept->setDefault(true);
}

}  // namespace wren::gui
