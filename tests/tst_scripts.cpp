// Script requests against interpreters written by the tests: small shell programs named qmx.exe
// in the temporary program folder.

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <QTest>

#include "pages/errorpages.h"
#include "sitefixture.h"
#include "web/filedelivery.h"

using namespace orvane;

namespace {

const QByteArray kOutput = "127.0.0.1.qms";

}  // namespace

class ScriptsTest : public SiteFixture {
  Q_OBJECT

  // qmx.exe runs `body` in the program folder, with its one argument as "$1".
  void Interpreter(const QByteArray& body) {
    Put("qmx.exe", "#!/bin/sh\ncd \"$(dirname \"$0\")\"\n" + body + "\n");
    QCOMPARE(::chmod((app_ + "qmx.exe").constData(), 0755), 0);
  }
  QByteArray Saved(const QByteArray& name) { return ReadWholeFile(app_ + name).value_or("<none>"); }
  QByteArray MissingQmx() {
    return CreateError(ErrorKind::MissingInterpreter, "run.qmx", app_).page;
  }
  static QByteArray Post(const QByteArray& form) {
    return "POST /run.qmx HTTP/1.0\r\nContent-Length: " + QByteArray::number(form.size()) +
           "\r\n\r\n" + form;
  }

 private Q_SLOTS:
  void init() {
    SetUp();
    Put("docs/run.qmx", "script");
    Put("docs/page.html", "page");
  }

  void argumentAndReply() {
    // The form reaches the interpreter as it came, in one argument, and nothing in it runs.
    Interpreter("printf '%s' \"$1\" > arg; echo $# > argc; printf 'out\\0put' > 127.0.0.1.qms");
    const QByteArray form = "a=x y\"'|;$(touch pwned)`touch pwned`&b=%41\xE9";
    QCOMPARE(WebFetch(Post(form)), QByteArray("out\0put", 7));
    QCOMPARE(Saved("argc"), QByteArray("1\n"));
    QCOMPARE(Saved("arg"),
             app_ + "docs/run.qmx|127.0.0.1|a=x y\"'|;$(touch pwned)`touch pwned`&b=%41%E9");
    QVERIFY(!PathExists(app_ + "pwned"));
    QVERIFY(!PathExists(app_ + kOutput));  // deleted once sent
    QCOMPARE(Log(), QByteArrayList({"[127.0.0.1]      run.qmx" + QByteArray(34, ' ') + " (7)"}));
  }

  void formInTwoPieces() {
    Interpreter("printf '%s' \"$1\" > 127.0.0.1.qms");
    RawClient client(WebPort());
    QVERIFY(client.Send("POST /run.qmx HTTP/1.1\r\nHost: h\r\nContent-Length: 7\r\n\r\n"));
    QTRY_VERIFY(web_->Slots().OldestArriving() != nullptr &&
                web_->Slots().OldestArriving()->state == SlotState::Body);
    QVERIFY(client.Send("a=1&b=2"));
    QVERIFY(client.WaitClosed());
    QCOMPARE(client.received, app_ + "docs/run.qmx|127.0.0.1|a=1&b=2");
    // Without a declared length the request is handled at once, with the form it has.
    QCOMPARE(WebFetch("POST /run.qmx HTTP/1.0\r\n\r\n"), app_ + "docs/run.qmx|127.0.0.1|");
  }

