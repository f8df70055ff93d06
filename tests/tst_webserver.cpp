// The public server over real sockets: only what sockets show (pieces, half-closes, early ends,
// the queue, the limits, many clients, the ways a file goes out or is cut). What each request
// gets is tst_dispatch's.

#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include <utime.h>

#include "net/certificate.h"
#include "net/connection.h"
#include "net/httpdate.h"
#include "net/listener.h"
#include "pages/pagesubstitution.h"
#include "sitefixture.h"

using namespace orvane;

namespace {

QByteArray Completion(const QByteArray& name, qint64 bytes) {
  return "[127.0.0.1]      " + name.leftJustified(41) + " (" + QByteArray::number(bytes) + ")";
}

QByteArray Page(const QByteArray& body) {
  return body + HtmlFooter();
}

const QByteArray kGetPage = "GET /page.html HTTP/1.0\r\n\r\n";

}  // namespace

class WebServerTest : public SiteFixture {
  Q_OBJECT

  // Whether a connection of the server is still receiving its request.
  bool SomeoneArriving() const { return web_->Slots().OldestArriving() != nullptr; }

 private Q_SLOTS:
  void init() {
    SetUp();
    Put("docs/index.html", "<p>%software%</p>");
    Put("docs/page.html", "page");
  }
  void cleanup() { TearDown(); }

  void piecesHalfClosesAndEarlyEnds() {
    StartWeb(1);
    // The rest of a request line still on its way is waited for.
    RawClient a(WebPort());
    QVERIFY(a.Send("GE"));
    QTRY_VERIFY(SomeoneArriving());
    QVERIFY(a.Send("T /page.html HTTP/1.0\r\n\r\n") && a.WaitClosed());
    QCOMPARE(a.received, Page("page"));
    // A connection carries one reply: what follows the answered request is not answered.
    QCOMPARE(WebFetch(kGetPage + "GET /index.html HTTP/1.0\r\n\r\n"), Page("page"));
    // A client that has ended its sending direction still gets its reply.
    RawClient half(WebPort());
    QVERIFY(half.Send(kGetPage));
    half.ShutdownWrite();
    QVERIFY(half.WaitClosed() && half.received == Page("page"));
    // A request that gets no reply goes back to waiting for one; its end, and the ends of
    // clients that leave early, free the only slot.
    RawClient silent(WebPort());
    QVERIFY(silent.Send("HEAD /page.html HTTP/1.0\r\n\r\n"));
    QTRY_VERIFY(SomeoneArriving() && web_->Slots().OldestArriving()->unfinished.isEmpty());
    for (int i = 0; i < 5; ++i) RawClient(WebPort()).Send("GE");
    silent.Close();
    QCOMPARE(WebFetch(kGetPage), Page("page"));
    QVERIFY(silent.received.isEmpty());
    QCOMPARE(Log(), QByteArrayList(4, Completion("page.html", Page("page").size())));
    QTRY_COMPARE(state_->desktop.Panel(2), QByteArray("0/1 Active Users"));
  }

  void bodyLargerThanSocketBuffer() {
    // The reply goes out while the client is still sending; closing must not reset it.
    RawClient client(WebPort());
    QVERIFY(client.Send("POST /page.html HTTP/1.0\r\nContent-Length: 8388608\r\n\r\n" +
                        QByteArray(8 * 1024 * 1024, 'b')));
    QVERIFY(client.WaitClosed() && !client.reset);
    QVERIFY(client.received.contains("We <b>don't</b> support CGI/Perl (/page.html).") &&
            client.received.endsWith("</HTML>\r\n"));
  }

  void queueOrder() {
    Put("docs/big.bin", QByteArray(8 * 1024 * 1024, 'z'));
    StartWeb(1);
    RawClient silent(WebPort());  // still to send its request: it keeps nobody waiting
    RawClient first(WebPort(), 4096);
    QVERIFY(first.Send("GET /big.bin HTTP/1.0\r\n\r\n"));
    QTRY_COMPARE(web_->Served(), 1);
    // Requests beyond the one being served wait in arrival order, and are not refused; one
    // whose client leaves gives up its place.
    RawClient second(WebPort()), leaving(WebPort()), third(WebPort());
    QVERIFY(second.Send(kGetPage));
    QTRY_VERIFY(web_->Slots().OldestQueued() != nullptr);
    QVERIFY(leaving.Send("GET /page.html?gone HTTP/1.0\r\n\r\n"));
    QVERIFY(third.Send("GET /index.html HTTP/1.0\r\n\r\n"));
    leaving.Reset();
    QCOMPARE(web_->Served(), 1);
    QVERIFY(first.WaitClosed() && second.WaitClosed() && third.WaitClosed());
    QVERIFY(second.received == Page("page") && third.received.startsWith("<p>"));
    QVERIFY(Log().size() == 3 && Log()[2].contains("index.html") && !silent.Poll());
  }

