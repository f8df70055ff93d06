#include <QTest>

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
    QTest::newRow("only one slash removed")
        << QByteArray("GET //x HTTP/1.0") << 2 << true << QByteArray("/x");
    QTest::newRow("slash alone") << QByteArray("GET / HTTP/1.0") << 2 << true << QByteArray();
    QTest::newRow("query alone") << QByteArray("GET /?a=1 HTTP/1.0") << 2 << true << QByteArray();
    QTest::newRow("GET alone fails") << QByteArray("GET") << 1 << false << QByteArray();
    QTest::newRow("GET and one space") << QByteArray("GET ") << 1 << true << QByteArray();
    QTest::newRow("empty target, any selection") << QByteArray("GET ") << 3 << true << QByteArray();
    QTest::newRow("no third word") << QByteArray("GET /x") << 4 << false << QByteArray();
    QTest::newRow("target without line end")
        << QByteArray("GET /index.html") << 2 << true << QByteArray("index.html");
    QTest::newRow("two spaces before the target")
        << QByteArray("GET  /x HTTP/1.0") << 1 << true << QByteArray("/x");
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

  void httpHeaderFarSpace() {
    // A space far beyond 16-bit positions is found like any other.
    const QByteArray text = "GET /" + QByteArray(40000, 'a') + " HTTP/1.0";
    QCOMPARE(HTTPHeader(text, 2).value_or("failed").size(), 40000);
  }

  void pullFilename_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("query cut") << QByteArray("/p.html?a=1?b") << QByteArray("/p.html");
    QTest::newRow("no query") << QByteArray("/p.html") << QByteArray("/p.html");
    QTest::newRow("starts with query") << QByteArray("?a") << QByteArray();
  }
  void pullFilename() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(PullFilename(text), expected);
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

  void grabFormQueryEmptyFails() { QVERIFY(!GrabFORMQUERY(QByteArray()).has_value()); }

  void fileExt_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("case kept") << QByteArray("page.HTML") << QByteArray("HTML");
    QTest::newRow("last dot") << QByteArray("a.b.c") << QByteArray("c");
    QTest::newRow("ends in a dot") << QByteArray("x.") << QByteArray();
    QTest::newRow("no dot") << QByteArray("noext") << QByteArray("noext");
    QTest::newRow("dot in a folder name") << QByteArray("/srv/site.v2/run") << QByteArray("v2/run");
  }
  void fileExt() {
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, expected);
    QCOMPARE(FileExt(name), expected);
  }

  void formatStr_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("10 characters, width 16")
        << QByteArray("[10.0.0.1]") << 16 << QByteArray("[10.0.0.1]       ");
    QTest::newRow("exactly the width") << QByteArray("abcd") << 4 << QByteArray("abcd ");
    QTest::newRow("one more than the width") << QByteArray("abcde") << 4 << QByteArray("abcde");
    QTest::newRow("17-character address")
        << QByteArray("[192.168.100.200]") << 16 << QByteArray("[192.168.100.200]");
    QTest::newRow("empty") << QByteArray() << 3 << QByteArray("    ");
  }
  void formatStr() {
    QFETCH(QByteArray, text);
    QFETCH(int, width);
    QFETCH(QByteArray, expected);
    QCOMPARE(FormatStr(text, width), expected);
  }

  void formatStrLongText() { QCOMPARE(FormatStr(QByteArray(40000, 'x'), 40000).size(), 40001); }
};

QTEST_GUILESS_MAIN(RequestTextTest)
#include "tst_requesttext.moc"
