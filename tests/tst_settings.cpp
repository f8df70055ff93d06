#include <QTemporaryDir>
#include <QTest>

#include "core/settings.h"
#include "util/files.h"

using namespace orvane;

class SettingsTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QByteArray app_;

  Settings Load(const QByteArray& config) {
    RemoveFile(ConfigFile(app_));
    if (!config.isNull()) WriteFileAtomically(ConfigFile(app_), config);
    return LoadSettings(app_);
  }

 private Q_SLOTS:
  void initTestCase() { app_ = QFile::encodeName(dir_.path()) + "/"; }

  void maxConnect_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("500 stays") << QByteArray("500") << 500;
    QTest::newRow("1 stays") << QByteArray("1") << 1;
    QTest::newRow("501") << QByteArray("501") << 300;
    QTest::newRow("0") << QByteArray("0") << 300;
    QTest::newRow("minus 3") << QByteArray("-3") << 300;
    QTest::newRow("letters") << QByteArray("many") << 300;
    QTest::newRow("12 then letters") << QByteArray("12abc") << 12;
    QTest::newRow("empty keeps built-in") << QByteArray("") << 50;
  }
  void maxConnect() {
    QFETCH(QByteArray, value);
    QFETCH(int, expected);
    QCOMPARE(Load("[Server]\nMaxConnect=" + value + "\n").MaxConnect, expected);
  }

  void port_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("zero") << QByteArray("0") << 80;
    QTest::newRow("letters") << QByteArray("http") << 80;
    QTest::newRow("number") << QByteArray("8080") << 8080;
    QTest::newRow("number then letters") << QByteArray("81x") << 81;
    QTest::newRow("negative is kept") << QByteArray("-1") << -1;
  }
  void port() {
    QFETCH(QByteArray, value);
    QFETCH(int, expected);
    const Settings s = Load("[Server]\nPort=" + value + "\n[Admin]\nPort=7000\n");
    QCOMPARE(s.Port, expected);
    QCOMPARE(s.RunningPort, expected);
    QCOMPARE(s.AdminPort, 7000);
  }

  void adminPortWithoutNumberIsZero() { QCOMPARE(Load("[Admin]\nPort=abc\n").AdminPort, 0); }

  void allow_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("1") << QByteArray("1") << QByteArray("1");
    QTest::newRow("01") << QByteArray("01") << QByteArray("1");
    QTest::newRow("blank then 1") << QByteArray("\" 1\"") << QByteArray("1");
    QTest::newRow("1 then letters") << QByteArray("1yes") << QByteArray("1");
    QTest::newRow("word") << QByteArray("yes") << QByteArray("0");
    QTest::newRow("empty") << QByteArray("") << QByteArray("0");
    QTest::newRow("2") << QByteArray("2") << QByteArray("2");
  }
  void allow() {
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, expected);
    QCOMPARE(Load("[Admin]\nAllow=" + value + "\n").AdminAllow, expected);
  }

  void blankNames() {
    const Settings s = Load("[Server]\nServerName=\"   \"\nIndexFile=\"  \"\n");
    QCOMPARE(s.ServerName, QByteArray("Orvane Light 0.7"));
    QCOMPARE(s.IndexFile, QByteArray("index.html"));
    QCOMPARE(Load("[Server]\nServerName=\" My Site \"\n").ServerName, QByteArray(" My Site "));
  }

  void httpHeaders_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("on");
    QTest::newRow("1") << QByteArray("[Server]\nHttpHeaders=1\n") << true;
    QTest::newRow("quoted 1") << QByteArray("[server]\nhttpheaders=\"1\"\n") << true;
    QTest::newRow("yes") << QByteArray("[Server]\nHttpHeaders=yes\n") << false;
    QTest::newRow("01") << QByteArray("[Server]\nHttpHeaders=01\n") << false;
    QTest::newRow("other section") << QByteArray("[Admin]\nHttpHeaders=1\n") << false;
  }
  void httpHeaders() {
    QFETCH(QByteArray, text);
    QFETCH(bool, on);
    QCOMPARE(Load(text).HttpHeaders, on);
  }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
