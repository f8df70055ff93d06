#include <QTest>

#include "util/text.h"
#include "web/requesttext.h"

using namespace orvane;

class RequestTextTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void httpHeader_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("selection");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray line = "GET /a/b.html?x=1 HTTP/1.0\r\nHost: h\r\n\r\n";
    QTest::newRow("1: target as sent") << line << 1 << true << QByteArray("/a/b.html?x=1");
    QTest::newRow("2: file part") << line << 2 << true << QByteArray("a/b.html");
    QTest::newRow("3: method") << line << 3 << true << QByteArray("GET");
    QTest::newRow("4: third word runs over the line end")
        << line << 4 << true << QByteArray("HTTP/1.0\r\nHost:");
    QTest::newRow("0 counts as 1") << line << 0 << true << QByteArray("/a/b.html?x=1");
    QTest::newRow("9 counts as 4") << line << 9 << true << QByteArray("HTTP/1.0\r\nHost:");
    QTest::newRow("GET alone fails") << QByteArray("GET") << 1 << false << QByteArray();
    QTest::newRow("empty target, any selection") << QByteArray("GET ") << 3 << true << QByteArray();
    QTest::newRow("no third word") << QByteArray("GET /x") << 4 << false << QByteArray();
  }
  void httpHeader() {
    QFETCH(QByteArray, text);
    QFETCH(int, selection);
    QFETCH(bool, ok);
    QFETCH(QByteArray, expected);
    const std::optional<QByteArray> word = HTTPHeader(text, selection);
    QCOMPARE(word.has_value(), ok);
    if (ok) QCOMPARE(*word, expected);
  }

  void scannerFindsTheTarget_data() {
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<int>("completeAt");  // index of the piece that completes it, -1 for none
    QTest::newRow("method, then target") << QByteArrayList{"GE", "T", " ", " /"} << 3;
    QTest::newRow("spaces only") << QByteArrayList{"   ", "    "} << -1;
    QTest::newRow("leading spaces") << QByteArrayList{"  GET", "  x"} << 1;
    QTest::newRow("line end in the method") << QByteArrayList{"GET", "\r"} << 1;
    QTest::newRow("one piece") << QByteArrayList{"GET / HTTP/1.0\r\n"} << 0;
  }
  void scannerFindsTheTarget() {
    QFETCH(QByteArrayList, pieces);
    QFETCH(int, completeAt);
    RequestLineScanner scanner;
    QByteArray text;
    int at = -1;
    for (int i = 0; i < pieces.size() && at < 0; ++i) {
      text += pieces[i];
      if (scanner.Complete(text)) at = i;
    }
    QCOMPARE(at, completeAt);
  }

  void grabFormQuery_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("body after the empty line")
        << QByteArray("POST /r.qmx HTTP/1.0\r\nHost: h\r\n\r\na=1&b=2") << QByteArray("a=1&b=2");
    QTest::newRow("CR LF after the body")
        << QByteArray("POST / HTTP/1.0\r\n\r\nx=1\r\n") << QByteArray("x=1");
    QTest::newRow("ends in an empty line")
        << QByteArray("POST / HTTP/1.0\r\nHost: h\r\n\r\n") << QByteArray();
    QTest::newRow("no line end") << QByteArray("a=1") << QByteArray("a=1");
    QTest::newRow("lone LF ends") << QByteArray("h\nbody\n") << QByteArray("body");
    QTest::newRow("only line ends") << QByteArray("\r\n") << QByteArray();
  }
  void grabFormQuery() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(GrabFORMQUERY(text).value_or("failed"), expected);
  }
};

QTEST_GUILESS_MAIN(RequestTextTest)
#include "tst_requesttext.moc"
