#include "platform/sim/TagLocator.h"

#include "xml/XmlDocument.h"

namespace wren::sim {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsNameStart(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (c >= 'A' && c <= 'Z') || (u >= 'a' && u <= 127) || c == '_' || c == ':';
}

bool IsDelimiter(char c) {
  return IsBlank(c) || c == '<' || c == '>' || c == '=' || c == '\\' || c == '/' || c == '?' || c == '!';
}

// The '>' that completes `term` (which ends in '>'), looking from `from` on;
// as the engine does, only a '>' past offset term.size() counts.
std::size_t FindTerminator(std::string_view text, std::size_t from, std::string_view term) {
  std::size_t len = term.size();
  for (std::size_t p = from; p < text.size(); ++p) {
    if (text[p] != '>' || p <= len) continue;
    if (text.substr(p - (len - 1), len - 1) == term.substr(0, len - 1)) return p;
  }
  return std::string_view::npos;
}

// The '>' that ends a start tag whose name ends at `from`: the first one
// outside a quoted value (a quote of the other kind inside a value is text).
std::size_t EndOfStartTag(std::string_view text, std::size_t from) {
  bool inDouble = false, inSingle = false;
  for (std::size_t p = from; p < text.size(); ++p) {
    char c = text[p];
    if (c == '"' && !inSingle) inDouble = !inDouble;
    else if (c == '\'' && !inDouble) inSingle = !inSingle;
    else if (c == '>' && !inDouble && !inSingle) return p;
  }
  return std::string_view::npos;
}

std::size_t NameEnd(std::string_view text, std::size_t from) {
  std::size_t p = from;
  while (p < text.size() && !IsBlank(text[p]) && text[p] != '/' && text[p] != '>') ++p;
  return p;
}

// Attribute names of a start tag, from its tokens: name = "value" ...
void ReadAttributes(std::string_view tag, TagInfo& info) {
  struct Token {
    std::string_view text;
    bool quoted;
  };
  std::vector<Token> tokens;
  std::size_t p = 0;
  while (p < tag.size()) {
    if (IsBlank(tag[p])) {
      ++p;
      continue;
    }
    if (tag[p] == '"' || tag[p] == '\'') {
      std::size_t close = tag.find(tag[p], p + 1);
      if (close == std::string_view::npos) close = tag.size();
      tokens.push_back({tag.substr(p + 1, close - p - 1), true});
      p = close + 1;
      continue;
    }
    std::size_t start = p;
    if (IsDelimiter(tag[p])) {
      ++p;
    } else {
      while (p < tag.size() && !IsDelimiter(tag[p])) ++p;
    }
    tokens.push_back({tag.substr(start, p - start), false});
  }
  // An empty-element tag ends in "/".
  if (!tokens.empty() && !tokens.back().quoted && tokens.back().text == "/") tokens.pop_back();
  for (std::size_t i = 0; i < tokens.size();) {
    const Token& name = tokens[i];
    if (name.quoted || IsDelimiter(name.text[0]) || i + 2 >= tokens.size() || tokens[i + 1].quoted ||
        tokens[i + 1].text != "=") {
      info.malformedAttributes = true;
      return;
    }
    const Token& value = tokens[i + 2];
    if (!value.quoted && IsDelimiter(value.text[0])) {
      info.malformedAttributes = true;
      return;
    }
    info.attributes.push_back({std::string(name.text), value.quoted});
    i += 3;
  }
}

}  // namespace

std::vector<TagInfo> LocateTags(std::string_view text) {
  std::vector<TagInfo> tags;
  std::vector<std::size_t> open;
  const std::size_t npos = std::string_view::npos;
  std::size_t i = 0;
  auto skipTo = [&](std::size_t end, std::size_t extra) { i = end == npos ? text.size() : end + extra; };

  while (i < text.size()) {
    if (text[i] != '<') {
      skipTo(text.find('<', i), 0);
      continue;
    }
    if (i + 1 >= text.size()) break;
    char c = text[i + 1];
    if (c == '!') {
      if (text.substr(i, 4) == "<!--") {
        skipTo(FindTerminator(text, i + 4, "-->"), 1);
      } else if (text.substr(i, 3) == "<![") {
        skipTo(FindTerminator(text, i + 4, "]]>"), 1);
      } else if (i + 2 < text.size() && text[i + 2] == 'D') {
        // A DOCTYPE ends at a '>' outside its nested declarations. As in
        // the engine, a markup declaration that follows a nested start tag
        // (with only declarations between) keeps its quotes.
        std::size_t p = i + 3;
        bool afterStartTag = false;
        while (p < text.size() && text[p] != '>') {
          std::size_t e;
          if (text[p] != '<') {
            ++p;
            continue;
          } else if (text.substr(p, 4) == "<!--") {
            e = FindTerminator(text, p + 4, "-->");
            afterStartTag = false;
          } else if (text.substr(p, 2) == "<?") {
            e = FindTerminator(text, p + 2, "?>");
            afterStartTag = false;
          } else if (text.substr(p, 2) == "</") {
            e = text.find('>', p);
            afterStartTag = false;
          } else if (p + 1 < text.size() && IsNameStart(text[p + 1])) {
            e = EndOfStartTag(text, NameEnd(text, p + 1));
            afterStartTag = true;
          } else if (afterStartTag) {
            e = EndOfStartTag(text, p + 2);
          } else {
            e = text.find('>', p);
          }
          p = e == npos ? text.size() : e + 1;
        }
        skipTo(p < text.size() ? p : npos, 1);
      } else {
        skipTo(text.find('>', i), 1);
      }
      continue;
    }
    if (c == '?') {
      skipTo(FindTerminator(text, i + 2, "?>"), 1);
      continue;
    }
    if (c == '/') {
      if (!open.empty()) {
        tags[open.back()].next = tags.size();
        open.pop_back();
      }
      skipTo(text.find('>', i), 1);
      continue;
    }
    if (!IsNameStart(c)) {
      ++i;
      continue;
    }
    std::size_t nameEnd = NameEnd(text, i + 1);
    std::size_t gt = EndOfStartTag(text, nameEnd);
    if (gt == npos) break;
    TagInfo tag;
    tag.offset = i;
    tag.name = std::string(text.substr(i + 1, nameEnd - i - 1));
    ReadAttributes(text.substr(nameEnd, gt - nameEnd), tag);
    bool empty = text[gt - 1] == '/';
    tags.push_back(std::move(tag));
    if (empty)
      tags.back().next = tags.size();
    else
      open.push_back(tags.size() - 1);
    i = gt + 1;
  }
  for (std::size_t index : open) tags[index].next = tags.size();
  return tags;
}

bool TagsMatchDocument(XmlDocument& doc, const std::vector<TagInfo>& tags) {
  doc.ResetPosition();
  std::vector<std::size_t> ends;  // per element in document order: index past its subtree
  std::vector<std::size_t> open;
  std::size_t count = 0;
  bool more = doc.FindElement();
  while (more) {
    std::size_t index = count++;
    ends.push_back(0);
    doc.EnterElement();
    if (doc.FindElement()) {
      open.push_back(index);
      continue;
    }
    doc.LeaveElement();
    ends[index] = count;
    while (!doc.FindElement()) {
      if (open.empty()) {
        more = false;
        break;
      }
      doc.LeaveElement();
      ends[open.back()] = count;
      open.pop_back();
    }
  }
  doc.ResetPosition();
  if (tags.size() != count) return false;
  for (std::size_t i = 0; i < count; ++i)
    if (tags[i].next != ends[i]) return false;
  return true;
}

}  // namespace wren::sim
