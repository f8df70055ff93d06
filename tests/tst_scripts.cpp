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

static const QByteArray kOutput = "127.0.0.1.qms";

class ScriptsTest : public SiteFixture {
  Q_OBJECT

  // qmx.exe runs `body` in the program folder, with its one argument as "$1".
  void Interpreter(const QByteArray& body, mode_t mode = 0755) {
    Put("qmx.exe", "#!/bin/sh\ncd \"$(dirname \"$0\")\"\n" + body + "\n");
    QCOMPARE(::chmod((app_ + "qmx.exe").constData(), mode), 0);
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
    QVERIFY(!PathExists(app_ + "pwned") && !PathExists(app_ + kOutput));  // deleted once sent
    QCOMPARE(Log(), QByteArrayList({"[127.0.0.1]      run.qmx" + QByteArray(34, ' ') + " (7)"}));
  }

  void formInTwoPieces() {
    // A form still arriving takes no turn: a page is served meanwhile even with MaxConnect 1.
    StartWeb(1);
    Interpreter("printf '%s' \"$1\" > 127.0.0.1.qms");
    RawClient client(WebPort());
    QVERIFY(client.Send("POST /run.qmx HTTP/1.1\r\nHost: h\r\nContent-Length: 7\r\n\r\n"));
    QTRY_VERIFY(web_->Slots().OldestArriving() != nullptr &&
                web_->Slots().OldestArriving()->state == SlotState::Body);
    QCOMPARE(WebFetch("GET /page.html HTTP/1.0\r\n\r\n", 5000).left(4), QByteArray("page"));
    QVERIFY(client.Send("a=1&b=2") && client.WaitClosed());
    QCOMPARE(client.received, app_ + "docs/run.qmx|127.0.0.1|a=1&b=2");
    // Without a declared length the request is handled at once, with the form it has.
    QCOMPARE(WebFetch("POST /run.qmx HTTP/1.0\r\n\r\n"), app_ + "docs/run.qmx|127.0.0.1|");
  }

  void failedRuns_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("log");  // how the first log line starts
    const QByteArray failed = "[127.0.0.1]      124 /run.qmx", small = Post("a=1");
    QTest::newRow("writes nothing") << QByteArray("exit 0") << small << failed;
    QTest::newRow("fails") << QByteArray("printf x > 127.0.0.1.qms; exit 3") << small << failed;
    QTest::newRow("killed by a signal")
        << QByteArray("printf x > 127.0.0.1.qms; kill -9 $$") << small << failed;
    QTest::newRow("not executable") << QByteArray() << small << failed;
    // Its output is never read through a link to a file the owner keeps.
    QTest::newRow("output is a link")
        << QByteArray("ln -sf secret.cfg 127.0.0.1.qms") << small << failed;
    QTest::newRow("form too large for one argument")
        << QByteArray("touch ran; printf x > 127.0.0.1.qms") << Post("a=" + QByteArray(140000, 'b'))
        << QByteArray("Form too large: run.qmx");
    QTest::newRow("declared form over 1 MiB, not waited for")
        << QByteArray("touch ran; printf x > 127.0.0.1.qms")
        << QByteArray("POST /run.qmx HTTP/1.0\r\nContent-Length: 1048577\r\n\r\na=1") << failed;
  }
  void failedRuns() {
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, log);
    Interpreter(body, body.isEmpty() ? 0644 : 0755);
    Put("secret.cfg", "Password=hunter2");
    // A leftover output of an earlier run is never sent for this one.
    Put(kOutput, "someone else's page");
    QCOMPARE(WebFetch(request), MissingQmx());
    QVERIFY(!PathExists(app_ + "ran"));
    QCOMPARE(Saved("secret.cfg"), QByteArray("Password=hunter2"));
    QCOMPARE(Log().first().left(log.size()), log);
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
    QVERIFY(client.WaitClosed() && client.received == MissingQmx());
    for (const char* name : {"child", "away"}) {
      const QByteArray pid = Saved(name).trimmed();
      QVERIFY(!pid.isEmpty());
      QTRY_VERIFY(::kill(pid.toInt(), 0) != 0);  // ended and reaped
    }
  }

  void clientLeavingEndsItsRun() {
    // A run whose client has gone is ended; a request whose client has gone before its turn
    // never starts.
    Interpreter(
        "echo \"${1##*|}\" >> trace; sleep 0.3; printf x > 127.0.0.1.qms; echo \"${1##*|}\" >> "
        "done");
    RawClient running(WebPort()), leaving(WebPort()), staying(WebPort());
    QVERIFY(running.Send(Post("n=1")));
    QTRY_COMPARE(Saved("trace"), QByteArray("n=1\n"));
    QVERIFY(leaving.Send(Post("n=2")) && staying.Send(Post("n=3")));
    QTRY_COMPARE(web_->Scripts().Waiting("127.0.0.1"), 2);
    leaving.Reset();
    QTRY_COMPARE(web_->Scripts().Waiting("127.0.0.1"), 1);
    running.Reset();
    QVERIFY(staying.WaitClosed() && staying.received == "x");
    QCOMPARE(Saved("trace"), QByteArray("n=1\nn=3\n"));
    QCOMPARE(Saved("done"), QByteArray("n=3\n"));  // the first run never got that far
    QVERIFY(!PathExists(app_ + kOutput) && Log().size() == 1);
  }

  void floodFromOneAddress() {
    // Four requests of one address wait behind its run, one run at a time; the next is refused
    // at once, and the waiting ones take no turn: a page is served meanwhile with MaxConnect 1.
    StartWeb(1);
    Interpreter("while [ ! -e go ]; do sleep 0.05; done; printf '%s' \"${1##*|}\" > 127.0.0.1.qms");
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int i = 0; i < 5; ++i) {
      clients.push_back(std::make_unique<RawClient>(WebPort()));
      QVERIFY(clients.back()->Send(Post("n=" + QByteArray::number(i))));
      QTRY_COMPARE(web_->Scripts().Running() + web_->Scripts().Waiting("127.0.0.1"), i + 1);
    }
    QCOMPARE(web_->Scripts().Running(), 1);
    QCOMPARE(WebFetch(Post("a=1")), MissingQmx());
    QCOMPARE(WebFetch("GET /page.html HTTP/1.0\r\n\r\n").left(4), QByteArray("page"));
    Put("go", "");
    for (int i = 0; i < 5; ++i) {
      QVERIFY(clients[i]->WaitClosed());
      QCOMPARE(clients[i]->received, "n=" + QByteArray::number(i));
    }
  }
};

QTEST_GUILESS_MAIN(ScriptsTest)
#include "tst_scripts.moc"
