#include "platform/bluez/BluezErrors.h"

#include <array>
#include <utility>

namespace wren::bluez {
namespace {

struct NameEntry {
  std::string_view name;
  BluezError error;
};

constexpr std::array kNames = {
    NameEntry{"org.bluez.Error.Failed", BluezError::Failed},
    NameEntry{"org.bluez.Error.InProgress", BluezError::InProgress},
    NameEntry{"org.bluez.Error.AlreadyExists", BluezError::AlreadyExists},
    NameEntry{"org.bluez.Error.NotReady", BluezError::NotReady},
    NameEntry{"org.bluez.Error.InvalidArguments", BluezError::InvalidArguments},
    NameEntry{"org.bluez.Error.NotSupported", BluezError::NotSupported},
    NameEntry{"org.bluez.Error.NotAuthorized", BluezError::NotAuthorized},
    NameEntry{"org.bluez.Error.NotPermitted", BluezError::NotAuthorized},
    NameEntry{"org.bluez.Error.NotAvailable", BluezError::NotAvailable},
    NameEntry{"org.bluez.Error.DoesNotExist", BluezError::DoesNotExist},
    NameEntry{"org.bluez.Error.NotConnected", BluezError::NotConnected},
    NameEntry{"org.bluez.Error.AlreadyConnected", BluezError::AlreadyConnected},
    NameEntry{"org.bluez.Error.AuthenticationFailed", BluezError::AuthenticationFailed},
    NameEntry{"org.bluez.Error.AuthenticationCanceled", BluezError::AuthenticationCanceled},
    NameEntry{"org.bluez.Error.AuthenticationRejected", BluezError::AuthenticationRejected},
    NameEntry{"org.bluez.Error.AuthenticationTimeout", BluezError::AuthenticationTimeout},
    NameEntry{"org.bluez.Error.ConnectionAttemptFailed", BluezError::ConnectionAttemptFailed},
    NameEntry{"org.bluez.Error.Rejected", BluezError::Rejected},
    NameEntry{"org.bluez.Error.Canceled", BluezError::Canceled},
    NameEntry{"org.freedesktop.DBus.Error.NoReply", BluezError::NoReply},
    NameEntry{"org.freedesktop.DBus.Error.Timeout", BluezError::NoReply},
    NameEntry{"org.freedesktop.DBus.Error.TimedOut", BluezError::NoReply},
    NameEntry{"org.freedesktop.DBus.Error.ServiceUnknown", BluezError::ServiceUnknown},
    NameEntry{"org.freedesktop.DBus.Error.NameHasNoOwner", BluezError::ServiceUnknown},
    NameEntry{"org.freedesktop.DBus.Error.UnknownObject", BluezError::DoesNotExist},
    NameEntry{"org.freedesktop.DBus.Error.UnknownMethod", BluezError::NotSupported},
    NameEntry{"org.freedesktop.DBus.Error.UnknownInterface", BluezError::NotSupported},
    NameEntry{"org.freedesktop.DBus.Error.InvalidArgs", BluezError::InvalidArguments},
    NameEntry{"org.freedesktop.DBus.Error.InvalidSignature", BluezError::BadReply},
    NameEntry{"org.freedesktop.DBus.Error.AccessDenied", BluezError::NotAuthorized},
    NameEntry{"org.freedesktop.DBus.Error.AuthFailed", BluezError::NotAuthorized},
    NameEntry{"org.freedesktop.DBus.Error.Disconnected", BluezError::Disconnected},
    NameEntry{"org.freedesktop.DBus.Error.NoServer", BluezError::Disconnected},
    NameEntry{"org.freedesktop.DBus.Error.NoNetwork", BluezError::Disconnected},
};

}  // namespace

BluezError ErrorFromName(std::string_view dbusErrorName) {
  if (dbusErrorName.empty()) return BluezError::None;
  for (const auto& entry : kNames)
    if (entry.name == dbusErrorName) return entry.error;
  return BluezError::Other;
}

std::string_view ErrorWords(BluezError error) {
  switch (error) {
    case BluezError::None:
      return "";
    case BluezError::Failed:
      return "The Bluetooth service could not do it.";
    case BluezError::InProgress:
      return "The Bluetooth service is already doing this.";
    case BluezError::AlreadyExists:
      return "The device is already paired.";
    case BluezError::NotReady:
      return "The Bluetooth adapter is not ready; it may be switched off.";
    case BluezError::InvalidArguments:
      return "The Bluetooth service did not accept the request.";
    case BluezError::NotSupported:
      return "The adapter or the device does not support this.";
    case BluezError::NotAuthorized:
      return "Permission denied by the Bluetooth service.";
    case BluezError::NotAvailable:
      return "This is not available on the adapter.";
    case BluezError::DoesNotExist:
      return "The device is no longer known to the Bluetooth service.";
    case BluezError::NotConnected:
      return "The device is not connected.";
    case BluezError::AlreadyConnected:
      return "The device is already connected.";
    case BluezError::AuthenticationFailed:
      return "Pairing failed: the PIN or passkey did not match.";
    case BluezError::AuthenticationCanceled:
      return "Pairing was cancelled.";
    case BluezError::AuthenticationRejected:
      return "Pairing was refused.";
    case BluezError::AuthenticationTimeout:
      return "The device did not answer the pairing in time.";
    case BluezError::ConnectionAttemptFailed:
      return "The device could not be reached.";
    case BluezError::Rejected:
      return "The request was rejected.";
    case BluezError::Canceled:
      return "The request was cancelled.";
    case BluezError::NoReply:
      return "The Bluetooth service did not answer in time.";
    case BluezError::ServiceUnknown:
      return "The Bluetooth service (bluetoothd) is not running.";
    case BluezError::Disconnected:
      return "The system message bus is not reachable.";
    case BluezError::BadReply:
      return "The Bluetooth service gave an answer that could not be read.";
    case BluezError::Other:
      return "The Bluetooth service reported an error.";
  }
  return "The Bluetooth service reported an error.";
}

std::string ErrorText(std::string_view dbusErrorName) {
  const BluezError error = ErrorFromName(dbusErrorName);
  std::string text(ErrorWords(error));
  if (error == BluezError::Other) {
    // Before the final stop: "... reported an error (org.example.Name)."
    text.pop_back();
    text += " (";
    text += dbusErrorName;
    text += ").";
  }
  return text;
}

}  // namespace wren::bluez
