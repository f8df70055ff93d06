// The upload receiver, over real sockets and, for the delimiter split anywhere, block by block.

#include <sys/resource.h>
#include <csignal>

#include "sitefixture.h"

using namespace orvane;
using namespace Qt::StringLiterals;

class UploadTest : public SiteFixture {
  Q_OBJECT

  static QByteArray Awkward() {  // every byte, and the boundary (as a closing delimiter too)
    QByteArray content;
    for (int i = 0; i < 256; ++i) content += static_cast<char>(i);
    return content + "\r\n--" + kBoundary + "--\r\n" + kBoundary + "\r\n";
  }

 private Q_SLOTS:
  void init() { SetUp(), LogIn(); }
  void cleanup() { TearDown(); }

  void upload_data() {
    QTest::addColumn<QByteArray>("name");  // as the browser sends it
    QTest::newRow("636000 bytes in blocks, no length: the closing delimiter ends") << "data.bin"_ba;
    // Nothing is stored: without a file the console comes again, with an unusable name an error.
    for (const QByteArray& name : {""_ba, "dir/"_ba, "C:\\dir\\"_ba, "."_ba, "a/.."_ba, "a\0b"_ba})
      QTest::addRow("name %s", name.constData()) << name;
  }
  void upload() {
    QFETCH(QByteArray, name);
    Put("docs/data.bin", QByteArray(1000, 'o'));  // an older file, longer than most
    const bool stored = name == "data.bin";
    const QByteArray content = Awkward().repeated(stored ? 2000 : 1), body = Body(name, content);
    TransferList transfers;
    state_->transfers = &transfers;
    RawClient client(Port());
    QVERIFY(client.Send(Head(0).replace("Content-Length: 0\r\n", "")));
    QTRY_VERIFY(site_->Serving());  // an upload is taken with its header lines alone
    for (qsizetype at = 0; at < body.size(); at += 65000) QVERIFY(client.Send(body.mid(at, 65000)));
    QVERIFY(client.WaitClosed());
    const QByteArray refused = name.isEmpty() ? ConsoleNow() : ServerErrorPage();
    QCOMPARE(client.received, stored ? UploadDonePage(View()) : refused);
    QVERIFY(ReadWholeFile(app_ + "docs/data.bin") == (stored ? content : QByteArray(1000, 'o')));
    QVERIFY(Temporaries().isEmpty());
    QCOMPARE(Log().join(), stored ? "Upload Success: " + app_ + "docs/data.bin 636000" : "");
    QCOMPARE(transfers.Transfers().size(), size_t(stored));  // reported once its file is open
    for (const auto& [id, t] : transfers.Transfers()) QVERIFY(t.whole && t.done == content.size());
    if (stored)
      QTRY_VERIFY_WITH_TIMEOUT(
          shell_->calls.contains("Notify(Upload received: data.bin (636000 bytes))"), 10000);
  }

  void bodyInTwoBlocksCutAnywhere() {
    // Fed to the receiver itself, the body cut at every position: the first delimiter, the
    // token's part, the file's header lines and the closing delimiter may each be split.
    const QByteArray body = Body("C:\\dir\\split.bin", Awkward());
    const auto any = [](const QByteArray&) { return true; };
    const qsizetype fileStarts = body.indexOf("\r\n\r\n", body.indexOf("filename=")) + 4;
    for (qsizetype split = 1; split < body.size(); ++split) {
      UploadReceiver receiver;
      QCOMPARE(receiver.Start(Head(body.size()) + body.left(split), app_ + "docs/", any),
               split < fileStarts ? UploadResult::Waiting : UploadResult::Consumed);
      QCOMPARE(receiver.Continue(body.mid(split), app_ + "docs/", any), UploadResult::Completed);
      QVERIFY2(ReadWholeFile(app_ + "docs/split.bin") == Awkward(), QByteArray::number(split));
    }
  }

  void cutUploadLeavesTheOldFile() {
    // Its browser leaves, the site is closed (Stop), it stalls, or the disk is full (a file-size
    // limit stands for that): nothing of it is published, nor do the next client's blocks go in.
    rlimit old, full;
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    full = {1024, old.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    site_->SetUploadWatch(50, 1200);
    Put("docs/index.html", "<p>the site</p>");
    const QByteArray body = Body("index.html", QByteArray(5000, 't'));
    TransferList transfers;
    state_->transfers = &transfers;
    for (const QByteArray& how : {"leaves"_ba, "closed"_ba, "stalls"_ba, "full"_ba}) {
      if (how == "full") QCOMPARE(::setrlimit(RLIMIT_FSIZE, &full), 0);
      RawClient client(Port());
      QVERIFY(client.Send(Head(body.size()) + body.chopped(100)));
      QTRY_VERIFY(!Temporaries().isEmpty() || how == "full");
      if (how == "leaves") client.Close();
      QVERIFY(how != "closed" || (site_->Close(), site_->Listen(Port())));
      QVERIFY(how != "stalls" || (client.WaitClosed() && client.received == TimeoutPage()));
      QVERIFY(how != "full" || (client.WaitClosed() && client.received == ServerErrorPage()));
      ::setrlimit(RLIMIT_FSIZE, &old);
      QTRY_VERIFY(Temporaries().isEmpty());
      QVERIFY(Fetch("GET / HTTP/1.0\r\n" + QByteArray(100, 'x') + "\r\n\r\n").startsWith("<html>"));
      QVERIFY(ReadWholeFile(app_ + "docs/index.html") == "<p>the site</p>");
    }
    QVERIFY(Log().contains("Timeout. Restarted Admin") &&
            Log().contains("Upload Failed: " + app_ + "docs/index.html"));
    QVERIFY(shell_->calls.contains("Panel4(TimeOut: 1)"));
    for (const auto& [id, t] : transfers.Transfers()) QVERIFY(t.ended >= 0 && !t.whole);
    QCOMPARE(transfers.Transfers().size(), size_t(3));  // the full disk's never opened its file
  }
};

QTEST_GUILESS_MAIN(UploadTest)
#include "tst_upload.moc"
