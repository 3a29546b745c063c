#pragma once
// Inside the XML engine: the node scanner the parser runs over the text,
// and the tokenizer that reads a start tag again when an attribute is
// asked for. Offsets are 64-bit so that no text length can overflow them.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace wren::xml {

enum NodeType : int {
  kEndTag = 0,
  kStartTag = 1,
  kText = 2,
  kWhitespace = 4,
  kCData = 8,
  kProcessingInstruction = 16,
  kComment = 32,
  kDoctype = 64,
  kScanError = -1,
  kEndOfText = -2,
};

// One scanned node. For a start tag or processing instruction the name is
// the tag name; for an end tag it is the token after "</".
struct NodeScan {
  int type = kEndOfText;
  std::int64_t start = 0;
  std::int64_t length = 0;
  bool empty = false;
  std::int64_t nameStart = 0;
  std::int64_t nameLength = 0;
  std::int64_t errorAt = 0;  // on kScanError: the offset the message names
};

// Scans the node that starts at `pos`. Returns its type; on kScanError
// `message` says why. The next node starts at node.start + node.length.
int ScanNode(std::string_view text, std::int64_t pos, NodeScan& node, std::string& message);

// The same rules walked one character at a time. The parser uses it for
// DOCTYPE declarations; the fast scanner must agree with it on every node
// except how a run of character data is cut into pieces.
int ScanNodeStepwise(std::string_view text, std::int64_t pos, NodeScan& node, std::string& message);

// Eight bytes at a time: the bytes of a word equal to a given byte, found
// without a branch per byte. Words are read with memcpy, in memory order
// whatever the machine's byte order.
namespace swar {

inline constexpr std::uint64_t kOnes = 0x0101010101010101u;
inline constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Fu;

inline std::uint64_t Load(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

inline std::uint64_t Spread(char c) { return kOnes * static_cast<unsigned char>(c); }

// The high bit of every byte of `w` that equals the byte `spread` repeats,
// and no other bit: exact, no carry crosses from one byte to the next.
inline std::uint64_t Equal(std::uint64_t w, std::uint64_t spread) {
  const std::uint64_t v = w ^ spread;
  return ~(((v & kLow7) + kLow7) | v | kLow7);
}

// The place, in memory order, of the first byte marked by Equal.
inline std::size_t First(std::uint64_t marks) {
  static_assert(std::endian::native == std::endian::little ||
                std::endian::native == std::endian::big);
  if constexpr (std::endian::native == std::endian::little)
    return static_cast<std::size_t>(std::countr_zero(marks)) / 8;
  else
    return static_cast<std::size_t>(std::countl_zero(marks)) / 8;
}

}  // namespace swar

// The first byte of [p, stop) that is one of N given bytes: sixteen bytes
// at a time where the processor has SSE2 (every x86-64 does), then eight,
// then one. Null when there is none.
template <std::size_t N>
class ByteSearch {
public:
  explicit ByteSearch(const char (&bytes)[N]) {
    for (std::size_t k = 0; k < N; ++k) {
      m_bytes[k] = bytes[k];
      m_spread[k] = swar::Spread(bytes[k]);
#if defined(__SSE2__)
      m_spread16[k] = _mm_set1_epi8(bytes[k]);
#endif
    }
  }

