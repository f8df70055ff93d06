#include "pages/pagesubstitution.h"

#include "pages/hitcounter.h"
#include "util/text.h"
#include "util/version.h"

namespace orvane {

QByteArray HtmlFooter() {
  static const QByteArray q = "\"";
  static const QByteArray site = PublisherAddress();
  static const QByteArray footer =
      "  <!--ORVANE-LIGHT --><div align=" + q + "center" + q + "><table width=" + q + "50%" + q +
      " border=" + q + "0" + q + " cellpadding=" + q + "0" + q + " cellspacing=" + q + "0" + q +
      "><tr><td bgcolor=" + q + "#FFFFFF" + q + "><div align=" + q + "center" + q +
      "><hr noshade>       <font face=" + q + "Verdana, Arial, Helvetica, sans-serif" + q +
      ">&nbsp;This page has been sent to you by Orvane- Light.<br><br><font size=" + q + "2" + q +
      "><b>Get your own free web-server at <a href=" + q + site + q + " target=" + q + "_ad" + q +
      ">" + site + "</a></b></font></font></div></td></tr></table></div><!--ORVANE-LIGHT -->";
  return footer;
}

QByteArray TextFooter() {
  return "\r\n" + QByteArray(32, '=') +
         "\r\nGet Your Own Free Web Server At: " + PublisherAddress();
}

QByteArray DateText(const QDate& date) {
  return QByteArray::number(date.month()) + '/' + QByteArray::number(date.day()) + '/' +
         QByteArray::number(date.year());
}

QByteArray TimeText(const QTime& time) {
  const int hour12 = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
  return QByteArray::number(hour12) + ':' +
         QByteArray::number(time.minute()).rightJustified(2, '0') + ':' +
         QByteArray::number(time.second()).rightJustified(2, '0') +
         (time.hour() < 12 ? " AM" : " PM");
}

void RunSSI(QByteArray& page, FooterMode mode, const PageContext& context) {
  if (!page.contains("*ASCII*")) {
    page = ReplaceText(page, "%date%", DateText(context.now.date()));
    page = ReplaceText(page, "%time%", TimeText(context.now.time()));
    page = ReplaceText(page, "%software%", SoftwareName());
    page = ReplaceText(page, "%server-name%", context.serverName);
    page = ReplaceText(page, "%filename%", context.requestName);
    page = ReplaceText(page, "%server-path%", "/" + context.listingPath);
    page = ReplaceText(page, "<noscript>", "");
    page += mode == FooterMode::Html ? HtmlFooter() : TextFooter();
  }
  if (page.contains("%counter%")) {
    page = ReplaceText(page, "%counter%", QByteArray::number(CountHit(context.appPath)));
  }
}

}  // namespace orvane
