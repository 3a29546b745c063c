#pragma once
// Our own names for what BlueZ (and the bus under it) can answer instead of
// a reply. Every error name we receive is mapped here and nowhere else.

#include <string>
#include <string_view>

namespace wren::bluez {

enum class BluezError {
  None,
  Failed,
  InProgress,
  AlreadyExists,
  NotReady,  // adapter off or busy
  InvalidArguments,
  NotSupported,
  NotAuthorized,  // permission (BlueZ's or the bus policy's)
  NotAvailable,
  DoesNotExist,  // object gone, device unknown
  NotConnected,
  AlreadyConnected,
  AuthenticationFailed,
  AuthenticationCanceled,
  AuthenticationRejected,
  AuthenticationTimeout,
  ConnectionAttemptFailed,
  Rejected,
  Canceled,
  NoReply,         // no answer in time
  ServiceUnknown,  // bluetoothd not running
  Disconnected,    // no bus
  BadReply,        // an answer of the wrong shape
  Other,
};

// The error an org.bluez.Error.* or org.freedesktop.DBus.Error.* name
// stands for; Other for any name not listed, None for an empty name.
BluezError ErrorFromName(std::string_view dbusErrorName);

// A sentence for the user, naming what went wrong in their terms.
std::string_view ErrorWords(BluezError error);

// What the user reads for an error name: its words, and for a name we do
// not know the words followed by the name itself, so that nothing fails in
// silence. Empty for an empty name.
std::string ErrorText(std::string_view dbusErrorName);

}  // namespace wren::bluez