  const char* In(const char* p, const char* stop) const {
#if defined(__SSE2__)
    for (; stop - p >= 16; p += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      __m128i equal = _mm_cmpeq_epi8(block, m_spread16[0]);
      for (std::size_t k = 1; k < N; ++k)
        equal = _mm_or_si128(equal, _mm_cmpeq_epi8(block, m_spread16[k]));
      const unsigned marks = static_cast<unsigned>(_mm_movemask_epi8(equal));
      if (marks) return p + std::countr_zero(marks);
    }
#endif
    for (; stop - p >= 8; p += 8) {
      const std::uint64_t w = swar::Load(p);
      std::uint64_t marks = 0;
      for (std::size_t k = 0; k < N; ++k) marks |= swar::Equal(w, m_spread[k]);
      if (marks) return p + swar::First(marks);
    }
    for (; p < stop; ++p) {
      for (std::size_t k = 0; k < N; ++k) {
        if (*p == m_bytes[k]) return p;
      }
    }
    return nullptr;
  }

private:
  char m_bytes[N];
  std::uint64_t m_spread[N];
#if defined(__SSE2__)
  __m128i m_spread16[N];
#endif
};

// memchr for the short runs inside tags: ByteSearch over the first bytes,
// the library's vector search beyond them. Null when not found.
inline const char* FindChar(const char* p, const char* end, char c) {
  const char bytes[1] = {c};
  if (end - p <= 32) return ByteSearch<1>(bytes).In(p, end);
  if (const char* q = ByteSearch<1>(bytes).In(p, p + 32)) return q;
  return static_cast<const char*>(std::memchr(p + 32, c, static_cast<std::size_t>(end - p - 32)));
}

// The first of two bytes, for the short runs inside tags. Null when
// neither is there.
inline const char* FindEither(const char* p, const char* end, char a, char b) {
  const char bytes[2] = {a, b};
  return ByteSearch<2>(bytes).In(p, end);
}

// Whether a token read from the text names `name`: the token is the start
// of the name, and the name ends there or goes on with ' ', '=', '/' or '['.
inline bool NameMatches(std::string_view token, std::string_view name) {
  if (token.size() > name.size()) return false;
  for (std::size_t i = 0; i < token.size(); ++i) {
    if (token[i] != name[i]) return false;
  }
  if (token.size() == name.size()) return true;
  char c = name[token.size()];
  return c == ' ' || c == '=' || c == '/' || c == '[';
}

inline bool IsXmlSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Splits a start tag into names, single delimiter characters and quoted
// strings. It never reads at or past `end`.
struct TokenCursor {
  const char* text = nullptr;
  std::int64_t end = 0;
  std::int64_t next = 0;
  std::int64_t first = 0;
  std::int64_t length = 0;
  bool quoted = false;
  bool closed = false;  // a quoted string found its closing quote

  bool Next() {
    while (next < end && text[next] <= ' ' && IsXmlSpace(static_cast<unsigned char>(text[next])))
      ++next;
    if (next >= end) return false;
    char c = text[next];
    if (c == '"' || c == '\'') {
      quoted = true;
      first = next + 1;
      const char* q = first < end ? FindChar(text + first, text + end, c) : nullptr;
      if (q) {
        std::int64_t at = q - text;
        length = at - first;
        next = at + 1;
        closed = true;
      } else {
        length = end - first;
        next = end;
        closed = false;
      }
      return true;
    }
    quoted = false;
    closed = false;
    first = next;
    if (IsDelimiter(static_cast<unsigned char>(c))) {
      length = 1;
      ++next;
      return true;
    }
    ++next;
    while (next < end && !IsDelimiter(static_cast<unsigned char>(text[next]))) ++next;
    length = next - first;
    return true;
  }

  std::string_view Token() const { return {text + first, static_cast<std::size_t>(length)}; }

