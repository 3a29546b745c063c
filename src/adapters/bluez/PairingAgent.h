#pragma once
// The org.bluez.Agent1 object the program registers with BlueZ. Every
// pairing request is reported (the PIN-request event). While the user has
// a pairing agent registered (the add-device dialog), its questions go to
// that agent and its answers back to BlueZ; otherwise the request is
// declined, so the program sees pairing attempts without answering them.
// Only BlueZ itself may call it.

#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>

#include <functional>
#include <string>

#include "ports/DeviceManager.h"

namespace wren::bluez {

class PairingAgent : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.bluez.Agent1")

public:
  static constexpr const char* kPath = "/org/pelmark/wrenlocator/agent";

  using Ask = std::function<bool(const std::function<void(platform::PairingAgent&)>&)>;

  // `onRequest` gets the device object path of each request; `ask` hands
  // a question to the user's agent (false: there is none); `bluezOwner`
  // says which unique bus name BlueZ has now.
  PairingAgent(std::function<void(const std::string& devicePath)> onRequest, Ask ask,
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
  // True for a call from BlueZ, which is then reported; anyone else is
  // refused here.
  bool FromBluez(const QDBusObjectPath& device);
  void Refuse(const QString& why);
  // Answers the current call later, once, from any thread: `reply` with
  // the values, or a refusal when it gets none.
  std::function<void(const QVariantList* values)> Later();

  std::function<void(const std::string&)> m_onRequest;
  Ask m_ask;
  std::function<QString()> m_bluezOwner;
};

}  // namespace wren::bluez
