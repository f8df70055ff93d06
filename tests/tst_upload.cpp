// The upload receiver: over real sockets through the administration site, and block by block
// for the delimiter split at every position.

#include <sys/resource.h>
#include <csignal>

#include "sitefixture.h"
#include "uploadform.h"

using namespace orvane;

namespace {

// Every byte value, line ends, and the boundary text (even as a closing delimiter) inside.
QByteArray Awkward() {
  QByteArray content;
  for (int i = 0; i < 256; ++i) content += static_cast<char>(i);
  return content + "\r\n--" + kBoundary + "--\r\n" + kBoundary + "\r\n";
}

}  // namespace

class UploadTest : public SiteFixture {
  Q_OBJECT

  QByteArray Upload(const QByteArray& name, const QByteArray& content, const char* source = nullptr,
                    const QByteArray& button = "UploadNow") {
    const QByteArray body = Body(name, content, button);
    return Fetch(Head(body.size()) + body, source);
  }
  QByteArray Stored(const QByteArray& name) {
    return ReadWholeFile(app_ + "docs/" + name).value_or("<none>");
  }

 private Q_SLOTS:
  void init() {
    SetUp();
    LogIn();
  }
  void cleanup() { TearDown(); }

  void uploadInOneBlock() {
    QCOMPARE(Upload("data.bin", Awkward()), UploadDonePage(View()));
    QCOMPARE(Stored("data.bin"), Awkward());
    QCOMPARE(shell_->logLines, QByteArrayList({"Upload Success: " + app_ + "docs/data.bin " +
                                               QByteArray::number(Awkward().size())}));
    QCOMPARE(shell_->panels[4], QByteArray("Ready"));
  }

  void uploadInManyBlocks() {
    const QByteArray content = Awkward().repeated(2000);  // about 600 KiB
    const QByteArray request = Head(Body("big.bin", content).size()) + Body("big.bin", content);
    RawClient client(Port());
    // The header lines alone first, then the body in pieces.
    const qsizetype headEnd = request.indexOf("\r\n\r\n") + 4;
    QVERIFY(client.Send(request.left(headEnd)));
    QTRY_VERIFY(site_->Serving());  // an upload is taken with its header lines alone
    for (qsizetype at = headEnd; at < request.size(); at += 65000) {
      QVERIFY(client.Send(request.mid(at, 65000)));
    }
    QVERIFY(client.WaitClosed());
    QCOMPARE(client.received, UploadDonePage(View()));
    QVERIFY(Stored("big.bin") == content);
  }

  void bodyInTwoBlocksCutAnywhere() {
    // Fed to the receiver itself, the body cut at every position: the first delimiter, the
    // token's part, the file's header lines and the closing delimiter may each be split.
    const QByteArray content = Awkward();
    const QByteArray body = Body("split.bin", content);
    const auto any = [](const QByteArray&) { return true; };
    for (qsizetype split = 1; split < body.size(); ++split) {
      UploadReceiver receiver;
      QCOMPARE(receiver.Start(Head(body.size()) + body.left(split), app_ + "docs/", any),
               split < body.indexOf("\r\n\r\n", body.indexOf("filename=")) + 4
                   ? UploadResult::Waiting
                   : UploadResult::Consumed);
      QCOMPARE(receiver.Continue(body.mid(split), app_ + "docs/", any), UploadResult::Completed);
      QVERIFY2(Stored("split.bin") == content, QByteArray::number(split).constData());
    }
  }

  void truncatedUploadLeavesTheOldFile() {
    // A browser that sends less than it announced and goes: nothing of it is published.
    Put("docs/index.html", "<p>the site</p>");
    const QByteArray body = Body("index.html", QByteArray(5000, 't'));
    {
      RawClient client(Port());
      QVERIFY(client.Send(Head(body.size()) + body.left(body.size() - 100)));
      QTRY_VERIFY(!Temporaries().isEmpty());
    }
    QTRY_VERIFY(Temporaries().isEmpty());
    QCOMPARE(Stored("index.html"), QByteArray("<p>the site</p>"));
    // Nor does one cut by Stop: the next client's blocks never go into it.
    RawClient cut(Port());
    QVERIFY(cut.Send(Head(body.size()) + body.left(body.size() - 100)));
    QTRY_VERIFY(!Temporaries().isEmpty());
    site_->Close();
    QVERIFY(site_->Listen(Port()));
    QVERIFY(Temporaries().isEmpty());
    QVERIFY(Fetch("GET / HTTP/1.0\r\nX: " + QByteArray(100, 'x') + "\r\n\r\n")
                .startsWith("<html><head><Title>"));
    QCOMPARE(Stored("index.html"), QByteArray("<p>the site</p>"));
  }

