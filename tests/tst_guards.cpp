// The administration site's checks, by table, without sockets.

#include <QTest>

#include "admin/guards.h"

using namespace orvane;

class GuardsTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void session_data() {
    QTest::addColumn<QByteArrayList>("part");  // peer | token | ms since the last use | accepted
    for (const char* row : {"a|abcd|1|1", "a||1|0", "a|abce|1|0", "a|abc|1|0", "a|abcde|1|0",
                            "b|abcd|1|0", "a|abcd|1800000|1", "a|abcd|1800001|0"})
      QTest::newRow(row) << QByteArray(row).split('|');
  }
  void session() {
    QFETCH(QByteArrayList, part);
    const Session session{"a", "abcd", 0};
    QCOMPARE(session.Accepts(part[0], part[1], part[2].toLongLong()), part[3] == "1");
    QVERIFY(NewToken().size() == 32 && NewToken() != NewToken());
  }

  void origin_data() {
    QTest::addColumn<QByteArrayList>("part");  // Origin ("-": none) | Host | matches
    for (const char* row :
         {"-|h:5656|1", "http://h:5656|h:5656|1", "http://H:5656|h:5656|1", "http://h|h:5656|0",
          "http://h:8080|h:5656|0", "https://h:5656|h:5656|0", "null|h:5656|0",
          "http://127.0.0.1:5656||1", "http://h:5656||0"})
      QTest::newRow(row) << QByteArray(row).split('|');
  }
  void origin() {
    QFETCH(QByteArrayList, part);
    QCOMPARE(OriginMatches(part[0], part[0] != "-", part[1], "127.0.0.1:5656"), part[2] == "1");
  }

  void throttle() {
    // Five failures in ten minutes: a minute's ban, doubled at each failure up to an hour.
    LoginThrottle one, slow, many;
    for (qint64 at = 0; at <= 8000; at += 2000) one.Failed("a", at);
    QVERIFY(!one.Allows("a", 67999) && one.Allows("b", 8000) && one.Allows("a", 68000));
    one.Failed("a", 68000);
    QVERIFY(!one.Allows("a", 187999) && one.Allows("a", 188000));
    for (qint64 at = 188000; at < 20 * 3600000; at += 3600000) one.Failed("a", at);
    QVERIFY(!one.Allows("a", 72187999) && one.Allows("a", 72188000));  // an hour after the last
    one.Succeeded("a");
    QVERIFY(one.Allows("a", 72187999));
    // Failures further apart than the window never add up; all addresses get ten a second.
    for (int i = 0; i < 20; ++i) slow.Failed("a", i * 200000);
    for (int i = 0; i < 10; ++i) many.Failed(QByteArray::number(i), 5000);
    QVERIFY(slow.Allows("a", 4000000) && !many.Allows("x", 5999) && many.Allows("x", 6000));
  }

  void formFields() {  // by name, in any order; the last value that is not empty
    const QByteArray body = "password=pw&UserName=admin&UserName=&UserNames=x&xpassword=x";
    QVERIFY(FormField(body, "UserName") == "admin" && FormField(body, "password") == "pw");
  }
};

QTEST_GUILESS_MAIN(GuardsTest)
#include "tst_guards.moc"
