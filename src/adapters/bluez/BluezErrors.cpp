#include "adapters/bluez/BluezErrors.h"

#include <array>
#include <utility>

namespace wren::bluez {
namespace {

struct NameEntry {
  std::string_view name;
  platform::DeviceError error;
};

constexpr std::array kNames = {
    NameEntry{"org.bluez.Error.Failed", platform::DeviceError::Failed},
    NameEntry{"org.bluez.Error.InProgress", platform::DeviceError::InProgress},
    NameEntry{"org.bluez.Error.AlreadyExists", platform::DeviceError::AlreadyExists},
    NameEntry{"org.bluez.Error.NotReady", platform::DeviceError::NotReady},
    NameEntry{"org.bluez.Error.InvalidArguments", platform::DeviceError::InvalidArguments},
    NameEntry{"org.bluez.Error.NotSupported", platform::DeviceError::NotSupported},
    NameEntry{"org.bluez.Error.NotAuthorized", platform::DeviceError::NotAuthorized},
    NameEntry{"org.bluez.Error.NotPermitted", platform::DeviceError::NotAuthorized},
    NameEntry{"org.bluez.Error.NotAvailable", platform::DeviceError::NotAvailable},
    NameEntry{"org.bluez.Error.DoesNotExist", platform::DeviceError::DoesNotExist},
    NameEntry{"org.bluez.Error.NotConnected", platform::DeviceError::NotConnected},
    NameEntry{"org.bluez.Error.AlreadyConnected", platform::DeviceError::AlreadyConnected},
    NameEntry{"org.bluez.Error.AuthenticationFailed", platform::DeviceError::AuthenticationFailed},
    NameEntry{"org.bluez.Error.AuthenticationCanceled",
              platform::DeviceError::AuthenticationCanceled},
    NameEntry{"org.bluez.Error.AuthenticationRejected",
              platform::DeviceError::AuthenticationRejected},
    NameEntry{"org.bluez.Error.AuthenticationTimeout",
              platform::DeviceError::AuthenticationTimeout},
    NameEntry{"org.bluez.Error.ConnectionAttemptFailed",
              platform::DeviceError::ConnectionAttemptFailed},
    NameEntry{"org.bluez.Error.Rejected", platform::DeviceError::Rejected},
    NameEntry{"org.bluez.Error.Canceled", platform::DeviceError::Canceled},
    NameEntry{"org.freedesktop.DBus.Error.NoReply", platform::DeviceError::NoReply},
    NameEntry{"org.freedesktop.DBus.Error.Timeout", platform::DeviceError::NoReply},
    NameEntry{"org.freedesktop.DBus.Error.TimedOut", platform::DeviceError::NoReply},
    NameEntry{"org.freedesktop.DBus.Error.ServiceUnknown",
              platform::DeviceError::ServiceNotRunning},
    NameEntry{"org.freedesktop.DBus.Error.NameHasNoOwner",
              platform::DeviceError::ServiceNotRunning},
    NameEntry{"org.freedesktop.DBus.Error.UnknownObject", platform::DeviceError::DoesNotExist},
    NameEntry{"org.freedesktop.DBus.Error.UnknownMethod", platform::DeviceError::NotSupported},
    NameEntry{"org.freedesktop.DBus.Error.UnknownInterface", platform::DeviceError::NotSupported},
    NameEntry{"org.freedesktop.DBus.Error.InvalidArgs", platform::DeviceError::InvalidArguments},
    NameEntry{"org.freedesktop.DBus.Error.InvalidSignature", platform::DeviceError::BadReply},
    NameEntry{"org.freedesktop.DBus.Error.AccessDenied", platform::DeviceError::NotAuthorized},
    NameEntry{"org.freedesktop.DBus.Error.AuthFailed", platform::DeviceError::NotAuthorized},
    NameEntry{"org.freedesktop.DBus.Error.Disconnected", platform::DeviceError::NoBus},
    NameEntry{"org.freedesktop.DBus.Error.NoServer", platform::DeviceError::NoBus},
    NameEntry{"org.freedesktop.DBus.Error.NoNetwork", platform::DeviceError::NoBus},
};

}  // namespace

platform::DeviceError ErrorFromName(std::string_view dbusErrorName) {
  if (dbusErrorName.empty()) return platform::DeviceError::None;
  for (const auto& entry : kNames)
    if (entry.name == dbusErrorName) return entry.error;
  return platform::DeviceError::Other;
}

platform::DeviceResult ResultOfErrorName(std::string_view dbusErrorName) {
  return platform::DeviceFailure(ErrorFromName(dbusErrorName), std::string(dbusErrorName));
}

}  // namespace wren::bluez
