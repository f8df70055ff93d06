// Settings loading, by table: a server.cfg and the settings it gives, as --print-settings shows.

#include <QTemporaryDir>
#include <QTest>

#include "core/settings.h"
#include "util/files.h"

using namespace orvane;

class SettingsTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  const QByteArray app_ = QFile::encodeName(dir_.path()) + "/";

 private Q_SLOTS:
  void load_data() {
    // MaxConnect is 1 to 500, else 300 (empty: the built-in 50). Ports and Allow take the leading
    // number; a public port of 0 is 80. Blank names are the built-in ones. HttpHeaders is 1 or 0.
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QByteArray>("lines");  // the whole report, or one line of it
    for (const char* row :
         {"[Server] MaxConnect=500|MaxConnect=500", "[Server] MaxConnect=1|MaxConnect=1",
          "[Server] MaxConnect=501|MaxConnect=300", "[Server] MaxConnect=12abc|MaxConnect=12",
          "[Server] MaxConnect=|MaxConnect=50", "[Server] Port=0|RunningPort=80",
          "[Server] Port=-1|Port=-1", "[Admin] Port=abc|AdminPort=0",
          "[Admin] Allow=02x|AdminAllow=2", "[Admin] Allow=\" 1\"|AdminAllow=1",
          "[Admin] Allow=yes|AdminAllow=0", "[Server] HttpHeaders=01|HttpHeaders=0",
          "[Server] ServerName=\"   \"|ServerName=Orvane Light 0.7",
          "[Server] IndexFile=\"  \"|IndexFile=index.html",
          "[Server] ServerName=\" My Site \"|ServerName= My Site "})
      QTest::newRow(row) << QByteArray(row).split('|')[0].replace("] ", "]\n")
                         << QByteArray(row).split('|')[1] + '\n';
    QTest::newRow("every setting in order, the password hidden")
        << QByteArray("[Server]\nPort=8123\nMaxConnect=0\nHttpHeaders=1\n[Admin]\nPassword=pw")
        << "AppPath=" + app_ + "\nDocsPath=" + app_ +
               "docs\nServerName=Orvane Light v.0.7\nIndexFile=index.html\nMaxConnect=300\n"
               "Port=8123\nRunningPort=8123\nAdminUserName=\nAdminPassword=**\nAdminPort=5656\n"
               "AdminAllow=0\nHttpHeaders=1\n";
  }
  void load() {
    QFETCH(QByteArray, config);
    QFETCH(QByteArray, lines);
    QVERIFY(WriteFileAtomically(ConfigFile(app_), config));
    const QByteArray report = SettingsReport(LoadSettings(app_));
    QVERIFY2(("\n" + report).contains("\n" + lines), report.constData());
  }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
