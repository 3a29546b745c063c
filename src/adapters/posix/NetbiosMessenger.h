#pragma once
// The messenger mailslot written over the network: the block travels as a
// mailslot write (an SMB transaction for \MAILSLOT\MESSNGR) inside a NetBIOS
// direct-unique datagram, sent over UDP to the recipient's datagram port.
// The recipient's address comes from the system's host-name resolution.
//
// Datagram, all multi-byte NetBIOS fields big-endian, SMB fields
// little-endian:
//   NetBIOS datagram header (14 bytes)
//     0x10 direct unique | flags 0x02 (first fragment, none follows, B node)
//     datagram id | source IPv4 address | source UDP port (the address
//     and port the datagram leaves from: an ephemeral port, since port
//     138 needs privileges and may belong to a local datagram service)
//     length of what follows the packet offset | packet offset 0
//   source name: the sender's NetBIOS name, suffix 0x00 (34 bytes)
//   destination name: the recipient's NetBIOS name, suffix 0x03, the
//     name the messenger service registers (34 bytes)
//   SMB header (32 bytes): 0xFF 'S' 'M' 'B', command 0x25 (transaction),
//     every other field zero, as for any mailslot datagram
//   transaction words: 17 words; total/actual data count the block's
//     length, no parameters, no reply wanted (max counts 0), flags 0,
//     timeout 0, data offset from the SMB header; 3 setup words:
//     opcode 1 (mailslot write), priority 0, class 2 (unreliable)
//   byte count | "\MAILSLOT\MESSNGR" and a zero byte | zero padding so that
//     the data starts on a 4-byte boundary of the SMB message | the block
//
// A name is encoded as 16 bytes (upper-cased, blank-padded to 15, then the
// suffix), each byte as two letters 'A' + nibble, behind the length byte
// 0x20 and followed by the empty scope's zero byte.
//
// Name resolution and sending block the caller; with an unreachable name
// server the resolver's own timeout applies.

#include "ports/MessengerTransport.h"

#include <cstdint>

namespace wren::platform {

class NetbiosMessenger : public MessengerTransport {
public:
  static constexpr std::uint16_t kDatagramPort = 138;
  // The NetBIOS datagram service carries at most 512 bytes of user data
  // (here the SMB message) in one datagram; the mailslot protocol has no
  // segmentation of its own, so a longer message is refused, not cut.
  static constexpr std::size_t kMaxUserData = 512;

  explicit NetbiosMessenger(std::uint16_t port = kDatagramPort);

  SendStatus Send(std::string_view sender, std::string_view recipient,
                  std::string_view block) override;

  // The datagram id of the next message; each message takes the next one.
  void SetNextDatagramId(std::uint16_t id) { m_nextId = id; }
  std::uint16_t NextDatagramId() const { return m_nextId; }

private:
  std::uint16_t m_port;
  std::uint16_t m_nextId;
};

}  // namespace wren::platform
