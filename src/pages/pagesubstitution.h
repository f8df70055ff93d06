#pragma once

#include <QByteArray>
#include <QDateTime>

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

// Fills the tags of `page` in place, removes every "<noscript>" tag, appends the footer of `mode`
// and counts the hit when the page holds "%counter%". A page holding "*ASCII*" keeps its tags and
// gets no footer; its counter still works. Never fails.
void RunSSI(QByteArray& page, FooterMode mode, const PageContext& context);

// The footers appended to HTML pages and to text files.
QByteArray HtmlFooter();
QByteArray TextFooter();

// "12/5/2026" and "7:01:28 AM".
QByteArray DateText(const QDate& date);
QByteArray TimeText(const QTime& time);

}  // namespace orvane
