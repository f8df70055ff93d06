// Request handling by table, through a recording reply sink: which reply each request gets, with
// what status, media type, body and request name, and what it logs. No sockets.

#include <unistd.h>
#include <QTemporaryDir>
#include <QTest>

#include "core/appstate.h"
#include "pages/errorpages.h"
#include "pages/pagesubstitution.h"
#include "testshell.h"
#include "util/files.h"
#include "web/clientslot.h"
#include "web/filedelivery.h"
#include "web/requesthandler.h"
#include "web/site.h"

using namespace orvane;

namespace {

struct Recorded : ReplySink {
  QByteArray how = "none";  // none, page (held or made), file (from the disk), body, script
  QByteArray body;
  ReplyKind kind;
  void Reply(ClientSlot&, const QByteArray& page, const ReplyKind& k) override {
    how = "page";
    body = page;
    kind = k;
  }
  void ReplyFile(ClientSlot&, int fd, qint64 length, const ReplyKind& k) override {
    how = "file";
    body = ReadOpenFile(fd, length).value_or("<unreadable>");
    ::close(fd);
    kind = k;
  }
  void ReplyPage(ClientSlot&, std::unique_ptr<PageSubstitution> page, const ReplyKind& k) override {
    how = "page";
    body = WholePage(*page).value_or("<unreadable>");
    kind = k;
  }
  void AwaitBody(ClientSlot&, qint64) override { how = "body"; }
  void RunScript(ClientSlot&, const ScriptRun&) override { how = "script"; }
};

const QByteArray kTable =
    "<table width=50% border=0 cellspacing=0 cellpadding=0><br>\r\n<tr>\r\n <td>&nbsp;</td>\r\n"
    "<td><B>File Name</b></td>\r\n<td><B>File Size (In Bytes)</B></td>\r\n</tr>\r\n";
const QByteArray kTableEnd = "\r\n</table>\r\n";

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

  QByteArray Error(ErrorKind kind, const QByteArray& name) {
    return CreateError(kind, name, app_).page;
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
    QByteArray binary;
    for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
    Put("docs/image.gif", binary);
    Put("docs/README", "read me");
    Put("docs/empty.bin", "");
    Put("docs/empty.html", "");
    Put("docs/notes.TXT", "text %software%");
    Put("docs/xhtm", "%software%");
    Put("docs/run.qmx", "script text");
    Put("docs/RUN.QMX", "script text");
    Put("docs/form.cgi", "#!/bin/sh");
  }

