#include <sys/sendfile.h>
#include <unistd.h>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "net/connection.h"
#include "pages/pagesubstitution.h"
#include "serverfixture.h"
#include "util/files.h"
#include "web/filedelivery.h"
#include "web/publicserver.h"
#include "web/requesthandler.h"

using namespace orvane;

namespace {

const QByteArray kListingHead =
    "<table width=50% border=0 cellspacing=0 cellpadding=0><br>\r\n<tr>\r\n <td>&nbsp;</td>\r\n"
    "<td><B>File Name</b></td>\r\n<td><B>File Size (In Bytes)</B></td>\r\n</tr>\r\n";
const QByteArray kListingEnd = "\r\n</table>\r\n";

QByteArray Row(const QByteArray& name, int size, const QByteArray& link = {},
               const QByteArray& text = {}) {
  return "<tr>\r\n <td>&nbsp;</td>\r\n<td><a href=\"" + (link.isEmpty() ? name : link) + "\">" +
         (text.isEmpty() ? name : text) + "</td>\r\n<td>" + QByteArray::number(size) +
         "</td>\r\n</tr>\r\n";
}

QByteArray Completion(const QByteArray& name, qint64 bytes) {
  QByteArray line = "[127.0.0.1]";
  line += QByteArray(17 - line.size(), ' ');
  line += name;
  if (name.size() <= 40) line += QByteArray(41 - name.size(), ' ');
  return line + " (" + QByteArray::number(bytes) + ")";
}

QByteArray NotFound(const QByteArray& name) {
  return "<HTML>\r\n<HEAD>\r\n<TITLE>Orvane Light Version 0.7</TITLE>\r\n</HEAD>\r\n<BODY "
         "BGCOLOR=WHITE TEXT=BLACK>\r\n<font face=arial><h1>Error 404:</h1>\r\nFile Not Found (/" +
         name +
         ").\r\n<BR></font><HR><BR><Center><b>Orvane Light Version 0.7</b></center></html>\r\n"
         "</BODY>\r\n</HTML>\r\n";
}

}  // namespace

class WebServerTest : public ServerFixture {
  Q_OBJECT

  QByteArray Page(const QByteArray& body) { return body + HtmlFooter(); }

 private Q_SLOTS:
  void init() {
    NewFolder();
    Put("docs/index.html", "<p>%software% on %server-name%: %filename%</p>");
    Put("docs/page.html", "page");
    StartServer();
  }
  void cleanup() {
    server_.reset();
    state_.reset();
  }

  void indexPage() {
    const QByteArray expected = Page("<p>Orvane Light 0.7 on Orvane Light v.0.7: index.html</p>");
    QCOMPARE(Fetch("GET / HTTP/1.0\r\n\r\n"), expected);
    QCOMPARE(Log(), QByteArrayList({Completion("index.html", expected.size())}));
    QCOMPARE(state_->desktop.Panel(2), QByteArray("0/50 Active Users"));
    QCOMPARE(server_->ActiveConnections(), 0);
  }

