#include "ports/MessengerTransport.h"

namespace wren::platform {

const char* SendStatusText(SendStatus status) {
  switch (status) {
    case SendStatus::Sent:
      return "sent";
    case SendStatus::NoRecipient:
      return "no recipient configured";
    case SendStatus::InvalidRecipient:
      return "recipient is not a messenger name";
    case SendStatus::NotResolved:
      return "recipient's address not found";
    case SendStatus::TooLong:
      return "message too long for one datagram";
    case SendStatus::NetworkError:
      return "network error";
  }
  return "unknown";
}

bool IsMessengerRecipient(std::string_view recipient) {
  if (recipient.empty() || recipient.size() > 15) return false;
  for (char c : recipient) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '\\' || c == '/') return false;
  }
  return true;
}

}  // namespace wren::platform