  void limits_data() {
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<int>("trickleMs");  // then a space this often, until the server closes
    QTest::newRow("sends nothing") << QByteArray() << 0;
    QTest::newRow("never reaches a target") << "GET" + QByteArray(1100, ' ') << 0;
    QTest::newRow("trickles past the deadline") << QByteArray("GET") << 50;
    QTest::newRow("announces a form and stalls")
        << QByteArray("POST /run.qmx HTTP/1.0\r\nContent-Length: 100\r\n\r\n") << 0;
  }
  void limits() {
    QFETCH(QByteArray, sent);
    QFETCH(int, trickleMs);
    Put("docs/run.qmx", "script");
    Put("qmx.exe", "#!/bin/sh\n");
    QCOMPARE(::chmod((app_ + "qmx.exe").constData(), 0755), 0);
    StartWeb(1);
    web_->SetLimits({400, 400, 400, 1000});
    RawClient client(WebPort());
    if (!sent.isEmpty()) QVERIFY(client.Send(sent));
    const auto closed = [&] {
      if (trickleMs > 0) QTest::qWait(trickleMs), client.Send(" ", 0);  // pacing, not a proof
      return client.Poll();
    };
    QVERIFY(QTest::qWaitFor(closed, 10000) && client.received.isEmpty() && Log().isEmpty());
    QCOMPARE(web_->ActiveConnections(), 0);
    // Under the cap, a target after spaces is served.
    QCOMPARE(WebFetch("GET" + QByteArray(900, ' ') + "/page.html HTTP/1.0\r\n\r\n"), Page("page"));
  }

