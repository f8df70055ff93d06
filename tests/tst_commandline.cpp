#include <QTest>

#include "app/commandline.h"

class CommandLineTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void startUpSwitch_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("argument");  // the whole text beyond the options
    QTest::newRow("after options")
        << QStringList{"--headless", "--app-dir", "x", "/r"} << QByteArray("/r");
    QTest::newRow("among other words") << QStringList{"/r", "now"} << QByteArray("/r now");
  }
  void startUpSwitch() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, argument);
    QCOMPARE(orvane::ParseCommandLine(arguments).argument, argument);
  }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
