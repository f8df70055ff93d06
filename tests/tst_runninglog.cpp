// The running log: what a line may show, how much the log holds, and the headless shell's output.

#include <fcntl.h>
#include <unistd.h>
#include <QScopeGuard>
#include <QTest>

#include "core/desktop.h"
#include "core/runninglog.h"
#include "shell/headlessshell.h"
#include "testshell.h"

using namespace orvane;

class RunningLogTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void printable_data() {
    // What a terminal would act on is escaped, other Latin-1 and UTF-8 text stays; 4 KiB at most.
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");
    for (const char* row :
         {"a\x1b[2J\x7f|a\\x1B[2J\\x7F", "\x9b\xC2\x9Bz|\\x9B\\xC2\\x9Bz",
          "x\xE2\x80\xAEt\xE2\x81\xA6|x\\xE2\\x80\\xAEt\\xE2\\x81\\xA6",
          "\xE9 \xE2\x82\xAC \xC3\xA9 \xE2\x80\x94|\xE9 \xE2\x82\xAC \xC3\xA9 \xE2\x80\x94"})
      QTest::newRow(QByteArray(row).toPercentEncoding("|\\").constData())
          << QByteArray(row).split('|')[0] << QByteArray(row).split('|')[1];
    QTest::newRow("longer") << QByteArray(4097, 'b') << QByteArray(4093, 'b') + "...";
    QTest::newRow("longer once escaped")
        << QByteArray(3000, '\n') << QByteArray("\\x0A").repeated(1023) + "\\...";
  }
  void printable() {
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    QCOMPARE(RunningLog::Printable(line), expected);
  }

  void logTextIsCapped() {
    // 4,096 lines of 4 KiB fill the 16 MiB; a line past them pushes out as few as it needs.
    TestShell shell;
    Desktop desk(shell);
    for (int i = 0; i < 4096; ++i) desk.AppendLog(QByteArray(4096, char('0' + i % 10)));
    QCOMPARE(shell.logLines.size(), 4096);
    desk.AppendLog("short");
    QCOMPARE(desk.Log().Bytes(), 16 * 1024 * 1024 - 4091);
    QVERIFY(desk.Log().Line(0) == QByteArray(4096, '1') && shell.logLines[0] == desk.Log().Line(0));
  }

  void headlessShell() {
    // Questions take their default answer. A reader of standard output that stops never stops the
    // program: lines wait up to 1 MiB, later ones are dropped and counted in one notice.
    int fds[4];  // blocking pipes, as a shell gives them; the test's reading ends 0 and 2 are not
    QVERIFY(::pipe(fds) == 0 && ::pipe(fds + 2) == 0);
    QVERIFY(::fcntl(fds[0], F_SETFL, O_NONBLOCK) == 0 && ::fcntl(fds[2], F_SETFL, O_NONBLOCK) == 0);
    const auto closeAll = qScopeGuard([&fds] { std::for_each(fds, fds + 4, ::close); });
    auto readAll = [buffer = QByteArray(4 << 20, 0)](int fd) mutable {  // more than a pipe holds
      return buffer.left(std::max<ssize_t>(::read(fd, buffer.data(), buffer.size()), 0));
    };
    HeadlessShell shell(fds[1], fds[3]);
    QCOMPARE(shell.MessageBox("Go?\r\n\r\nNow", kYesNoExclamation, "Offline"), int(kAnswerYes));
    QCOMPARE(shell.MessageBox("Go?\r", kYesNo, "Unsaved"), int(kAnswerYes));
    QCOMPARE(readAll(fds[2]), QByteArray("Offline: Go?\n\nNow\nUnsaved: Go?\n\n"));
    const QByteArray line = QByteArray(1023, 'l') + '\n';
    for (int i = 0; i < 3000; ++i) shell.LogLineAdded(line.left(1023));  // 3 MiB, and no wait
    QByteArray got, notice;
    QTRY_VERIFY((got += readAll(fds[0]), notice += readAll(fds[2]), !notice.isEmpty()));
    QVERIFY(got.size() >= 1024 * 1024 && got.size() < 2 * 1024 * 1024);
    QCOMPARE(got, line.repeated(got.size() / 1024));
    QCOMPARE(notice, "orvane-light: " + QByteArray::number(3000 - got.size() / 1024) +
                         " log lines were not written to standard output\n");
    shell.LogLineAdded("after");
    QTRY_VERIFY((got += readAll(fds[0])).endsWith("after\n"));
  }
};

QTEST_GUILESS_MAIN(RunningLogTest)
#include "tst_runninglog.moc"