  void withoutContentLengthTheClosingDelimiterEnds() {
    const QByteArray body = Body("nolen.bin", Awkward());
    QByteArray head = Head(body.size());
    head.replace("Content-Length: " + QByteArray::number(body.size()) + "\r\n", "");
    QCOMPARE(Fetch(head + body), UploadDonePage(View()));
    QCOMPARE(Stored("nolen.bin"), Awkward());
  }

  void clientPathAndReplacement() {
    QVERIFY(WriteFileAtomically(app_ + "docs/photo.jpg", "older and longer"));
    QCOMPARE(Upload("C:\\dir\\photo.jpg", "new"), UploadDonePage(View()));
    QCOMPARE(Stored("photo.jpg"), QByteArray("new"));
  }

  void fromAnotherAddress() {
    QCOMPARE(Upload("x.bin", "x", "127.0.0.2"), LoggedOutPage());
    QCOMPARE(shell_->logLines, QByteArrayList({"Invalid Upload IP! Hacker?: 127.0.0.2"}));
    QVERIFY(!PathExists(app_ + "docs/x.bin"));
  }

  void noFileChosen() {
    QCOMPARE(Upload("", "", nullptr, "Back"), ConsoleNow());
    QCOMPARE(Upload("", ""), ConsoleNow());
    QCOMPARE(
        QDir(QFile::decodeName(app_ + "docs")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
        QStringList());
  }

  void unusableNames_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("ends in a separator") << QByteArray("dir/");
    QTest::newRow("ends in a backslash") << QByteArray("C:\\dir\\");
    QTest::newRow("dot") << QByteArray(".");
    QTest::newRow("dot dot") << QByteArray("a/..");
    QTest::newRow("NUL") << QByteArray("a\0b", 3);
  }
  void unusableNames() {
    QFETCH(QByteArray, name);
    QCOMPARE(Upload(name, "content"), ServerErrorPage());
    QCOMPARE(
        QDir(QFile::decodeName(app_ + "docs")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
        QStringList());
    QVERIFY(!PathExists(app_ + "content"));
  }

  void stalledUploadTimesOut() {
    site_->SetUploadWatch(50, 1200);
    Put("docs/stall.bin", "old");
    const QByteArray body = Body("stall.bin", QByteArray(5000, 's'));
    RawClient client(Port());
    QVERIFY(client.Send(Head(body.size()) + body.left(3000)));
    QVERIFY(client.WaitClosed(20000));
    QCOMPARE(client.received,
             QByteArray("<html><head><title>Orvane Light - Upload Timeout!</title></head>The "
                        "upload has timed out! Please press your browser's back button to "
                        "return</html>"));
    QCOMPARE(shell_->logLines, QByteArrayList({"Timeout. Restarted Admin"}));
    // What arrived never replaces the old file, and goes.
    QCOMPARE(Stored("stall.bin"), QByteArray("old"));
    QVERIFY(Temporaries().isEmpty());
    QVERIFY(shell_->calls.contains("Panel4(TimeOut: 1)"));
    QVERIFY(Fetch("GET / HTTP/1.0\r\n\r\n").startsWith("<html>"));  // listening again
  }

  void fullDisk() {
    // A file-size limit stands for a full disk.
    rlimit old;
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 64 * 1024;
    std::signal(SIGXFSZ, SIG_IGN);
    Put("docs/index.html", "<p>the site</p>");
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const QByteArray page = Upload("huge.bin", QByteArray(300 * 1024, 'h'));
    const QByteArray over = Upload("index.html", QByteArray(300 * 1024, 'h'));
    ::setrlimit(RLIMIT_FSIZE, &old);
    QCOMPARE(page, ServerErrorPage());
    QCOMPARE(over, ServerErrorPage());
    QCOMPARE(shell_->logLines.first(), "Upload Failed: " + app_ + "docs/huge.bin");
    QVERIFY(!PathExists(app_ + "docs/huge.bin"));
    QCOMPARE(Stored("index.html"), QByteArray("<p>the site</p>"));  // untouched
    QVERIFY(Temporaries().isEmpty());
    QCOMPARE(Upload("small.bin", "fits"), UploadDonePage(View()));
  }
};

QTEST_GUILESS_MAIN(UploadTest)
#include "tst_upload.moc"