  void failedRuns_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("writes nothing") << QByteArray("exit 0");
    QTest::newRow("fails") << QByteArray("printf x > 127.0.0.1.qms; exit 3");
    QTest::newRow("killed by a signal") << QByteArray("printf x > 127.0.0.1.qms; kill -9 $$");
    QTest::newRow("not executable") << QByteArray();
  }
  void failedRuns() {
    QFETCH(QByteArray, body);
    Interpreter(body);
    if (body.isEmpty()) QCOMPARE(::chmod((app_ + "qmx.exe").constData(), 0644), 0);
    // A leftover output of an earlier run is never sent for this one.
    Put(kOutput, "someone else's page");
    QCOMPARE(WebFetch(Post("a=1")), MissingQmx());
    QCOMPARE(Log().last().left(29), QByteArray("[127.0.0.1]      124 /run.qmx"));
  }

  void limitEndsWhatTheInterpreterStarted() {
    // Its own children, and one that left its process group and session.
    web_->Scripts().SetTimeLimit(500);
    Interpreter(
        "sleep 30 & echo $! > child; setsid sh -c 'echo $$ > away; exec sleep 30' & "
        "while [ ! -s away ]; do sleep 0.02; done; wait");
    RawClient client(WebPort());
    QVERIFY(client.Send(Post("a=1")));
    QTRY_VERIFY(PathExists(app_ + "away"));
    QCOMPARE(WebFetch("GET /page.html HTTP/1.0\r\n\r\n").left(4), QByteArray("page"));
    QVERIFY(client.WaitClosed());
    QCOMPARE(client.received, MissingQmx());
    for (const char* name : {"child", "away"}) {
      const QByteArray pid = Saved(name).trimmed();
      QVERIFY(!pid.isEmpty());
      QTRY_VERIFY(::kill(pid.toInt(), 0) != 0);  // ended and reaped
    }
  }

  void oneAddressRunsOneAtATime() {
    Interpreter(
        "echo start >> trace; sleep 0.2; echo end >> trace; "
        "printf '%s' \"${1##*|}\" > 127.0.0.1.qms");
    RawClient first(WebPort());
    RawClient second(WebPort());
    QVERIFY(first.Send(Post("n=1")));
    QVERIFY(second.Send(Post("n=2")));
    QVERIFY(first.WaitClosed());
    QVERIFY(second.WaitClosed());
    QCOMPARE(first.received, QByteArray("n=1"));
    QCOMPARE(second.received, QByteArray("n=2"));
    QCOMPARE(Saved("trace"), QByteArray("start\nend\nstart\nend\n"));
  }

  void clientLeavingEndsItsRun() {
    // A run whose client has gone is ended; a request whose client has gone before its turn
    // never starts.
    Interpreter(
        "echo \"${1##*|}\" >> trace; sleep 0.3; printf x > 127.0.0.1.qms; echo \"${1##*|}\" >> "
        "done");
    RawClient running(WebPort());
    RawClient leaving(WebPort());
    RawClient staying(WebPort());
    QVERIFY(running.Send(Post("n=1")));
    QTRY_COMPARE(Saved("trace"), QByteArray("n=1\n"));
    QVERIFY(leaving.Send(Post("n=2")));
    QVERIFY(staying.Send(Post("n=3")));
    QTRY_COMPARE(web_->Scripts().Waiting("127.0.0.1"), 2);
    leaving.Reset();
    QTRY_COMPARE(web_->Scripts().Waiting("127.0.0.1"), 1);
    running.Reset();
    QVERIFY(staying.WaitClosed());
    QCOMPARE(staying.received, QByteArray("x"));
    QCOMPARE(Saved("trace"), QByteArray("n=1\nn=3\n"));
    QCOMPARE(Saved("done"), QByteArray("n=3\n"));  // the first run never got that far
    QVERIFY(!PathExists(app_ + kOutput));
    QCOMPARE(Log().size(), 1);
  }

  void floodFromOneAddress() {
    // Four requests of one address wait behind its run; the next is refused at once, and the
    // waiting ones take no turn: a page is served meanwhile even with MaxConnect 1.
    StartWeb(1);
    Interpreter("while [ ! -e go ]; do sleep 0.05; done; printf ok > 127.0.0.1.qms");
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int i = 0; i < 5; ++i) {
      clients.push_back(std::make_unique<RawClient>(WebPort()));
      QVERIFY(clients.back()->Send(Post("a=1")));
      QTRY_COMPARE(web_->Scripts().Running() + web_->Scripts().Waiting("127.0.0.1"), i + 1);
    }
    QCOMPARE(WebFetch(Post("a=1")), MissingQmx());
    QCOMPARE(WebFetch("GET /page.html HTTP/1.0\r\n\r\n").left(4), QByteArray("page"));
    Put("go", "");
    for (auto& client : clients) {
      QVERIFY(client->WaitClosed());
      QCOMPARE(client->received, QByteArray("ok"));
    }
  }

  void stalledFormsTakeNoTurn() {
    // Clients that announce a form and send nothing more keep nobody waiting.
    StartWeb(2);
    Interpreter("printf x > 127.0.0.1.qms");
    RawClient first(WebPort());
    RawClient second(WebPort());
    QVERIFY(first.Send("POST /run.qmx HTTP/1.0\r\nContent-Length: 100\r\n\r\n"));
    QVERIFY(second.Send("POST /run.qmx HTTP/1.0\r\nContent-Length: 100\r\n\r\n"));
    QTRY_VERIFY(web_->Slots().OldestArriving() != nullptr &&
                web_->Slots().OldestArriving()->state == SlotState::Body);
    QCOMPARE(WebFetch("GET /page.html HTTP/1.0\r\n\r\n", 5000).left(4), QByteArray("page"));
    QCOMPARE(web_->ActiveConnections(), 0);
  }

  void formTooLargeForOneArgument() {
    Interpreter("touch ran; printf x > 127.0.0.1.qms");
    QCOMPARE(WebFetch(Post("a=" + QByteArray(140000, 'b'))), MissingQmx());
    QVERIFY(!PathExists(app_ + "ran"));
    QCOMPARE(Log().first(), QByteArray("Form too large: run.qmx"));
    // A declared form over 1 MiB is not waited for.
    QCOMPARE(WebFetch("POST /run.qmx HTTP/1.0\r\nContent-Length: 1048577\r\n\r\na=1"),
             MissingQmx());
    QVERIFY(!PathExists(app_ + "ran"));
  }

  void outputIsNeverReadThroughALink() {
    Put("secret.cfg", "Password=hunter2");
    Interpreter("ln -sf secret.cfg 127.0.0.1.qms");
    QCOMPARE(WebFetch(Post("a=1")), MissingQmx());
    QVERIFY(!PathExists(app_ + kOutput));
    QCOMPARE(Saved("secret.cfg"), QByteArray("Password=hunter2"));
  }
};

QTEST_GUILESS_MAIN(ScriptsTest)
#include "tst_scripts.moc"
