// The administration site's checks, by table, without sockets.

#include <QTest>

#include "admin/guards.h"

using namespace orvane;

class GuardsTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void session_data() {
    QTest::addColumn<QByteArray>("peer");
    QTest::addColumn<QByteArray>("token");
    QTest::addColumn<qint64>("now");
    QTest::addColumn<bool>("accepted");
    const QByteArray owner = "10.0.0.5", token = "00112233445566778899aabbccddeeff";
    QTest::newRow("owner") << owner << token << qint64(1000) << true;
    QTest::newRow("no token") << owner << QByteArray() << qint64(1000) << false;
    QTest::newRow("wrong token") << owner << QByteArray(token).replace("ff", "fe") << qint64(1000)
                                 << false;
    QTest::newRow("another address") << QByteArray("10.0.0.6") << token << qint64(1000) << false;
    QTest::newRow("just before expiry") << owner << token << Session::kIdleMs << true;
    QTest::newRow("expired") << owner << token << Session::kIdleMs + 1 << false;
  }
  void session() {
    QFETCH(QByteArray, peer);
    QFETCH(QByteArray, token);
    QFETCH(qint64, now);
    QFETCH(bool, accepted);
    const Session session{"10.0.0.5", "00112233445566778899aabbccddeeff", 0};
    QCOMPARE(session.Accepts(peer, token, now), accepted);
    QVERIFY(!Session{}.Accepts("", "", 0));  // nobody logged in: nothing is accepted
    QCOMPARE(NewToken().size(), 32);
    QVERIFY(NewToken() != NewToken());
    QVERIFY(SameSecret("abc", "abc") && !SameSecret("abc", "abd") && !SameSecret("abc", "abcd"));
  }

  void origin_data() {
    QTest::addColumn<QByteArray>("origin");  // "-": no Origin header
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<bool>("matches");
    for (const QByteArray row :
         {"-|h:5656|1", "http://h:5656|h:5656|1", "http://H:5656|h:5656|1", "http://h|h:5656|0",
          "http://h:8080|h:5656|0", "https://h:5656|h:5656|0", "null|h:5656|0",
          "http://127.0.0.1:5656||1"}) {
      const QByteArrayList parts = row.split('|');
      QTest::newRow(row.constData()) << parts[0] << parts[1] << (parts[2] == "1");
    }
  }
  void origin() {
    QFETCH(QByteArray, origin);
    QFETCH(QByteArray, host);
    QFETCH(bool, matches);
    QCOMPARE(OriginMatches(origin, origin != "-", host, "127.0.0.1:5656"), matches);
  }

  void throttle() {
    LoginThrottle throttle;
    const QByteArray a = "10.0.0.1";
    qint64 now = 0;
    for (int i = 0; i < LoginThrottle::kFreeFailures; ++i) {
      QVERIFY(throttle.Allows(a, now));
      throttle.Failed(a, now += 2000);
    }
    // Refused for a minute, then doubled with each further failure, up to an hour.
    QVERIFY(!throttle.Allows(a, now + LoginThrottle::kFirstBanMs - 1));
    QVERIFY(throttle.Allows("10.0.0.2", now));
    now += LoginThrottle::kFirstBanMs;
    QVERIFY(throttle.Allows(a, now));
    throttle.Failed(a, now);
    QVERIFY(!throttle.Allows(a, now + 2 * LoginThrottle::kFirstBanMs - 1));
    QVERIFY(throttle.Allows(a, now + 2 * LoginThrottle::kFirstBanMs));
    for (int i = 0; i < 20; ++i) throttle.Failed(a, now += LoginThrottle::kMaxBanMs);
    QVERIFY(!throttle.Allows(a, now + LoginThrottle::kMaxBanMs - 1));
    QVERIFY(throttle.Allows(a, now + LoginThrottle::kMaxBanMs));
    throttle.Succeeded(a);
    QVERIFY(throttle.Allows(a, now));
    // Failures spread over more than the window never add up to a refusal.
    LoginThrottle slow;
    for (int i = 0; i < 20; ++i) slow.Failed(a, i * (LoginThrottle::kWindowMs / 3));
    QVERIFY(slow.Allows(a, 20 * (LoginThrottle::kWindowMs / 3)));
    // All addresses together: ten failures a second.
    LoginThrottle many;
    for (int i = 0; i < LoginThrottle::kFailuresPerSecond; ++i) {
      many.Failed(QByteArray::number(i), 5000);
    }
    QVERIFY(!many.Allows("10.9.9.9", 5999));
    QVERIFY(many.Allows("10.9.9.9", 6000));
  }

  void formFields() {
    // By name, in any order; the last value that is not empty (the login form sends two).
    for (const QByteArray body :
         {"UserName=&UserName=admin&password=pw&Request=Login", "password=pw&UserName=admin"}) {
      QCOMPARE(FormField(body, "UserName"), QByteArray("admin"));
      QCOMPARE(FormField(body, "password"), QByteArray("pw"));
    }
    QCOMPARE(FormField("xpassword=no&UserNames=no&password=", "password"), QByteArray());
    QCOMPARE(FormField("UserNames=no", "UserName"), QByteArray());
  }
};

QTEST_GUILESS_MAIN(GuardsTest)
#include "tst_guards.moc"