  void replyProgressIsWhatTheClientTakes() {
    Put("docs/big.bin", QByteArray(32 * 1024 * 1024, 'z'));
    Put("docs/slow.bin", QByteArray(160 * 1024, 's'));
    // A second without taking anything is a stall; a busy machine never pauses a reader as long.
    web_->SetLimits({1000, 1000, 1000, 8 * 1024});
    // A reader that takes nothing loses its reply, with a reset: never taken for a whole one.
    RawClient stalled(WebPort(), 4096);
    QVERIFY(stalled.Send("GET /big.bin HTTP/1.0\r\n\r\n"));
    QTRY_COMPARE(web_->ActiveConnections(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(web_->ActiveConnections(), 0, 10000);  // without reading a byte
    QVERIFY(stalled.WaitClosed() && stalled.reset && Log().isEmpty());
    // A slow but steady reader (about 50 KB/s) is served to the end, though the server writes
    // to its socket far more rarely than the time limit.
    RawClient steady(WebPort(), 4096);
    QVERIFY(steady.Send("GET /slow.bin HTTP/1.0\r\n\r\n"));
    QVERIFY(QTest::qWaitFor([&] { return QTest::qWait(20), steady.Poll(1000); }, 30000));
    QVERIFY(!steady.reset && steady.received.size() == 160 * 1024);
    QCOMPARE(Log(), QByteArrayList({Completion("slow.bin", 160 * 1024)}));
  }

  void manyClientsAtOnce() {
    StartWeb(20);
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int i = 0; i < 150; ++i) {
      clients.push_back(std::make_unique<RawClient>(WebPort()));
      QVERIFY(clients.back()->Send(kGetPage));
    }
    for (auto& client : clients) QVERIFY(client->WaitClosed() && client->received == Page("page"));
    QTRY_VERIFY(Log().size() == 150 && web_->ActiveConnections() == 0);
  }

  void headerLinesAndStreamedPages() {
    // A page of several pieces, with a tag across their edge and a counter near its end, comes
    // out as the page made whole in memory, after its exact length; a file from the disk gets
    // its header lines too; the log counts the body alone, as in bare mode.
    QByteArray raw(300 * 1024, 'x');
    raw.replace(65536 - 4, 10, "%software%").replace(raw.size() - 100, 9, "%counter%");
    Put("docs/big.htm", raw);
    const QByteArray bin(3 * 1024 * 1024, 'b');
    Put("docs/big.bin", bin);
    state_->settings.HttpHeaders = true;
    const QByteArray page = WebFetch("GET /big.htm HTTP/1.0\r\n\r\n");
    const QByteArray file = WebFetch("GET /big.bin HTTP/1.0\r\n\r\n");
    QByteArray expected = raw;
    PageContext context{app_, state_->settings.ServerName, "big.htm", "", QDateTime()};
    WriteFileAtomically(app_ + "system/counters.txt", "[]\r\ncounter=0\r\n");
    RunSSI(expected, FooterMode::Html, context);
    QVERIFY(page == ReplyHeader({ReplyStatus::Ok, "text/html"}, expected.size()) + expected);
    ReplyKind fromDisk(ReplyStatus::Ok, "application/octet-stream");
    fromDisk.lastModified = HttpDate(
        QFileInfo(QFile::decodeName(app_ + "docs/big.bin")).lastModified().toSecsSinceEpoch());
    QVERIFY(file == ReplyHeader(fromDisk, bin.size()) + bin);
    QCOMPARE(Log()[1], Completion("big.bin", bin.size()));
    // The administration site's pages get them too.
    QVERIFY(
        Fetch("GET / HTTP/1.0\r\n\r\n").startsWith("HTTP/1.0 200 OK\r\nContent-Type: text/html"));

    // A range, one that cannot be met, a date not passed, a folder without its slash, and HEAD
    // of a page with a counter, which counts nothing; the log counts what each sent.
    Put("docs/n.bin", "0123456789");
    const QByteArray date = "Tue, 02 Jan 2024 03:04:05 GMT";
    const utimbuf times{1704164645, 1704164645};
    QCOMPARE(::utime((app_ + "docs/n.bin").constData(), &times), 0);
    const QByteArray disk = "Accept-Ranges: bytes\r\nLast-Modified: " + date + "\r\n";
    const QByteArray end = "Connection: close\r\nServer: Orvane Light 0.7\r\n\r\n";
    Put("system/counters.txt", "[]\r\ncounter=7\r\n");
    shell_->logLines.clear();
    QCOMPARE(WebFetch("GET /n.bin HTTP/1.1\r\nRange: bytes=3-5\r\n\r\n"),
             "HTTP/1.0 206 Partial Content\r\nContent-Type: application/octet-stream\r\n"
             "Content-Length: 3\r\n" +
                 disk + "Content-Range: bytes 3-5/10\r\n" + end + "345");
    QCOMPARE(WebFetch("GET /n.bin HTTP/1.1\r\nRange: bytes=10-\r\n\r\n"),
             "HTTP/1.0 416 Range Not Satisfiable\r\nContent-Type: application/octet-stream\r\n"
             "Content-Length: 0\r\n" +
                 disk + "Content-Range: bytes */10\r\n" + end);
    QCOMPARE(WebFetch("GET /n.bin HTTP/1.1\r\nIf-Modified-Since: " + date + "\r\n\r\n"),
             "HTTP/1.0 304 Not Modified\r\n" + disk + end);
    Put("docs/sub/a.txt");
    QCOMPARE(WebFetch("GET /sub HTTP/1.1\r\n\r\n"),
             "HTTP/1.0 301 Moved Permanently\r\nContent-Type: text/html\r\nContent-Length: 0\r\n"
             "Cache-Control: no-cache\r\nLocation: /sub/\r\n" +
                 end);
    QCOMPARE(WebFetch("HEAD /big.htm HTTP/1.1\r\n\r\n"),
             "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nCache-Control: no-cache\r\n" + end);
    QCOMPARE(ReadWholeFile(app_ + "system/counters.txt"), "[]\r\ncounter=7\r\n");
    QCOMPARE(shell_->logLines,
             QByteArrayList({Completion("n.bin", 3), Completion("n.bin", 0), Completion("n.bin", 0),
                             Completion("sub", 0), Completion("big.htm", 0)}));
  }

  void forwardedClients() {
    // Behind a trusted proxy the client is the last address X-Forwarded-For names; anything
    // else there, or the line from anyone else, leaves the connection's own address.
    state_->settings.HttpHeaders = true;
    state_->settings.TrustedProxy = "127.0.0.2, proxy.example";
    StartWeb(50);
    const auto from = [this](const char* source, const QByteArray& forwarded) {
      shell_->logLines.clear();
      Exchange(WebPort(), "GET /page.html HTTP/1.0\r\nX-Forwarded-For: " + forwarded + "\r\n\r\n",
               source);
      return shell_->logLines.value(0).left(16).trimmed();
    };
    QCOMPARE(Log(), QByteArrayList{"TrustedProxy: not an IP address: proxy.example"});
    QCOMPARE(from("127.0.0.2", "10.9.9.9, 203.0.113.9"), "[203.0.113.9]");
    QCOMPARE(from("127.0.0.2", "2001:db8::1"), "[2001:db8::1]");
    QCOMPARE(from("127.0.0.2", "fe80::1%/../../x"), "[127.0.0.2]");
    QCOMPARE(from("127.0.0.2", "203.0.113.9:80"), "[127.0.0.2]");
    QCOMPARE(from("127.0.0.1", "203.0.113.9"), "[127.0.0.1]");
  }

  void tlsHandshakes() {
    // On a TLS port a handshake that never ends holds no turn and is freed at the request
    // deadline; plain HTTP, or a reset in the middle of one, ends its connection at once.
    QByteArray error;
    const auto tls = ProgramCertificate(app_, "localhost", {"127.0.0.1"}, error);
    QVERIFY2(tls, error.constData());
    web_->SetTls(tls.get());
    state_->settings.ServerTls = true;
    web_->SetLimits({500, 60000, 5000});
    StartWeb(50);
    RawClient stalled(WebPort()), plain(WebPort()), cut(WebPort());
    QVERIFY(stalled.Send("\x16\x03\x01\x00\x05\x01") && plain.Send(kGetPage));
    QVERIFY(cut.Send("\x16\x03\x01"));
    cut.Reset();
    QVERIFY(plain.WaitClosed() && plain.received.isEmpty());
    QCOMPARE(web_->Served(), 0);
    QVERIFY(stalled.WaitClosed() && stalled.received.isEmpty());
    QTRY_COMPARE(web_->ActiveConnections(), 0);
  }

  void refusedSendfileFallsBackToCopying() {
    QByteArray big(3 * 1024 * 1024 + 7, Qt::Uninitialized);
    for (qsizetype i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 13) >> 2);
    Put("docs/big.iso", big);
    static int calls;
    calls = 0;
    // The first call moves a little, as a file system may before it gives up.
    Connection::SetSendFileForTesting([](int out, int in, off_t* offset, size_t count) {
      if (++calls == 1) return ::sendfile(out, in, offset, std::min<size_t>(count, 1000));
      errno = EINVAL;
      return ssize_t(-1);
    });
    const bool whole = WebFetch("GET /big.iso HTTP/1.0\r\n\r\n") == big;
    Connection::SetSendFileForTesting(nullptr);
    QVERIFY(whole);
    QCOMPARE(Log(), QByteArrayList({Completion("big.iso", big.size())}));
  }

