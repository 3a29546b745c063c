#include "base/SdpDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wren::sdp {
namespace {

using Buffer = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;

// "35 03 19 11 01" -> bytes; the vectors below are written out by hand
// from the data-element format.
Buffer Hex(std::string_view hex) {
  Buffer out;
  int nibbles = 0;
  unsigned byte = 0;
  for (char c : hex) {
    unsigned v;
    if (c >= '0' && c <= '9')
      v = static_cast<unsigned>(c - '0');
    else if (c >= 'A' && c <= 'F')
      v = static_cast<unsigned>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f')
      v = static_cast<unsigned>(c - 'a' + 10);
    else
      continue;
    byte = (byte << 4) | v;
    if (++nibbles == 2) {
      out.push_back(static_cast<std::uint8_t>(byte));
      nibbles = 0;
      byte = 0;
    }
  }
  return out;
}

Buffer Ascii(std::string_view text) { return Buffer(text.begin(), text.end()); }

Buffer Join(std::initializer_list<Buffer> parts) {
  Buffer out;
  for (const Buffer& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes View(const Buffer& b) { return Bytes(b.data(), b.size()); }

Buffer ToBuffer(Bytes b) { return Buffer(b.begin(), b.end()); }

// A serial-port service record as a device would publish it.
const Buffer& SerialPortRecord() {
  static const Buffer record = Join({
      Hex("35 87"),
      Hex("09 0000  0A 00 01 00 00"),                             // ServiceRecordHandle
      Hex("09 0001  35 03 19 11 01"),                             // ServiceClassIDList: Serial Port
      Hex("09 0004  35 0C 35 03 19 01 00 35 05 19 00 03 08 01"),  // L2CAP, RFCOMM channel 1
      Hex("09 0005  35 03 19 10 02"),                             // BrowseGroupList: public root
      Hex("09 0006  35 09 09 65 6E 09 00 6A 09 01 00"),           // "en", UTF-8, base 0x0100
      Hex("09 000A  45 19"), Ascii("http://example.com/serial"),  // DocumentationURL
      Hex("09 0100  25 0B"), Ascii("Serial Port"),                // ServiceName
      Hex("09 0101  25 10"), Ascii("Virtual COM port"),           // ServiceDescription
      Hex("09 0102  25 08"), Ascii("Acme Ltd"),                   // ProviderName
  });
  return record;
}

// Wraps attribute (id, value) pairs into a record with a one-byte length.
Buffer Record(std::initializer_list<Buffer> attributes) {
  Buffer body = Join(attributes);
  Buffer out;
  if (body.size() <= 0xFF) {
    out = {0x35, static_cast<std::uint8_t>(body.size())};
  } else {
    out = {0x37, static_cast<std::uint8_t>(body.size() >> 24),
           static_cast<std::uint8_t>(body.size() >> 16),
           static_cast<std::uint8_t>(body.size() >> 8), static_cast<std::uint8_t>(body.size())};
  }
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

std::vector<std::pair<std::uint16_t, Buffer>> Attributes(const Buffer& record, bool* ok = nullptr) {
  std::vector<std::pair<std::uint16_t, Buffer>> seen;
  const bool result = EnumAttributes(View(record), [&seen](std::uint16_t id, Bytes value) {
    seen.emplace_back(id, ToBuffer(value));
    return true;
  });
  if (ok) *ok = result;
  return seen;
}

// --- single elements -------------------------------------------------------

TEST(SdpElement, AcceptsOnlyTheSizeIndexesOfEachType) {
  // Every header byte the format allows; the rest are malformed.
  const std::set<unsigned> valid = {
      0x00,                          // nil
      0x08, 0x09, 0x0A, 0x0B, 0x0C,  // unsigned 1..16 bytes
      0x10, 0x11, 0x12, 0x13, 0x14,  // signed 1..16 bytes
      0x19, 0x1A, 0x1C,              // UUID 16, 32, 128 bits
      0x25, 0x26, 0x27,              // text
      0x28,                          // boolean
      0x35, 0x36, 0x37,              // sequence
      0x3D, 0x3E, 0x3F,              // alternative
      0x45, 0x46, 0x47,              // URL
  };
  for (unsigned header = 0; header < 256; ++header) {
    // Enough zero bytes after the header for any fixed size; a variable
    // length reads as zero.
    Buffer stream(17, 0);
    stream[0] = static_cast<std::uint8_t>(header);
    Element e;
    EXPECT_EQ(GetElementData(View(stream), e), valid.count(header) == 1)
        << "header 0x" << std::hex << header;
  }
}

TEST(SdpElement, FixedSizesFollowTheSizeIndex) {
  const std::pair<unsigned, std::size_t> sizes[] = {
      {0x00, 0}, {0x08, 1},  {0x09, 2}, {0x0A, 4}, {0x0B, 8},  {0x0C, 16},
      {0x10, 1}, {0x14, 16}, {0x19, 2}, {0x1A, 4}, {0x1C, 16}, {0x28, 1},
  };
  for (const auto& [header, size] : sizes) {
    Buffer stream(20, 0xAB);
    stream[0] = static_cast<std::uint8_t>(header);
    Element e;
    ASSERT_TRUE(GetElementData(View(stream), e)) << std::hex << header;
    EXPECT_EQ(static_cast<unsigned>(e.type), header >> 3);
    EXPECT_EQ(e.sizeIndex, header & 7);
    EXPECT_EQ(e.value.size(), size) << std::hex << header;
    EXPECT_EQ(e.encoded.size(), size + 1);
    EXPECT_EQ(e.value.data(), stream.data() + 1);
  }
}

TEST(SdpElement, VariableLengthsAreBigEndian) {
  Buffer one = Join({Hex("25 03"), Ascii("abcXYZ")});
  Element e;
  ASSERT_TRUE(GetElementData(View(one), e));
  EXPECT_EQ(e.type, ElementType::Text);
  EXPECT_EQ(std::string(e.value.begin(), e.value.end()), "abc");
  EXPECT_EQ(e.encoded.size(), 5u);  // the bytes after the element are not its own

  Buffer two = Hex("46 01 02");
  two.resize(3 + 0x102, 'u');
  ASSERT_TRUE(GetElementData(View(two), e));
  EXPECT_EQ(e.type, ElementType::Url);
  EXPECT_EQ(e.value.size(), 0x102u);

  Buffer four = Hex("37 00 01 00 00");
  four.resize(5 + 0x10000, 0);
  ASSERT_TRUE(GetElementData(View(four), e));
  EXPECT_EQ(e.type, ElementType::Sequence);
  EXPECT_EQ(e.sizeIndex, 7);
  EXPECT_EQ(e.value.size(), 0x10000u);
  EXPECT_EQ(e.encoded.size(), 0x10005u);
}

TEST(SdpElement, RejectsLengthsAndHeadersThatDoNotFit) {
  const Buffer bad[] = {
      {},                                 // empty stream
      Hex("25 04 61 62 63"),              // text length past the end
      Hex("0A 00 01 00"),                 // 4-byte integer with 3 bytes
      Hex("1C 00 01"),                    // 128-bit UUID cut short
      Hex("26 00"),                       // two length bytes announced, one present
      Hex("27 00 00 00"),                 // four length bytes announced, three present
      Hex("35"),                          // sequence header without its length
      Hex("37 FF FF FF FF 00"),           // a 4 GB sequence in six bytes
      Hex("28"),                          // boolean without its byte
      Hex("23 00 00 00 00 00 00 00 00"),  // size index 3 on a text
      Hex("48 00"),                       // type 9
      Hex("FF 00 00"),                    // type 31
  };
  for (const Buffer& b : bad) {
    Element e;
    EXPECT_FALSE(GetElementData(View(b), e)) << testing::PrintToString(b);
  }
}

TEST(SdpElement, ContainerWalkVisitsEachMemberThenEnds) {
  const Buffer list = Hex("35 0C 35 03 19 01 00 35 05 19 00 03 08 01");
  Element seq;
  ASSERT_TRUE(GetElementData(View(list), seq));
  ASSERT_EQ(seq.type, ElementType::Sequence);

  ContainerIterator it;
  Element l2cap;
  ASSERT_TRUE(GetContainerElementData(seq.value, it, l2cap));
  EXPECT_EQ(ToBuffer(l2cap.encoded), Hex("35 03 19 01 00"));
  Element rfcomm;
  ASSERT_TRUE(GetContainerElementData(seq.value, it, rfcomm));
  EXPECT_EQ(rfcomm.type, ElementType::Sequence);
  Element none;
  EXPECT_FALSE(GetContainerElementData(seq.value, it, none));
  EXPECT_FALSE(it.failed);

  ContainerIterator inner;
  Element uuid;
  Element channel;
  ASSERT_TRUE(GetContainerElementData(rfcomm.value, inner, uuid));
  ASSERT_TRUE(GetContainerElementData(rfcomm.value, inner, channel));
  EXPECT_EQ(uuid.type, ElementType::Uuid);
  EXPECT_EQ(ToBuffer(uuid.value), Hex("00 03"));
  EXPECT_EQ(channel.type, ElementType::UnsignedInt);
  EXPECT_EQ(ToBuffer(channel.value), Hex("01"));
  EXPECT_FALSE(GetContainerElementData(rfcomm.value, inner, none));
}

TEST(SdpElement, ContainerWalkStopsForGoodAtAMalformedMember) {
  // The second member claims four bytes where the container has two left.
  const Buffer list = Hex("35 06 08 01 25 04 61 62");
  Element seq;
  ASSERT_TRUE(GetElementData(View(list), seq));
  ContainerIterator it;
  Element e;
  ASSERT_TRUE(GetContainerElementData(seq.value, it, e));
  EXPECT_FALSE(GetContainerElementData(seq.value, it, e));
  EXPECT_TRUE(it.failed);
  EXPECT_FALSE(GetContainerElementData(seq.value, it, e));

  ContainerIterator empty;
  EXPECT_FALSE(GetContainerElementData(Bytes(), empty, e));
  EXPECT_FALSE(empty.failed);
}

// --- records ---------------------------------------------------------------

TEST(SdpRecord, EnumeratesEveryAttributeInRecordOrder) {
  const Buffer& record = SerialPortRecord();
  ASSERT_EQ(record.size(), 2u + record[1]);  // the hand-counted length is right
  bool ok = false;
  const auto attributes = Attributes(record, &ok);
  EXPECT_TRUE(ok);
  std::vector<std::uint16_t> ids;
  for (const auto& a : attributes) ids.push_back(a.first);
  EXPECT_EQ(ids, (std::vector<std::uint16_t>{0x0000, 0x0001, 0x0004, 0x0005, 0x0006, 0x000A, 0x0100,
                                             0x0101, 0x0102}));
  ASSERT_EQ(attributes.size(), 9u);
  EXPECT_EQ(attributes[0].second, Hex("0A 00 01 00 00"));
  EXPECT_EQ(attributes[1].second, Hex("35 03 19 11 01"));
  EXPECT_EQ(attributes[2].second, Hex("35 0C 35 03 19 01 00 35 05 19 00 03 08 01"));
  EXPECT_EQ(attributes[4].second, Hex("35 09 09 65 6E 09 00 6A 09 01 00"));
  EXPECT_EQ(attributes[8].second, Join({Hex("25 08"), Ascii("Acme Ltd")}));
}

TEST(SdpRecord, CollectsTextsAndUrlsInAttributeOrder) {
  EXPECT_EQ(CollectRecordStrings(View(SerialPortRecord())),
            (Strings{"http://example.com/serial", "Serial Port", "Virtual COM port", "Acme Ltd"}));
}

TEST(SdpRecord, EncodersBuildTheSameRecord) {
  const Buffer built = EncodeSequence({
      EncodeUnsigned(0x0000, 2),
      EncodeUnsigned(0x00010000, 4),
      EncodeUnsigned(0x0001, 2),
      EncodeSequence({EncodeUuid16(0x1101)}),
      EncodeUnsigned(0x0004, 2),
      EncodeSequence({EncodeSequence({EncodeUuid16(0x0100)}),
                      EncodeSequence({EncodeUuid16(0x0003), EncodeUnsigned(1, 1)})}),
      EncodeUnsigned(0x0005, 2),
      EncodeSequence({EncodeUuid16(0x1002)}),
      EncodeUnsigned(0x0006, 2),
      EncodeSequence(
          {EncodeUnsigned(0x656E, 2), EncodeUnsigned(0x006A, 2), EncodeUnsigned(0x0100, 2)}),
      EncodeUnsigned(0x000A, 2),
      EncodeText("http://example.com/serial", ElementType::Url),
      EncodeUnsigned(0x0100, 2),
      EncodeText("Serial Port"),
      EncodeUnsigned(0x0101, 2),
      EncodeText("Virtual COM port"),
      EncodeUnsigned(0x0102, 2),
      EncodeText("Acme Ltd"),
  });
  EXPECT_EQ(built, SerialPortRecord());
}

TEST(SdpRecord, NestedValuesComeInSequenceOrder) {
  // 0x0200: ( "a" ( "b" <url "c"> ) 5 "d" ), 0x0201: alternative ( "e" "f" )
  const Buffer record =
      Hex("35 20"
          "09 0200 35 10 25 01 61 35 06 25 01 62 45 01 63 08 05 25 01 64"
          "09 0201 3D 06 25 01 65 25 01 66");
  ASSERT_EQ(record.size(), 2u + record[1]);
  EXPECT_EQ(CollectRecordStrings(View(record)), (Strings{"a", "b", "c", "d", "e", "f"}));
}

TEST(SdpRecord, NumbersUuidsBooleansAndNilAddNothing) {
  const Buffer record =
      Hex("35 2D"
          "09 0300 08 41"
          "09 0301 10 42"
          "09 0302 19 25 01"
          "09 0303 28 01"
          "09 0304 00"
          "09 0305 1C 25 01 41 00 00 00 00 00 00 00 00 00 00 00 00 00");
  ASSERT_EQ(record.size(), 2u + record[1]);
  bool ok = false;
  EXPECT_EQ(Attributes(record, &ok).size(), 6u);
  EXPECT_TRUE(ok);
  EXPECT_TRUE(CollectRecordStrings(View(record)).empty());
}

TEST(SdpRecord, TextsStopAtTheirFirstZeroByte) {
  const Buffer record =
      Hex("35 1F"
          "09 0100 25 05 61 62 00 63 64"  // "ab\0cd"
          "09 0101 25 02 00 7A"           // starts with a zero byte
          "09 0102 25 00"                 // empty
          "09 0103 45 04 77 77 77 00");   // URL "www\0"
  ASSERT_EQ(record.size(), 2u + record[1]);
  EXPECT_EQ(CollectRecordStrings(View(record)), (Strings{"ab", "", "", "www"}));
}

TEST(SdpRecord, KeepsAtMost1023BytesOfAText) {
  const std::string long2000(2000, 'L');
  const Buffer record =
      Join({Hex("36 07 DE"),  // 6 + 2000 + 5 + 3 bytes = 0x7DE
            Hex("09 0100 26 07 D0"), Ascii(long2000), Hex("09 0101 25 03"), Ascii("end")});
  ASSERT_EQ(record.size(), 3u + 0x07DE);
  const Strings strings = CollectRecordStrings(View(record));
  ASSERT_EQ(strings.size(), 2u);
  EXPECT_EQ(strings[0], std::string(1023, 'L'));
  EXPECT_EQ(strings[1], "end");

  for (std::size_t n : {1022u, 1023u, 1024u}) {
    const Buffer r = Record({Hex("09 0100"), EncodeText(std::string(n, 'x'))});
    const Strings s = CollectRecordStrings(View(r));
    ASSERT_EQ(s.size(), 1u);
    EXPECT_EQ(s[0].size(), std::min<std::size_t>(n, 1023)) << n;
  }
}

TEST(SdpRecord, ACommaStaysInsideItsText) {
  const Buffer record = Join({Hex("35 11 09 0100 25 0C"), Ascii("Dial-up, Fax")});
  ASSERT_EQ(record.size(), 2u + record[1]);
  EXPECT_EQ(CollectRecordStrings(View(record)), (Strings{"Dial-up, Fax"}));
}

TEST(SdpRecord, LongLengthFormsAreAccepted) {
  const Buffer record =
      Hex("37 00 00 00 12"
          "09 0100 26 00 02 68 69"          // two-byte length
          "09 0101 27 00 00 00 02 6F 6B");  // four-byte length
  ASSERT_EQ(record.size(), 5u + 0x12);
  EXPECT_EQ(CollectRecordStrings(View(record)), (Strings{"hi", "ok"}));
}

TEST(SdpRecord, AnEmptyRecordHasNoAttributes) {
  bool ok = false;
  EXPECT_TRUE(Attributes(Hex("35 00"), &ok).empty());
  EXPECT_TRUE(ok);
}

TEST(SdpRecord, TheCallbackCanStopTheEnumeration) {
  std::vector<std::uint16_t> ids;
  EXPECT_TRUE(EnumAttributes(View(SerialPortRecord()), [&ids](std::uint16_t id, Bytes) {
    ids.push_back(id);
    return ids.size() < 3;
  }));
  EXPECT_EQ(ids, (std::vector<std::uint16_t>{0x0000, 0x0001, 0x0004}));
}

// --- malformed records -----------------------------------------------------

struct MalformedCase {
  const char* what;
  Buffer record;
  std::size_t reportedBefore;  // attributes reported before the fault
};

void PrintTo(const MalformedCase& c, std::ostream* os) { *os << c.what; }

class MalformedRecord : public testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedRecord, IsRejectedWithoutItsTexts) {
  const MalformedCase& c = GetParam();
  bool ok = true;
  EXPECT_EQ(Attributes(c.record, &ok).size(), c.reportedBefore);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(CollectRecordStrings(View(c.record)).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sdp, MalformedRecord,
    testing::Values(
        MalformedCase{"empty stream", {}, 0},
        MalformedCase{"record length past the end", Hex("35 0A 09 0100 25 02 61 62"), 0},
        MalformedCase{"text length past the record",
                      Hex("35 0D 09 0100 25 02 61 62 09 0101 25 05 61"), 1},
        MalformedCase{"text with size index 3",
                      Hex("35 10 09 0100 25 01 61 09 0101 23 00 00 00 00 00 00 00 00"), 1},
        MalformedCase{"type 9 value", Hex("35 0B 09 0100 25 01 61 09 0101 48 00"), 1},
        MalformedCase{"truncated length bytes", Hex("35 0A 09 0100 25 01 61 09 0101 26"), 1},
        MalformedCase{"truncated record header", Hex("36 00"), 0},
        MalformedCase{"inner text overruns its sequence",
                      Hex("35 0E 09 0100 25 01 61 09 0101 35 03 25 04 62 63 64"), 1},
        MalformedCase{"inner sequence overruns its sequence",
                      Hex("35 0F 09 0100 35 06 35 05 25 03 61 62 63 09 0101 25 00"), 0},
        MalformedCase{"text overruns the inner of two sequences",
                      Hex("35 0C 09 0100 35 07 35 02 25 03 61 62 63"), 0},
        MalformedCase{"sequence member cut in the middle",
                      Hex("35 0A 09 0100 35 05 25 01 61 0A 00"), 0},
        MalformedCase{"record is not a sequence", Hex("3D 06 09 0100 25 01 61"), 0},
        MalformedCase{"attribute id is one byte", Hex("35 05 08 01 25 01 61"), 0},
        MalformedCase{"attribute id is four bytes", Hex("35 08 0A 00 00 01 00 25 01 61"), 0},
        MalformedCase{"attribute id is a UUID", Hex("35 06 19 01 00 25 01 61"), 0},
        MalformedCase{"attribute without a value", Hex("35 08 09 0100 25 01 61 09 0101"), 1}),
    [](const testing::TestParamInfo<MalformedCase>& param) {
      std::string name;
      for (const char* p = param.param.what; *p; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
      return name;
    });

TEST(SdpRecord, TrailingBytesAfterTheRecordAreIgnored) {
  const Buffer record = Join({SerialPortRecord(), Hex("FF FF 00")});
  EXPECT_EQ(CollectRecordStrings(View(record)).size(), 4u);
}

// --- deep nesting ----------------------------------------------------------

// `depth` sequences, each holding only the next, around the text "x"
// (or around a text that claims more bytes than it has).
Buffer DeeplyNested(std::size_t depth, bool brokenInside) {
  std::vector<std::size_t> lengths(depth + 1);
  lengths[0] = 3;  // 25 01 78
  for (std::size_t i = 1; i <= depth; ++i) {
    const std::size_t inner = lengths[i - 1];
    lengths[i] = inner + (inner <= 0xFF ? 2 : inner <= 0xFFFF ? 3 : 5);
  }
  Buffer value;
  value.reserve(lengths[depth]);
  for (std::size_t i = depth; i >= 1; --i) {
    const std::size_t inner = lengths[i - 1];
    if (inner <= 0xFF) {
      value.insert(value.end(), {0x35, static_cast<std::uint8_t>(inner)});
    } else if (inner <= 0xFFFF) {
      value.insert(value.end(),
                   {0x36, static_cast<std::uint8_t>(inner >> 8), static_cast<std::uint8_t>(inner)});
    } else {
      value.insert(
          value.end(),
          {0x37, static_cast<std::uint8_t>(inner >> 24), static_cast<std::uint8_t>(inner >> 16),
           static_cast<std::uint8_t>(inner >> 8), static_cast<std::uint8_t>(inner)});
    }
  }
  value.insert(value.end(), {0x25, static_cast<std::uint8_t>(brokenInside ? 2 : 1), 0x78});
  return Record({Hex("09 0100"), value, Hex("09 0101 25 01 79")});
}

TEST(SdpRecord, AMillionNestedSequencesAreWalkedWithoutRecursion) {
  const Buffer record = DeeplyNested(1'000'000, false);
  EXPECT_EQ(CollectRecordStrings(View(record)), (Strings{"x", "y"}));
  bool ok = false;
  EXPECT_EQ(Attributes(record, &ok).size(), 2u);
  EXPECT_TRUE(ok);
}

TEST(SdpRecord, AMillionNestedSequencesWithAFaultInsideAreRejected) {
  const Buffer record = DeeplyNested(1'000'000, true);
  EXPECT_TRUE(CollectRecordStrings(View(record)).empty());
  bool ok = true;
  EXPECT_TRUE(Attributes(record, &ok).empty());
  EXPECT_FALSE(ok);
}

// --- writers ---------------------------------------------------------------

TEST(SdpEncode, IntegersAndUuids) {
  EXPECT_EQ(EncodeUnsigned(0x01, 1), Hex("08 01"));
  EXPECT_EQ(EncodeUnsigned(0x1234, 2), Hex("09 12 34"));
  EXPECT_EQ(EncodeUnsigned(0x00010000, 4), Hex("0A 00 01 00 00"));
  EXPECT_EQ(EncodeUnsigned(0x0102030405060708ull, 8), Hex("0B 01 02 03 04 05 06 07 08"));
  EXPECT_EQ(EncodeUuid16(0x1101), Hex("19 11 01"));
  // Sizes the format has no integer for, and values that do not fit.
  EXPECT_TRUE(EncodeUnsigned(1, 3).empty());
  EXPECT_TRUE(EncodeUnsigned(1, 0).empty());
  EXPECT_TRUE(EncodeUnsigned(0x100, 1).empty());
  EXPECT_TRUE(EncodeUnsigned(0x10000, 2).empty());
}

TEST(SdpEncode, TextsTakeTheSmallestLengthForm) {
  EXPECT_EQ(EncodeText(""), Hex("25 00"));
  EXPECT_EQ(EncodeText("ab", ElementType::Url), Hex("45 02 61 62"));
  const Buffer t255 = EncodeText(std::string(255, 'a'));
  EXPECT_EQ(Buffer(t255.begin(), t255.begin() + 2), Hex("25 FF"));
  EXPECT_EQ(t255.size(), 257u);
  const Buffer t256 = EncodeText(std::string(256, 'a'));
  EXPECT_EQ(Buffer(t256.begin(), t256.begin() + 3), Hex("26 01 00"));
  EXPECT_EQ(t256.size(), 259u);
  const Buffer t65536 = EncodeText(std::string(65536, 'a'));
  EXPECT_EQ(Buffer(t65536.begin(), t65536.begin() + 5), Hex("27 00 01 00 00"));
  EXPECT_TRUE(EncodeText("a", ElementType::Uuid).empty());
}

TEST(SdpEncode, SequencesTakeTheSmallestLengthForm) {
  EXPECT_EQ(EncodeSequence({}), Hex("35 00"));
  EXPECT_EQ(EncodeSequence({EncodeUuid16(0x0100)}, ElementType::Alternative),
            Hex("3D 03 19 01 00"));
  const Buffer big = EncodeSequence({EncodeText(std::string(297, 'a'))});  // 300 bytes inside
  EXPECT_EQ(Buffer(big.begin(), big.begin() + 3), Hex("36 01 2C"));
  EXPECT_TRUE(EncodeSequence({}, ElementType::Text).empty());

  Element e;
  ASSERT_TRUE(GetElementData(View(big), e));
  EXPECT_EQ(e.encoded.size(), big.size());
}

}  // namespace
}  // namespace wren::sdp
