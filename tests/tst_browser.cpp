// A real browser against the real program: headless Chromium, driven through DevTools, clicks
// through the shipped sample site with headers on, and loads a bare page on port 80 (the one
// port where browsers still accept replies without a status line).

#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include "devtoolsbrowser.h"
#include "rawclient.h"
#include "util/files.h"

using namespace orvane;

class BrowserTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QByteArray docs_;
  QProcess server_;
  quint16 port_ = 0;
  quint16 adminPort_ = 0;
  std::unique_ptr<DevToolsBrowser> browser_;

  // Runs the program on the folder `dir` and waits until `port` answers.
  static bool Start(QProcess& server, const QString& dir, quint16 port) {
    server.start(QStringLiteral(ORVANE_BINARY),
                 {QStringLiteral("--headless"), QStringLiteral("--app-dir"), dir});
    const auto answers = [port] {
      RawClient client(port);
      return client.Send("GET / HTTP/1.0\r\n\r\n", 200) && client.WaitClosed(2000) &&
             !client.received.isEmpty();
    };
    return server.waitForStarted() && QTest::qWaitFor(answers, 20000);
  }
  static void Stop(QProcess& server) { server.terminate(), server.waitForFinished(10000); }
  // Whether the page shows an element that `selector` finds, within a while.
  bool Shows(const char* selector) {
    return browser_
        ->WaitFor(QStringLiteral("!!document.querySelector('%1')").arg(QLatin1String(selector)))
        .toBool();
  }
  QString Url(quint16 port, const char* path = "/") const {
    // The administration site speaks HTTPS.
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(port == adminPort_ ? "https" : "http")
        .arg(port)
        .arg(QLatin1String(path));
  }
  bool Click(const char* name) {
    return browser_
        ->Evaluate(QStringLiteral("document.querySelector('input[name=\"%1\"]').click(); true")
                       .arg(QLatin1String(name)))
        .toBool();
  }
  // The page's text once its title has `title` in it.
  QString TextOnceTitled(const char* title) {
    return browser_
        ->WaitFor(QStringLiteral("document.title.includes('%1') ? document.body.innerText : ''")
                      .arg(QLatin1String(title)))
        .toString();
  }
  void LogIn() {
    QVERIFY(browser_->Open(Url(adminPort_)) && Shows("input[type=password]"));
    browser_->Evaluate(
        QStringLiteral("document.querySelector('input[type=text]').value='owner';"
                       "document.querySelector('input[type=password]').value='Secret1';"));
    QVERIFY(Click("Request") && !TextOnceTitled("Logged In").isEmpty());
  }

 private Q_SLOTS:
  void initTestCase() {
    if (QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty()) {
      QFAIL("chromium is not installed (scripts/test.sh installs it)");
    }
    {
      QTcpServer probe, adminProbe;
      QVERIFY(probe.listen(QHostAddress::LocalHost) && adminProbe.listen(QHostAddress::LocalHost));
      port_ = probe.serverPort();
      adminPort_ = adminProbe.serverPort();
    }
    // The sample site as shipped (not what a run of the program left in site/), with the sample
    // interpreter and its own settings file.
    QCOMPARE(QProcess::execute(QStringLiteral("sh"),
                               {QStringLiteral("-c"),
                                QStringLiteral("cp -R \"$0/docs\" \"$0/server.cfg\" \"$1\" && "
                                               "mkdir \"$1/system\" && "
                                               "cp \"$0/system/template.html\" \"$1/system/\""),
                                QStringLiteral(SITE_DIR), dir_.path()}),
             0);
    QVERIFY(QFile::copy(QStringLiteral(QMX_BINARY), dir_.path() + QStringLiteral("/qmx.exe")));
    const QByteArray app = QFile::encodeName(dir_.path()) + "/";
    docs_ = app + "docs/";
    QVERIFY(WriteFileAtomically(app + "server.cfg",
                                ReadWholeFile(app + "server.cfg").value_or("") +
                                    "Port=" + QByteArray::number(port_) +
                                    "\n[Admin]\nAllow=1\nUserName=owner\nPassword=Secret1\nPort=" +
                                    QByteArray::number(adminPort_) + "\nTls=1\n"));
    for (const char* name :
         {"old one.txt", "old-two.txt", "R&D.txt", "RD.txt", "say\"hi\".txt", "say%22hi%22.txt",
          "a+b %41.txt", "a b A.txt", "caf\xC3\xA9.txt", "victim.txt"}) {
      QVERIFY(WriteFileAtomically(docs_ + name, "old"));
    }
    // A page of the public site that posts to the console, as a stranger's page would.
    QVERIFY(WriteFileAtomically(
        docs_ + "evil.html",
        "<form id=f method=POST action=\"https://127.0.0.1:" + QByteArray::number(adminPort_) +
            "/\"><input type=hidden name=ADMINLOGIN value><input type=hidden "
            "name=\"FILES !victim.txt\" value><input type=hidden name=EraseFiles "
            "value=EraseFiles></form><script>document.getElementById('f').submit()</script>"));
    QVERIFY(Start(server_, dir_.path(), port_));
    // The browser trusts the certificate the program made, by its key.
    QProcess spki;
    spki.start("sh", {"-c", "openssl x509 -pubkey -noout -in " + dir_.path() +
                                "/system/tls-cert.pem | openssl pkey -pubin -outform der | "
                                "openssl dgst -sha256 -binary | base64"});
    QVERIFY(spki.waitForFinished() && spki.exitCode() == 0);
    browser_ = std::make_unique<DevToolsBrowser>(QStringList{
        "--ignore-certificate-errors-spki-list=" + spki.readAllStandardOutput().trimmed()});
  }

  void cleanupTestCase() {
    browser_.reset();
    Stop(server_);
  }

  void scriptForm() {
    QVERIFY(browser_->Open(Url(port_, "/hello.html")) && Shows("#name"));
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
    // Tick entries by the names shown beside them, erase, confirm: exactly those go.
    LogIn();
    browser_->Evaluate(
        QStringLiteral("const ticked = ['old one.txt', 'old-two.txt', 'R&D.txt', 'say\"hi\".txt', "
                       "'a+b %41.txt'];"
                       "for (const box of document.querySelectorAll('input[type=checkbox]')) {"
                       "  const shown = box.previousElementSibling.textContent;"
                       "  box.checked = ticked.includes(shown) || shown.startsWith('caf');"
                       "}"));
    QVERIFY(Click("Erase") && TextOnceTitled("Erase?").contains(QStringLiteral("old one.txt")));
    QVERIFY(Click("EraseFiles"));
    const QString after = TextOnceTitled("Logged In");
    QVERIFY(!after.isEmpty() && !after.contains(QStringLiteral("old one.txt")));
    for (const char* gone : {"old one.txt", "old-two.txt", "R&D.txt", "say\"hi\".txt",
                             "a+b %41.txt", "caf\xC3\xA9.txt"}) {
      QVERIFY2(!PathExists(docs_ + gone), gone);
    }
    for (const char* kept : {"RD.txt", "say%22hi%22.txt", "a b A.txt"}) {
      QVERIFY2(PathExists(docs_ + kept), kept);
    }

    // While the owner is logged in, a page of the public site posts to the console: refused.
    QVERIFY(browser_->Open(Url(port_, "/evil.html")));
    QVERIFY(!TextOnceTitled("Administrator Logged Out").isEmpty());
    QVERIFY(PathExists(docs_ + "victim.txt"));

    // Upload a file with every byte value; then log out.
    LogIn();
    QByteArray bytes;
    for (int i = 0; i < 256 * 40; ++i) bytes += static_cast<char>(i * 7);
    const QString picked = dir_.path() + QStringLiteral("/picked.bin");
    QVERIFY(WriteFileAtomically(QFile::encodeName(picked), bytes));
    QVERIFY(Click("Upload...") && Shows("input[type=file]"));
    QVERIFY(browser_->ChooseFile(QStringLiteral("input[type=file]"), picked) && Click("UploadNow"));
    QVERIFY(!TextOnceTitled("Upload Done").isEmpty());
    QVERIFY(ReadWholeFile(docs_ + "picked.bin") == bytes);
    QVERIFY(Click("Back") && !TextOnceTitled("Logged In").isEmpty());
    QVERIFY(Click("Logout") && !TextOnceTitled("Logging Out").isEmpty());
  }

  void seekInSound() {
    // Seeking near the end of an hour of sound, Chromium asks for that part alone.
    const auto le = [](quint32 v) { return QByteArray(reinterpret_cast<const char*>(&v), 4); };
    const quint32 size = 30'000'000;  // 8000 one-byte samples a second
    QVERIFY(WriteFileAtomically(docs_ + "sound.wav", "RIFF" + le(36 + size) + "WAVEfmt " + le(16) +
                                                         le(1 | 1 << 16) + le(8000) + le(8000) +
                                                         le(1 | 8 << 16) + "data" + le(size) +
                                                         QByteArray(size, '\x80')));
    QVERIFY(
        WriteFileAtomically(docs_ + "sound.html", "<audio id=a preload=metadata src=sound.wav>"));
    QVERIFY(browser_->Open(Url(port_, "/sound.html")));
    QVERIFY(browser_->WaitFor(QStringLiteral("document.getElementById('a').readyState >= 1")) ==
            true);
    browser_->WatchResponses();
    browser_->Evaluate(QStringLiteral("document.getElementById('a').currentTime = 3600"));
    QVERIFY(browser_->WaitFor(
                QStringLiteral("(a => !a.seeking && a.readyState >= 2 && "
                               "a.currentTime == 3600)(document.getElementById('a'))")) == true);
    QVERIFY2(browser_->responses.contains("206 " + Url(port_, "/sound.wav")),
             qPrintable(browser_->responses.join(", ")));
  }

  void barePageOnPort80() {
    {
      QTcpServer probe;
      if (!probe.listen(QHostAddress::Any, 80)) QSKIP("port 80 is taken or needs root");
    }
    QTemporaryDir bare;
    const QByteArray app = QFile::encodeName(bare.path()) + "/";
    QVERIFY(MakeDir(app + "docs"));
    QVERIFY(WriteFileAtomically(app + "docs/index.html",
                                "<html><head><title>%server-name%</title></head><body><h1 "
                                "id=t>Hello from %software%</h1></body></html>"));
    QVERIFY(WriteFileAtomically(app + "server.cfg", "[Server]\nServerName=Bare Site\nPort=80\n"));
    QProcess server;
    QVERIFY(Start(server, bare.path(), 80));
    QVERIFY(browser_->Open(QStringLiteral("http://127.0.0.1/")));
    const QString page = browser_
                             ->WaitFor(QStringLiteral("document.title == 'Bare Site' ? "
                                                      "document.body.innerHTML : ''"))
                             .toString();
    Stop(server);
    QVERIFY2(
        page.contains(QStringLiteral("<h1 id=\"t\">Hello from Orvane Light 0.7</h1>")) &&
            page.contains(QStringLiteral("This page has been sent to you by Orvane- Light.")) &&
            page.contains(QStringLiteral("href=\"http://www.orvane.example\"")),
        qPrintable(page));
  }
};

QTEST_GUILESS_MAIN(BrowserTest)
#include "tst_browser.moc"
