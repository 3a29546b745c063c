#include "adapters/posix/NetbiosMessenger.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <string>

namespace wren::platform {
namespace {

constexpr std::string_view kMailslotName = "\\MAILSLOT\\MESSNGR";
constexpr std::uint8_t kDirectUnique = 0x10;
constexpr std::uint8_t kFirstFragment = 0x02;  // B node, no more fragments
constexpr std::uint8_t kWorkstationSuffix = 0x00;
constexpr std::uint8_t kMessengerSuffix = 0x03;
constexpr std::uint8_t kSmbTransaction = 0x25;
constexpr std::uint16_t kMailslotWrite = 1;
constexpr std::uint16_t kMailslotPriority = 0;
constexpr std::uint16_t kUnreliableClass = 2;
constexpr std::size_t kSmbHeaderSize = 32;
constexpr std::uint8_t kTransactionWords = 17;

using Bytes = std::string;

void PutBigEndian16(Bytes& out, std::uint16_t v) {
  out.push_back(static_cast<char>(v >> 8));
  out.push_back(static_cast<char>(v & 0xFF));
}

void PutLittleEndian16(Bytes& out, std::uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}

void PutLittleEndian32(Bytes& out, std::uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((v >> shift) & 0xFF));
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The 16 bytes of a NetBIOS name: upper-cased, blank-padded to 15, suffix.
Bytes NetbiosName(std::string_view name, std::uint8_t suffix) {
  Bytes raw;
  for (char c : name.substr(0, 15)) raw.push_back(AsciiUpper(c));
  raw.resize(15, ' ');
  raw.push_back(static_cast<char>(suffix));
  return raw;
}

// First-level encoding (two letters per byte) as one label, empty scope.
void PutEncodedName(Bytes& out, std::string_view name, std::uint8_t suffix) {
  out.push_back(0x20);
  for (char c : NetbiosName(name, suffix)) {
    auto byte = static_cast<unsigned char>(c);
    out.push_back(static_cast<char>('A' + (byte >> 4)));
    out.push_back(static_cast<char>('A' + (byte & 0x0F)));
  }
  out.push_back(0x00);
}

// The computer name the sender is known by: its host name up to the first
// dot; the product's name when the host name gives none.
std::string SourceName(std::string_view sender) {
  std::string_view name = sender.substr(0, sender.find('.'));
  if (name.empty() || !IsMessengerRecipient(name.substr(0, 15))) return "Wrenlocator";
  return std::string(name.substr(0, 15));
}

// The SMB transaction that writes `block` to the messenger mailslot.
Bytes MailslotWrite(std::string_view block) {
  const std::size_t nameSize = kMailslotName.size() + 1;
  const std::size_t beforeData = kSmbHeaderSize + 1 + 2 * kTransactionWords + 2 + nameSize;
  const std::size_t padding = (4 - beforeData % 4) % 4;
  const auto dataOffset = static_cast<std::uint16_t>(beforeData + padding);
  const auto dataCount = static_cast<std::uint16_t>(block.size());

  Bytes smb;
  smb.reserve(dataOffset + block.size());
  smb.append("\xFFSMB", 4);
  smb.push_back(static_cast<char>(kSmbTransaction));
  smb.append(kSmbHeaderSize - 5, '\0');  // status, flags, ids: all zero

  smb.push_back(static_cast<char>(kTransactionWords));
  PutLittleEndian16(smb, 0);          // total parameter count
  PutLittleEndian16(smb, dataCount);  // total data count
  PutLittleEndian16(smb, 0);          // max parameter count
  PutLittleEndian16(smb, 0);          // max data count
  smb.push_back(0);                   // max setup count
  smb.push_back(0);                   // reserved
  PutLittleEndian16(smb, 0);          // flags
  PutLittleEndian32(smb, 0);          // timeout
  PutLittleEndian16(smb, 0);          // reserved
  PutLittleEndian16(smb, 0);          // parameter count
  PutLittleEndian16(smb, 0);          // parameter offset
  PutLittleEndian16(smb, dataCount);  // data count
  PutLittleEndian16(smb, dataOffset);
  smb.push_back(3);  // setup count
  smb.push_back(0);  // reserved
  PutLittleEndian16(smb, kMailslotWrite);
  PutLittleEndian16(smb, kMailslotPriority);
  PutLittleEndian16(smb, kUnreliableClass);
  PutLittleEndian16(smb, static_cast<std::uint16_t>(nameSize + padding + block.size()));
  smb.append(kMailslotName);
  smb.push_back('\0');
  smb.append(padding, '\0');
  smb.append(block);
  return smb;
}

class Socket {
public:
  Socket() : m_fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}
  ~Socket() {
    if (m_fd >= 0) close(m_fd);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  int fd() const { return m_fd; }

private:
  int m_fd;
};

bool Resolve(std::string_view recipient, sockaddr_in& address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;  // NetBIOS datagrams are IPv4 only
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  std::string host(recipient);
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
  bool ok = found->ai_addrlen >= sizeof(sockaddr_in);
  if (ok) std::memcpy(&address, found->ai_addr, sizeof(sockaddr_in));
  freeaddrinfo(found);
  return ok;
}

}  // namespace

NetbiosMessenger::NetbiosMessenger(std::uint16_t port)
    : m_port(port), m_nextId(static_cast<std::uint16_t>(std::random_device{}())) {}

SendStatus NetbiosMessenger::Send(std::string_view sender, std::string_view recipient,
                                  std::string_view block) {
  if (recipient.empty()) return SendStatus::NoRecipient;
  if (!IsMessengerRecipient(recipient)) return SendStatus::InvalidRecipient;

  Bytes userData = MailslotWrite(block);
  if (userData.size() > kMaxUserData) return SendStatus::TooLong;

  sockaddr_in destination{};
  if (!Resolve(recipient, destination)) return SendStatus::NotResolved;
  destination.sin_port = htons(m_port);

  Socket sock;
  if (sock.fd() < 0) return SendStatus::NetworkError;
  // Connecting picks the local address and port the datagram leaves from,
  // which its header must name.
  if (connect(sock.fd(), reinterpret_cast<const sockaddr*>(&destination), sizeof destination) != 0)
    return SendStatus::NetworkError;
  sockaddr_in local{};
  socklen_t localSize = sizeof local;
  if (getsockname(sock.fd(), reinterpret_cast<sockaddr*>(&local), &localSize) != 0)
    return SendStatus::NetworkError;

  Bytes names;
  PutEncodedName(names, SourceName(sender), kWorkstationSuffix);
  PutEncodedName(names, recipient, kMessengerSuffix);

  Bytes datagram;
  datagram.reserve(14 + names.size() + userData.size());
  datagram.push_back(static_cast<char>(kDirectUnique));
  datagram.push_back(static_cast<char>(kFirstFragment));
  PutBigEndian16(datagram, m_nextId++);
  datagram.append(reinterpret_cast<const char*>(&local.sin_addr.s_addr), 4);  // network order
  datagram.append(reinterpret_cast<const char*>(&local.sin_port), 2);         // network order
  PutBigEndian16(datagram, static_cast<std::uint16_t>(names.size() + userData.size()));
  PutBigEndian16(datagram, 0);  // packet offset
  datagram.append(names);
  datagram.append(userData);

  ssize_t sent;
  do {
    sent = send(sock.fd(), datagram.data(), datagram.size(), 0);
  } while (sent < 0 && errno == EINTR);
  if (sent != static_cast<ssize_t>(datagram.size())) return SendStatus::NetworkError;
  return SendStatus::Sent;
}

}  // namespace wren::platform
