// Strangers on both ports: crowds of connections that send nothing or a byte at a time, resets
// in the middle of a reply or an upload, names that try to leave the documents folder; and
// faults: a file that shrinks while it is sent, no descriptor left for an accept.

#include <sys/resource.h>
#include <unistd.h>

#include <QDirIterator>

#include "sitefixture.h"
#include "uploadform.h"

using namespace orvane;

class HostileTest : public SiteFixture {
  Q_OBJECT

  QByteArray Get(const QByteArray& target) {
    return WebFetch("GET " + target + " HTTP/1.0\r\n\r\n");
  }
  QByteArray Upload(const QByteArray& name, const QByteArray& content) {
    const QByteArray body = Body(name, content);
    return Fetch(Head(body.size()) + body);
  }
  // Every file and folder outside docs, with its content: what no stranger may change.
  QByteArrayList Outside() const {
    QByteArrayList found;
    QDirIterator it(QString::fromLatin1(app_),
                    QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
      const QByteArray path = QFile::encodeName(it.next()).mid(app_.size());
      if (path.startsWith("docs/") || path.startsWith("system")) continue;  // the server's own
      found += path + ":" + ReadWholeFile(app_ + path).value_or("(folder)");
    }
    std::sort(found.begin(), found.end());
    return found;
  }

 private Q_SLOTS:
  void initTestCase() {
    rlimit limit;
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
  void init() {
    SetUp();
    Put("docs/page.bin", "page");
    Put("docs/sub/a.txt", "a");
  }
  void cleanup() { TearDown(); }

  void crowdsOfStrangersKeepNobodyWaiting() {
    rlimit limit;
    ::getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur < 5000) QSKIP("needs 5000 descriptors");
    // On each port, 500 connections that send nothing and 500 that send one byte at a time.
    std::vector<std::unique_ptr<RawClient>> silent;
    std::vector<std::unique_ptr<RawClient>> trickling;
    for (quint16 port : {WebPort(), Port()}) {
      for (int i = 0; i < 500; ++i) {
        silent.push_back(std::make_unique<RawClient>(port));
        trickling.push_back(std::make_unique<RawClient>(port));
      }
    }
    for (int round = 0; round < 3; ++round) {
      for (auto& client : trickling) client->Send("G", 0);
      QCOMPARE(Get("/page.bin"), QByteArray("page"));
      QVERIFY(Fetch("GET / HTTP/1.0\r\n\r\n").startsWith("<html>"));
    }
    LogIn();
    QVERIFY(Console("RefreshList=RefreshList").contains("page.bin"));
    QCOMPARE(web_->ActiveConnections(), 0);
    // The public port had room for all of them: none was closed for the others.
    int open = 0;
    for (size_t i = 0; i < 500; ++i) open += silent[i]->Poll() ? 0 : 1;
    QCOMPARE(open, 500);
  }

  void formsThatTrickleKeepNobodyOut() {
    // Another address opens 40 connections, each with whole header lines announcing a form and
    // then nothing: the owner's login page and login are answered all the same.
    std::vector<std::unique_ptr<RawClient>> strangers;
    for (int i = 0; i < 40; ++i) {
      strangers.push_back(std::make_unique<RawClient>(Port(), 0, "127.0.0.2"));
      QVERIFY(strangers.back()->Send("POST / HTTP/1.1\r\nContent-Length: 100\r\n\r\nA"));
    }
    QVERIFY(Fetch("GET / HTTP/1.0\r\n\r\n").startsWith("<html>"));
    LogIn();
    // At most two of them still wait for the site.
    int open = 0;
    for (auto& stranger : strangers) open += stranger->Poll() ? 0 : 1;
    QVERIFY(open <= Arrivals::kMaxPerAddress);
  }

  void resetInTheMiddleOfAReply() {
    Put("docs/big.bin", QByteArray(16 * 1024 * 1024, 'b'));
    for (int i = 0; i < 20; ++i) {
      RawClient client(WebPort(), 4096);
      QVERIFY(client.Send("GET /big.bin HTTP/1.0\r\n\r\n"));
      QTRY_VERIFY(client.Poll() || !client.received.isEmpty());
      client.Reset();
    }
    QTRY_COMPARE(web_->ActiveConnections(), 0);
    QCOMPARE(Get("/big.bin").size(), 16 * 1024 * 1024);
    QCOMPARE(shell_->logLines.size(), 1);  // the broken replies are not logged as sent
  }

