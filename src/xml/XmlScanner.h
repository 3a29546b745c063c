#pragma once
// Inside the XML engine: the node scanner the parser runs over the text,
// and the tokenizer that reads a start tag again when an attribute is
// asked for. Offsets are 64-bit so that no text length can overflow them.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

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

// memchr for the short runs inside tags: a plain loop over the first
// bytes, the library's vector search beyond them. Null when not found.
inline const char* FindChar(const char* p, const char* end, char c) {
  const char* stop = end - p > 16 ? p + 16 : end;
  for (; p < stop; ++p) {
    if (*p == c) return p;
  }
  if (p >= end) return nullptr;
  return static_cast<const char*>(std::memchr(p, c, static_cast<std::size_t>(end - p)));
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
};

// The tokens of one start tag, cut only as far as a lookup needs and kept
// for the next: the nine attributes of a record cost one pass over the
// tag. The list ends before the first '/', '>' or '?' outside quotes,
// where attribute lookup stops.
struct AttributeTokens {
  std::vector<TagToken> tokens;
  TokenCursor cursor;
  bool complete = false;
  std::int64_t stop = -1;  // where the ending '/', '>' or '?' is; -1 when none

  // The tag runs from its '<' at `start` through its '>' before `end`.
  void Begin(const char* text, std::int64_t start, std::int64_t end) {
    tokens.clear();
    cursor = TokenCursor{};
    cursor.text = text;
    cursor.end = end;
    cursor.next = start + 1;
    complete = false;
    stop = -1;
  }

  bool More() {
    if (complete) return false;
    if (cursor.Next()) {
      const char c = cursor.text[cursor.first];
      if (cursor.quoted || cursor.length != 1 || (c != '/' && c != '>' && c != '?')) {
        tokens.push_back({cursor.first, cursor.length, cursor.quoted, cursor.closed});
        return true;
      }
      stop = cursor.first;
    }
    complete = true;
    return false;
  }

  // The quoted value of attribute `name`, quotes excluded: the first name
  // token after the tag name that matches, whose second token after is a
  // closed quoted string.
  bool Find(std::string_view name, std::int64_t& first, std::int64_t& length) {
    const char* t = cursor.text;
    for (std::size_t p = 1;; ++p) {
      while (p >= tokens.size()) {
        if (!More()) return false;
      }
      const TagToken& k = tokens[p];
      if (k.quoted || static_cast<std::size_t>(k.length) > name.size()) continue;
      if (k.length == 1 && t[k.first] == '=') continue;
      if (!NameMatches(std::string_view(t + k.first, static_cast<std::size_t>(k.length)), name))
        continue;
      while (tokens.size() <= p + 2 && More()) {
      }
      if (p + 2 >= tokens.size() || !tokens[p + 2].quoted || !tokens[p + 2].closed) return false;
      first = tokens[p + 2].first;
      length = tokens[p + 2].length;
      return true;
    }
  }
};

}  // namespace wren::xml
