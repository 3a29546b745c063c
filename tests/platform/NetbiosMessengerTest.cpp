#include "adapters/posix/NetbiosMessenger.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <string>

namespace wren::platform {
namespace {

using namespace std::string_literals;

// A datagram socket on 127.0.0.1 standing in for the recipient's
// datagram service.
class Receiver {
public:
  Receiver() {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
      socklen_t len = sizeof addr;
      getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
      port_ = ntohs(addr.sin_port);
    }
  }
  ~Receiver() {
    if (fd_ >= 0) close(fd_);
  }
  std::uint16_t port() const { return port_; }

  struct Arrival {
    std::string bytes;
    sockaddr_in from;
  };
  std::optional<Arrival> Receive(int waitMs) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, waitMs) != 1) return std::nullopt;
    char buffer[2048];
    Arrival a{};
    socklen_t len = sizeof a.from;
    ssize_t n = recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&a.from), &len);
    if (n < 0) return std::nullopt;
    a.bytes.assign(buffer, static_cast<std::size_t>(n));
    return a;
  }

private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

// The test's own name encoding: 15 upper-case characters padded with
// blanks, the suffix, every byte as two letters from 'A', length 0x20
// in front and the empty scope's 0 behind.
std::string EncodedName(const std::string& upperName, unsigned char suffix) {
  std::string raw = upperName;
  raw.resize(15, ' ');
  raw.push_back(static_cast<char>(suffix));
  std::string out = "\x20";
  for (unsigned char c : raw) {
    out.push_back(static_cast<char>('A' + (c >> 4)));
    out.push_back(static_cast<char>('A' + (c & 15)));
  }
  out.push_back('\0');
  return out;
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    auto b = static_cast<unsigned char>(bytes[i]);
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 15]);
    out.push_back(i % 16 == 15 ? '\n' : ' ');
  }
  return out;
}

TEST(NetbiosMessenger, DatagramToLocalhostCarriesTheMailslotWriteByteForByte) {
  Receiver receiver;
  ASSERT_NE(receiver.port(), 0);
  NetbiosMessenger messenger(receiver.port());
  messenger.SetNextDatagramId(0x1234);

  // Host name of five characters, recipient of nine, text "abc": 20 bytes.
  const std::string block = "HOST5\0localhost\0abc\0"s;
  ASSERT_EQ(block.size(), 20u);
  ASSERT_EQ(messenger.Send("HOST5", "localhost", block), SendStatus::Sent);

  auto got = receiver.Receive(5000);
  ASSERT_TRUE(got.has_value()) << "no datagram arrived";
  ASSERT_EQ(got->from.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  const auto srcPort = ntohs(got->from.sin_port);

  std::string expected;
  // NetBIOS datagram header, big-endian.
  expected += "\x10"s;              // DIRECT_UNIQUE DATAGRAM
  expected += "\x02"s;              // FIRST, B node, no MORE
  expected += "\x12\x34"s;          // DGM_ID
  expected += "\x7f\x00\x00\x01"s;  // SOURCE_IP 127.0.0.1
  expected += static_cast<char>(srcPort >> 8);
  expected += static_cast<char>(srcPort & 0xff);
  expected += "\x00\xb0"s;  // DGM_LENGTH: 34 + 34 + 108
  expected += "\x00\x00"s;  // PACKET_OFFSET
  // SOURCE_NAME "HOST5" <00>, DESTINATION_NAME "LOCALHOST" <03>.
  expected +=
      "\x20"
      "EIEPFDFEDF"
      "CACACACACACACACACACA"
      "AA"
      "\0"s;
  expected +=
      "\x20"
      "EMEPEDEBEMEIEPFDFE"
      "CACACACACACA"
      "AD"
      "\0"s;
  // SMB header: protocol, SMB_COM_TRANSACTION, all else zero.
  expected +=
      "\xff"
      "SMB"
      "\x25"s;
  expected += std::string(27, '\0');
  // Transaction request, little-endian.
  expected += "\x11"s;              // WordCount 17
  expected += "\x00\x00"s;          // TotalParameterCount
  expected += "\x14\x00"s;          // TotalDataCount 20
  expected += "\x00\x00"s;          // MaxParameterCount
  expected += "\x00\x00"s;          // MaxDataCount
  expected += "\x00"s;              // MaxSetupCount
  expected += "\x00"s;              // Reserved
  expected += "\x00\x00"s;          // Flags
  expected += "\x00\x00\x00\x00"s;  // Timeout
  expected += "\x00\x00"s;          // Reserved2
  expected += "\x00\x00"s;          // ParameterCount
  expected += "\x00\x00"s;          // ParameterOffset
  expected += "\x14\x00"s;          // DataCount 20
  expected += "\x58\x00"s;          // DataOffset 88
  expected += "\x03"s;              // SetupCount
  expected += "\x00"s;              // Reserved3
  expected += "\x01\x00"s;          // opcode: mailslot write
  expected += "\x00\x00"s;          // priority
  expected += "\x02\x00"s;          // class 2
  expected += "\x27\x00"s;          // ByteCount: 18 + 1 + 20
  expected += "\\MAILSLOT\\MESSNGR\0"s;
  expected += "\0"s;  // padding: data at offset 88
  expected += block;
  ASSERT_EQ(expected.size(), 190u);

  EXPECT_EQ(Hex(got->bytes), Hex(expected));
}

TEST(NetbiosMessenger, EachMessageTakesTheNextDatagramId) {
  Receiver receiver;
  NetbiosMessenger messenger(receiver.port());
  messenger.SetNextDatagramId(0xFFFF);
  ASSERT_EQ(messenger.Send("H", "localhost", "H\0localhost\0a\0"s), SendStatus::Sent);
  ASSERT_EQ(messenger.Send("H", "localhost", "H\0localhost\0b\0"s), SendStatus::Sent);
  auto first = receiver.Receive(5000);
  auto second = receiver.Receive(5000);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->bytes.substr(2, 2), "\xff\xff"s);
  EXPECT_EQ(second->bytes.substr(2, 2), "\x00\x00"s);
}

