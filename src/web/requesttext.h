#pragma once
// Routines that take a request text apart and lay out its log line.

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace orvane {

// Follows a request text as it arrives and tells when it holds its target: a second word, or a
// line end anywhere. Each call looks only at what was added since the last one, so the cost per
// received byte is constant however the text trickles in.
class RequestLineScanner {
 public:
  // `text` is the whole text received so far (what was fed before, plus more). True once the
  // request can be handled.
  bool Complete(QByteArrayView text);
  void Reset() { *this = {}; }

 private:
  enum Phase { BeforeMethod, InMethod, AfterMethod };
  qsizetype scanned_ = 0;
  Phase phase_ = BeforeMethod;
};

// Follows a request text as it arrives and tells when its header lines are whole: at the empty
// line that ends them, or at the end of a request line without a version (which has none). Like
// RequestLineScanner, it looks only at what was added since the last call.
class HeaderBlockScanner {
 public:
  bool Complete(QByteArrayView text);
  void Reset() { *this = {}; }

 private:
  qsizetype scanned_ = 0;
  int words_ = 0;             // words of the request line seen so far
  bool inWord_ = false;       // the request line's last byte was part of a word
  bool firstLine_ = true;     // still in the request line
  qsizetype lineLength_ = 0;  // bytes of the current line, a CR not counted
};

// The client behind a trusted proxy: the last entry of the request's X-Forwarded-For line when it
// is an IP address, `proxy` (the connection's own address) when it is anything else.
QByteArray ForwardedClient(const QByteArray& request, const QByteArray& proxy);

// One word of a request text split at single spaces (line ends are no separators). `selection`
// is clamped to 1..4: 1 the target as sent, 2 the target before its first "?" without one leading
// "/", 3 the method, 4 the third word. Empty whatever the selection when the target is empty.
// Nothing (a failure) when the text has no space, or for selection 4 when it has no third word.
// Only the text up to the word asked for is looked at.
std::optional<QByteArray> HTTPHeader(const QByteArray& strData, int selection);

// A target as a file part: before its first "?", without one leading "/" (selection 2 above).
QByteArray FilePartOf(const QByteArray& target);

// The characters before the first "?"; the whole text without one.
QByteArray PullFilename(const QByteArray& strData);

// The last line of a request text (the form data of a POST sent in one piece), after at most two
// trailing line-end characters are removed. Nothing for an empty text.
std::optional<QByteArray> GrabFORMQUERY(QByteArray strData);

// What follows the last "." of `filename`, letter case kept; the whole name when it has no ".".
QByteArray FileExt(const QByteArray& filename);

// `strData` padded with spaces to `LenOfStr` + 1 characters; a longer text unchanged.
QByteArray FormatStr(const QByteArray& strData, qsizetype LenOfStr);

}  // namespace orvane