  void namesThatLeaveTheDocumentsFolder() {
    Put("secret.txt", "SECRET-CONTENT");
    Put("docsx/secret.txt", "SECRET-CONTENT");
    Put("outside/inner-only.txt", "SECRET-CONTENT");
    Put("docs/keep.txt", "keep");
    const QByteArrayList before = Outside();
    const QByteArray abs = app_ + "secret.txt";
    QByteArrayList targets =
        QByteArray(
            "/../secret.txt /..%2fsecret.txt /%2e%2e/secret.txt /%2E%2E%2Fsecret.txt "
            "/.%2e/secret.txt "
            "/..\\secret.txt /..%5csecret.txt /%5c..%5csecret.txt /sub/../../secret.txt "
            "/sub/%2e%2e/%2e%2e/secret.txt /%c0%ae%c0%ae/secret.txt /%c0%ae%c0%ae%c0%afsecret.txt "
            "/%e0%80%ae%e0%80%ae/secret.txt /%252e%252e/secret.txt /../docsx/secret.txt "
            "/%00/../secret.txt /sub%00/../../secret.txt /....//secret.txt /..;/secret.txt "
            "/%2e%2e%2f "
            "/../ /..%5c /../outside/ /%2e%2e/outside/ /sub/../../outside/ "
            "/sub%2f..%2f..%2foutside/ "
            "/%c0%ae%c0%ae/outside/")
            .split(' ');
    targets << "/" + abs << "//" + abs << abs;
    for (const QByteArray& target : targets) {
      const QByteArray reply = Get(target);
      QVERIFY2(
          !reply.contains("SECRET") && !reply.contains("inner-only") && !reply.contains("docsx"),
          target.constData());
    }

    LogIn();
    QByteArrayList names = QByteArray(
                               "../secret.txt ..%2fsecret.txt ..\\secret.txt sub/../../secret.txt "
                               "%c0%ae%c0%ae/secret.txt ../docsx/secret.txt ../outside/ .. ../ "
                               "sub/../.. ./../secret.txt")
                               .split(' ');
    names << abs << QByteArray("..\0/secret.txt", 14);
    QByteArray files = "FILES+";
    for (const QByteArray& name : names) files += "%21" + name.toPercentEncoding();
    QByteArray twice = files;  // names that still hold escapes once decoded
    Console(twice.replace("%", "%25").replace("%2521", "%21") + "=&EraseFiles=EraseFiles");
    Console(files + "=&EraseFiles=EraseFiles");
    for (const QByteArray& name : names) {
      Upload(name + "up", "UPLOADED");
      Upload("C:\\x\\" + name + "up", "UPLOADED");
    }
    QCOMPARE(Outside(), before);
    QVERIFY(PathExists(app_ + "docs/keep.txt"));
  }

  void fileShrinksWhileItIsSent() {
    const QByteArray path = app_ + "docs/shrinks.bin";
    Put("docs/shrinks.bin", QByteArray(32 * 1024 * 1024, 's'));
    RawClient client(WebPort(), 4096);
    QVERIFY(client.Send("GET /shrinks.bin HTTP/1.0\r\n\r\n"));
    QTRY_VERIFY(client.Poll() || !client.received.isEmpty());
    QCOMPARE(::truncate(path.constData(), 1024), 0);
    // That one connection ends without passing the short file off as whole; nothing else does.
    QVERIFY(client.WaitClosed());
    QVERIFY(client.reset);
    QVERIFY(client.received.size() < 32 * 1024 * 1024);
    QVERIFY(shell_->logLines.isEmpty());
    QTRY_COMPARE(web_->ActiveConnections(), 0);
    QCOMPARE(Get("/page.bin"), QByteArray("page"));
  }

  void acceptWithoutDescriptors() {
    rlimit old;
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &old), 0);
    RawClient web(WebPort());
    RawClient admin(Port());
    QVERIFY(web.Send("GET /page.bin HTTP/1.0\r\n\r\n"));
    QVERIFY(admin.Send("GET / HTTP/1.0\r\n\r\n"));
    // No descriptor left for an accept: both sites must take their client once there is one.
    rlimit none = old;
    none.rlim_cur = static_cast<rlim_t>(::dup(0));
    ::close(static_cast<int>(none.rlim_cur));
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &none), 0);
    QTest::qWait(300);
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &old), 0);
    QVERIFY(web.WaitClosed(10000));
    QVERIFY(admin.WaitClosed(10000));
    QCOMPARE(web.received, QByteArray("page"));
    QVERIFY(admin.received.startsWith("<html>"));
  }
};

QTEST_GUILESS_MAIN(HostileTest)
#include "tst_hostile.moc"
