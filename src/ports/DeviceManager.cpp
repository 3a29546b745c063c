#include "ports/DeviceManager.h"

namespace wren::platform {

DeviceResult DeviceFailure(DeviceError error, std::string name) {
  DeviceResult r;
  if (error == DeviceError::None) return r;
  r.ok = false;
  r.error = error;
  if (error == DeviceError::Other) r.name = std::move(name);
  return r;
}

std::string_view DeviceErrorWords(DeviceError error) {
  switch (error) {
    case DeviceError::None:
      return "";
    case DeviceError::Failed:
      return "The Bluetooth service could not do it.";
    case DeviceError::InProgress:
      return "The Bluetooth service is already doing this.";
    case DeviceError::AlreadyExists:
      return "The device is already paired.";
    case DeviceError::NotReady:
      return "The Bluetooth adapter is not ready; it may be switched off.";
    case DeviceError::InvalidArguments:
      return "The Bluetooth service did not accept the request.";
    case DeviceError::NotSupported:
      return "The adapter or the device does not support this.";
    case DeviceError::NotAuthorized:
      return "Permission denied by the Bluetooth service.";
    case DeviceError::NotAvailable:
      return "This is not available on the adapter.";
    case DeviceError::DoesNotExist:
      return "The device is no longer known to the Bluetooth service.";
    case DeviceError::NotConnected:
      return "The device is not connected.";
    case DeviceError::AlreadyConnected:
      return "The device is already connected.";
    case DeviceError::AuthenticationFailed:
      return "Pairing failed: the PIN or passkey did not match.";
    case DeviceError::AuthenticationCanceled:
      return "Pairing was cancelled.";
    case DeviceError::AuthenticationRejected:
      return "Pairing was refused.";
    case DeviceError::AuthenticationTimeout:
      return "The device did not answer the pairing in time.";
    case DeviceError::ConnectionAttemptFailed:
      return "The device could not be reached.";
    case DeviceError::Rejected:
      return "The request was rejected.";
    case DeviceError::Canceled:
      return "The request was cancelled.";
    case DeviceError::NoReply:
      return "The Bluetooth service did not answer in time.";
    case DeviceError::ServiceNotRunning:
      return "The Bluetooth service (bluetoothd) is not running.";
    case DeviceError::NoBus:
      return "The system message bus is not reachable.";
    case DeviceError::BadReply:
      return "The Bluetooth service gave an answer that could not be read.";
    case DeviceError::Other:
      return "The Bluetooth service reported an error.";
  }
  return "The Bluetooth service reported an error.";
}

std::string DeviceErrorText(const DeviceResult& result) {
  if (result.ok) return {};
  if (!result.text.empty()) return result.text;
  if (result.error == DeviceError::None) return "The Bluetooth service gave no reason.";
  std::string text(DeviceErrorWords(result.error));
  if (result.error == DeviceError::Other && !result.name.empty()) {
    // Before the final stop: "... reported an error (org.example.Name)."
    text.pop_back();
    text += " (";
    text += result.name;
    text += ").";
  }
  return text;
}

}  // namespace wren::platform
