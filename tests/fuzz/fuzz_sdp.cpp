// Service records come from remote devices and scenario files: whatever
// the bytes, the decoder must neither read past them nor crash, and its
// three views of a record must agree.

#include "base/SdpDecoder.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using wren::sdp::Bytes;
using wren::sdp::ContainerIterator;
using wren::sdp::Element;
using wren::sdp::ElementType;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

bool Within(Bytes inner, Bytes outer) {
  return inner.data() >= outer.data() && inner.data() + inner.size() <= outer.data() + outer.size();
}

// Walks an element tree with the public container API, collecting the
// strings the record walk should give. False when some element is
// malformed.
bool WalkWithIterators(Bytes stream, std::vector<std::string>& strings) {
  Element top;
  if (!wren::sdp::GetElementData(stream, top)) return false;
  Check(Within(top.encoded, stream) && Within(top.value, top.encoded));
  struct Frame {
    Bytes value;
    ContainerIterator it;
  };
  std::vector<Frame> stack;
  auto visit = [&](const Element& e) {
    if (e.type == ElementType::Text || e.type == ElementType::Url) {
      std::string s;
      for (std::size_t i = 0; i < e.value.size() && i < 1023 && e.value[i] != 0; ++i)
        s.push_back(static_cast<char>(e.value[i]));
      strings.push_back(s);
    } else if (e.type == ElementType::Sequence || e.type == ElementType::Alternative) {
      stack.push_back({e.value, {}});
    }
  };
  visit(top);
  while (!stack.empty()) {
    Frame& frame = stack.back();
    Element e;
    if (wren::sdp::GetContainerElementData(frame.value, frame.it, e)) {
      Check(Within(e.encoded, frame.value));
      visit(e);
    } else {
      if (frame.it.failed) return false;
      stack.pop_back();
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Bytes input(data, size);

  const std::vector<std::string> collected = wren::sdp::CollectRecordStrings(input);
  for (const std::string& s : collected)
    Check(s.size() <= 1023 && s.find('\0') == std::string::npos);

  std::vector<std::string> expected;
  bool allValuesWalk = true;
  const bool ok = wren::sdp::EnumAttributes(input, [&](std::uint16_t, Bytes value) {
    Check(Within(value, input));
    // Every reported value is one whole, well-formed element.
    Element e;
    Check(wren::sdp::GetElementData(value, e) && e.encoded.size() == value.size());
    allValuesWalk = WalkWithIterators(value, expected) && allValuesWalk;
    return true;
  });
  Check(allValuesWalk);
  if (ok) {
    Check(collected == expected);
  } else {
    Check(collected.empty());
  }

  // The input as a bare element tree.
  std::vector<std::string> ignored;
  WalkWithIterators(input, ignored);

  // Re-encoding every text found gives an element that decodes back.
  for (const std::string& s : collected) {
    const std::vector<std::uint8_t> encoded = wren::sdp::EncodeText(s);
    Element e;
    Check(wren::sdp::GetElementData(Bytes(encoded.data(), encoded.size()), e));
    Check(std::string(e.value.begin(), e.value.end()) == s);
  }
  return 0;
}