  void dispatch_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("how");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("name");  // the request's name in the completion line
    QTest::addColumn<QByteArray>("log");
    const int ok = int(ReplyStatus::Ok), missing = int(ReplyStatus::NotFound),
              refused = int(ReplyStatus::Forbidden), failed = int(ReplyStatus::ServerError);
    const QByteArray html = "text/html";
    const QByteArray pageHtml = Page("page");
    auto row = [](const char* title) { return &QTest::newRow(title); };
    *row("index") << QByteArray("GET / HTTP/1.0\r\n\r\n") << QByteArray("page") << ok << html
                  << Page("<p>Orvane Light 0.7 on Orvane Light v.0.7: index.html</p>")
                  << QByteArray("index.html") << QByteArray();
    for (const char* request : {"GET /page.html?a=1 HTTP/1.0\r\n\r\n", "get /page.html HTTP/1.0",
                                "GET /page.html", "GET //page.html HTTP/1.0\r\n\r\n"}) {
      *row(request) << QByteArray(request) << QByteArray("page") << ok << html << pageHtml
                    << QByteArray("page.html") << QByteArray();
    }
    for (const char* name : {"p%61ge.html", "sub", "sub/INDEX.HTML", "<b>.htm"}) {
      const QByteArray escaped = QByteArray(name).replace("<", "&lt;").replace(">", "&gt;");
      *row(name) << "GET /" + QByteArray(name) + " HTTP/1.0\r\n\r\n"
                 << QByteArray("page") << missing << html
                 << QByteArray(
                        "<HTML>\r\n<HEAD>\r\n<TITLE>Orvane Light Version 0.7</TITLE>\r\n"
                        "</HEAD>\r\n<BODY BGCOLOR=WHITE TEXT=BLACK>\r\n<font face=arial>"
                        "<h1>Error 404:</h1>\r\nFile Not Found (/") +
                        escaped +
                        ").\r\n<BR></font><HR><BR><Center><b>Orvane Light Version 0.7</b></center>"
                        "</html>\r\n</BODY>\r\n</HTML>\r\n"
                 << "404 /" + QByteArray(name) << QByteArray();
    }
    *row("HEAD of a missing file")
        << QByteArray("HEAD /gone.htm HTTP/1.0\r\n\r\n") << QByteArray("page") << missing << html
        << QByteArray("*") << QByteArray("404 /gone.htm") << QByteArray();
    *row("refusal") << QByteArray("GET /../server.cfg HTTP/1.0\r\n\r\n") << QByteArray("page")
                    << refused << html << Unauthorized() << QByteArray()
                    << QByteArray("[10.0.0.1] Hack attempt! ../server.cfg");
    *row("refusal of escapes") << QByteArray("POST /a/%2E%2E/..%5Cx HTTP/1.0\r\n\r\n")
                               << QByteArray("page") << refused << html << Unauthorized()
                               << QByteArray()
                               << QByteArray("[10.0.0.1] Hack attempt! a/%2E%2E/..\\x");
    *row("forged log line") << QByteArray("GET /..\r\n[1.2.3.4]\tforged HTTP/1.0\r\n\r\n")
                            << QByteArray("page") << refused << html << Unauthorized()
                            << QByteArray()
                            << QByteArray(
                                   "[10.0.0.1] Hack attempt! ..\\x0D\\x0A[1.2.3.4]\\x09forged");
    const QByteArray listing = Page(kTable +
                                    "<tr>\r\n <td>&nbsp;</td>\r\n<td><a href=\"a.txt\">a.txt</td>"
                                    "\r\n<td>12</td>\r\n</tr>\r\n" +
                                    kTableEnd);
    *row("listing") << QByteArray("GET /sub/ HTTP/1.0\r\n\r\n") << QByteArray("page") << ok
                    << QByteArray() << listing << QByteArray("DIR /docs/sub/") << QByteArray();
    *row("listing by index name") << QByteArray("GET /sub/index.html HTTP/1.0\r\n\r\n")
                                  << QByteArray("page") << ok << QByteArray() << listing
                                  << QByteArray("DIR /docs/sub/") << QByteArray();
    *row("listing of nothing") << QByteArray("GET /nothing/ HTTP/1.0\r\n\r\n") << QByteArray("page")
                               << ok << QByteArray() << Page(kTable + kTableEnd)
                               << QByteArray("DIR /docs/nothing/") << QByteArray();
    *row("listing name with NUL") << QByteArray("GET /sub\0x/ HTTP/1.0\r\n\r\n", 22)
                                  << QByteArray("page") << ok << QByteArray()
                                  << Page(kTable + kTableEnd) << QByteArray("*") << QByteArray();
    QByteArray binary;
    for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
    *row("binary file") << QByteArray("GET /image.gif HTTP/1.0\r\n\r\n") << QByteArray("file") << ok
                        << QByteArray("image/gif") << binary << QByteArray("image.gif")
                        << QByteArray();
    *row("no extension") << QByteArray("GET /README HTTP/1.0\r\n\r\n") << QByteArray("file") << ok
                         << QByteArray() << QByteArray("read me") << QByteArray("README")
                         << QByteArray();
    *row("script's text") << QByteArray("GET /run.qmx HTTP/1.0\r\n\r\n") << QByteArray("file") << ok
                          << QByteArray("application/octet-stream") << QByteArray("script text")
                          << QByteArray("run.qmx") << QByteArray();
    *row("empty file") << QByteArray("GET /empty.bin HTTP/1.0\r\n\r\n") << QByteArray("page") << ok
                       << html << EmptyFilePage() << QByteArray("empty.bin") << QByteArray();
    *row("empty page") << QByteArray("GET /empty.html HTTP/1.0\r\n\r\n") << QByteArray("page") << ok
                       << html << HtmlFooter() << QByteArray("empty.html") << QByteArray();
    *row("text file") << QByteArray("GET /notes.TXT HTTP/1.0\r\n\r\n") << QByteArray("page") << ok
                      << QByteArray("text/plain") << "text Orvane Light 0.7" + TextFooter()
                      << QByteArray("notes.TXT") << QByteArray();
    *row("name ending in htm") << QByteArray("GET /xhtm HTTP/1.0\r\n\r\n") << QByteArray("page")
                               << ok << QByteArray("application/octet-stream")
                               << Page("Orvane Light 0.7") << QByteArray("xhtm") << QByteArray();
    for (const char* target : {"form.cgi", "page.html", "RUN.QMX"}) {
      *row(target) << "POST /" + QByteArray(target) + " HTTP/1.0\r\n\r\na=1" << QByteArray("page")
                   << failed << html << QByteArray("*") << "500 /" + QByteArray(target)
                   << QByteArray();
    }
    *row("missing interpreter") << QByteArray("POST /run.qmx HTTP/1.0\r\n\r\n")
                                << QByteArray("page") << failed << html << QByteArray("*")
                                << QByteArray("124 /run.qmx") << QByteArray();
    for (const QByteArray& request :
         {QByteArray("HEAD /page.html HTTP/1.0\r\n\r\n"), QByteArray("GET /?a=1 HTTP/1.0\r\n\r\n"),
          QByteArray("GET"), QByteArray("GET "),
          QByteArray("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11)}) {
      *row(("no reply: " + request.left(12).toPercentEncoding(" /")).constData())
          << request << QByteArray("none") << 0 << QByteArray() << QByteArray() << QByteArray("*")
          << QByteArray();
    }
  }
  void dispatch() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, how);
    QFETCH(int, status);
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, log);
    TestShell shell;
    AppState app(shell);
    app.settings = LoadSettings(app_);
    app.settings.HttpHeaders = true;  // media types are looked up only for header lines
    const Site site{app.settings, app.desktop, app.ListingPath};
    Recorded sink;
    ClientSlot slot;
    slot.sink = &sink;
    slot.peer = "10.0.0.1";
    HandleRequest(site, slot, request);
    QCOMPARE(sink.how, how);
    if (how == "none") return;
    QCOMPARE(static_cast<int>(sink.kind.status), status);
    if (!type.isEmpty()) QCOMPARE(sink.kind.contentType, type);
    if (body != "*") QCOMPARE(sink.body, body);
    if (name != "*") QCOMPARE(slot.SlotRequest, name);
    QCOMPARE(shell.logLines.join('|'), log);
  }

  void listingNamesAreText() {
    // A file name in a listing is text, and its link names the file as the server reads it back.
    TestShell shell;
    AppState app(shell);
    app.settings = LoadSettings(app_);
    const Site site{app.settings, app.desktop, app.ListingPath};
    Put("docs/odd/<img src=x onerror=alert(1)>.txt", "1");
    Put("docs/odd/a&c'd+e%41#f?.txt", "22");
    Put("docs/odd/javascript:alert(1)", "3");
    Recorded listing;
    ClientSlot slot;
    slot.sink = &listing;
    HandleRequest(site, slot, "GET /odd/ HTTP/1.0\r\n\r\n");
    QVERIFY(
        listing.body.contains("<a href=\"&lt;img src=x onerror=alert(1)&gt;.txt\">&lt;img "
                              "src=x onerror=alert(1)&gt;.txt</td>"));
    QVERIFY(listing.body.contains(
        "<a href=\"a&amp;c&#39;d%2Be%2541%23f%3F.txt\">a&amp;c&#39;d+e%41#f?.txt</td>"));
    // A name cannot make its link a scheme (or, with backslashes, another host).
    QVERIFY(listing.body.contains("<a href=\"javascript%3Aalert(1)\">"));
    Recorded file;
    slot.sink = &file;
    HandleRequest(site, slot, "GET /odd/a&c'd%2Be%2541%23f%3F.txt HTTP/1.0\r\n\r\n");
    QCOMPARE(file.body, "22" + TextFooter());
  }

  void replyHeader_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("ok") << int(ReplyStatus::Ok) << QByteArray("HTTP/1.0 200 OK");
    QTest::newRow("not found") << int(ReplyStatus::NotFound)
                               << QByteArray("HTTP/1.0 404 Not Found");
    QTest::newRow("refused") << int(ReplyStatus::Forbidden) << QByteArray("HTTP/1.0 403 Forbidden");
    QTest::newRow("failed") << int(ReplyStatus::ServerError)
                            << QByteArray("HTTP/1.0 500 Internal Server Error");
  }
  void replyHeader() {
    QFETCH(int, status);
    QFETCH(QByteArray, line);
    QCOMPARE(ReplyHeader({static_cast<ReplyStatus>(status), "text/html"}, 12),
             line +
                 "\r\nContent-Type: text/html\r\nContent-Length: 12\r\nConnection: close\r\n"
                 "Server: Orvane Light 0.7\r\n\r\n");
  }

  void sitePagesAndTemplates() {
    TestShell shell;
    AppState app(shell);
    app.settings = LoadSettings(app_);
    const Site site{app.settings, app.desktop, app.ListingPath};
    auto handle = [&](const QByteArray& request) {
      Recorded sink;
      ClientSlot slot;
      slot.sink = &sink;
      HandleRequest(site, slot, request);
      return sink.body;
    };
    // The site's own not-found page, with its tags.
    Put("system/error-404.html", "<b>gone: %filename%</b>");
    QCOMPARE(handle("GET /missing.htm HTTP/1.0\r\n\r\n"), Page("<b>gone: missing.htm</b>"));
    RemoveFile(app_ + "system/error-404.html");
    // The listing in the site's template, with the folder listed last.
    Put("system/template.html", "<h1>%server-path% %filename%</h1>%INFORMATION%|%information%");
    const QByteArray table = kTable +
                             "<tr>\r\n <td>&nbsp;</td>\r\n<td><a href=\"a.txt\">a.txt</td>\r\n"
                             "<td>12</td>\r\n</tr>\r\n" +
                             kTableEnd;
    QCOMPARE(handle("GET /sub/ HTTP/1.0\r\n\r\n"),
             Page("<h1>/docs/sub/ sub/index.html</h1>" + table + "|" + table));
    QCOMPARE(app.ListingPath, QByteArray("docs/sub/"));
    RemoveFile(app_ + "system/template.html");
  }
};

QTEST_GUILESS_MAIN(DispatchTest)
#include "tst_dispatch.moc"
