#include "MockBluez.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <thread>
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace wren::bluez::test {

BluezOptions MockBluez::StackOptions() const {
  BluezOptions o;
  o.timesFile = m_folder + "/device-times.txt";
  o.recordCacheRoot = m_folder + "/storage";
  o.startupWaitMs = 5000;
  o.reconnectMs = 100;
  o.saveDelayMs = 50;
  o.lookupMultiplier = 1;
  return o;
}
namespace {

constexpr int kProcessWaitMs = 10000;

std::string MakeFolder() {
  char tmpl[] = "/tmp/wren-bluez-XXXXXX";
  const char* dir = mkdtemp(tmpl);
  return dir ? dir : "";
}

// The bus and the mock end with the test, also when it crashes.
void DieWithTheTest(QProcess& process) {
  process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

void Stop(std::unique_ptr<QProcess>& process) {
  if (!process) return;
  if (process->state() != QProcess::NotRunning) {
    process->terminate();
    if (!process->waitForFinished(kProcessWaitMs)) {
      process->kill();
      process->waitForFinished(kProcessWaitMs);
    }
  }
  process.reset();
}

}  // namespace

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

MockBluez::MockBluez() : m_folder(MakeFolder()) {}

MockBluez::~MockBluez() {
  StopBluez();
  StopBus();
  std::system(("rm -rf '" + m_folder + "'").c_str());
}

bool MockBluez::StartBus() {
  const std::string socket = m_folder + "/system_bus_socket";
  const std::string config = m_folder + "/bus.conf";
  std::ofstream(config)
      << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
         " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
         "<busconfig>\n"
         "  <type>system</type>\n"
         "  <listen>unix:path="
      << socket
      << "</listen>\n"
         "  <auth>EXTERNAL</auth>\n"
         "  <policy context=\"default\">\n"
         "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
         "    <allow eavesdrop=\"true\"/>\n"
         "    <allow own=\"*\"/>\n"
         "  </policy>\n"
         "</busconfig>\n";
  unlink(socket.c_str());
  m_daemon = std::make_unique<QProcess>();
  m_daemon->setProcessChannelMode(QProcess::SeparateChannels);
  DieWithTheTest(*m_daemon);
  m_daemon->start(QStringLiteral(WREN_DBUS_DAEMON),
                  {QStringLiteral("--config-file=") + QString::fromStdString(config),
                   QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
  if (!m_daemon->waitForStarted(kProcessWaitMs)) {
    m_error = "dbus-daemon did not start";
    return false;
  }
  QByteArray line;
  while (!line.contains('\n') && m_daemon->waitForReadyRead(kProcessWaitMs))
    line += m_daemon->readAllStandardOutput();
  m_address = QString::fromUtf8(line).trimmed();
  if (m_address.isEmpty()) {
    m_error = "dbus-daemon gave no address: " + m_daemon->readAllStandardError().toStdString();
    return false;
  }
  setenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toUtf8().constData(), 1);
  return true;
}

void MockBluez::StopBus() {
  StopBluez();
  if (!m_controlName.isEmpty()) {
    QDBusConnection::disconnectFromBus(m_controlName);
    m_controlName.clear();
  }
  Stop(m_daemon);
}

bool MockBluez::StartBluez() {
  m_bluez = std::make_unique<QProcess>();
  DieWithTheTest(*m_bluez);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_address);
  m_bluez->setProcessEnvironment(env);
  m_bluez->setStandardOutputFile(QString::fromStdString(m_folder + "/mock.log"), QIODevice::Append);
  m_bluez->setStandardErrorFile(QString::fromStdString(m_folder + "/mock.log"), QIODevice::Append);
  m_bluez->start(QStringLiteral(WREN_MOCK_PYTHON),
                 {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                  QStringLiteral("bluez5")});
  if (!m_bluez->waitForStarted(kProcessWaitMs)) {
    m_error = "python3 did not start";
    return false;
  }
  const bool up = WaitUntil([this] {
    QDBusConnectionInterface* bus = Control().interface();
    return bus != nullptr && bus->isServiceRegistered(QStringLiteral("org.bluez")).value();
  });
  if (!up) {
    std::ifstream log(m_folder + "/mock.log");
    std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    m_error = "the bluez5 mock did not come up: " + text;
  }
  return up;
}

void MockBluez::StopBluez() { Stop(m_bluez); }

QDBusConnection MockBluez::Control() {
  if (m_controlName.isEmpty()) {
    m_controlName = QStringLiteral("wren-test-control-%1").arg(++m_controlGeneration);
    QDBusConnection::connectToBus(m_address, m_controlName);
  }
  return QDBusConnection(m_controlName);
}

QDBusMessage MockBluez::Call(const QString& path, const QString& interface, const QString& method,
                             const QVariantList& args) {
  QDBusMessage m =
      QDBusMessage::createMethodCall(QStringLiteral("org.bluez"), path, interface, method);
  m.setArguments(args);
  return Control().call(m, QDBus::Block, 20000);
}

QDBusMessage MockBluez::Must(const QString& path, const QString& interface, const QString& method,
                             const QVariantList& args) {
  QDBusMessage reply = Call(path, interface, method, args);
  EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
      << method.toStdString() << " on " << path.toStdString() << ": "
      << reply.errorName().toStdString() << " " << reply.errorMessage().toStdString();
  return reply;
}

QString MockBluez::AddAdapter(const QString& hci, const QString& name) {
  QDBusMessage r = Must(QStringLiteral("/"), QStringLiteral("org.bluez.Mock"),
                        QStringLiteral("AddAdapter"), {hci, name});
  return r.arguments().value(0).toString();
}

QString MockBluez::AddDevice(const QString& hci, const QString& address, const QString& alias) {
  QDBusMessage r = Must(QStringLiteral("/"), QStringLiteral("org.bluez.Mock"),
                        QStringLiteral("AddDevice"), {hci, address, alias});
  return r.arguments().value(0).toString();
}

void MockBluez::PairDevice(const QString& hci, const QString& address, unsigned classOfDevice) {
  // This template version takes the class the paired device reports.
  Must(QStringLiteral("/"), QStringLiteral("org.bluez.Mock"), QStringLiteral("PairDevice"),
       {hci, address, QVariant::fromValue(static_cast<int>(classOfDevice))});
}

void MockBluez::ConnectDevice(const QString& hci, const QString& address) {
  Must(QStringLiteral("/"), QStringLiteral("org.bluez.Mock"), QStringLiteral("ConnectDevice"),
       {hci, address});
}

void MockBluez::DisconnectDevice(const QString& hci, const QString& address) {
  Must(QStringLiteral("/"), QStringLiteral("org.bluez.Mock"), QStringLiteral("DisconnectDevice"),
       {hci, address});
}

void MockBluez::RemoveAdapter(const QString& hci) {
  Must(QStringLiteral("/"), QStringLiteral("org.bluez.Mock"), QStringLiteral("RemoveAdapter"),
       {hci});
}

void MockBluez::UpdateProperties(const QString& path, const QString& interface,
                                 const QVariantMap& properties) {
  Must(path, QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("UpdateProperties"),
       {interface, properties});
}

QStringList MockBluez::CallsOn(const QString& path) {
  QStringList names;
  QDBusMessage r =
      Must(path, QStringLiteral("org.freedesktop.DBus.Mock"), QStringLiteral("GetCalls"));
  if (r.arguments().isEmpty()) return names;
  const QDBusArgument arg = r.arguments().at(0).value<QDBusArgument>();
  arg.beginArray();
  while (!arg.atEnd()) {
    arg.beginStructure();
    qulonglong when = 0;
    QString name;
    arg >> when >> name;
    arg.beginArray();
    while (!arg.atEnd()) {
      QDBusVariant ignored;
      arg >> ignored;
    }
    arg.endArray();
    arg.endStructure();
    names << name;
  }
  arg.endArray();
  return names;
}

int MockBluez::Helper(const QStringList& args, QString* output) {
  QProcess helper;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), m_address);
  helper.setProcessEnvironment(env);
  helper.start(QStringLiteral(WREN_MOCK_PYTHON),
               QStringList{QStringLiteral(WREN_TEST_DATA "/bluez_mock.py")} + args);
  if (!helper.waitForFinished(60000)) {
    helper.kill();
    helper.waitForFinished();
    return -1;
  }
  if (output) *output = QString::fromUtf8(helper.readAllStandardOutput()).trimmed();
  const QByteArray err = helper.readAllStandardError();
  if (!err.isEmpty())
    ADD_FAILURE() << "bluez_mock.py " << args.join(' ').toStdString() << ": " << err.toStdString();
  return helper.exitStatus() == QProcess::NormalExit ? helper.exitCode() : -1;
}

QString MockBluez::DevicePath(const QString& hci, const QString& address) {
  return QStringLiteral("/org/bluez/") + hci + QStringLiteral("/dev_") +
         QString(address).replace(':', '_').toUpper();
}

}  // namespace wren::bluez::test
