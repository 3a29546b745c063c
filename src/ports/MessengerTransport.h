#pragma once
// Delivery of a network message ("net send") to a recipient's messenger
// mailslot. The block is the messenger's own format: sender, recipient and
// text, each followed by a zero byte.

#include <string_view>

namespace wren::platform {

enum class SendStatus {
  Sent,
  NoRecipient,       // nothing configured: nothing to do
  InvalidRecipient,  // not a messenger name: refused, nothing sent
  NotResolved,       // the recipient's address could not be found
  TooLong,           // the message does not fit in one datagram
  NetworkError,      // the system refused to send
};

const char* SendStatusText(SendStatus status);

// A recipient names one computer's messenger: a NetBIOS name of 1 to 15
// characters, with no path separator and no control character. Anything
// else could make the mailslot path address something other than a
// messenger, so it is never sent to.
bool IsMessengerRecipient(std::string_view recipient);

class MessengerTransport {
public:
  virtual ~MessengerTransport() = default;
  // Writes `block` to `recipient`'s messenger mailslot on behalf of
  // `sender` (the local host name).
  virtual SendStatus Send(std::string_view sender, std::string_view recipient,
                          std::string_view block) = 0;
};

}  // namespace wren::platform
