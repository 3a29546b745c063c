#pragma once
// A private D-Bus daemon with python-dbusmock's bluez5 template on it, in
// place of the system bus and bluetoothd. Each test makes its own and
// tears it down; DBUS_SYSTEM_BUS_ADDRESS points at it meanwhile.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "adapters/bluez/BluezStack.h"

namespace wren::bluez::test {

class MockBluez {
public:
  MockBluez();
  ~MockBluez();
  MockBluez(const MockBluez&) = delete;
  MockBluez& operator=(const MockBluez&) = delete;

  // False (with Error()) when dbus-daemon or python3-dbusmock is missing.
  bool Start() { return StartBus() && StartBluez(); }
  bool StartBus();  // the socket path stays the same across restarts
  void StopBus();
  bool StartBluez();
  void StopBluez();

  const std::string& Error() const { return m_error; }
  const std::string& Folder() const { return m_folder; }
  // Options for a stack on this mock: its files in the mock's folder, and
  // waits short enough for tests.
  BluezOptions StackOptions() const;

  // A blocking call on the test's own connection; the reply or error.
  QDBusMessage Call(const QString& path, const QString& interface, const QString& method,
                    const QVariantList& args = {});
  // Same, failing the test on an error reply.
  QDBusMessage Must(const QString& path, const QString& interface, const QString& method,
                    const QVariantList& args = {});

  // The mock's own API.
  QString AddAdapter(const QString& hci, const QString& name);
  QString AddDevice(const QString& hci, const QString& address, const QString& alias);
  void PairDevice(const QString& hci, const QString& address, unsigned classOfDevice);
  void ConnectDevice(const QString& hci, const QString& address);
  void DisconnectDevice(const QString& hci, const QString& address);
  void RemoveAdapter(const QString& hci);
  void UpdateProperties(const QString& path, const QString& interface,
                        const QVariantMap& properties);
  // The methods called on a mock object so far, in order.
  QStringList CallsOn(const QString& path);

  // Runs bluez_mock.py with `args`; its exit code (-1 when it did not
  // run), its standard output in `output`.
  int Helper(const QStringList& args, QString* output = nullptr);

  static QString DevicePath(const QString& hci, const QString& address);

private:
  QDBusConnection Control();

  std::string m_folder;
  std::string m_error;
  QString m_address;
  std::unique_ptr<QProcess> m_daemon;
  std::unique_ptr<QProcess> m_bluez;
  QString m_controlName;
  int m_controlGeneration = 0;
};

// Polls `done` until it holds or `timeout` passes.
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace wren::bluez::test