  static bool IsDelimiter(unsigned char c) {
    // Every delimiter is below 64: one bit test.
    constexpr std::uint64_t kDelimiters = (std::uint64_t{1} << ' ') | (std::uint64_t{1} << '\t') |
                                          (std::uint64_t{1} << '\n') | (std::uint64_t{1} << '\r') |
                                          (std::uint64_t{1} << '<') | (std::uint64_t{1} << '>') |
                                          (std::uint64_t{1} << '=') | (std::uint64_t{1} << '/') |
                                          (std::uint64_t{1} << '?') | (std::uint64_t{1} << '!');
    if (c < 64) return (kDelimiters >> c) & 1;
    return c == '\\';
  }
};

// One token of a start tag, as TokenCursor cuts it.
struct TagToken {
  std::int64_t first;
  std::int64_t length;
  bool quoted;
  bool closed;
  // A quoted string that holds a '&', which decoding must read; without
  // one its bytes are the value as they stand.
  bool ampersand;
};

// A list of plain values that grows and is cleared without freeing. Add
// hands out the next slot to be written in place, field by field: a value
// built aside and copied in as a whole would be read back right after its
// parts were stored, which the processor cannot forward and must wait for,
// on every token of every tag.
template <typename T>
class GrowingList {
public:
  GrowingList() = default;
  GrowingList(const GrowingList&) = delete;
  GrowingList& operator=(const GrowingList&) = delete;
  // A list moved from is empty and holds nothing.
  GrowingList(GrowingList&& other) noexcept
      : m_data(std::move(other.m_data)),
        m_size(std::exchange(other.m_size, 0)),
        m_capacity(std::exchange(other.m_capacity, 0)) {}
  GrowingList& operator=(GrowingList&& other) noexcept {
    m_data = std::move(other.m_data);
    m_size = std::exchange(other.m_size, 0);
    m_capacity = std::exchange(other.m_capacity, 0);
    return *this;
  }

  std::size_t size() const { return m_size; }
  T& operator[](std::size_t i) { return m_data[i]; }
  const T& operator[](std::size_t i) const { return m_data[i]; }
  T* begin() { return m_data.get(); }
  T* end() { return m_data.get() + m_size; }
  void clear() { m_size = 0; }
  T& Add() {
    if (m_size == m_capacity) Grow();
    return m_data[m_size++];
  }

private:
  void Grow() {
    const std::size_t capacity = m_capacity ? 2 * m_capacity : 32;
    auto data = std::make_unique_for_overwrite<T[]>(capacity);
    std::copy_n(m_data.get(), m_size, data.get());
    m_data = std::move(data);
    m_capacity = capacity;
  }

  std::unique_ptr<T[]> m_data;
  std::size_t m_size = 0;
  std::size_t m_capacity = 0;
};

// The tokens of one start tag, cut only as far as a lookup needs and kept
// for the next: the nine attributes of a record cost one pass over the
// tag. The list ends before the first '/', '>' or '?' outside quotes,
// where attribute lookup stops. Tokens are cut by TokenCursor's rules,
// with the cursor's state held here.
struct AttributeTokens {
  // A token after the first that may name an attribute (neither quoted
  // nor a lone '='), with a key that two equal names always share.
  struct NameToken {
    std::uint64_t key;
    std::size_t token;
  };

  GrowingList<TagToken> tokens;
  GrowingList<NameToken> names;  // a lookup looks at these alone
  const char* text = nullptr;
  std::int64_t end = 0;   // the tag's end: no token reaches it
  std::int64_t next = 0;  // where cutting goes on
  bool complete = false;
  std::int64_t stop = -1;  // where the ending '/', '>' or '?' is; -1 when none

  // The tag runs from its '<' at `start` through its '>' before `end`.
  void Begin(const char* t, std::int64_t start, std::int64_t tagEnd) {
    tokens.clear();
    names.clear();
    text = t;
    end = tagEnd;
    next = start + 1;
    complete = false;
    stop = -1;
  }

  // Length, first and last byte: different keys, different names.
  static std::uint64_t KeyOf(const char* s, std::size_t length) {
    return (static_cast<std::uint64_t>(length) << 16) |
           (std::uint64_t{static_cast<unsigned char>(s[0])} << 8) |
           static_cast<unsigned char>(s[length - 1]);
  }

  // Appends a token; `name` when it is neither quoted nor a lone '='.
  void Keep(std::int64_t first, std::int64_t length, bool quoted, bool closed, bool ampersand,
            bool name) {
    if (name && tokens.size() > 0) {
      NameToken& n = names.Add();
      n.key = KeyOf(text + first, static_cast<std::size_t>(length));
      n.token = tokens.size();
    }
    TagToken& k = tokens.Add();
    k.first = first;
    k.length = length;
    k.quoted = quoted;
    k.closed = closed;
    k.ampersand = ampersand;
  }

