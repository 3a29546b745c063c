#include "platform/bluez/PairingAgent.h"

#include <QDBusConnection>
#include <QDBusMessage>

#include <utility>

namespace wren::bluez {

PairingAgent::PairingAgent(std::function<void(const std::string&)> onRequest, std::function<QString()> bluezOwner,
                           QObject* parent)
    : QObject(parent), m_onRequest(std::move(onRequest)), m_bluezOwner(std::move(bluezOwner)) {}

void PairingAgent::Decline(const QDBusObjectPath& device) {
  if (!calledFromDBus()) return;
  const QString owner = m_bluezOwner();
  // Anyone on the bus could call an exported object; only BlueZ's own
  // requests are pairing attempts.
  if (owner.isEmpty() || message().service() != owner) {
    sendErrorReply(QStringLiteral("org.bluez.Error.Rejected"), QStringLiteral("Only BlueZ may ask this agent."));
    return;
  }
  m_onRequest(device.path().toStdString());
  sendErrorReply(QStringLiteral("org.bluez.Error.Rejected"), QStringLiteral("Wrenlocator declines pairing requests."));
}

void PairingAgent::Release() {}

QString PairingAgent::RequestPinCode(const QDBusObjectPath& device) {
  Decline(device);
  return {};
}

void PairingAgent::DisplayPinCode(const QDBusObjectPath& device, const QString&) { Decline(device); }

uint PairingAgent::RequestPasskey(const QDBusObjectPath& device) {
  Decline(device);
  return 0;
}

// BlueZ asks to show a passkey for the other side to type, and calls again
// as keys are typed. It takes no refusal; the passkey is shown nowhere, so
// the pairing fails on its own. Reported once, when it begins.
void PairingAgent::DisplayPasskey(const QDBusObjectPath& device, uint, ushort entered) {
  if (entered != 0 || !calledFromDBus()) return;
  const QString owner = m_bluezOwner();
  if (!owner.isEmpty() && message().service() == owner) m_onRequest(device.path().toStdString());
}

void PairingAgent::RequestConfirmation(const QDBusObjectPath& device, uint) { Decline(device); }

void PairingAgent::RequestAuthorization(const QDBusObjectPath& device) { Decline(device); }

void PairingAgent::AuthorizeService(const QDBusObjectPath& device, const QString&) { Decline(device); }

void PairingAgent::Cancel() {}

}  // namespace wren::bluez