  void targets_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("logName");
    QTest::newRow("named page") << QByteArray("GET /page.html HTTP/1.1\r\nHost: x\r\n\r\n")
                                << Page("page") << QByteArray("page.html");
    QTest::newRow("query cut") << QByteArray("GET /page.html?a=1 HTTP/1.0\r\n\r\n") << Page("page")
                               << QByteArray("page.html");
    QTest::newRow("lower-case method")
        << QByteArray("get /page.html HTTP/1.0\r\n\r\n") << Page("page") << QByteArray("page.html");
    QTest::newRow("no line end") << QByteArray("GET /page.html") << Page("page")
                                 << QByteArray("page.html");
    QTest::newRow("escaped name") << QByteArray("GET /p%61ge.html HTTP/1.0\r\n\r\n")
                                  << NotFound("p%61ge.html") << QByteArray("404 /p%61ge.html");
    QTest::newRow("folder without slash")
        << QByteArray("GET /sub HTTP/1.0\r\n\r\n") << NotFound("sub") << QByteArray("404 /sub");
    QTest::newRow("index name matched with case")
        << QByteArray("GET /sub/INDEX.HTML HTTP/1.0\r\n\r\n") << NotFound("sub/INDEX.HTML")
        << QByteArray("404 /sub/INDEX.HTML");
    QTest::newRow("HEAD of a missing file") << QByteArray("HEAD /gone.htm HTTP/1.0\r\n\r\n")
                                            << NotFound("gone.htm") << QByteArray("404 /gone.htm");
    QTest::newRow("double slash") << QByteArray("GET //page.html HTTP/1.0\r\n\r\n") << Page("page")
                                  << QByteArray("page.html");
  }
  void targets() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, logName);
    Put("docs/sub/x.txt", "x");
    QCOMPARE(Fetch(request), body);
    QCOMPARE(Log(), QByteArrayList({Completion(logName, body.size())}));
  }

  void refusal() {
    const QByteArray page =
        "<html><head><title>Orvane Light v.0.7 - Unauthorized</title></head><h1>Orvane Light "
        "v.0.7<br><h3>You do NOT have authorization for this folder<br>Your IP address has been "
        "logged for an Access Violation<br>Continued attempts will result in permanent banning, "
        "and referral to your ISP</html>";
    QCOMPARE(Fetch("GET /../server.cfg HTTP/1.0\r\n\r\n"), page);
    QCOMPARE(Fetch("POST /a/%2E%2E/..%5Cx HTTP/1.0\r\n\r\n"), page);
    QCOMPARE(Log(), QByteArrayList(
                        {"[127.0.0.1] Hack attempt! ../server.cfg", Completion("", page.size()),
                         "[127.0.0.1] Hack attempt! a/%2E%2E/..\\x", Completion("", page.size())}));
  }

  void logLinesCannotBeForged() {
    Fetch("GET /..\r\n[1.2.3.4]\tforged HTTP/1.0\r\n\r\n");
    Fetch("GET /a\rb HTTP/1.0\r\n\r\n");
    QCOMPARE(Log().size(), 3);
    QCOMPARE(Log()[0], QByteArray("[127.0.0.1] Hack attempt! ..\\x0D\\x0A[1.2.3.4]\\x09forged"));
    QVERIFY(Log()[2].startsWith("[127.0.0.1]      404 /a\\x0Db"));
  }

  void folderListings() {
    Put("docs/sub/a.txt", "123456789012");
    QVERIFY(MakeDir(app_ + "docs/sub/img"));
    const QByteArray table = kListingHead + Row("a.txt", 12) + kListingEnd;
    QCOMPARE(Fetch("GET /sub/ HTTP/1.0\r\n\r\n"), Page(table));
    QCOMPARE(Fetch("GET /sub/index.html HTTP/1.0\r\n\r\n"), Page(table));
    QCOMPARE(Log().last(), Completion("DIR /docs/sub/", Page(table).size()));
    QCOMPARE(state_->ListingPath, QByteArray("docs/sub/"));
  }

  void strangerNamesNeverBecomeMarkup() {
    // A file name in a listing, a folder path a client asks to list, and a request name in an
    // error page all arrive escaped; a link names its file so the browser asks for that file.
    Put("docs/sub/<img src=x onerror=alert(1)>.txt", "1");
    Put("docs/sub/a&c'd+e%41#f?.txt", "22");
    Put("docs/sub/x\"y.txt", "333");
    const QByteArray listing = Fetch("GET /sub/ HTTP/1.0\r\n\r\n");
    QVERIFY(listing.contains(Row("", 1, "&lt;img src=x onerror=alert(1)&gt;.txt",
                                 "&lt;img src=x onerror=alert(1)&gt;.txt")));
    QVERIFY(listing.contains(
        Row("", 2, "a&amp;c&#39;d%2Be%2541%23f%3F.txt", "a&amp;c&#39;d+e%41#f?.txt")));
    QVERIFY(listing.contains(Row("", 3, "x&quot;y.txt", "x&quot;y.txt")));
    // What a browser sends for that link names the file.
    QCOMPARE(Fetch("GET /sub/a&c'd%2Be%2541%23f%3F.txt HTTP/1.0\r\n\r\n"), "22" + TextFooter());
    Put("docs/tags.html", "%server-path%");
    Fetch("GET /<script>alert(1)</script>/ HTTP/1.0\r\n\r\n");
    QCOMPARE(Fetch("GET /tags.html HTTP/1.0\r\n\r\n"),
             Page("/docs/&lt;script&gt;alert(1)&lt;/script&gt;/"));
    QCOMPARE(Fetch("GET /<b>.htm HTTP/1.0\r\n\r\n"), NotFound("&lt;b&gt;.htm"));
  }

  void listingInTemplate() {
    Put("docs/sub/a.txt", "123456789012");
    Put("system/template.html", "<h1>%server-path% %filename%</h1>%INFORMATION%|%information%");
    const QByteArray table = kListingHead + Row("a.txt", 12) + kListingEnd;
    QCOMPARE(Fetch("GET /sub/ HTTP/1.0\r\n\r\n"),
             Page("<h1>/docs/sub/ sub/index.html</h1>" + table + "|" + table));
    Put("system/template.html", "no placeholder");
    QCOMPARE(Fetch("GET /sub/ HTTP/1.0\r\n\r\n"), Page(table));
  }

  void listingOfTheRootAndOfNothing() {
    RemoveFile(app_ + "docs/index.html");
    RemoveFile(app_ + "docs/page.html");
    Put("docs/only.bin", "abc");
    QCOMPARE(Fetch("GET / HTTP/1.0\r\n\r\n"),
             Page(kListingHead + Row("only.bin", 3) + kListingEnd));
    QCOMPARE(
        Log().last(),
        Completion("DIR /docs/", Page(kListingHead + Row("only.bin", 3) + kListingEnd).size()));
    QCOMPARE(Fetch("GET /nothing/ HTTP/1.0\r\n\r\n"), Page(kListingHead + kListingEnd));
    QCOMPARE(Log().last().left(33), QByteArray("[127.0.0.1]      DIR /docs/nothin"));
  }

  void listingNameWithNul() {
    Put("docs/sub/a.txt", "123456789012");
    QCOMPARE(Fetch(QByteArray("GET /sub\0x/ HTTP/1.0\r\n\r\n", 22)),
             Page(kListingHead + kListingEnd));
  }

  void notFoundSitePage() {
    Put("system/error-404.html", "<b>gone: %filename%</b>");
    QCOMPARE(Fetch("GET /missing.htm HTTP/1.0\r\n\r\n"), Page("<b>gone: missing.htm</b>"));
    QCOMPARE(Log().last(), Completion("missing.htm", Page("<b>gone: missing.htm</b>").size()));
  }

  void methods() {
    Put("docs/form.cgi", "#!/bin/sh");
    Put("docs/run.qmx", "script text");
    Put("docs/RUN.QMX", "script text");
    QVERIFY(Fetch("POST /form.cgi HTTP/1.0\r\n\r\na=1").contains("support CGI/Perl (/form.cgi)."));
    QVERIFY(Fetch("POST /page.html HTTP/1.0\r\n\r\n").contains("support CGI/Perl (/page.html)."));
    QVERIFY(Fetch("POST /RUN.QMX HTTP/1.0\r\n\r\n").contains("support CGI/Perl (/RUN.QMX)."));
    QVERIFY(Fetch("POST /run.qmx HTTP/1.0\r\n\r\n").contains("We are missing QMX (/run.qmx)."));
    QCOMPARE(Fetch("GET /run.qmx HTTP/1.0\r\n\r\n"), QByteArray("script text"));
    QCOMPARE(Log()[0].left(33), QByteArray("[127.0.0.1]      500 /form.cgi   "));
    QCOMPARE(Log()[3].left(33), QByteArray("[127.0.0.1]      124 /run.qmx    "));
  }

  void noReply_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::newRow("HEAD of an existing file") << QByteArray("HEAD /page.html HTTP/1.0\r\n\r\n");
    QTest::newRow("query only") << QByteArray("GET /?a=1 HTTP/1.0\r\n\r\n");
    QTest::newRow("one word") << QByteArray("GET");
    QTest::newRow("empty target") << QByteArray("GET ");
    QTest::newRow("garbage") << QByteArray("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11);
  }
  void noReply() {
    QFETCH(QByteArray, request);
    StartServer(1);
    RawClient silent(Port());
    QVERIFY(silent.Send(request));
    QVERIFY(silent.StillOpenAfter(100));
    QVERIFY(silent.received.isEmpty());
    // Its end frees the slot: the one slot serves the next client.
    silent.Close();
    QCOMPARE(Fetch("GET /page.html HTTP/1.0\r\n\r\n"), Page("page"));
    QCOMPARE(Log().size(), 1);
    QCOMPARE(server_->ActiveConnections(), 0);
  }

  void fileDelivery() {
    QByteArray binary;
    for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
    Put("docs/image.gif", binary);
    Put("docs/README", "read me");
    Put("docs/empty.bin", "");
    Put("docs/empty.html", "");
    Put("docs/notes.TXT", "text %software%");
    Put("docs/xhtm", "%software%");
    Put("docs/page.shtml", "%software%");
    QCOMPARE(Fetch("GET /image.gif HTTP/1.0\r\n\r\n"), binary);
    QCOMPARE(Fetch("GET /README HTTP/1.0\r\n\r\n"), QByteArray("read me"));
    QCOMPARE(Fetch("GET /empty.bin HTTP/1.0\r\n\r\n"), EmptyFilePage());
    QCOMPARE(Fetch("GET /empty.html HTTP/1.0\r\n\r\n"), HtmlFooter());
    QCOMPARE(Fetch("GET /notes.TXT HTTP/1.0\r\n\r\n"), "text Orvane Light 0.7" + TextFooter());
    QCOMPARE(Fetch("GET /xhtm HTTP/1.0\r\n\r\n"), Page("Orvane Light 0.7"));
    QCOMPARE(Fetch("GET /page.shtml HTTP/1.0\r\n\r\n"), Page("Orvane Light 0.7"));
    QCOMPARE(Log()[0], Completion("image.gif", 256));
  }

  void largeFile() {
    QByteArray big(8 * 1024 * 1024 + 13, Qt::Uninitialized);
    for (qsizetype i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7) >> 3);
    Put("docs/big.iso", big);
    const QByteArray received = Fetch("GET /big.iso HTTP/1.0\r\n\r\n");
    QCOMPARE(received.size(), big.size());
    QVERIFY(received == big);
    QCOMPARE(Log(), QByteArrayList({Completion("big.iso", big.size())}));
  }

  void splitRequests() {
    // The rest of a request line still on its way is waited for.
    RawClient a(Port());
    QVERIFY(a.Send("GE"));
    QVERIFY(a.StillOpenAfter(50));
    QVERIFY(a.Send("T /page.html HTTP/1.0\r\n\r\n"));
    QVERIFY(a.WaitClosed());
    QCOMPARE(a.received, Page("page"));

    // A connection carries one reply: what follows the answered request is not answered.
    RawClient b(Port());
    QVERIFY(b.Send("GET /page.html HTTP/1.0\r\n"));
    QTest::qWait(50);
    QVERIFY(b.Send("GET /index.html HTTP/1.0\r\n\r\n"));
    QVERIFY(b.WaitClosed());
    QCOMPARE(b.received, Page("page"));
    QCOMPARE(Log().size(), 2);
  }

  void halfClosedClientGetsReply() {
    RawClient client(Port());
    QVERIFY(client.Send("GET /page.html HTTP/1.0\r\n\r\n"));
    client.ShutdownWrite();
    QVERIFY(client.WaitClosed());
    QCOMPARE(client.received, Page("page"));
    QCOMPARE(Log().size(), 1);
  }

  void bodyLargerThanSocketBuffer() {
    // The reply goes out while the client is still sending; closing must not reset it.
    RawClient client(Port());
    QByteArray request = "POST /page.html HTTP/1.0\r\nContent-Length: 8388608\r\n\r\n";
    QVERIFY(client.Send(request + QByteArray(8 * 1024 * 1024, 'b')));
    QVERIFY(client.WaitClosed());
    QVERIFY(!client.reset);
    QVERIFY(client.received.contains("We <b>don't</b> support CGI/Perl (/page.html)."));
    QVERIFY(client.received.endsWith("</HTML>\r\n"));
  }

  void hugeRequestLine() {
    RawClient client(Port());
    QVERIFY(client.Send("GET /" + QByteArray(1024 * 1024, 'a') + " HTTP/1.0\r\n\r\n"));
    QVERIFY(client.WaitClosed());
    QVERIFY(client.received.startsWith("<HTML>\r\n"));
    QCOMPARE(Log().size(), 1);
    QCOMPARE(Log()[0].size(), 4096);  // the log keeps its lines short
    QCOMPARE(Fetch("GET /page.html HTTP/1.0\r\n\r\n"), Page("page"));
  }

  void slotsAndWaitingClients() {
    Put("docs/big.bin", QByteArray(8 * 1024 * 1024, 'z'));
    StartServer(1);
    RawClient silent(Port());  // still to send its request: it keeps nobody waiting
    RawClient first(Port(), 4096);
    QVERIFY(first.Send("GET /big.bin HTTP/1.0\r\n\r\n"));
    QTRY_COMPARE(server_->ActiveConnections(), 1);
    // Requests beyond the one being served wait in arrival order, and are not refused.
    RawClient second(Port());
    QVERIFY(second.Send("GET /page.html HTTP/1.0\r\n\r\n"));
    QTest::qWait(20);
    RawClient leaving(Port());  // waits too, then gives up: its place in the queue goes
    QVERIFY(leaving.Send("GET /page.html?gone HTTP/1.0\r\n\r\n"));
    RawClient third(Port());
    QVERIFY(third.Send("GET /index.html HTTP/1.0\r\n\r\n"));
    QVERIFY(second.StillOpenAfter(50));
    leaving.Reset();
    QCOMPARE(server_->ActiveConnections(), 1);
    QCOMPARE(state_->desktop.Panel(2), QByteArray("1/1 Active Users"));

    QVERIFY(first.WaitClosed());
    QVERIFY(second.WaitClosed());
    QVERIFY(third.WaitClosed());
    QCOMPARE(second.received, Page("page"));
    QVERIFY(third.received.startsWith("<p>"));
    QCOMPARE(Log().size(), 3);
    QVERIFY(Log()[2].contains("index.html"));
    QVERIFY(silent.StillOpenAfter(0));
    QTRY_COMPARE(server_->ActiveConnections(), 0);
    QCOMPARE(state_->desktop.Panel(2), QByteArray("0/1 Active Users"));
  }

  void earlyClose() {
    StartServer(2);
    for (int i = 0; i < 5; ++i) {
      RawClient client(Port());
      QVERIFY(client.Send("GE"));
      QVERIFY(client.StillOpenAfter(20));
    }
    QCOMPARE(Fetch("GET /page.html HTTP/1.0\r\n\r\n"), Page("page"));
    QCOMPARE(Log().size(), 1);
    QTRY_COMPARE(server_->ActiveConnections(), 0);
    QCOMPARE(state_->desktop.Panel(2), QByteArray("0/2 Active Users"));
  }

  void idleClientsAreClosed() {
    StartServer(1);
    server_->SetLimits({300, 300, 300, 8 * 1024});
    RawClient idle(Port());
    QVERIFY(idle.WaitClosed());
    QVERIFY(idle.received.isEmpty());
    QCOMPARE(server_->ActiveConnections(), 0);
    QVERIFY(Log().isEmpty());
    QCOMPARE(Fetch("GET /page.html HTTP/1.0\r\n\r\n"), Page("page"));
  }

  void replyProgressIsWhatTheClientTakes() {
    Put("docs/big.bin", QByteArray(32 * 1024 * 1024, 'z'));
    Put("docs/slow.bin", QByteArray(160 * 1024, 's'));
    StartServer(1);
    server_->SetLimits({300, 300, 300, 8 * 1024});
    // A reader that takes nothing loses its reply, with a reset: never taken for a whole one.
    RawClient stalled(Port(), 4096);
    QVERIFY(stalled.Send("GET /big.bin HTTP/1.0\r\n\r\n"));
    QTRY_COMPARE(server_->ActiveConnections(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(server_->ActiveConnections(), 0, 10000);
    QVERIFY(stalled.WaitClosed());
    QVERIFY(stalled.reset);
    QVERIFY(Log().isEmpty());
    // A slow but steady reader (about 50 KB/s) is served to the end, though the server writes
    // to its socket far more rarely than the time limit.
    RawClient steady(Port(), 4096);
    QVERIFY(steady.Send("GET /slow.bin HTTP/1.0\r\n\r\n"));
    QVERIFY(QTest::qWaitFor(
        [&] {
          QTest::qWait(20);
          return steady.PollUpTo(1000);
        },
        30000));
    QVERIFY(!steady.reset);
    QCOMPARE(steady.received.size(), 160 * 1024);
    QCOMPARE(Log(), QByteArrayList({Completion("slow.bin", 160 * 1024)}));
  }

  void manyClientsAtOnce() {
    StartServer(20);
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int i = 0; i < 150; ++i) {
      clients.push_back(std::make_unique<RawClient>(Port()));
      QVERIFY(clients.back()->Send("GET /page.html HTTP/1.0\r\n\r\n"));
    }
    for (auto& client : clients) {
      QVERIFY(client->WaitClosed());
      QCOMPARE(client->received, Page("page"));
    }
    QCOMPARE(Log().size(), 150);
    QTRY_COMPARE(server_->ActiveConnections(), 0);
  }

  void requestTextIsBounded() {
    StartServer(1);
    ServerLimits limits;
    limits.maxUnfinished = 1000;
    server_->SetLimits(limits);
    // Text that never reaches a target is kept up to the cap, then the connection ends.
    RawClient spaces(Port());
    QVERIFY(spaces.Send("GET" + QByteArray(900, ' ')));
    QVERIFY(spaces.StillOpenAfter(50));
    QVERIFY(spaces.Send(QByteArray(200, ' ')));
    QVERIFY(spaces.WaitClosed());
    QVERIFY(spaces.received.isEmpty());
    QVERIFY(Log().isEmpty());
    // Under the cap, a target after the spaces is served; the slot was free again.
    RawClient late(Port());
    QVERIFY(late.Send("GET" + QByteArray(990, ' ')));
    QVERIFY(late.StillOpenAfter(50));
    QVERIFY(late.Send("/page.html HTTP/1.0\r\n\r\n"));
    QVERIFY(late.WaitClosed());
    QCOMPARE(late.received, Page("page"));
  }

  void requestDeadlineCountsFromTheAccept() {
    StartServer(1);
    ServerLimits limits;
    limits.requestMs = 400;
    server_->SetLimits(limits);
    // A byte every 100 ms is movement, but the request never completes: it ends all the same.
    RawClient trickler(Port());
    bool closed = false;
    for (int i = 0; i < 40 && !closed; ++i) {
      trickler.Send(" ");
      closed = !trickler.StillOpenAfter(100);
    }
    QVERIFY(closed);
    QVERIFY(trickler.received.isEmpty());
    QTRY_COMPARE(server_->ActiveConnections(), 0);
    // A request that got no reply does not restart the clock either.
    RawClient head(Port());
    QVERIFY(head.Send("HEAD /page.html HTTP/1.0\r\n\r\n"));
    QVERIFY(head.WaitClosed(5000));
    QVERIFY(head.received.isEmpty());
    QCOMPARE(Fetch("GET /page.html HTTP/1.0\r\n\r\n"), Page("page"));
  }

  void largePagesStream() {
    // A page of several pieces, with tags across the pieces' edges and a counter near its end,
    // comes out as the page made whole in memory, with the exact length in its header.
    QByteArray raw(300 * 1024, 'x');
    for (qsizetype at : {qsizetype(65536 - 4), qsizetype(131072 - 1), qsizetype(200000)}) {
      raw.replace(at, 10, "%software%");
    }
    raw.replace(raw.size() - 100, 9, "%counter%");
    raw.replace(70000, 10, "%filename%");
    Put("docs/big.htm", raw);
    state_->settings.HttpHeaders = true;
    const QByteArray reply = Fetch("GET /big.htm HTTP/1.0\r\n\r\n");
    QByteArray expected = raw;
    PageContext context{app_, state_->settings.ServerName, "big.htm", "", QDateTime()};
    WriteFileAtomically(app_ + "system/counters.txt", "[]\r\ncounter=0\r\n");
    RunSSI(expected, FooterMode::Html, context);
    const qsizetype body = reply.indexOf("\r\n\r\n") + 4;
    QVERIFY(reply.contains("Content-Length: " + QByteArray::number(expected.size()) + "\r\n"));
    QCOMPARE(reply.mid(body).size(), expected.size());
    QVERIFY(reply.mid(body) == expected);
    QVERIFY(!expected.contains("%software%") && !expected.contains("%counter%"));
  }

  void refusedSendfileFallsBackToCopying() {
    QByteArray big(3 * 1024 * 1024 + 7, Qt::Uninitialized);
    for (qsizetype i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 13) >> 2);
    Put("docs/big.iso", big);
    static int calls = 0;
    calls = 0;
    // The first call moves a little, as a file system may before it gives up.
    Connection::SetSendFileForTesting([](int out, int in, off_t* offset, size_t count) {
      if (++calls == 1) return ::sendfile(out, in, offset, std::min<size_t>(count, 1000));
      errno = EINVAL;
      return ssize_t(-1);
    });
    const QByteArray received = Fetch("GET /big.iso HTTP/1.0\r\n\r\n");
    Connection::SetSendFileForTesting(nullptr);
    QCOMPARE(received.size(), big.size());
    QVERIFY(received == big);
    QCOMPARE(Log(), QByteArrayList({Completion("big.iso", big.size())}));
  }

  void stopDuringALargeReplyThenRun() {
    Put("docs/big.bin", QByteArray(32 * 1024 * 1024, 'z'));
    RawClient reader(Port(), 4096);
    QVERIFY(reader.Send("GET /big.bin HTTP/1.0\r\n\r\n"));
    QTest::qWait(100);
    server_->Stop();
    QVERIFY(reader.WaitClosed());
    QVERIFY(reader.reset);
    QVERIFY(reader.received.size() < 32 * 1024 * 1024);
    QCOMPARE(server_->ActiveConnections(), 0);
    QVERIFY(server_->Start());
    QCOMPARE(Fetch("GET /page.html HTTP/1.0\r\n\r\n"), Page("page"));
    QCOMPARE(Fetch("GET /big.bin HTTP/1.0\r\n\r\n").size(), 32 * 1024 * 1024);
    QCOMPARE(Log().size(), 2);
  }

  void headerMode_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QByteArray>("type");
    const QByteArray ok = "HTTP/1.0 200 OK";
    QTest::newRow("page") << QByteArray("GET /page.html HTTP/1.0\r\n\r\n") << ok
                          << QByteArray("text/html");
    QTest::newRow("image") << QByteArray("GET /image.gif HTTP/1.0\r\n\r\n") << ok
                           << QByteArray("image/gif");
    QTest::newRow("text file") << QByteArray("GET /notes.txt HTTP/1.0\r\n\r\n") << ok
                               << QByteArray("text/plain");
    QTest::newRow("unknown kind") << QByteArray("GET /data.zzq HTTP/1.0\r\n\r\n") << ok
                                  << QByteArray("application/octet-stream");
    QTest::newRow("large file from disk") << QByteArray("GET /big.bin HTTP/1.0\r\n\r\n") << ok
                                          << QByteArray("application/octet-stream");
    QTest::newRow("listing") << QByteArray("GET /sub/ HTTP/1.0\r\n\r\n") << ok
                             << QByteArray("text/html");
    QTest::newRow("empty file") << QByteArray("GET /empty.css HTTP/1.0\r\n\r\n") << ok
                                << QByteArray("text/html");
    QTest::newRow("not found") << QByteArray("GET /gone.html HTTP/1.0\r\n\r\n")
                               << QByteArray("HTTP/1.0 404 Not Found") << QByteArray("text/html");
    QTest::newRow("refusal") << QByteArray("GET /../x HTTP/1.0\r\n\r\n")
                             << QByteArray("HTTP/1.0 403 Forbidden") << QByteArray("text/html");
    QTest::newRow("unsupported script")
        << QByteArray("POST /page.html HTTP/1.0\r\n\r\n")
        << QByteArray("HTTP/1.0 500 Internal Server Error") << QByteArray("text/html");
    QTest::newRow("missing interpreter")
        << QByteArray("POST /run.qmx HTTP/1.0\r\n\r\n")
        << QByteArray("HTTP/1.0 500 Internal Server Error") << QByteArray("text/html");
  }
  void headerMode() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, type);
    Put("docs/image.gif", "GIF89a\x01\x00");
    Put("docs/notes.txt", "notes");
    Put("docs/data.zzq", "?");
    Put("docs/empty.css", "");
    Put("docs/run.qmx", "script");
    Put("docs/sub/a.txt", "a");
    Put("docs/big.bin", QByteArray(3 * 1024 * 1024, 'b'));
    const QByteArray bare = Fetch(request);
    state_->settings.HttpHeaders = true;
    const QByteArray full = Fetch(request);
    const qsizetype end = full.indexOf("\r\n\r\n");
    QVERIFY(end > 0);
    QCOMPARE(full.mid(end + 4), bare);
    QCOMPARE(full.left(end + 2), status + "\r\nContent-Type: " + type +
                                     "\r\nContent-Length: " + QByteArray::number(bare.size()) +
                                     "\r\nConnection: close\r\nServer: Orvane Light 0.7\r\n");
    // The log reads the same in both modes.
    const qsizetype half = Log().size() / 2;
    QCOMPARE(Log().mid(half), Log().mid(0, half));
  }

  void headerModeSitePageForNotFound() {
    Put("system/error-404.html", "<b>gone</b>");
    state_->settings.HttpHeaders = true;
    QVERIFY(Fetch("GET /gone.html HTTP/1.0\r\n\r\n").startsWith("HTTP/1.0 404 Not Found\r\n"));
    // HEAD of an existing file still gets no reply.
    RawClient head(Port());
    QVERIFY(head.Send("HEAD /page.html HTTP/1.0\r\n\r\n"));
    QVERIFY(head.StillOpenAfter(100));
  }
};

QTEST_GUILESS_MAIN(WebServerTest)
#include "tst_webserver.moc"
