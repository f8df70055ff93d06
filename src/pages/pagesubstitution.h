#pragma once

#include <QByteArray>
#include <QDateTime>
#include <functional>
#include <memory>
#include <optional>

#include "pages/pagestream.h"
#include "util/bytesource.h"

namespace orvane {

enum class FooterMode { Html = 0, Text = 1 };

// The publisher's web address, named in both footers.
inline QByteArray PublisherAddress() {
  return "http://www.orvane.example";
}

// The values the substitution tags stand for on one page.
struct PageContext {
  QByteArray appPath;      // for the counter file
  QByteArray serverName;   // %server-name%
  QByteArray requestName;  // %filename%
  QByteArray listingPath;  // %server-path% is "/" + this
  QDateTime now;           // %date% and %time%
};

// One page's substitution: fills the tags, removes every "<noscript>" tag, appends the footer of
// `mode` and counts the hit when the result holds "%counter%". A page holding "*ASCII*" keeps its
// tags and gets no footer; its counter still works. In HTML pages the values a client can choose
// (%filename% and %server-path%) are escaped for HTML; text files get them as they are.
//
// The page is never held whole: a first pass reads it without keeping it, to learn whether it
// holds "*ASCII*", whether it is counted and how long the result is; the second pass makes the
// result a piece at a time while it is sent. The values (date, time, count) are fixed for both.
class PageSubstitution {
 public:
  // Gives the page's raw bytes from their start, anew for each pass.
  using Opener = std::function<std::unique_ptr<ByteSource>()>;

  PageSubstitution(Opener raw, FooterMode mode, PageContext context);
  ~PageSubstitution();

  // Goes on with the first pass for about `budget` bytes of the page; true once it is done (or
  // has failed). The hit is counted when it ends.
  bool Measure(qsizetype budget);
  bool Failed() const { return failed_; }
  // The length of the result, once measured.
  qint64 Length() const { return length_; }
  // The result, a piece at a time, once measured. It fails if the page no longer gives a result
  // of the measured length (the file changed meanwhile).
  std::unique_ptr<ByteSource> Output() const;

 private:
  std::unique_ptr<ByteSource> Stages(std::unique_ptr<ByteSource> raw) const;

  Opener raw_;
  FooterMode mode_;
  PageContext context_;
  enum class Pass { Ascii, Length, Done } pass_ = Pass::Ascii;
  std::unique_ptr<ByteSource> reading_;
  class Probe;
  std::unique_ptr<Probe> probe_;
  ExactFinder asciiFinder_{"*ASCII*"};
  bool ascii_ = false;
  bool failed_ = false;
  qint64 length_ = 0;
  QByteArray count_;  // the counter's text when the page is counted
};

// The whole result of `page`, measured and made at once; nothing when the page could not be read.
std::optional<QByteArray> WholePage(PageSubstitution& page);

// RunSSI on a page held in memory, in place.
void RunSSI(QByteArray& page, FooterMode mode, const PageContext& context);

// The footers appended to HTML pages and to text files.
QByteArray HtmlFooter();
QByteArray TextFooter();

// "12/5/2026" and "7:01:28 AM".
QByteArray DateText(const QDate& date);
QByteArray TimeText(const QTime& time);

}  // namespace orvane
