// Script requests against interpreters written by the tests: small shell programs named qmx.exe
// in the temporary program folder.

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <QTest>

#include "pages/errorpages.h"
#include "serverfixture.h"
#include "web/filedelivery.h"

using namespace orvane;

namespace {

const QByteArray kOutput = "127.0.0.1.qms";

}  // namespace

class ScriptsTest : public ServerFixture {
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
    NewFolder();
    Put("docs/run.qmx", "script");
    Put("docs/page.html", "page");
    StartServer();
  }

  void argumentAndReply() {
    // The form reaches the interpreter as it came, in one argument, and nothing in it runs.
    Interpreter("printf '%s' \"$1\" > arg; echo $# > argc; printf 'out\\0put' > 127.0.0.1.qms");
    const QByteArray form = "a=x y\"'|;$(touch pwned)`touch pwned`&b=%41\xE9";
    QCOMPARE(Fetch(Post(form)), QByteArray("out\0put", 7));
    QCOMPARE(Saved("argc"), QByteArray("1\n"));
    QCOMPARE(Saved("arg"),
             app_ + "docs/run.qmx|127.0.0.1|a=x y\"'|;$(touch pwned)`touch pwned`&b=%41%E9");
    QVERIFY(!PathExists(app_ + "pwned"));
    QVERIFY(!PathExists(app_ + kOutput));  // deleted once sent
    QCOMPARE(Log(), QByteArrayList({"[127.0.0.1]      run.qmx" + QByteArray(34, ' ') + " (7)"}));
  }

  void formInTwoPieces() {
    Interpreter("printf '%s' \"$1\" > 127.0.0.1.qms");
    RawClient client(Port());
    QVERIFY(client.Send("POST /run.qmx HTTP/1.1\r\nHost: h\r\nContent-Length: 7\r\n\r\n"));
    QVERIFY(client.StillOpenAfter(100));
    QVERIFY(client.Send("a=1&b=2"));
    QVERIFY(client.WaitClosed());
    QCOMPARE(client.received, app_ + "docs/run.qmx|127.0.0.1|a=1&b=2");
    // Without a declared length the request is handled at once, with the form it has.
    QCOMPARE(Fetch("POST /run.qmx HTTP/1.0\r\n\r\n"), app_ + "docs/run.qmx|127.0.0.1|");
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
    QCOMPARE(Fetch(Post("a=1")), MissingQmx());
    QCOMPARE(Log().last().left(29), QByteArray("[127.0.0.1]      124 /run.qmx"));
  }

  void emptyOutput() {
    Interpreter(": > 127.0.0.1.qms");
    QCOMPARE(Fetch(Post("a=1")), EmptyFilePage());
    QVERIFY(!PathExists(app_ + kOutput));
  }

  void declaredFormTooLarge() {
    Interpreter("touch ran; printf x > 127.0.0.1.qms");
    QCOMPARE(Fetch("POST /run.qmx HTTP/1.0\r\nContent-Length: 1048577\r\n\r\na=1"), MissingQmx());
    QVERIFY(!PathExists(app_ + "ran"));
  }

  void endlessRunIsKilledWhileOthersAreServed() {
    server_->Scripts().SetTimeLimit(500);
    Interpreter("exec sleep 30");
    RawClient client(Port());
    QVERIFY(client.Send(Post("a=1")));
    QTRY_COMPARE(server_->Scripts().Running(), 1);
    QCOMPARE(Fetch("GET /page.html HTTP/1.0\r\n\r\n").left(4), QByteArray("page"));
    QVERIFY(client.WaitClosed());
    QCOMPARE(client.received, MissingQmx());
    QCOMPARE(server_->Scripts().Running(), 0);
  }

  void limitEndsWhatTheInterpreterStarted() {
    server_->Scripts().SetTimeLimit(500);
    Interpreter("sleep 30 & echo $! > child; wait");
    QCOMPARE(Fetch(Post("a=1")), MissingQmx());
    const QByteArray child = Saved("child").trimmed();
    QVERIFY(!child.isEmpty());
    // Gone with its interpreter (a zombie nobody has reaped yet counts as gone).
    auto gone = [&] {
      const QByteArray stat = ReadWholeFile("/proc/" + child + "/stat").value_or("");
      return ::kill(child.toInt(), 0) != 0 || stat.mid(stat.lastIndexOf(')') + 2, 1) == "Z";
    };
    QTRY_VERIFY(gone());
  }

  void oneAddressRunsOneAtATime() {
    Interpreter(
        "echo start >> trace; sleep 0.2; echo end >> trace; "
        "printf '%s' \"${1##*|}\" > 127.0.0.1.qms");
    RawClient first(Port());
    RawClient second(Port());
    QVERIFY(first.Send(Post("n=1")));
    QVERIFY(second.Send(Post("n=2")));
    QVERIFY(first.WaitClosed());
    QVERIFY(second.WaitClosed());
    QCOMPARE(first.received, QByteArray("n=1"));
    QCOMPARE(second.received, QByteArray("n=2"));
    QCOMPARE(Saved("trace"), QByteArray("start\nend\nstart\nend\n"));
  }

  void clientLeavesDuringTheRun() {
    Interpreter("sleep 0.3; printf x > 127.0.0.1.qms; touch done");
    {
      RawClient client(Port());
      QVERIFY(client.Send(Post("a=1")));
      QTRY_COMPARE(server_->Scripts().Running(), 1);
      client.Reset();
    }
    QTRY_COMPARE(server_->ActiveConnections(), 0);
    QTRY_COMPARE(server_->Scripts().Running(), 0);
    QVERIFY(PathExists(app_ + "done"));
    QVERIFY(!PathExists(app_ + kOutput));
    QVERIFY(Log().isEmpty());
  }

  void headerMode() {
    Interpreter("printf '<p>hi</p>' > 127.0.0.1.qms");
    state_->settings.HttpHeaders = true;
    QCOMPARE(Fetch(Post("a=1")), QByteArray("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n"
                                            "Content-Length: 9\r\nConnection: close\r\n"
                                            "Server: Orvane Light 0.7\r\n\r\n<p>hi</p>"));
    QCOMPARE(Log(), QByteArrayList({"[127.0.0.1]      run.qmx" + QByteArray(34, ' ') + " (9)"}));
  }

  void halfClosedClientGetsTheOutput() {
    Interpreter("sleep 0.2; printf out > 127.0.0.1.qms");
    RawClient client(Port());
    QVERIFY(client.Send(Post("a=1")));
    client.ShutdownWrite();
    QVERIFY(client.WaitClosed());
    QCOMPARE(client.received, QByteArray("out"));
  }
};

QTEST_GUILESS_MAIN(ScriptsTest)
#include "tst_scripts.moc"
