#pragma once
// Decoder for service records in the Bluetooth Core data-element format:
// each element starts with a header byte (type in the high five bits, size
// index in the low three), then optional length bytes, then the value.
// Sequences and alternatives hold further elements. Nothing here reads
// past the buffer it is given; malformed input gives false.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace wren::sdp {

enum class ElementType : std::uint8_t {
  Nil = 0,
  UnsignedInt = 1,
  SignedInt = 2,
  Uuid = 3,
  Text = 4,
  Boolean = 5,
  Sequence = 6,
  Alternative = 7,
  Url = 8,
};

using Bytes = std::span<const std::uint8_t>;

struct Element {
  ElementType type = ElementType::Nil;
  std::uint8_t sizeIndex = 0;  // the low three bits of the header
  // The value bytes: the number or UUID big-endian as stored, the string
  // bytes of a text or URL, the contained element stream of a container.
  Bytes value;
  // The whole element, header and length bytes included.
  Bytes encoded;
};

// Decodes the one element that starts `stream`. False when the header is
// invalid for its type (for example a 3-byte integer size), when a length
// runs past the end of `stream`, or when `stream` is empty. Elements after
// the first are ignored.
bool GetElementData(Bytes stream, Element& out);

// Walks the elements held in a container's value, one per call: starts
// with a default iterator; returns true with the next element, false at
// the end or on a malformed element (then the walk is over).
struct ContainerIterator {
  std::size_t offset = 0;
  bool failed = false;
};
bool GetContainerElementData(Bytes containerValue, ContainerIterator& it, Element& out);

// A record is a sequence of (attribute id as a 16-bit unsigned integer,
// value element) pairs. Calls `onAttribute` once per attribute in record
// order; the callback returns false to stop early. Returns false when the
// record is not such a sequence or is malformed (attributes before the
// fault have been reported).
bool EnumAttributes(Bytes record,
                    const std::function<bool(std::uint16_t id, Bytes value)>& onAttribute);

// The service-discovery walk over one record: every text and URL value in
// attribute order, nested values in sequence order, each cut at its first
// zero byte and to at most 1023 bytes. Attributes that do not decode add
// nothing. Nesting depth is bounded without recursion on the input.
std::vector<std::string> CollectRecordStrings(Bytes record);

// Writers for building records (scenario files, tests).
std::vector<std::uint8_t> EncodeUnsigned(std::uint64_t value, int bytes);  // bytes: 1, 2, 4, 8
std::vector<std::uint8_t> EncodeUuid16(std::uint16_t uuid);
std::vector<std::uint8_t> EncodeText(std::string_view text, ElementType type = ElementType::Text);
std::vector<std::uint8_t> EncodeSequence(const std::vector<std::vector<std::uint8_t>>& elements,
                                         ElementType type = ElementType::Sequence);

}  // namespace wren::sdp
