// A real browser against the real program: Chromium, headless, loads pages from the server
// running on port 80 (the one port where browsers still accept bare replies without a status
// line).

#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include "rawclient.h"
#include "util/files.h"

using namespace orvane;

class BrowserTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QTemporaryDir profile_;
  QProcess server_;

  // The page as the browser built it, after its scripts (none here) and parsing.
  QByteArray Dom(const QString& path) {
    QProcess browser;
    browser.start(
        QStringLiteral("chromium"),
        {QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
         QStringLiteral("--disable-gpu"), QStringLiteral("--disable-quic"),
         QStringLiteral("--no-first-run"), QStringLiteral("--disable-background-networking"),
         QStringLiteral("--disable-component-update"), QStringLiteral("--disable-sync"),
         QStringLiteral("--user-data-dir=") + profile_.path(), QStringLiteral("--dump-dom"),
         QStringLiteral("http://127.0.0.1") + path});
    if (!browser.waitForFinished(60000)) return "<browser did not finish>";
    return browser.readAllStandardOutput();
  }

 private Q_SLOTS:
  void initTestCase() {
    if (QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty()) {
      QFAIL("chromium is not installed (scripts/test.sh installs it)");
    }
    {
      QTcpServer probe;
      if (!probe.listen(QHostAddress::Any, 80)) QSKIP("port 80 is taken or needs root");
    }
    const QByteArray app = QFile::encodeName(dir_.path()) + "/";
    QVERIFY(MakeDir(app + "docs"));
    QVERIFY(MakeDir(app + "docs/sub"));
    QVERIFY(MakeDir(app + "system"));
    QVERIFY(WriteFileAtomically(app + "docs/index.html",
                                "<html><head><title>%server-name%</title></head><body><h1 "
                                "id=t>Hello from %software%</h1><noscript>ns</noscript></body>"
                                "</html>"));
    QVERIFY(WriteFileAtomically(app + "docs/sub/a.txt", "123456789012"));
    QVERIFY(
        WriteFileAtomically(app + "system/template.html",
                            "<html><body><h2>In %server-path%</h2>%information%</body></html>"));
    QVERIFY(WriteFileAtomically(app + "server.cfg", "[Server]\nServerName=Browser Site\n"));
    server_.start(QStringLiteral(ORVANE_BINARY),
                  {QStringLiteral("--headless"), QStringLiteral("--app-dir"), dir_.path()});
    QVERIFY(server_.waitForStarted());
    QVERIFY(QTest::qWaitFor(
        [] {
          RawClient client(80);
          return client.Send("GET / HTTP/1.0\r\n\r\n", 200) && client.WaitClosed(2000) &&
                 !client.received.isEmpty();
        },
        20000));
  }

  void cleanupTestCase() {
    if (server_.state() == QProcess::Running) {
      server_.terminate();
      server_.waitForFinished(10000);
    }
  }

  void pageWithTagsAndFooter() {
    const QByteArray dom = Dom(QStringLiteral("/"));
    QVERIFY2(dom.contains("<title>Browser Site</title>"), dom.constData());
    QVERIFY(dom.contains("<h1 id=\"t\">Hello from Orvane Light 0.7</h1>"));
    QVERIFY(dom.contains("This page has been sent to you by Orvane- Light."));
    QVERIFY(dom.contains("href=\"http://www.orvane.example\""));
  }
};

QTEST_GUILESS_MAIN(BrowserTest)
#include "tst_browser.moc"
