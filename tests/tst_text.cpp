#include <QTest>

#include "util/text.h"

using namespace orvane;

class TextTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void replaceText_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("search");
    QTest::addColumn<QByteArray>("replacement");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("every occurrence, any case")
        << QByteArray("x%DATE%y%date%") << QByteArray("%date%") << QByteArray("1")
        << QByteArray("x1y1");
    QTest::newRow("replacement holding the search")
        << QByteArray("aXa") << QByteArray("x") << QByteArray("xx") << QByteArray("axxa");
    QTest::newRow("text outside keeps its case") << QByteArray("AbC%Tag%dEf") << QByteArray("%tag%")
                                                 << QByteArray("v") << QByteArray("AbCvdEf");
    QTest::newRow("adjacent occurrences")
        << QByteArray("aaaa") << QByteArray("aa") << QByteArray("b") << QByteArray("bb");
    QTest::newRow("replacement inserted as given")
        << QByteArray("<NOSCRIPT>x</noscript>") << QByteArray("<noscript>") << QByteArray()
        << QByteArray("x</noscript>");
    QTest::newRow("Latin-1 letters fold")
        << QByteArray("\xC4pfel") << QByteArray("\xE4p") << QByteArray("A") << QByteArray("Afel");
    QTest::newRow("multiplication sign does not fold")
        << QByteArray("\xD7") << QByteArray("\xF7") << QByteArray("y") << QByteArray("\xD7");
    QTest::newRow("empty text") << QByteArray() << QByteArray("x") << QByteArray("y")
                                << QByteArray();
  }
  void replaceText() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, search);
    QFETCH(QByteArray, replacement);
    QFETCH(QByteArray, expected);
    QCOMPARE(ReplaceText(text, search, replacement), expected);
  }

  void stripPath_data() {
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("no separator") << QByteArray("name.htm") << true << QByteArray("name.htm");
    QTest::newRow("forward slashes")
        << QByteArray("docs/sub/page.htm") << true << QByteArray("page.htm");
    QTest::newRow("mixed separators") << QByteArray("a\\b/c") << true << QByteArray("c");
    QTest::newRow("leading slash") << QByteArray("/x") << true << QByteArray("x");
    QTest::newRow("trailing separator kept") << QByteArray("a/b/") << true << QByteArray("b/");
    QTest::newRow("two slashes") << QByteArray("//") << true << QByteArray("/");
    QTest::newRow("only separator last") << QByteArray("abc/") << false << QByteArray();
    QTest::newRow("slash alone") << QByteArray("/") << false << QByteArray();
    QTest::newRow("empty") << QByteArray() << true << QByteArray();
  }
  void stripPath() {
    QFETCH(QByteArray, path);
    QFETCH(bool, ok);
    QFETCH(QByteArray, expected);
    const std::optional<QByteArray> result = StripPath(path);
    QCOMPARE(result.has_value(), ok);
    if (ok) QCOMPARE(*result, expected);
  }
};

QTEST_GUILESS_MAIN(TextTest)
#include "tst_text.moc"
