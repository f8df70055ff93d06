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
    const QByteArray token = "00112233445566778899aabbccddeeff";
    QTest::newRow("owner") << QByteArray("10.0.0.5") << token << qint64(1000) << true;
    QTest::newRow("same address, no token")
        << QByteArray("10.0.0.5") << QByteArray() << qint64(1000) << false;
    QTest::newRow("same address, wrong token")
        << QByteArray("10.0.0.5") << QByteArray("00112233445566778899aabbccddeefe") << qint64(1000)
        << false;
    QTest::newRow("token from another address")
        << QByteArray("10.0.0.6") << token << qint64(1000) << false;
    QTest::newRow("just before expiry")
        << QByteArray("10.0.0.5") << token << qint64(Session::kIdleMs) << true;
    QTest::newRow("expired") << QByteArray("10.0.0.5") << token << qint64(Session::kIdleMs + 1)
                             << false;
  }
  void session() {
    QFETCH(QByteArray, peer);
    QFETCH(QByteArray, token);
    QFETCH(qint64, now);
    QFETCH(bool, accepted);
    const Session session{"10.0.0.5", "00112233445566778899aabbccddeeff", 0};
    QCOMPARE(session.Accepts(peer, token, now), accepted);
    QVERIFY(!Session{}.Accepts("", "", 0));  // nobody logged in: nothing is accepted
  }

  void tokens() {
    const QByteArray a = NewToken();
    QCOMPARE(a.size(), 32);
    QVERIFY(a != NewToken());
    QVERIFY(SameSecret("abc", "abc") && !SameSecret("abc", "abd") && !SameSecret("abc", "abcd") &&
            !SameSecret("", "a"));
  }

  void origin_data() {
    QTest::addColumn<QByteArray>("origin");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<bool>("matches");
    QTest::newRow("none") << QByteArray() << false << QByteArray("h:5656") << true;
    QTest::newRow("this site") << QByteArray("http://h:5656") << true << QByteArray("h:5656")
                               << true;
    QTest::newRow("letter case") << QByteArray("http://H:5656") << true << QByteArray("h:5656")
                                 << true;
    QTest::newRow("public site's port")
        << QByteArray("http://h") << true << QByteArray("h:5656") << false;
    QTest::newRow("another port") << QByteArray("http://h:8080") << true << QByteArray("h:5656")
                                  << false;
    QTest::newRow("another scheme")
        << QByteArray("https://h:5656") << true << QByteArray("h:5656") << false;
    QTest::newRow("null") << QByteArray("null") << true << QByteArray("h:5656") << false;
    QTest::newRow("no Host: the address reached")
        << QByteArray("http://127.0.0.1:5656") << true << QByteArray() << true;
  }
  void origin() {
    QFETCH(QByteArray, origin);
    QFETCH(bool, present);
    QFETCH(QByteArray, host);
    QFETCH(bool, matches);
    QCOMPARE(OriginMatches(origin, present, host, "127.0.0.1:5656"), matches);
  }

  void throttle() {
    LoginThrottle throttle;
    const QByteArray a = "10.0.0.1";
    qint64 now = 0;
    for (int i = 0; i < LoginThrottle::kFreeFailures; ++i) {
      QVERIFY(throttle.Allows(a, now));
      throttle.Failed(a, now += 2000);
    }
    // Refused for a minute, then doubled with each further failure.
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

  void formFields_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("password");
    QTest::newRow("login form") << QByteArray("UserName=&UserName=admin&password=pw&Request=Login")
                                << QByteArray("admin") << QByteArray("pw");
    QTest::newRow("other order") << QByteArray("UserName=admin&password=S3cret-pw&Request=Login")
                                 << QByteArray("admin") << QByteArray("S3cret-pw");
    QTest::newRow("password first")
        << QByteArray("password=pw&UserName=admin") << QByteArray("admin") << QByteArray("pw");
    QTest::newRow("similar names")
        << QByteArray("xpassword=no&UserNames=no&password=") << QByteArray() << QByteArray();
  }
  void formFields() {
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, password);
    QCOMPARE(FormField(body, "UserName"), user);
    QCOMPARE(FormField(body, "password"), password);
  }
};

QTEST_GUILESS_MAIN(GuardsTest)
#include "tst_guards.moc"
