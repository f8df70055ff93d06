#include <QTest>

#include "app/commandline.h"

using namespace orvane;

class CommandLineTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void startUpSwitch_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("argument");
    QTest::newRow("alone") << QStringList{"/r"} << QByteArray("/r");
    QTest::newRow("after options")
        << QStringList{"--headless", "--app-dir", "x", "/r"} << QByteArray("/r");
    QTest::newRow("among other words") << QStringList{"/r", "now"} << QByteArray("/r now");
    QTest::newRow("upper case") << QStringList{"/R"} << QByteArray("/R");
    QTest::newRow("none") << QStringList{} << QByteArray();
  }
  void startUpSwitch() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, argument);
    const CommandLine line = ParseCommandLine(arguments);
    QVERIFY(line.error.isEmpty());
    QCOMPARE(line.argument, argument);
  }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
