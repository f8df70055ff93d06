#include "util/text.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

namespace orvane {

namespace {

constexpr std::array<unsigned char, 256> MakeFoldTable() {
  std::array<unsigned char, 256> table{};
  for (int i = 0; i < 256; ++i) {
    const bool upperAscii = i >= 'A' && i <= 'Z';
    const bool upperLatin1 = i >= 0xC0 && i <= 0xDE && i != 0xD7;
    table[i] = static_cast<unsigned char>(upperAscii || upperLatin1 ? i + 0x20 : i);
  }
  return table;
}

constexpr auto kFold = MakeFoldTable();

// The value of a hexadecimal digit; -1 for any other character.
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The other case of each lower-case letter; every other character maps to itself.
constexpr std::array<unsigned char, 256> MakeUnfoldTable() {
  std::array<unsigned char, 256> table{};
  for (int i = 0; i < 256; ++i) table[i] = static_cast<unsigned char>(i);
  for (int i = 0; i < 256; ++i) {
    const unsigned char lower = MakeFoldTable()[i];
    if (lower != i) table[lower] = static_cast<unsigned char>(i);
  }
  return table;
}

constexpr auto kUnfold = MakeUnfoldTable();

inline unsigned char Fold(char c) {
  return kFold[static_cast<unsigned char>(c)];
}

}  // namespace

char FoldCase(char c) {
  return static_cast<char>(Fold(c));
}

qsizetype IndexOfFolded(QByteArrayView text, QByteArrayView needle, qsizetype from) {
  const qsizetype n = needle.size();
  if (from < 0) from = 0;
  if (n == 0) return from <= text.size() ? from : -1;
  const char* t = text.data();
  const char* s = needle.data();
  const unsigned char first = Fold(s[0]);
  const qsizetype last = text.size() - n;
  // Tags and markup start with a character that has no other case ("%", "<"): memchr finds the
  // candidates far faster than a walk through every character.
  const bool caseless = kUnfold[first] == first;
  for (qsizetype i = from; i <= last; ++i) {
    if (caseless) {
      const void* hit = std::memchr(t + i, s[0], static_cast<size_t>(last - i + 1));
      if (hit == nullptr) return -1;
      i = static_cast<const char*>(hit) - t;
    } else if (Fold(t[i]) != first) {
      continue;
    }
    qsizetype j = 1;
    while (j < n && Fold(t[i + j]) == Fold(s[j])) ++j;
    if (j == n) return i;
  }
  return -1;
}

QByteArray ReplaceText(const QByteArray& text, QByteArrayView search, QByteArrayView replacement) {
  if (search.isEmpty()) return text;
  qsizetype hit = IndexOfFolded(text, search);
  if (hit < 0) return text;
  QByteArray result;
  result.reserve(text.size() + replacement.size());
  qsizetype done = 0;
  while (hit >= 0) {
    result.append(text.constData() + done, hit - done);
    result.append(replacement);
    done = hit + search.size();
    hit = IndexOfFolded(text, search, done);
  }
  result.append(text.constData() + done, text.size() - done);
  return result;
}

std::optional<QByteArray> StripPath(const QByteArray& path) {
  if (!path.contains('/') && !path.contains('\\')) return path;
  for (qsizetype i = path.size() - 2; i >= 0; --i) {
    if (path[i] == '/' || path[i] == '\\') return path.mid(i + 1);
  }
  return std::nullopt;
}

bool IsBlank(QByteArrayView text) {
  for (char c : text) {
    if (c != ' ') return false;
  }
  return true;
}

int LeadingNumber(QByteArrayView text) {
  qsizetype i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  }
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value <= INT_MAX) value = value * 10 + (text[i] - '0');
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

QByteArray TrimSpaces(const QByteArray& text) {
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && text[begin] == ' ') ++begin;
  while (end > begin && text[end - 1] == ' ') --end;
  return text.mid(begin, end - begin);
}

QByteArray EscapeHtml(QByteArrayView text) {
  const auto special = [](char c) {
    return c == '&' || c == '<' || c == '>' || c == '"' || c == '\'';
  };
  const auto first = std::find_if(text.begin(), text.end(), special);
  QByteArray out;
  out.reserve(text.size());
  out.append(text.data(), first - text.begin());
  for (char c : text.sliced(first - text.begin())) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

QByteArray PercentDecoded(QByteArrayView text, bool plus) {
  QByteArray out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+' && plus) {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

QByteArray PercentEncoded(QByteArrayView text, const char* also, bool high) {
  static const char kHex[] = "0123456789ABCDEF";
  QByteArray out;
  out.reserve(text.size());
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || (high && u > 0x7F) || (c != 0 && std::strchr(also, c))) {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  return out;
}

QByteArray LinkPath(QByteArrayView name) {
  // Most names hold nothing either step would change: a listing makes one link per file.
  static constexpr auto kChanged = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 0x20; ++c) table[c] = true;
    for (unsigned char c : "%+#?:\\&<>\"'\x7F") table[c] = true;
    return table;
  }();
  if (std::none_of(name.begin(), name.end(),
                   [](char c) { return kChanged[static_cast<unsigned char>(c)]; }))
    return name.toByteArray();
  return EscapeHtml(PercentEncoded(name, "%+#?:\\", false));
}

}  // namespace orvane
