#include <QTest>

#include "util/formdecoding.h"

using namespace orvane;

class FormDecodingTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void decode_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("plus before %2B") << QByteArray("a+b%2Bc") << QByteArray("a b+c");
    QTest::newRow("percent") << QByteArray("50%25") << QByteArray("50%");
    QTest::newRow("%25 before %2F") << QByteArray("%252F") << QByteArray("/");
    QTest::newRow("%25 after %21") << QByteArray("%2521") << QByteArray("%21");
    QTest::newRow("%25 after %20") << QByteArray("%2520") << QByteArray("%20");
    QTest::newRow("lower-case escape") << QByteArray("%2f") << QByteArray("/");
    QTest::newRow("upper-case escape") << QByteArray("%2F") << QByteArray("/");
    QTest::newRow("escape outside the table") << QByteArray("%41") << QByteArray("%41");
    QTest::newRow("line break") << QByteArray("x%0D%0Ay") << QByteArray("x<br>y");
    QTest::newRow("lone CR stays") << QByteArray("x%0Dy%0a") << QByteArray("x%0Dy%0a");
    QTest::newRow("double quote") << QByteArray("%22hi%22") << QByteArray("&quot;hi&quot;");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("Latin-1 results")
        << QByteArray("%A7%B2%B3%DF%B4") << QByteArray("\xA7\xB2\xB3\xDF\xB4");
    QTest::newRow("punctuation") << QByteArray(
                                        "%21%24%26%28%29%3D%3F%7B%5B%5D%7D%5C%23%27%3A%2C%3B%60%7E")
                                 << QByteArray("!$&()=?{[]}\\#':,;`~");
    QTest::newRow("space") << QByteArray("a%20b") << QByteArray("a b");
    QTest::newRow("dots pass") << QByteArray("%2E%2E/x") << QByteArray("%2E%2E/x");
  }
  void decode() {
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, expected);
    QCOMPARE(DecodeFormValue(value), expected);
  }
};

QTEST_GUILESS_MAIN(FormDecodingTest)
#include "tst_formdecoding.moc"