  // Cuts tokens as TokenCursor::Next does and keeps them, until more than
  // `tokenCount` tokens or more than `nameCount` names are kept, or the
  // list is complete.
  void Cut(std::size_t tokenCount, std::size_t nameCount) {
    if (complete) return;
    const char* const t = text;
    const std::int64_t e = end;
    std::int64_t i = next;
    while (tokens.size() <= tokenCount && names.size() <= nameCount) {
      while (i < e && t[i] <= ' ' && IsXmlSpace(static_cast<unsigned char>(t[i]))) ++i;
      if (i >= e) {
        complete = true;
        break;
      }
      const char c = t[i];
      std::int64_t first = i;
      std::int64_t length = 1;
      bool quoted = false;
      bool closed = false;
      bool ampersand = false;
      bool name = true;
      if (c == '"' || c == '\'') {
        ++first;
        quoted = true;
        name = false;
        const char* q = first < e ? FindEither(t + first, t + e, c, '&') : nullptr;
        if (q && *q == '&') {
          ampersand = true;
          q = FindChar(q + 1, t + e, c);
        }
        if (q) {
          i = q - t + 1;
          length = i - 1 - first;
          closed = true;
        } else {
          i = e;
          length = e - first;
        }
      } else if (TokenCursor::IsDelimiter(static_cast<unsigned char>(c))) {
        ++i;
        if (c == '/' || c == '>' || c == '?') {
          stop = first;
          complete = true;
          break;
        }
        name = c != '=';
      } else {
        ++i;
        while (i < e && !TokenCursor::IsDelimiter(static_cast<unsigned char>(t[i]))) ++i;
        length = i - first;
      }
      Keep(first, length, quoted, closed, ampersand, name);
    }
    next = i;
  }

  // Names are short: a loop, not a call.
  static bool SameBytes(const char* a, const char* b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      if (a[i] != b[i]) return false;
    }
    return true;
  }

  // The quoted value of attribute `name`, quotes excluded: the first name
  // token after the tag name that matches, whose second token after is a
  // closed quoted string. `ampersand`: whether the value holds a '&'.
  bool Find(std::string_view name, std::int64_t& first, std::int64_t& length, bool& ampersand) {
    // A name without ' ', '=', '/' or '[' is matched by the token that
    // equals it and by no other (NameMatches): tokens of another key are
    // passed over unread.
    bool plain = !name.empty();
    for (char c : name) plain = plain && c != ' ' && c != '=' && c != '/' && c != '[';
    const std::uint64_t key = plain ? KeyOf(name.data(), name.size()) : 0;
    const std::int64_t size = static_cast<std::int64_t>(name.size());
    for (std::size_t n = 0;; ++n) {
      if (n >= names.size()) {
        Cut(SIZE_MAX, n);
        if (n >= names.size()) return false;
      }
      const NameToken& candidate = names[n];
      if (plain && candidate.key != key) continue;
      const std::size_t p = candidate.token;
      const TagToken& k = tokens[p];
      if (plain) {
        if (k.length != size || !SameBytes(text + k.first, name.data(), name.size())) continue;
      } else {
        if (k.length > size) continue;
        if (!NameMatches(std::string_view(text + k.first, static_cast<std::size_t>(k.length)),
                         name))
          continue;
      }
      if (tokens.size() <= p + 2) Cut(p + 2, SIZE_MAX);
      if (p + 2 >= tokens.size() || !tokens[p + 2].quoted || !tokens[p + 2].closed) return false;
      first = tokens[p + 2].first;
      length = tokens[p + 2].length;
      ampersand = tokens[p + 2].ampersand;
      return true;
    }
  }
};

}  // namespace wren::xml
