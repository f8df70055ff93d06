#pragma once
// Byte-string text routines: one byte is one character (Latin-1), so file bytes pass through
// unchanged. Case-insensitive comparisons fold ASCII and Latin-1 letters the same on both sides.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <optional>

namespace orvane {

// Position of the first occurrence of `needle` in `text` at or after `from`, compared without
// regard to letter case (A-Z and the Latin-1 letters À-Þ but ×); -1 when there is none. An empty
// needle is found at `from`.
qsizetype IndexOfFolded(QByteArrayView text, QByteArrayView needle, qsizetype from = 0);

// Every occurrence of `search` replaced by `replacement`, compared without regard to letter case.
// The search resumes after each inserted replacement, so a replacement holding the search text is
// inserted once per occurrence. `search` must not be empty (the text is then returned unchanged).
QByteArray ReplaceText(const QByteArray& text, QByteArrayView search, QByteArrayView replacement);

// What follows the last "/" or "\" of `path`; the last character itself never counts as that
// separator ("a/b/" gives "b/"). A path without separators comes back unchanged. Empty result
// (a failure) when the only separator is the last character ("abc/", "/").
std::optional<QByteArray> StripPath(const QByteArray& path);

// True when `text` is empty or made only of spaces.
bool IsBlank(QByteArrayView text);

// The decimal number, with an optional minus sign, at the start of `text` after any blanks (spaces
// or tabs); 0 when the text does not start with one. Saturates at the 32-bit range.
int LeadingNumber(QByteArrayView text);

// `text` with leading and trailing spaces removed (only spaces, not other white space).
QByteArray TrimSpaces(const QByteArray& text);

// `text` with & < > " ' written as character references, safe in HTML text and in a quoted
// attribute. A text without them comes back unchanged.
QByteArray EscapeHtml(QByteArrayView text);

// `text` with control bytes, DEL, the bytes in `also` and (with `high`) bytes above 127 written as
// %XX escapes; other bytes as they are.
QByteArray PercentEncoded(QByteArrayView text, const char* also, bool high);
// %XX escapes decoded, with "+" as a space when `plus` (a form's own encoding); anything else, a
// lone "%" among it, stays as it is.
QByteArray PercentDecoded(QByteArrayView text, bool plus);

// A file name as the path of a link in a double-quoted attribute: the bytes that a browser or the
// server's form decoding would read as something else (% + # ? and control bytes, and : and \,
// which could make the link name a scheme or another host) become %XX escapes that the decoding
// turns back into them, and the result is escaped for HTML, so no name can end the attribute. A
// name without those bytes or & < > " ' stays as it is.
QByteArray LinkPath(QByteArrayView name);

}  // namespace orvane
