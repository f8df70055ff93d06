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
    QTest::addColumn<QByteArrayList>("cells");  // a line, and what the log shows when it differs
    for (const char* row : {"a\x1b[2J\x7f\x9b\xC2\x9Bz|a\\x1B[2J\\x7F\\x9B\\xC2\\x9Bz",
                            "x\xE2\x80\xAEt\xE2\x81\xA6|x\\xE2\\x80\\xAEt\\xE2\\x81\\xA6",
                            "\xE9 \xE2\x82\xAC \xC3\xA9 \xE2\x80\x94"})
      QTest::newRow(QByteArray(row).toPercentEncoding().constData()) << QByteArray(row).split('|');
    QTest::newRow("longer") << QByteArrayList{QByteArray(4097, 'b'), QByteArray(4093, 'b') + "..."};
    QTest::newRow("longer once escaped")
        << QByteArrayList{QByteArray(3000, '\n'), QByteArray("\\x0A").repeated(1023) + "\\..."};
  }
  void printable() {
    QFETCH(QByteArrayList, cells);
    QCOMPARE(RunningLog::Printable(cells.first()), cells.last());
  }

  void logTextIsCapped() {
    // 4,096 lines of 4 KiB fill the 16 MiB; one more pushes out one, neither none nor two.
    TestShell shell;
    Desktop desk(shell);
    for (int i = 0; i < 4097; ++i) desk.AppendLog(QByteArray(4096, char('0' + i % 10)));
    QCOMPARE(desk.Log().Bytes(), 16 * 1024 * 1024);
    QVERIFY(desk.Log().Line(0) == QByteArray(4096, '1') && shell.logLines[0] == desk.Log().Line(0));
  }

  void headlessShell() {
    // Questions take their default answer. A reader of standard output that stops never stops the
    // program: lines wait up to 1 MiB, later ones are dropped and counted in one notice.
    int fds[4];  // blocking pipes, as a shell gives them; the test's reading ends 0 and 2 are not
    QVERIFY(::pipe(fds) == 0 && ::pipe(fds + 2) == 0);
    QVERIFY(::fcntl(fds[0], F_SETFL, O_NONBLOCK) == 0 && ::fcntl(fds[2], F_SETFL, O_NONBLOCK) == 0);
    const auto closeAll = qScopeGuard([&fds] { std::for_each(fds, fds + 4, ::close); });
    QByteArray buf(4 << 20, 0);  // more than a pipe holds; left(-1), nothing to read, is empty
    auto readAll = [&buf](int fd) { return buf.left(::read(fd, buf.data(), buf.size())); };
    HeadlessShell shell(fds[1], fds[3]);
    QCOMPARE(shell.MessageBox("Go?\r\n\r\nNow", kYesNoExclamation, "Offline"), int(kAnswerYes));
    QCOMPARE(shell.MessageBox("Go?\r", kYesNo, "Unsaved"), int(kAnswerYes));
    QCOMPARE(readAll(fds[2]), QByteArray("Offline: Go?\n\nNow\nUnsaved: Go?\n\n"));
    for (int i = 0; i < 3000; ++i) shell.LogLineAdded(QByteArray(1023, 'l'));  // 3 MiB, no wait
    QByteArray got, notice;
    QTRY_VERIFY((got += readAll(fds[0]), notice += readAll(fds[2]), !notice.isEmpty()));
    QVERIFY(got.size() >= 1024 * 1024 && got.size() < 2 * 1024 * 1024);
    QCOMPARE(got, QByteArray(1023, 'l').append('\n').repeated(got.size() / 1024));
    QCOMPARE(notice, "orvane-light: " + QByteArray::number(3000 - got.size() / 1024) +
                         " log lines were not written to standard output\n");
    shell.LogLineAdded("after");
    QTRY_VERIFY((got += readAll(fds[0])).endsWith("after\n"));
  }
};

QTEST_GUILESS_MAIN(RunningLogTest)
#include "tst_runninglog.moc"
