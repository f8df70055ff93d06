// A real browser against the real program with headers on, on a port other than 80 (where
// browsers refuse bare replies): the shipped sample site, clicked through in headless Chromium.

#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include "devtoolsbrowser.h"
#include "rawclient.h"
#include "util/files.h"

using namespace orvane;

class BrowserHeadersTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QProcess server_;
  quint16 port_ = 0;
  quint16 adminPort_ = 0;
  std::unique_ptr<DevToolsBrowser> browser_;

  QString Url(const char* path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port_).arg(QLatin1String(path));
  }

 private Q_SLOTS:
  void initTestCase() {
    if (QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty()) {
      QFAIL("chromium is not installed (scripts/test.sh installs it)");
    }
    {
      QTcpServer probe;
      QTcpServer adminProbe;
      QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
      QVERIFY(adminProbe.listen(QHostAddress::LocalHost, 0));
      port_ = probe.serverPort();
      adminPort_ = adminProbe.serverPort();
    }
    // The sample site as shipped, with the sample interpreter and its own settings file.
    const QString site = QStringLiteral(SITE_DIR);
    QDirIterator files(site + QStringLiteral("/docs"), QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
      const QString from = files.next();
      const QString to = dir_.path() + from.mid(site.size());
      QDir().mkpath(QFileInfo(to).absolutePath());
      QVERIFY(QFile::copy(from, to));
    }
    QVERIFY(QFile::copy(QStringLiteral(QMX_BINARY), dir_.path() + QStringLiteral("/qmx.exe")));
    QVERIFY(QFile::copy(site + QStringLiteral("/server.cfg"),
                        dir_.path() + QStringLiteral("/server.cfg")));
    const QByteArray config = QFile::encodeName(dir_.path()) + "/server.cfg";
    QVERIFY(ReadWholeFile(config).value_or("").contains("HttpHeaders=1"));
    QVERIFY(WriteFileAtomically(config, ReadWholeFile(config).value_or("") +
                                            "Port=" + QByteArray::number(port_) +
                                            "\n[Admin]\nAllow=1\nUserName=owner\nPassword="
                                            "Secret1\nPort=" +
                                            QByteArray::number(adminPort_) + "\n"));
    for (const char* name : {"docs/old one.txt", "docs/old-two.txt", "docs/R&D.txt", "docs/RD.txt",
                             "docs/say\"hi\".txt", "docs/say%22hi%22.txt", "docs/a+b %41.txt",
                             "docs/a b A.txt", "docs/caf\xC3\xA9.txt", "docs/victim.txt"}) {
      QVERIFY(WriteFileAtomically(QFile::encodeName(dir_.path()) + "/" + name, "old"));
    }
    // A page of the public site that posts to the console, as a stranger's page would.
    QVERIFY(WriteFileAtomically(
        QFile::encodeName(dir_.path()) + "/docs/evil.html",
        "<form id=f method=POST action=\"http://127.0.0.1:" + QByteArray::number(adminPort_) +
            "/\"><input type=hidden "
            "name=ADMINLOGIN value><input type=hidden name=\"FILES !victim.txt\" value>"
            "<input type=hidden name=EraseFiles value=EraseFiles></form>"
            "<script>document.getElementById('f').submit()</script>"));

    server_.start(QStringLiteral(ORVANE_BINARY),
                  {QStringLiteral("--headless"), QStringLiteral("--app-dir"), dir_.path()});
    QVERIFY(server_.waitForStarted());
    QVERIFY(QTest::qWaitFor(
        [this] {
          RawClient client(port_);
          return client.Send("GET / HTTP/1.0\r\n\r\n", 200) && client.WaitClosed(2000) &&
                 client.received.startsWith("HTTP/1.0 200 OK\r\n");
        },
        20000));
    browser_ = std::make_unique<DevToolsBrowser>();
  }

  void cleanupTestCase() {
    browser_.reset();
    server_.terminate();
    server_.waitForFinished(10000);
  }

  void scriptForm() {
    QVERIFY(browser_->Open(Url("/hello.html")));
    QVERIFY(browser_->WaitFor(QStringLiteral("!!document.getElementById('name')")).toBool());
    browser_->Evaluate(
        QStringLiteral("document.getElementById('name').value = 'Ada <b>&';"
                       "document.getElementById('greet').click(); true"));
    // The typed markup comes back as text, not as an element.
    QCOMPARE(browser_
                 ->WaitFor(QStringLiteral("document.getElementById('greeting') ? "
                                          "document.getElementById('greeting').innerHTML : ''"))
                 .toString(),
             QStringLiteral("Hello, Ada &lt;b&gt;&amp;!"));
  }
  void administration() {
    auto login = [this](const char* password) {
      QVERIFY(browser_->Open(QStringLiteral("http://127.0.0.1:%1/").arg(adminPort_)));
      QVERIFY(browser_->WaitFor(QStringLiteral("!!document.querySelector('input[type=password]')"))
                  .toBool());
      browser_->Evaluate(QStringLiteral("document.querySelector('input[type=text]').value='owner';"
                                        "document.querySelector('input[type=password]').value='%1';"
                                        "document.querySelector('input[name=Request]').click();")
                             .arg(QLatin1String(password)));
    };

    // Tick entries by the names shown beside them, erase, confirm: exactly those go.
    login("Secret1");
    QVERIFY(browser_->WaitFor(QStringLiteral("document.title.includes('Logged In')")).toBool());
    browser_->Evaluate(
        QStringLiteral("const ticked = ['old one.txt', 'old-two.txt', 'R&D.txt', 'say\"hi\".txt', "
                       "'a+b %41.txt'];"
                       "for (const box of document.querySelectorAll('input[type=checkbox]')) {"
                       "  const shown = box.previousElementSibling.textContent;"
                       "  box.checked = ticked.includes(shown) || shown.startsWith('caf');"
                       "}"
                       "document.querySelector('input[name=Erase]').click();"));
    const QString confirm = browser_
                                ->WaitFor(QStringLiteral("document.title.includes('Erase?') ? "
                                                         "document.body.innerText : ''"))
                                .toString();
    QVERIFY2(confirm.contains(QStringLiteral("old one.txt")), qPrintable(confirm));
    browser_->Evaluate(QStringLiteral("document.querySelector('input[name=EraseFiles]').click()"));
    const QString after = browser_
                              ->WaitFor(QStringLiteral("document.title.includes('Logged In') ? "
                                                       "document.body.innerText : ''"))
                              .toString();
    QVERIFY(!after.contains(QStringLiteral("old one.txt")));
    QVERIFY(!after.contains(QStringLiteral("old-two.txt")));
    const QByteArray docs = QFile::encodeName(dir_.path()) + "/docs/";
    for (const char* gone : {"old one.txt", "old-two.txt", "R&D.txt", "say\"hi\".txt",
                             "a+b %41.txt", "caf\xC3\xA9.txt"}) {
      QVERIFY2(!PathExists(docs + gone), gone);
    }
    for (const char* kept : {"RD.txt", "say%22hi%22.txt", "a b A.txt"}) {
      QVERIFY2(PathExists(docs + kept), kept);
    }

    // While the owner is logged in, a page of the public site posts to the console: refused.
    QVERIFY(browser_->Open(Url("/evil.html")));
    QCOMPARE(
        browser_->WaitFor(QStringLiteral("document.title.includes('Out') ? document.title : ''"))
            .toString(),
        QStringLiteral("Administrator Logged Out"));
    QVERIFY(PathExists(docs + "victim.txt"));
    login("Secret1");
    QVERIFY(browser_->WaitFor(QStringLiteral("document.title.includes('Logged In')")).toBool());

    // Upload a file with every byte value; then log out.
    QByteArray bytes;
    for (int i = 0; i < 256 * 40; ++i) bytes += static_cast<char>(i * 7);
    const QString picked = dir_.path() + QStringLiteral("/picked.bin");
    QVERIFY(WriteFileAtomically(QFile::encodeName(picked), bytes));
    browser_->Evaluate(
        QStringLiteral("document.querySelector('input[name=\"Upload...\"]').click()"));
    QVERIFY(
        browser_->WaitFor(QStringLiteral("!!document.querySelector('input[type=file]')")).toBool());
    QVERIFY(browser_->ChooseFile(QStringLiteral("input[type=file]"), picked));
    browser_->Evaluate(QStringLiteral("document.querySelector('input[name=UploadNow]').click()"));
    QVERIFY(browser_->WaitFor(QStringLiteral("document.title.includes('Upload Done')")).toBool());
    QVERIFY(ReadWholeFile(QFile::encodeName(dir_.path()) + "/docs/picked.bin") == bytes);
    browser_->Evaluate(QStringLiteral("document.querySelector('input[name=Back]').click()"));
    QVERIFY(browser_->WaitFor(QStringLiteral("document.title.includes('Logged In')")).toBool());
    browser_->Evaluate(QStringLiteral("document.querySelector('input[name=Logout]').click()"));
    QVERIFY(browser_->WaitFor(QStringLiteral("document.title.includes('Logging Out')")).toBool());
  }
};

QTEST_GUILESS_MAIN(BrowserHeadersTest)
#include "tst_browserheaders.moc"