  void cutReplies_data() {
    QTest::addColumn<QByteArray>("cut");
    for (const char* cut : {"client resets", "file shrinks", "server stops"})
      QTest::newRow(cut) << QByteArray(cut);
  }
  void cutReplies() {
    // A reply cut short ends with a reset, never passed off as whole, and is not logged as sent;
    // nothing else is disturbed.
    QFETCH(QByteArray, cut);
    TransferList transfers;
    state_->transfers = &transfers;
    Put("docs/big.bin", QByteArray(32 * 1024 * 1024, 'b'));
    RawClient client(WebPort(), 4096);
    QVERIFY(client.Send("GET /big.bin HTTP/1.0\r\n\r\n"));
    QTRY_VERIFY(client.Poll(1) || !client.received.isEmpty());
    if (cut == "client resets") client.Reset();
    if (cut == "file shrinks") QCOMPARE(::truncate((app_ + "docs/big.bin").constData(), 1024), 0);
    if (cut == "server stops") web_->Stop();
    if (cut != "client resets") QVERIFY(client.WaitClosed() && client.reset);
    QTRY_VERIFY(web_->ActiveConnections() == 0 && Log().isEmpty());
    if (cut == "server stops") StartWeb(50);
    QCOMPARE(WebFetch(kGetPage), Page("page"));
    // The transfers seen: the cut one, and the whole one after it.
    QByteArrayList seen;
    for (const auto& [id, t] : transfers.Transfers())
      seen << t.name + (t.whole ? " whole " : " cut ") + QByteArray::number(t.done == t.total);
    QCOMPARE(seen, QByteArrayList({"big.bin cut 0", "page.html whole 1"}));
  }

  void acceptWithoutDescriptors() {
    rlimit old;
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &old), 0);
    QSignalSpy webFailed(web_->findChild<Listener*>(), &Listener::AcceptFailed);
    QSignalSpy adminFailed(site_->findChild<Listener*>(), &Listener::AcceptFailed);
    RawClient web(WebPort()), admin(Port());
    QVERIFY(web.Send(kGetPage) && admin.Send("GET / HTTP/1.0\r\n\r\n"));
    // No descriptor left for an accept: both sites must take their client once there is one.
    rlimit none = old;
    none.rlim_cur = static_cast<rlim_t>(::dup(0));
    ::close(static_cast<int>(none.rlim_cur));
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &none), 0);
    QTRY_VERIFY(!webFailed.isEmpty() && !adminFailed.isEmpty());
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &old), 0);
    QVERIFY(web.WaitClosed(10000) && admin.WaitClosed(10000));
    QVERIFY(web.received == Page("page") && admin.received.startsWith("<html>"));
  }
};

QTEST_GUILESS_MAIN(WebServerTest)
#include "tst_webserver.moc"
