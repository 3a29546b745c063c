#include "xml/XmlScanner.h"

#include <array>

namespace wren::xml {
namespace {

using Offset = std::int64_t;

// Scanner state bits.
constexpr unsigned kAfterLt = 0x01;
constexpr unsigned kAfterBang = 0x02;
constexpr unsigned kAfterBangDash = 0x04;
constexpr unsigned kAfterBangBracket = 0x08;
constexpr unsigned kSpaceRun = 0x10;
constexpr unsigned kInDoctype = 0x20;
constexpr unsigned kSingleQuote = 0x40;
constexpr unsigned kDoubleQuote = 0x80;

struct CharTables {
  std::array<bool, 256> nameEnd{};    // ends a tag name
  std::array<bool, 256> nameStart{};  // may open a start tag after '<'
  std::array<bool, 256> tagStop{};    // '>' or a quote inside a start tag
  constexpr CharTables() {
    for (unsigned char c : {' ', '\t', '\n', '\r', '/', '>'}) nameEnd[c] = true;
    for (int c = 'A'; c <= 'Z'; ++c) nameStart[c] = true;
    for (int c = 'a'; c <= 127; ++c) nameStart[c] = true;
    nameStart['_'] = true;
    nameStart[':'] = true;
    tagStop['>'] = true;
    tagStop['"'] = true;
    tagStop['\''] = true;
  }
};
constexpr CharTables kTables;

inline unsigned char At(const char* t, Offset i) { return static_cast<unsigned char>(t[i]); }

std::string Incorrect(const char* what, Offset at) {
  std::string m = "Incorrect ";
  m += what;
  m += " at offset ";
  m += std::to_string(at);
  return m;
}

std::string Unterminated(const char* what, Offset at) {
  std::string m = what;
  m += " at offset ";
  m += std::to_string(at);
  m += " unterminated";
  return m;
}

// A markup declaration ("<!ELEMENT", "<!ATTLIST", "<!ENTITY", "<!NOTATION")
// belongs inside a DOCTYPE; anywhere else the parse stops with this text.
std::string DeclarationOutsideDoctype(Offset at) {
  std::string m = "Markup declaration at offset ";
  m += std::to_string(at);
  m += " outside DOCTYPE";
  return m;
}

int Fail(NodeScan& node, std::string& message, std::string text, Offset at) {
  message = std::move(text);
  node.type = kScanError;
  node.errorAt = at;
  return kScanError;
}

int Done(NodeScan& node, int type, Offset end) {
  node.type = type;
  node.length = end - node.start;
  return type;
}

// First '>' at or after `from` whose `count` preceding characters all
// equal `c` and that lies past offset `minOffset`; -1 when none.
Offset FindCloser(const char* t, Offset len, Offset from, char c, int count, Offset minOffset) {
  while (from < len) {
    const void* q = std::memchr(t + from, '>', static_cast<std::size_t>(len - from));
    if (!q) return -1;
    Offset k = static_cast<const char*>(q) - t;
    if (k > minOffset) {
      bool ok = true;
      for (int j = 1; j <= count; ++j) {
        if (t[k - j] != c) {
          ok = false;
          break;
        }
      }
      if (ok) return k;
    }
    from = k + 1;
  }
  return -1;
}

// The first '>', '"' or '\'' at or after `i`; `len` when none.
Offset FindTagStop(const char* t, Offset i, Offset len) {
  static constexpr char kStops[3] = {'>', '"', '\''};
  const char* q = ByteSearch<3>(kStops).In(t + i, t + len);
  return q ? q - t : len;
}

// Both scanners start a node alike: false at the end of the text.
bool BeginNode(NodeScan& node, Offset pos, Offset len) {
  node.start = pos;
  node.empty = false;
  node.nameStart = 0;
  node.nameLength = 0;
  node.errorAt = 0;
  if (pos < len) return true;
  node.type = kEndOfText;
  node.length = 0;
  return false;
}

}  // namespace

int ScanNodeStepwise(std::string_view text, Offset pos, NodeScan& node, std::string& message) {
  const char* t = text.data();
  const Offset len = static_cast<Offset>(text.size());
  if (!BeginNode(node, pos, len)) return kEndOfText;
  unsigned mode = 0;
  const char* term = nullptr;
  int termLen = 0;
  int type = kScanError;
  Offset nameStart = 0;
  // Inside a DOCTYPE a bad character is reported at the last '>' seen
  // while a terminator was awaited.
  Offset lastGt = pos;

  for (Offset i = pos; i < len; ++i) {
    const unsigned char c = At(t, i);
    if (nameStart) {
      if (!kTables.nameEnd[c]) continue;
      node.nameStart = nameStart;
      node.nameLength = i - nameStart;
      nameStart = 0;
    }
    if (termLen) {
      if (c == '>' && !(mode & (kSingleQuote | kDoubleQuote))) {
        lastGt = i;
        bool met = false;
        if (termLen == 1) {
          met = true;
          if (type == kStartTag && t[i - 1] == '/') node.empty = true;
        } else if (i > termLen && std::memcmp(t + i - termLen + 1, term,
                                              static_cast<std::size_t>(termLen - 1)) == 0) {
          met = true;
        }
        if (met) {
          termLen = 0;
          term = nullptr;
          if (!(mode & kInDoctype)) {
            if (type == kScanError) {
              node.length = i + 1 - pos;
              return Fail(node, message, DeclarationOutsideDoctype(pos), pos);
            }
            return Done(node, type, i + 1);
          }
        }
      } else if (c == '<' && type == kText) {
        return Done(node, type, i);
      } else if (type == kStartTag) {
        // A quote of the other kind inside a quoted value is plain text.
        if (c == '"' && !(mode & kSingleQuote))
          mode ^= kDoubleQuote;
        else if (c == '\'' && !(mode & kDoubleQuote))
          mode ^= kSingleQuote;
      }
      continue;
    }
    const Offset errorAt = (mode & kInDoctype) ? lastGt : pos;
    if (mode & kAfterLt) {
      mode &= ~kAfterLt;
      if (kTables.nameStart[c]) {
        type = kStartTag;
        term = ">";
        termLen = 1;
        nameStart = i;
      } else if (c == '/') {
        type = kEndTag;
        term = ">";
        termLen = 1;
        nameStart = i + 1;
      } else if (c == '!') {
        mode |= kAfterBang;
      } else if (c == '?') {
        type = kProcessingInstruction;
        term = "?>";
        termLen = 2;
        nameStart = i + 1;
      } else {
        return Fail(node, message, Incorrect("tag name character", errorAt), errorAt);
      }
    } else if (mode & kAfterBang) {
      mode &= ~kAfterBang;
      if (c == '-') {
        mode |= kAfterBangDash;
      } else if (c == '[' && !(mode & kInDoctype)) {
        mode |= kAfterBangBracket;
      } else if (c == 'D' && !(mode & kInDoctype)) {
        mode |= kInDoctype;
      } else if (c == 'E' || c == 'A' || c == 'N') {
        term = ">";
        termLen = 1;
      } else {
        return Fail(node, message, Incorrect("! tag", errorAt), errorAt);
      }
    } else if (mode & kAfterBangDash) {
      mode &= ~kAfterBangDash;
      if (c != '-') return Fail(node, message, Incorrect("comment tag", errorAt), errorAt);
      type = kComment;
      term = "-->";
      termLen = 3;
    } else if (mode & kAfterBangBracket) {
      mode &= ~kAfterBangBracket;
      if (c != 'C') return Fail(node, message, Incorrect("tag", errorAt), errorAt);
      type = kCData;
      term = "]]>";
      termLen = 3;
    } else if (mode & kInDoctype) {
      if (c == '<')
        mode |= kAfterLt;
      else if (c == '>')
        return Done(node, kDoctype, i + 1);
    } else if (mode & kSpaceRun) {
      if (c == '<') return Done(node, type, i);
      if (!IsXmlSpace(c)) {
        mode &= ~kSpaceRun;
        type = kText;
        term = "<";
        termLen = 1;
      }
    } else {
      if (c == '<') {
        mode |= kAfterLt;
      } else {
        type = kWhitespace;
        if (IsXmlSpace(c)) {
          mode |= kSpaceRun;
        } else {
          type = kText;
          term = "<";
          termLen = 1;
        }
      }
    }
  }

  if (type == kText || type == kWhitespace) return Done(node, type, len);
  if (nameStart) {
    node.nameStart = nameStart;
    node.nameLength = len - nameStart;
  }
  const char* what = "tag";
  if ((mode & kInDoctype) || type == kDoctype)
    what = "Doctype";
  else if (type == kStartTag)
    what = "Element tag";
  else if (type == kEndTag)
    what = "Element end tag";
  else if (type == kCData)
    what = "CDATA Section";
  else if (type == kProcessingInstruction)
    what = "Processing instruction";
  else if (type == kComment)
    what = "Comment";
  return Fail(node, message, Unterminated(what, pos), pos);
}

int ScanNode(std::string_view text, Offset pos, NodeScan& node, std::string& message) {
  const char* t = text.data();
  const Offset len = static_cast<Offset>(text.size());
  if (!BeginNode(node, pos, len)) return kEndOfText;

  unsigned char c = At(t, pos);
  if (c != '<') {
    // Character data runs to the next '<'; it is only skipped.
    Offset i = pos;
    while (i < len && IsXmlSpace(At(t, i))) ++i;
    if (i == len || t[i] == '<') return Done(node, kWhitespace, i);
    const void* q = std::memchr(t + i, '<', static_cast<std::size_t>(len - i));
    return Done(node, kText, q ? static_cast<const char*>(q) - t : len);
  }
  if (pos + 1 >= len) return Fail(node, message, Unterminated("tag", pos), pos);

  c = At(t, pos + 1);
  if (kTables.nameStart[c]) {
    Offset i = pos + 2;
    while (i < len && !kTables.nameEnd[At(t, i)]) ++i;
    node.nameStart = pos + 1;
    node.nameLength = i - pos - 1;
    for (;;) {
      i = FindTagStop(t, i, len);
      if (i >= len) return Fail(node, message, Unterminated("Element tag", pos), pos);
      const char q = t[i];
      if (q == '>') {
        node.empty = t[i - 1] == '/';
        return Done(node, kStartTag, i + 1);
      }
      // Inside a quoted value only the same quote matters.
      const char* close = FindChar(t + i + 1, t + len, q);
      if (!close) return Fail(node, message, Unterminated("Element tag", pos), pos);
      i = close - t + 1;
    }
  }
  if (c == '/') {
    Offset i = pos + 2;
    while (i < len && !kTables.nameEnd[At(t, i)]) ++i;
    node.nameStart = pos + 2;
    node.nameLength = i - pos - 2;
    const char* q = i < len ? FindChar(t + i, t + len, '>') : nullptr;
    if (!q) return Fail(node, message, Unterminated("Element end tag", pos), pos);
    return Done(node, kEndTag, q - t + 1);
  }
  if (c == '?') {
    Offset i = pos + 2;
    while (i < len && !kTables.nameEnd[At(t, i)]) ++i;
    node.nameStart = pos + 2;
    node.nameLength = i - pos - 2;
    // The '?' of the opener counts, so "<?>" closes itself except at offset 0.
    Offset k = FindCloser(t, len, i, '?', 1, 2);
    if (k < 0) return Fail(node, message, Unterminated("Processing instruction", pos), pos);
    return Done(node, kProcessingInstruction, k + 1);
  }
  if (c != '!') return Fail(node, message, Incorrect("tag name character", pos), pos);

  if (pos + 2 >= len) return Fail(node, message, Unterminated("tag", pos), pos);
  c = At(t, pos + 2);
  switch (c) {
    case '-': {
      if (pos + 3 >= len) return Fail(node, message, Unterminated("tag", pos), pos);
      if (t[pos + 3] != '-') return Fail(node, message, Incorrect("comment tag", pos), pos);
      // The dashes of the opener count: "<!-->" is a whole comment.
      Offset k = FindCloser(t, len, pos + 4, '-', 2, 3);
      if (k < 0) return Fail(node, message, Unterminated("Comment", pos), pos);
      return Done(node, kComment, k + 1);
    }
    case '[': {
      if (pos + 3 >= len) return Fail(node, message, Unterminated("tag", pos), pos);
      if (t[pos + 3] != 'C') return Fail(node, message, Incorrect("tag", pos), pos);
      Offset k = FindCloser(t, len, pos + 4, ']', 2, 3);
      if (k < 0) return Fail(node, message, Unterminated("CDATA Section", pos), pos);
      return Done(node, kCData, k + 1);
    }
    case 'D':
      return ScanNodeStepwise(text, pos, node, message);
    case 'E':
    case 'A':
    case 'N': {
      const void* q = std::memchr(t + pos + 3, '>', static_cast<std::size_t>(len - pos - 3));
      if (!q) return Fail(node, message, Unterminated("tag", pos), pos);
      node.length = static_cast<const char*>(q) - t + 1 - pos;
      return Fail(node, message, DeclarationOutsideDoctype(pos), pos);
    }
    default:
      return Fail(node, message, Incorrect("! tag", pos), pos);
  }
}

}  // namespace wren::xml
