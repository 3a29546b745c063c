#include "adapters/bluez/PairingAgent.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QMetaObject>
#include <QPointer>

#include <atomic>
#include <memory>
#include <utility>

#include "adapters/bluez/ObjectTree.h"

namespace wren::bluez {
namespace {

const QString kRejected = QStringLiteral("org.bluez.Error.Rejected");

platform::BluetoothAddress AddressOf(const QDBusObjectPath& device) {
  platform::BluetoothAddress address = 0;
  AddressFromDevicePath(device.path().toStdString(), address);
  return address;
}

}  // namespace

PairingAgent::PairingAgent(std::function<void(const std::string&)> onRequest, Ask ask,
                           std::function<QString()> bluezOwner, QObject* parent)
    : QObject(parent),
      m_onRequest(std::move(onRequest)),
      m_ask(std::move(ask)),
      m_bluezOwner(std::move(bluezOwner)) {}

bool PairingAgent::FromBluez(const QDBusObjectPath& device) {
  if (!calledFromDBus()) return false;
  const QString owner = m_bluezOwner();
  // Anyone on the bus could call an exported object; only BlueZ's own
  // requests are pairing attempts.
  if (owner.isEmpty() || message().service() != owner) {
    sendErrorReply(kRejected, QStringLiteral("Only BlueZ may ask this agent."));
    return false;
  }
  m_onRequest(device.path().toStdString());
  return true;
}

void PairingAgent::Refuse(const QString& why) { sendErrorReply(kRejected, why); }

std::function<void(const QVariantList*)> PairingAgent::Later() {
  setDelayedReply(true);
  QDBusMessage call = message();
  QDBusConnection bus = connection();
  QPointer<PairingAgent> self(this);
  auto answered = std::make_shared<std::atomic<bool>>(false);
  return [self, call, bus, answered](const QVariantList* values) {
    if (answered->exchange(true)) return;
    QDBusMessage reply =
        values ? call.createReply(*values)
               : call.createErrorReply(kRejected, QStringLiteral("The user declined."));
    // Sent from the agent's own thread, whichever thread answered.
    if (!self) return;
    QMetaObject::invokeMethod(
        self.data(), [bus, reply]() mutable { bus.send(reply); }, Qt::QueuedConnection);
  };
}

void PairingAgent::Release() {}

QString PairingAgent::RequestPinCode(const QDBusObjectPath& device) {
  if (!FromBluez(device)) return {};
  auto later = Later();
  const bool asked = m_ask([&](platform::PairingAgent& agent) {
    agent.RequestPinCode(AddressOf(device), [later](std::optional<std::string> pin) {
      if (!pin) return later(nullptr);
      const QVariantList values{QString::fromStdString(*pin)};
      later(&values);
    });
  });
  if (!asked) later(nullptr);
  return {};
}

void PairingAgent::DisplayPinCode(const QDBusObjectPath& device, const QString& pincode) {
  if (!FromBluez(device)) return;
  const std::string pin = pincode.toStdString();
  if (!m_ask([&](platform::PairingAgent& agent) { agent.DisplayPinCode(AddressOf(device), pin); }))
    Refuse(QStringLiteral("Wrenlocator declines pairing requests."));
}

uint PairingAgent::RequestPasskey(const QDBusObjectPath& device) {
  if (!FromBluez(device)) return 0;
  auto later = Later();
  const bool asked = m_ask([&](platform::PairingAgent& agent) {
    agent.RequestPasskey(AddressOf(device), [later](std::optional<std::uint32_t> passkey) {
      if (!passkey || *passkey > 999999) return later(nullptr);
      const QVariantList values{QVariant::fromValue(static_cast<uint>(*passkey))};
      later(&values);
    });
  });
  if (!asked) later(nullptr);
  return 0;
}

// BlueZ asks to show a passkey for the other side to type, and calls again
// as keys are typed. It takes no refusal. Reported once, when it begins.
void PairingAgent::DisplayPasskey(const QDBusObjectPath& device, uint passkey, ushort entered) {
  if (!calledFromDBus()) return;
  const QString owner = m_bluezOwner();
  if (owner.isEmpty() || message().service() != owner) return;
  if (entered == 0) m_onRequest(device.path().toStdString());
  m_ask([&](platform::PairingAgent& agent) {
    agent.DisplayPasskey(AddressOf(device), passkey, entered);
  });
}

void PairingAgent::RequestConfirmation(const QDBusObjectPath& device, uint passkey) {
  if (!FromBluez(device)) return;
  auto later = Later();
  const bool asked = m_ask([&](platform::PairingAgent& agent) {
    agent.ConfirmPasskey(AddressOf(device), passkey, [later](bool yes) {
      const QVariantList none;
      later(yes ? &none : nullptr);
    });
  });
  if (!asked) later(nullptr);
}

void PairingAgent::RequestAuthorization(const QDBusObjectPath& device) {
  if (FromBluez(device)) Refuse(QStringLiteral("Wrenlocator declines pairing requests."));
}

void PairingAgent::AuthorizeService(const QDBusObjectPath& device, const QString&) {
  if (FromBluez(device)) Refuse(QStringLiteral("Wrenlocator declines service requests."));
}

void PairingAgent::Cancel() {
  if (!calledFromDBus()) return;
  const QString owner = m_bluezOwner();
  if (owner.isEmpty() || message().service() != owner) return;
  m_ask([](platform::PairingAgent& agent) { agent.Cancel(); });
}

}  // namespace wren::bluez
