#include <fcntl.h>
#include <unistd.h>
#include <QTest>
#include <memory>

#include "core/desktop.h"
#include "core/runninglog.h"
#include "shell/headlessshell.h"
#include "testshell.h"

using namespace orvane;

namespace {

QByteArray ReadAll(int fd) {
  QByteArray all;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    all.append(buffer, n);
  }
  return all;
}

}  // namespace

class RunningLogTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void fullLogDropsOldest() {
    RunningLog log;
    for (int i = 0; i < RunningLog::kMaxLines; ++i) QVERIFY(!log.Append(QByteArray::number(i)));
    QCOMPARE(log.Count(), 32767);
    QVERIFY(log.Append("newest"));
    QCOMPARE(log.Count(), 32767);
    QCOMPARE(log.Line(0), QByteArray("1"));
    QCOMPARE(log.Line(32766), QByteArray("newest"));
  }

  void printable_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("plain") << QByteArray("[1.2.3.4] Hack attempt! ../x")
                           << QByteArray("[1.2.3.4] Hack attempt! ../x");
    QTest::newRow("forged line") << QByteArray("a\r\n[9.9.9.9] ok")
                                 << QByteArray("a\\x0D\\x0A[9.9.9.9] ok");
    QTest::newRow("escape sequence") << QByteArray("\x1b[2J") << QByteArray("\\x1B[2J");
    QTest::newRow("Latin-1 kept") << QByteArray("caf\xE9") << QByteArray("caf\xE9");
    QTest::newRow("DEL and NUL") << QByteArray("a\x7f", 2) + QByteArray(1, '\0')
                                 << QByteArray("a\\x7F\\x00");
    QTest::newRow("C1 byte") << QByteArray(
                                    "a\x9b"
                                    "2J")
                             << QByteArray("a\\x9B2J");
    QTest::newRow("C1 in UTF-8") << QByteArray(
                                        "a\xC2\x9B"
                                        "2J")
                                 << QByteArray("a\\xC2\\x9B2J");
    QTest::newRow("bidi override")
        << QByteArray("x\xE2\x80\xAEtxt.exe") << QByteArray("x\\xE2\\x80\\xAEtxt.exe");
    QTest::newRow("bidi isolate") << QByteArray("\xE2\x81\xA6") << QByteArray("\\xE2\\x81\\xA6");
    QTest::newRow("UTF-8 text kept") << QByteArray("\xE2\x82\xAC \xC3\xA9 \xE2\x80\x94")
                                     << QByteArray("\xE2\x82\xAC \xC3\xA9 \xE2\x80\x94");
  }
  void printable() {
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    RunningLog log;
    log.Append(line);
    QCOMPARE(log.Line(0), expected);
  }

  void longLinesAreCut() {
    RunningLog log;
    log.Append(QByteArray(4096, 'a'));
    QCOMPARE(log.Line(0), QByteArray(4096, 'a'));
    log.Append(QByteArray(10000, 'b'));
    QCOMPARE(log.Line(1), QByteArray(4093, 'b') + "...");
    log.Append(QByteArray(3000, '\n'));
    QCOMPARE(log.Line(2).size(), 4096);
    QVERIFY(log.Line(2).startsWith("\\x0A\\x0A"));
  }

  void logTextIsCapped() {
    // 4,096 lines of 4 KiB fill the 16 MiB; each further long line pushes out the oldest, and a
    // short one pushes out only as many as it needs.
    TestShell shell;
    Desktop desk(shell);
    const QByteArray line(RunningLog::kMaxLineLength, 'x');
    for (int i = 0; i < 4096; ++i) desk.AppendLog(QByteArray::number(i % 10) + line.mid(1));
    QCOMPARE(desk.Log().Count(), 4096);
    desk.AppendLog(line);
    QCOMPARE(desk.Log().Count(), 4096);
    QVERIFY(desk.Log().Line(0).startsWith('1'));
    desk.AppendLog("short");
    QCOMPARE(desk.Log().Count(), 4096);
    QCOMPARE(desk.Log().Bytes(), RunningLog::kMaxBytes - 4091);
    QCOMPARE(shell.logLines.size(), 4096);
    QVERIFY(shell.logLines.first().startsWith('2'));
  }

  void headlessShell() {
    int out[2];
    int err[2];
    QCOMPARE(::pipe2(out, O_NONBLOCK), 0);
    QCOMPARE(::pipe2(err, O_NONBLOCK), 0);
    HeadlessShell shell(out[1], err[1]);
    shell.LogLineAdded("[127.0.0.1]      index.html (10)");
    shell.LogLineAdded("second");
    QByteArray lines;
    QTRY_COMPARE((lines += ReadAll(out[0])),
                 QByteArray("[127.0.0.1]      index.html (10)\nsecond\n"));
    QCOMPARE(shell.MessageBox("Reason\r\n\r\nCure", kOkInformation, "Orvane Error"),
             int(kAnswerOk));
    QCOMPARE(shell.MessageBox("Continue?", kYesNoExclamation, "Offline"), int(kAnswerYes));
    QCOMPARE(shell.MessageBox("Continue?", kYesNo, "Unsaved Data"), int(kAnswerYes));
    QCOMPARE(ReadAll(err[0]), QByteArray("Orvane Error: Reason\n\nCure\nOffline: Continue?\n"
                                         "Unsaved Data: Continue?\n"));
    for (int fd : {out[0], out[1], err[0], err[1]}) ::close(fd);
  }

  void headlessOutputNobodyReads() {
    // A reader that stops must not stop the program: lines wait up to 1 MiB, later ones are
    // dropped, and once the reader is back one notice says how many were lost.
    int out[2];
    int err[2];
    // Blocking pipes, as a shell gives them; only the test's reading ends are made non-blocking.
    QCOMPARE(::pipe(out), 0);
    QCOMPARE(::pipe(err), 0);
    QCOMPARE(::fcntl(out[0], F_SETFL, O_NONBLOCK), 0);
    QCOMPARE(::fcntl(err[0], F_SETFL, O_NONBLOCK), 0);
    auto shell = std::make_unique<HeadlessShell>(out[1], err[1]);
    const QByteArray line = QByteArray(1023, 'l') + '\n';
    for (int i = 0; i < 3000; ++i) shell->LogLineAdded(line.left(1023));  // 3 MiB, and no wait
    QByteArray got;
    QByteArray notice;
    QTRY_VERIFY((got += ReadAll(out[0]), notice += ReadAll(err[0]), !notice.isEmpty()));
    QVERIFY(got.size() >= 1024 * 1024);
    QVERIFY(got.size() < 2 * 1024 * 1024);
    QCOMPARE(got, line.repeated(got.size() / 1024));
    QCOMPARE(notice, "orvane-light: " + QByteArray::number(3000 - got.size() / 1024) +
                         " log lines were not written to standard output\n");
    shell->LogLineAdded("after");
    QByteArray after;
    QTRY_COMPARE((after += ReadAll(out[0])), QByteArray("after\n"));
    shell.reset();
    for (int fd : {out[0], out[1], err[0], err[1]}) ::close(fd);
  }
};

QTEST_GUILESS_MAIN(RunningLogTest)
#include "tst_runninglog.moc"
