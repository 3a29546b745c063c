#pragma once
// The org.bluez.Agent1 object the program registers when the user asked
// for it: every pairing request is reported as a PIN request and then
// declined, so the program sees pairing attempts without answering them.
// Only BlueZ itself may call it.

#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>

#include <functional>
#include <string>

namespace wren::bluez {

class PairingAgent : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.bluez.Agent1")

public:
  static constexpr const char* kPath = "/org/pelmark/wrenlocator/agent";

  // `onRequest` gets the device object path of each request; `bluezOwner`
  // says which unique bus name BlueZ has now.
  PairingAgent(std::function<void(const std::string& devicePath)> onRequest,
               std::function<QString()> bluezOwner, QObject* parent = nullptr);

public slots:
  void Release();
  QString RequestPinCode(const QDBusObjectPath& device);
  void DisplayPinCode(const QDBusObjectPath& device, const QString& pincode);
  uint RequestPasskey(const QDBusObjectPath& device);
  void DisplayPasskey(const QDBusObjectPath& device, uint passkey, ushort entered);
  void RequestConfirmation(const QDBusObjectPath& device, uint passkey);
  void RequestAuthorization(const QDBusObjectPath& device);
  void AuthorizeService(const QDBusObjectPath& device, const QString& uuid);
  void Cancel();

private:
  // Reports the request (when BlueZ sent it) and answers with a refusal.
  void Decline(const QDBusObjectPath& device);

  std::function<void(const std::string&)> m_onRequest;
  std::function<QString()> m_bluezOwner;
};

}  // namespace wren::bluez
