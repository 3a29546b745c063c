#include "adapters/bluez/BluezErrors.h"

#include <gtest/gtest.h>

#include <string>

namespace wren::bluez {
namespace {

using platform::DeviceError;
using platform::DeviceErrorText;
using platform::DeviceErrorWords;

TEST(BluezErrors, NamesMapToOurErrors) {
  const struct {
    const char* name;
    DeviceError error;
  } rows[] = {
      {"", DeviceError::None},
      {"org.bluez.Error.AuthenticationFailed", DeviceError::AuthenticationFailed},
      {"org.bluez.Error.AuthenticationCanceled", DeviceError::AuthenticationCanceled},
      {"org.bluez.Error.AuthenticationRejected", DeviceError::AuthenticationRejected},
      {"org.bluez.Error.AuthenticationTimeout", DeviceError::AuthenticationTimeout},
      {"org.bluez.Error.ConnectionAttemptFailed", DeviceError::ConnectionAttemptFailed},
      {"org.bluez.Error.AlreadyExists", DeviceError::AlreadyExists},
      {"org.bluez.Error.InProgress", DeviceError::InProgress},
      {"org.bluez.Error.NotReady", DeviceError::NotReady},
      {"org.bluez.Error.NotPermitted", DeviceError::NotAuthorized},
      {"org.bluez.Error.DoesNotExist", DeviceError::DoesNotExist},
      {"org.bluez.Error.Rejected", DeviceError::Rejected},
      {"org.freedesktop.DBus.Error.NoReply", DeviceError::NoReply},
      {"org.freedesktop.DBus.Error.ServiceUnknown", DeviceError::ServiceNotRunning},
      {"org.freedesktop.DBus.Error.UnknownObject", DeviceError::DoesNotExist},
      {"org.freedesktop.DBus.Error.AccessDenied", DeviceError::NotAuthorized},
      {"org.freedesktop.DBus.Error.Disconnected", DeviceError::NoBus},
      {"org.bluez.Error.SomethingNew", DeviceError::Other},
      {"org.bluez.Error.failed", DeviceError::Other},
  };
  for (const auto& row : rows) EXPECT_EQ(ErrorFromName(row.name), row.error) << row.name;
}

TEST(DeviceErrors, EveryErrorHasWords) {
  EXPECT_TRUE(DeviceErrorWords(DeviceError::None).empty());
  for (int e = static_cast<int>(DeviceError::Failed); e <= static_cast<int>(DeviceError::Other);
       ++e) {
    const std::string_view words = DeviceErrorWords(static_cast<DeviceError>(e));
    EXPECT_FALSE(words.empty()) << e;
    EXPECT_EQ(words.back(), '.') << words;
  }
  EXPECT_NE(DeviceErrorWords(DeviceError::AuthenticationFailed),
            DeviceErrorWords(DeviceError::ConnectionAttemptFailed));
}

// The texts the device dialogs show for what BlueZ answers.
TEST(BluezErrors, ErrorTextNamesUnknownErrors) {
  const struct {
    const char* name;
    const char* text;
  } rows[] = {
      {"", ""},
      {"org.bluez.Error.AuthenticationFailed", "Pairing failed: the PIN or passkey did not match."},
      {"org.bluez.Error.AuthenticationCanceled", "Pairing was cancelled."},
      {"org.bluez.Error.ConnectionAttemptFailed", "The device could not be reached."},
      {"org.bluez.Error.AlreadyExists", "The device is already paired."},
      {"org.bluez.Error.InProgress", "The Bluetooth service is already doing this."},
      {"org.bluez.Error.NotReady", "The Bluetooth adapter is not ready; it may be switched off."},
      {"org.bluez.Error.Failed", "The Bluetooth service could not do it."},
      {"org.bluez.Error.SomethingNew",
       "The Bluetooth service reported an error (org.bluez.Error.SomethingNew)."},
      {"com.example.Odd", "The Bluetooth service reported an error (com.example.Odd)."},
  };
  for (const auto& row : rows)
    EXPECT_EQ(DeviceErrorText(ResultOfErrorName(row.name)), row.text) << row.name;
}

}  // namespace
}  // namespace wren::bluez
