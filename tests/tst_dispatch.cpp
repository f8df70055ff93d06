// Request handling by table, through a recording reply sink: which reply each request gets, with
// what status, media type, body and request name, and what it logs. No sockets.

#include <unistd.h>
#include <utime.h>
#include <QTemporaryDir>
#include <QTest>

#include "core/appstate.h"
#include "pages/errorpages.h"
#include "pages/pagesubstitution.h"
#include "recordingsink.h"
#include "testshell.h"
#include "util/files.h"
#include "web/clientslot.h"
#include "web/filedelivery.h"
#include "web/requesthandler.h"
#include "web/site.h"

using namespace orvane;

namespace {

QByteArray AllBytes() {
  QByteArray bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  return bytes;
}

const QByteArray kTable =
    "<table width=50% border=0 cellspacing=0 cellpadding=0><br>\r\n<tr>\r\n <td>&nbsp;</td>\r\n"
    "<td><B>File Name</b></td>\r\n<td><B>File Size (In Bytes)</B></td>\r\n</tr>\r\n";
const QByteArray kTableEnd = "\r\n</table>\r\n";
// The listing table of docs/sub.
const QByteArray kSubTable = kTable +
                             "<tr>\r\n <td>&nbsp;</td>\r\n<td><a href=\"a.txt\">a.txt</td>\r\n"
                             "<td>12</td>\r\n</tr>\r\n" +
                             kTableEnd;

QByteArray Page(const QByteArray& body) {
  return body + HtmlFooter();
}

QByteArray Unauthorized() {
  return "<html><head><title>Orvane Light v.0.7 - Unauthorized</title></head><h1>Orvane Light "
         "v.0.7<br><h3>You do NOT have authorization for this folder<br>Your IP address has been "
         "logged for an Access Violation<br>Continued attempts will result in permanent banning, "
         "and referral to your ISP</html>";
}

}  // namespace

class DispatchTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QByteArray app_;

  // What `request` gets from a fresh slot of peer 10.0.0.1, with what the shell logged.
  Recorded Handle(const QByteArray& request, ClientSlot& slot, bool headers = false) {
    TestShell shell;
    AppState app(shell);
    app.settings = LoadSettings(app_);
    app.settings.HttpHeaders = headers;
    const Site site{app.settings, app.desktop, app.ListingPath};
    Recorded sink;
    slot.sink = &sink;
    slot.peer = "10.0.0.1";
    HandleRequest(site, slot, request);
    sink.log = shell.logLines.join('|');
    sink.listingPath = app.ListingPath;
    return sink;
  }
  Recorded Handle(const QByteArray& request) {
    ClientSlot slot;
    return Handle(request, slot);
  }
  void Put(const QByteArray& name, const QByteArray& content) {
    const QByteArray path = app_ + name;
    MakeDir(path.left(path.lastIndexOf('/')));
    QVERIFY(WriteFileAtomically(path, content));
  }

 private Q_SLOTS:
  void initTestCase() {
    app_ = QFile::encodeName(dir_.path()) + "/";
    Put("docs/index.html", "<p>%software% on %server-name%: %filename%</p>");
    Put("docs/page.html", "page");
    Put("docs/sub/a.txt", "123456789012");
    MakeDir(app_ + "docs/sub/img");
    Put("docs/image.gif", AllBytes());
    const utimbuf times{1704164645, 1704164645};  // Tue, 02 Jan 2024 03:04:05 GMT
    QCOMPARE(::utime((app_ + "docs/image.gif").constData(), &times), 0);
    Put("docs/plain", "read me");
    Put("docs/empty.bin", "");
    Put("docs/empty.html", "");
    Put("docs/notes.TXT", "text %software%");
    Put("docs/xhtm", "%software%");
    Put("docs/run.qmx", "script text");
    Put("docs/RUN.QMX", "script text");
    Put("docs/form.cgi", "#!/bin/sh");
  }

  // One row: what `request` gets ("how status media-type", as the recording sink and the status
  // line's code say it, then any further header lines and "head" for a HEAD; "none" for no
  // reply), its body ("*" for any), the request's name in the
  // completion line ("*" for any) and the log lines before it.
  static void Row(const QByteArray& request, const char* reply, const QByteArray& body = "*",
                  const QByteArray& name = "*", const QByteArray& log = {}) {
    QTest::newRow(request.left(90).toPercentEncoding(" /").constData())
        << request << QByteArray(reply) << body << name << log;
  }
  static QByteArray Get(const QByteArray& path, const QByteArray& lines = {}) {
    return "GET /" + path + " HTTP/1.0\r\n" + lines + "\r\n";
  }

  void dispatch_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("log");
    Row(Get(""), "page 200 text/html",
        Page("<p>Orvane Light 0.7 on Orvane Light v.0.7: index.html</p>"), "index.html");
    for (const char* request : {"GET /page.html?a=1 HTTP/1.0\r\n\r\n", "get /page.html HTTP/1.0",
                                "GET /page.html", "GET //page.html HTTP/1.0\r\n\r\n"}) {
      Row(request, "page 200 text/html", Page("page"), "page.html");
    }
    for (const QByteArray name : {"p%61ge.html", "sub/INDEX.HTML", "<b>.htm"}) {
      Row(Get(name), "page 404 text/html",
          "<HTML>\r\n<HEAD>\r\n<TITLE>Orvane Light Version 0.7</TITLE>\r\n</HEAD>\r\n<BODY "
          "BGCOLOR=WHITE TEXT=BLACK>\r\n<font face=arial><h1>Error 404:</h1>\r\nFile Not Found (/" +
              QByteArray(name).replace("<", "&lt;").replace(">", "&gt;") +
              ").\r\n<BR></font><HR><BR><Center><b>Orvane Light Version 0.7</b></center></html>"
              "\r\n</BODY>\r\n</HTML>\r\n",
          "404 /" + name);
    }
    Row("HEAD /gone.htm HTTP/1.0\r\n\r\n", "page 404 text/html head", "*", "404 /gone.htm");
    Row("HEAD /page.html HTTP/1.0\r\n\r\n", "page 200 text/html head", "", "page.html");
    Row("HEAD /image.gif HTTP/1.0\r\n\r\n", "file 200 image/gif head", AllBytes());
    Row(Get("sub"), "page 301 text/html Location: /sub/", "", "sub");
    Row("GET //sub?q=<\"\\> HTTP/1.0\r\n\r\n", "page 301 text/html Location: /sub/?q=%3C%22%5C%3E");
    // Ranges and dates, on a file sent as it is (a page with tags has neither).
    const QByteArray part = "file 206 image/gif Content-Range: bytes ",
                     whole = "file 200 image/gif", date = "Tue, 02 Jan 2024 03:04:05 GMT";
    const auto gif = [](const QByteArray& lines, const QByteArray& reply,
                        const QByteArray& body = "*") {
      Row(Get("image.gif", lines + "\r\n"), reply, body);
    };
    gif("Range: bytes=0-9", part + "0-9/256", AllBytes().left(10));
    gif("range: BYTES=-6", part + "250-255/256", AllBytes().right(6));
    gif("Range: bytes=250-", part + "250-255/256");
    gif("Range: bytes=-300", part + "0-255/256");
    gif("Range: bytes=10-99999999999999999999", part + "10-255/256");
    gif("If-Range: " + date + "\r\nRange: bytes=1-1", part + "1-1/256");
    for (const char* range : {"256-", "-0"})
      gif("Range: bytes=" + QByteArray(range), "page 416 image/gif Content-Range: bytes */256", "");
    for (const char* range : {"bytes=0-1,5-6", "bytes=5-1", "items=0-1", "bytes=x-1", "bytes=1"})
      gif("Range: " + QByteArray(range), whole, AllBytes());
    gif("If-Range: Tue, 02 Jan 2024 03:04:06 GMT\r\nRange: bytes=1-1", whole);
    Row(Get("page.html", "Range: bytes=0-1\r\n"), "page 200 text/html", Page("page"));
    for (const QByteArray& since :
         QByteArrayList{date, "Tuesday, 02-Jan-24 03:04:05 GMT", "Tue Jan  2 03:04:05 2024"})
      gif("If-Modified-Since: " + since, "page 304 image/gif", "");
    for (const QByteArray& since :
         QByteArrayList{"Tue, 02 Jan 2024 03:04:04 GMT", "Tue, 02 Jan 2999 03:04:05 GMT",
                        "02 Jan 2024", date + "\r\nIf-None-Match: \"x\""})
      gif("If-Modified-Since: " + since, whole);
    Row(Get("../server.cfg"), "page 403 text/html", Unauthorized(), "",
        "[10.0.0.1] Hack attempt! ../server.cfg");
    Row("POST /a/%2E%2E/..%5Cx HTTP/1.0\r\n\r\n", "page 403 text/html", Unauthorized(), "",
        "[10.0.0.1] Hack attempt! a/%2E%2E/..\\x");
    Row(Get("..\r\n[1.2.3.4]\tforged"), "page 403 text/html", Unauthorized(), "",
        "[10.0.0.1] Hack attempt! ..\\x0D\\x0A[1.2.3.4]\\x09forged");
    Row(Get("sub/"), "page 200 text/html", Page(kSubTable), "DIR /docs/sub/");
    Row(Get("sub/index.html"), "page 200 text/html", Page(kSubTable), "DIR /docs/sub/");
    Row(Get("nothing/"), "page 200 text/html", Page(kTable + kTableEnd), "DIR /docs/nothing/");
    Row(Get(QByteArray("sub\0x/", 6)), "page 200 text/html", Page(kTable + kTableEnd));
    Row(Get("image.gif"), "file 200 image/gif", AllBytes(), "image.gif");
    Row(Get("plain"), "file 200 application/octet-stream", "read me", "plain");
    Row(Get("run.qmx"), "file 200 application/octet-stream", "script text", "run.qmx");
    Row(Get("empty.bin"), "page 200 text/html", EmptyFilePage(), "empty.bin");
    Row(Get("empty.html"), "page 200 text/html", HtmlFooter(), "empty.html");
    Row(Get("notes.TXT"), "page 200 text/plain", "text Orvane Light 0.7" + TextFooter(),
        "notes.TXT");
    Row(Get("xhtm"), "page 200 application/octet-stream", Page("Orvane Light 0.7"), "xhtm");
    for (const QByteArray target : {"form.cgi", "page.html", "RUN.QMX"}) {
      Row("POST /" + target + " HTTP/1.0\r\n\r\na=1", "page 500 text/html", "*", "500 /" + target);
    }
    Row("POST /run.qmx HTTP/1.0\r\n\r\n", "page 500 text/html", "*", "124 /run.qmx");
    for (const QByteArray& request :
         {Get("?a=1"), QByteArray("GET"), QByteArray("GET "),
          QByteArray("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11)}) {
      Row(request, "none");
    }
  }

  void dispatch() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, log);
    ClientSlot slot;
    // Media types are looked up only for header lines.
    const Recorded sink = Handle(request, slot, true);
    const QByteArray status = ReplyHeader(sink.kind, 0).mid(9, 3);
    const QByteArray more = sink.kind.moreLines.trimmed().replace("\r\n", " ");
    QCOMPARE(sink.how == "none"
                 ? sink.how
                 : sink.how + " " + status + " " + sink.kind.contentType +
                       (more.isEmpty() ? "" : " " + more) + (slot.headOnly ? " head" : ""),
             reply);
    if (body != "*") QCOMPARE(sink.body, body);
    if (name != "*") QCOMPARE(slot.SlotRequest, name);
    QCOMPARE(sink.log, log);
  }

  void listingNamesAreText() {
    // A file name in a listing is text, and its link names the file as the server reads it back.
    Put("docs/odd/<img src=x onerror=alert(1)>.txt", "1");
    Put("docs/odd/a&c'd+e%41#f?.txt", "22");
    Put("docs/odd/javascript:alert(1)", "3");
    const QByteArray listing = Handle("GET /odd/ HTTP/1.0\r\n\r\n").body;
    QVERIFY(
        listing.contains("<a href=\"&lt;img src=x onerror=alert(1)&gt;.txt\">&lt;img "
                         "src=x onerror=alert(1)&gt;.txt</td>"));
    QVERIFY(listing.contains(
        "<a href=\"a&amp;c&#39;d%2Be%2541%23f%3F.txt\">a&amp;c&#39;d+e%41#f?.txt</td>"));
    // A name cannot make its link a scheme (or, with backslashes, another host).
    QVERIFY(listing.contains("<a href=\"javascript%3Aalert(1)\">"));
    QCOMPARE(Handle("GET /odd/a&c'd%2Be%2541%23f%3F.txt HTTP/1.0\r\n\r\n").body,
             "22" + TextFooter());
  }

  void statusLines() {
    for (const auto& [status, line] : {std::pair{ReplyStatus::Ok, "200 OK"},
                                       {ReplyStatus::NotFound, "404 Not Found"},
                                       {ReplyStatus::Forbidden, "403 Forbidden"},
                                       {ReplyStatus::ServerError, "500 Internal Server Error"},
                                       {ReplyStatus::PartialContent, "206 Partial Content"}}) {
      QCOMPARE(ReplyHeader({status, "text/html"}, 12),
               "HTTP/1.0 " + QByteArray(line) +
                   "\r\nContent-Type: text/html\r\nContent-Length: 12\r\nCache-Control: "
                   "no-cache\r\nConnection: close\r\nServer: Orvane Light 0.7\r\n\r\n");
    }
  }

  void sitePagesAndTemplates() {
    // The site's own not-found page, with its tags.
    Put("system/error-404.html", "<b>gone: %filename%</b>");
    QCOMPARE(Handle("GET /missing.htm HTTP/1.0\r\n\r\n").body, Page("<b>gone: missing.htm</b>"));
    RemoveFile(app_ + "system/error-404.html");
    // The listing in the site's template, with the folder listed last.
    Put("system/template.html", "<h1>%server-path% %filename%</h1>%INFORMATION%|%information%");
    const Recorded listing = Handle("GET /sub/ HTTP/1.0\r\n\r\n");
    QCOMPARE(listing.body,
             Page("<h1>/docs/sub/ sub/index.html</h1>" + kSubTable + "|" + kSubTable));
    QCOMPARE(listing.listingPath, QByteArray("docs/sub/"));
    RemoveFile(app_ + "system/template.html");
  }
};

QTEST_GUILESS_MAIN(DispatchTest)
#include "tst_dispatch.moc"
