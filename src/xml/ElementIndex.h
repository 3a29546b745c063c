#pragma once
// Inside the XML engine: where every element lies in the document text.
// Entries live in segments of 65,536 that stay where they are once full,
// so growing the index never moves more than one partly used segment.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace wren::xml {

inline constexpr std::uint32_t kFirstChildFlag = 0x80000;

// Offsets and lengths are full width: no tag or name length can overflow
// them. Index 0 stands for "none", and entry 0 for the document itself.
struct ElementEntry {
  std::int64_t start;           // the '<' of the start tag
  std::int64_t length;          // through the end tag (or the "/>")
  std::int64_t startTagLength;  // '<' through '>'
  std::int64_t endTagLength;    // 0 for an empty-element tag
  std::uint32_t level;          // the root element is 0
  std::uint32_t flags;          // kFirstChildFlag
  std::uint32_t parent;
  std::uint32_t firstChild;
  std::uint32_t next;
  std::uint32_t prev;  // the first child's holds the last child
};

class ElementIndex {
public:
  static constexpr unsigned kSegmentBits = 16;
  static constexpr std::size_t kSegmentSize = std::size_t{1} << kSegmentBits;
  // Indices are 32-bit; the last one is kept free as a limit.
  static constexpr std::uint32_t kMaxEntries = 0xFFFFFFFFu;

  ElementEntry& operator[](std::uint32_t i) {
    return m_segments[i >> kSegmentBits][i & (kSegmentSize - 1)];
  }
  const ElementEntry& operator[](std::uint32_t i) const {
    return m_segments[i >> kSegmentBits][i & (kSegmentSize - 1)];
  }

  std::size_t Reserved() const { return m_reserved; }

  // Makes room for `count` entries; the first `used` are kept. Only the
  // last, partly used segment is ever copied.
  void Reserve(std::size_t count, std::size_t used) {
    count = std::min<std::size_t>(count, kMaxEntries);
    while (m_reserved < count) {
      const std::size_t segment = m_reserved >> kSegmentBits;
      const std::size_t filled = m_reserved & (kSegmentSize - 1);
      const std::size_t want = std::min(kSegmentSize, count - (segment << kSegmentBits));
      auto block = std::make_unique_for_overwrite<ElementEntry[]>(want);
      if (filled == 0) {
        m_segments.push_back(std::move(block));
      } else {
        const std::size_t base = segment << kSegmentBits;
        const std::size_t keep = used > base ? std::min(used - base, filled) : 0;
        std::copy_n(m_segments[segment].get(), keep, block.get());
        m_segments[segment] = std::move(block);
      }
      m_reserved = (segment << kSegmentBits) + want;
    }
  }

private:
  std::vector<std::unique_ptr<ElementEntry[]>> m_segments;
  std::size_t m_reserved = 0;
};

}  // namespace wren::xml
