#include "base/SdpDecoder.h"

#include <algorithm>
#include <limits>

namespace wren::sdp {
namespace {

// A text or URL contributes at most this many bytes to the service texts.
constexpr std::size_t kMaxTextBytes = 1023;

// Data bytes for size indexes 0..4 (the Nil type carries none).
constexpr std::size_t kFixedSizes[5] = {1, 2, 4, 8, 16};

bool IsValidSizeIndex(unsigned type, unsigned sizeIndex) {
  switch (type) {
    case 0:  // Nil
    case 5:  // Boolean
      return sizeIndex == 0;
    case 1:  // unsigned integer
    case 2:  // signed integer
      return sizeIndex <= 4;
    case 3:  // UUID: 16, 32 or 128 bits
      return sizeIndex == 1 || sizeIndex == 2 || sizeIndex == 4;
    case 4:  // text
    case 6:  // sequence
    case 7:  // alternative
    case 8:  // URL
      return sizeIndex >= 5;
    default:
      return false;
  }
}

bool IsContainer(ElementType type) {
  return type == ElementType::Sequence || type == ElementType::Alternative;
}

bool IsString(ElementType type) { return type == ElementType::Text || type == ElementType::Url; }

// Walks one element and everything nested in it, checking that every
// element is well formed and lies inside its container. When `strings` is
// given, appends each text and URL value in element order (which is the
// order of attributes and of sequence members). The open containers are
// kept on an explicit stack of end offsets, so the depth of nesting costs
// memory in proportion to the input and never call-stack depth.
bool WalkElement(Bytes stream, std::vector<std::string>* strings) {
  std::vector<std::size_t> ends;
  std::size_t pos = 0;
  do {
    const std::size_t end = ends.empty() ? stream.size() : ends.back();
    Element element;
    if (!GetElementData(stream.subspan(pos, end - pos), element)) return false;
    if (IsContainer(element.type)) {
      pos += element.encoded.size() - element.value.size();
      ends.push_back(pos + element.value.size());
    } else {
      if (strings != nullptr && IsString(element.type)) {
        const auto* bytes = reinterpret_cast<const char*>(element.value.data());
        const std::size_t limit = std::min(element.value.size(), kMaxTextBytes);
        const std::size_t length = std::find(bytes, bytes + limit, '\0') - bytes;
        strings->emplace_back(bytes, length);
      }
      pos += element.encoded.size();
    }
    while (!ends.empty() && pos == ends.back()) ends.pop_back();
  } while (!ends.empty());
  return true;
}

void AppendLength(std::vector<std::uint8_t>& out, ElementType type, std::size_t length) {
  const auto typeBits = static_cast<std::uint8_t>(static_cast<unsigned>(type) << 3);
  if (length <= 0xFF) {
    out.push_back(typeBits | 5);
    out.push_back(static_cast<std::uint8_t>(length));
  } else if (length <= 0xFFFF) {
    out.push_back(typeBits | 6);
    out.push_back(static_cast<std::uint8_t>(length >> 8));
    out.push_back(static_cast<std::uint8_t>(length));
  } else {
    out.push_back(typeBits | 7);
    for (int shift = 24; shift >= 0; shift -= 8)
      out.push_back(static_cast<std::uint8_t>(length >> shift));
  }
}

}  // namespace

bool GetElementData(Bytes stream, Element& out) {
  if (stream.empty()) return false;
  const unsigned type = stream[0] >> 3;
  const unsigned sizeIndex = stream[0] & 0x07u;
  if (!IsValidSizeIndex(type, sizeIndex)) return false;

  std::size_t headerSize = 1;
  std::size_t dataSize = 0;
  if (sizeIndex <= 4) {
    dataSize = type == 0 ? 0 : kFixedSizes[sizeIndex];
  } else {
    const std::size_t lengthBytes = sizeIndex == 5 ? 1 : sizeIndex == 6 ? 2 : 4;
    if (stream.size() - 1 < lengthBytes) return false;
    for (std::size_t i = 0; i < lengthBytes; ++i) dataSize = (dataSize << 8) | stream[1 + i];
    headerSize += lengthBytes;
  }
  if (dataSize > stream.size() - headerSize) return false;

  out.type = static_cast<ElementType>(type);
  out.sizeIndex = static_cast<std::uint8_t>(sizeIndex);
  out.value = stream.subspan(headerSize, dataSize);
  out.encoded = stream.first(headerSize + dataSize);
  return true;
}

bool GetContainerElementData(Bytes containerValue, ContainerIterator& it, Element& out) {
  if (it.failed || it.offset >= containerValue.size()) return false;
  if (!GetElementData(containerValue.subspan(it.offset), out)) {
    it.failed = true;
    return false;
  }
  it.offset += out.encoded.size();
  return true;
}

bool EnumAttributes(Bytes record,
                    const std::function<bool(std::uint16_t id, Bytes value)>& onAttribute) {
  Element top;
  if (!GetElementData(record, top) || top.type != ElementType::Sequence) return false;

  ContainerIterator it;
  Element id;
  while (GetContainerElementData(top.value, it, id)) {
    if (id.type != ElementType::UnsignedInt || id.sizeIndex != 1) return false;
    Element value;
    if (!GetContainerElementData(top.value, it, value)) return false;  // id without a value
    // A value is reported only when all of it is well formed, so callers
    // can walk it without meeting a fault half way.
    if (!WalkElement(value.encoded, nullptr)) return false;
    const auto attributeId = static_cast<std::uint16_t>((id.value[0] << 8) | id.value[1]);
    if (!onAttribute(attributeId, value.encoded)) return true;
  }
  return !it.failed;
}

std::vector<std::string> CollectRecordStrings(Bytes record) {
  std::vector<std::string> strings;
  const bool ok = EnumAttributes(record, [&strings](std::uint16_t, Bytes value) {
    std::vector<std::string> found;
    if (WalkElement(value, &found))
      strings.insert(strings.end(), std::make_move_iterator(found.begin()),
                     std::make_move_iterator(found.end()));
    return true;
  });
  // A record that does not enumerate contributes nothing at all.
  if (!ok) strings.clear();
  return strings;
}

std::vector<std::uint8_t> EncodeUnsigned(std::uint64_t value, int bytes) {
  std::uint8_t sizeIndex = 0;
  switch (bytes) {
    case 1:
      sizeIndex = 0;
      break;
    case 2:
      sizeIndex = 1;
      break;
    case 4:
      sizeIndex = 2;
      break;
    case 8:
      sizeIndex = 3;
      break;
    default:
      return {};
  }
  if (bytes < 8 && value >> (8 * bytes) != 0) return {};  // would not fit
  std::vector<std::uint8_t> out;
  out.push_back(static_cast<std::uint8_t>((static_cast<unsigned>(ElementType::UnsignedInt) << 3) |
                                          sizeIndex));
  for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
  return out;
}

std::vector<std::uint8_t> EncodeUuid16(std::uint16_t uuid) {
  return {static_cast<std::uint8_t>((static_cast<unsigned>(ElementType::Uuid) << 3) | 1),
          static_cast<std::uint8_t>(uuid >> 8), static_cast<std::uint8_t>(uuid)};
}

std::vector<std::uint8_t> EncodeText(std::string_view text, ElementType type) {
  if (!IsString(type) || text.size() > std::numeric_limits<std::uint32_t>::max()) return {};
  std::vector<std::uint8_t> out;
  out.reserve(text.size() + 5);
  AppendLength(out, type, text.size());
  out.insert(out.end(), text.begin(), text.end());
  return out;
}

std::vector<std::uint8_t> EncodeSequence(const std::vector<std::vector<std::uint8_t>>& elements,
                                         ElementType type) {
  if (!IsContainer(type)) return {};
  std::size_t length = 0;
  for (const auto& element : elements) length += element.size();
  if (length > std::numeric_limits<std::uint32_t>::max()) return {};
  std::vector<std::uint8_t> out;
  out.reserve(length + 5);
  AppendLength(out, type, length);
  for (const auto& element : elements) out.insert(out.end(), element.begin(), element.end());
  return out;
}

}  // namespace wren::sdp