TEST(NetbiosMessenger, SourceNameIsTheHostNameUpToItsFirstDotAndAtMostFifteenCharacters) {
  const std::pair<std::string, std::string> cases[] = {
      {"desk1.example.org", "DESK1"},
      {"averyveryverylonghostname", "AVERYVERYVERYLO"},
      {"", "WRENLOCATOR"},
      {".hidden", "WRENLOCATOR"},
  };
  for (const auto& [sender, name] : cases) {
    Receiver receiver;
    NetbiosMessenger messenger(receiver.port());
    ASSERT_EQ(messenger.Send(sender, "localhost", "x"), SendStatus::Sent) << sender;
    auto got = receiver.Receive(5000);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(got->bytes.substr(14, 34), EncodedName(name, 0x00)) << sender;
    EXPECT_EQ(got->bytes.substr(48, 34), EncodedName("LOCALHOST", 0x03));
  }
}

TEST(NetbiosMessenger, RecipientsThatAreNotMessengerNamesAreNeverSentTo) {
  Receiver receiver;
  NetbiosMessenger messenger(receiver.port());
  EXPECT_EQ(messenger.Send("H", "", "x"), SendStatus::NoRecipient);
  for (const char* r : {"local\\host", "localhost/x", "\\\\localhost", "local\nhost",
                        "localhost\x7f", "localhost.localdomain.x"}) {
    EXPECT_EQ(messenger.Send("H", r, "x"), SendStatus::InvalidRecipient) << r;
  }
  EXPECT_FALSE(receiver.Receive(200).has_value());
}

TEST(NetbiosMessenger, UnknownRecipientIsNotResolved) {
  NetbiosMessenger messenger(9);
  EXPECT_EQ(messenger.Send("H", "q.invalid", "x"), SendStatus::NotResolved);
}

TEST(NetbiosMessenger, MessageLongerThanOneDatagramIsRefusedWhole) {
  Receiver receiver;
  NetbiosMessenger messenger(receiver.port());
  // 88 bytes of SMB before the data: 424 bytes of block fill the 512.
  ASSERT_EQ(messenger.Send("H", "localhost", std::string(424, 'a')), SendStatus::Sent);
  auto got = receiver.Receive(5000);
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(got->bytes.size(), 14u + 68u + 512u);
  EXPECT_EQ(got->bytes.substr(got->bytes.size() - 424), std::string(424, 'a'));

  EXPECT_EQ(messenger.Send("H", "localhost", std::string(425, 'a')), SendStatus::TooLong);
  EXPECT_FALSE(receiver.Receive(200).has_value());
}

TEST(MessengerRecipient, NetbiosNameRules) {
  EXPECT_TRUE(IsMessengerRecipient("BOSS"));
  EXPECT_TRUE(IsMessengerRecipient("127.0.0.1"));
  EXPECT_TRUE(IsMessengerRecipient("FIFTEENCHARSLON"));
  EXPECT_TRUE(IsMessengerRecipient("with blank"));
  EXPECT_FALSE(IsMessengerRecipient(""));
  EXPECT_FALSE(IsMessengerRecipient("SIXTEENCHARSLONG"));
  EXPECT_FALSE(IsMessengerRecipient("a\\b"));
  EXPECT_FALSE(IsMessengerRecipient("a/b"));
  EXPECT_FALSE(IsMessengerRecipient("a\tb"));
  EXPECT_FALSE(IsMessengerRecipient("a\0b"s));
  EXPECT_FALSE(IsMessengerRecipient("a\x7f"));
}

}  // namespace
}  // namespace wren::platform
