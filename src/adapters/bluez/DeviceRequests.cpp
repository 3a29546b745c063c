#include "adapters/bluez/DeviceRequests.h"

#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QString>
#include <QVariant>

#include <memory>
#include <utility>

#include "adapters/bluez/BluezErrors.h"
#include "adapters/bluez/DbusWorker.h"
#include "adapters/bluez/DeviceCache.h"
#include "adapters/bluez/WorkerLink.h"

namespace wren::bluez {
namespace {

const QString kDevice = QStringLiteral("org.bluez.Device1");
const QString kAdapter = QStringLiteral("org.bluez.Adapter1");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

}  // namespace

namespace {

// Sends one request, or answers at once when there is nothing to send it
// to.
void Send(WorkerLink& link, const std::string& path, const QString& interface,
          const QString& method, QVariantList args, int timeoutMs, platform::DeviceDone done) {
  if (path.empty()) {
    if (done) done(ResultOfErrorName("org.bluez.Error.DoesNotExist"));
    return;
  }
  // Shared, so that `done` is still ours when the thread has ended.
  auto shared = std::make_shared<platform::DeviceDone>(std::move(done));
  const bool posted = link.Post(
      [=](DbusWorker& w) { w.Request(path, interface, method, args, timeoutMs, *shared); });
  if (!posted && *shared) (*shared)(ResultOfErrorName("org.freedesktop.DBus.Error.Disconnected"));
}

}  // namespace

void DeviceRequests::CallDevice(platform::BluetoothAddress device, const char* method,
                                int timeoutMs, platform::DeviceDone done) {
  Send(m_link, m_cache.DevicePath(device), kDevice, QString::fromLatin1(method), {}, timeoutMs,
       std::move(done));
}

void DeviceRequests::SetProperty(platform::BluetoothAddress device, const char* name,
                                 const QVariant& value, platform::DeviceDone done) {
  const QVariantList args{kDevice, QString::fromLatin1(name),
                          QVariant::fromValue(QDBusVariant(value))};
  Send(m_link, m_cache.DevicePath(device), kProperties, QStringLiteral("Set"), args,
       DbusWorker::kCallTimeoutMs, std::move(done));
}

void DeviceRequests::Pair(platform::BluetoothAddress device, platform::DeviceDone done) {
  CallDevice(device, "Pair", DbusWorker::kPairTimeoutMs, std::move(done));
}

void DeviceRequests::CancelPairing(platform::BluetoothAddress device, platform::DeviceDone done) {
  CallDevice(device, "CancelPairing", DbusWorker::kCallTimeoutMs, std::move(done));
}

void DeviceRequests::SetTrusted(platform::BluetoothAddress device, bool trusted,
                                platform::DeviceDone done) {
  SetProperty(device, "Trusted", QVariant(trusted), std::move(done));
}

void DeviceRequests::SetBlocked(platform::BluetoothAddress device, bool blocked,
                                platform::DeviceDone done) {
  SetProperty(device, "Blocked", QVariant(blocked), std::move(done));
}

void DeviceRequests::Connect(platform::BluetoothAddress device, platform::DeviceDone done) {
  // Connecting pages the device and may wait for it as long as pairing.
  CallDevice(device, "Connect", DbusWorker::kPairTimeoutMs, std::move(done));
}

void DeviceRequests::Disconnect(platform::BluetoothAddress device, platform::DeviceDone done) {
  CallDevice(device, "Disconnect", DbusWorker::kCallTimeoutMs, std::move(done));
}

void DeviceRequests::SetAlias(platform::BluetoothAddress device, const std::string& alias,
                              platform::DeviceDone done) {
  SetProperty(device, "Alias", QVariant(QString::fromStdString(alias)), std::move(done));
}

void DeviceRequests::Remove(platform::BluetoothAddress device, platform::DeviceDone done) {
  std::string adapter;
  const std::string path = m_cache.DevicePath(device, &adapter);
  const QVariantList args{QVariant::fromValue(QDBusObjectPath(QString::fromStdString(path)))};
  Send(m_link, path.empty() ? std::string() : adapter, kAdapter, QStringLiteral("RemoveDevice"),
       args, DbusWorker::kCallTimeoutMs, std::move(done));
}

}  // namespace wren::bluez
