#include "platform/bluez/BluezErrors.h"

#include <gtest/gtest.h>

#include <string>

namespace wren::bluez {
namespace {

TEST(BluezErrors, NamesMapToOurErrors) {
  const struct {
    const char* name;
    BluezError error;
  } rows[] = {
      {"", BluezError::None},
      {"org.bluez.Error.AuthenticationFailed", BluezError::AuthenticationFailed},
      {"org.bluez.Error.AuthenticationCanceled", BluezError::AuthenticationCanceled},
      {"org.bluez.Error.AuthenticationRejected", BluezError::AuthenticationRejected},
      {"org.bluez.Error.AuthenticationTimeout", BluezError::AuthenticationTimeout},
      {"org.bluez.Error.ConnectionAttemptFailed", BluezError::ConnectionAttemptFailed},
      {"org.bluez.Error.AlreadyExists", BluezError::AlreadyExists},
      {"org.bluez.Error.InProgress", BluezError::InProgress},
      {"org.bluez.Error.NotReady", BluezError::NotReady},
      {"org.bluez.Error.NotPermitted", BluezError::NotAuthorized},
      {"org.bluez.Error.DoesNotExist", BluezError::DoesNotExist},
      {"org.bluez.Error.Rejected", BluezError::Rejected},
      {"org.freedesktop.DBus.Error.NoReply", BluezError::NoReply},
      {"org.freedesktop.DBus.Error.ServiceUnknown", BluezError::ServiceUnknown},
      {"org.freedesktop.DBus.Error.UnknownObject", BluezError::DoesNotExist},
      {"org.freedesktop.DBus.Error.AccessDenied", BluezError::NotAuthorized},
      {"org.freedesktop.DBus.Error.Disconnected", BluezError::Disconnected},
      {"org.bluez.Error.SomethingNew", BluezError::Other},
      {"org.bluez.Error.failed", BluezError::Other},
  };
  for (const auto& row : rows) EXPECT_EQ(ErrorFromName(row.name), row.error) << row.name;
}

TEST(BluezErrors, EveryErrorHasWords) {
  EXPECT_TRUE(ErrorWords(BluezError::None).empty());
  for (int e = static_cast<int>(BluezError::Failed); e <= static_cast<int>(BluezError::Other);
       ++e) {
    const std::string_view words = ErrorWords(static_cast<BluezError>(e));
    EXPECT_FALSE(words.empty()) << e;
    EXPECT_EQ(words.back(), '.') << words;
  }
  EXPECT_NE(ErrorWords(BluezError::AuthenticationFailed),
            ErrorWords(BluezError::ConnectionAttemptFailed));
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
  for (const auto& row : rows) EXPECT_EQ(ErrorText(row.name), row.text) << row.name;
}

}  // namespace
}  // namespace wren::bluez
