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
    QTest::addColumn<QByteArrayList>("row");  // [Server] keys ("] " ends a line), report or a line
    for (const char* row :
         {"MaxConnect=500|MaxConnect=500", "MaxConnect=1|MaxConnect=1",
          "MaxConnect=501|MaxConnect=300", "MaxConnect=12abc|MaxConnect=12",
          "MaxConnect=|MaxConnect=50", "Port=0|RunningPort=80", "Port=-1|Port=-1",
          "[Admin] Port=abc|AdminPort=0", "[Admin] Allow=02x|AdminAllow=2",
          "[Admin] Allow=\" 1\"|AdminAllow=1", "HttpHeaders=01|HttpHeaders=0",
          "Tls=1|HttpHeaders=1", "ServerName=\"   \"|ServerName=Orvane Light 0.7",
          "IndexFile=\"  \"|IndexFile=index.html", "ServerName=\" My Site \"|ServerName= My Site "})
      QTest::newRow(row) << QByteArray("[Server] ").append(row).replace("] ", "]\n").split('|');
    QTest::newRow("every setting in order, the password hidden") << QByteArrayList{
        "[Server]\nPort=8123\nMaxConnect=0\nHttpHeaders=1\nTrustedProxy=10.0.0.1,::1\n[Admin]\n"
        "Password=pw",
        "AppPath=" + app_ + "\nDocsPath=" + app_ +
            "docs\nServerName=Orvane Light v.0.7\nIndexFile=index.html\nMaxConnect=300\n"
            "Port=8123\nRunningPort=8123\nAdminUserName=\nAdminPassword=**\nAdminPort=5656\n"
            "AdminAllow=0\nHttpHeaders=1\nTrustedProxy=10.0.0.1,::1"};
  }
  void load() {
    QFETCH(QByteArrayList, row);
    QVERIFY(WriteFileAtomically(ConfigFile(app_), row[0]));
    const QByteArray report = SettingsReport(LoadSettings(app_));
    QVERIFY2(("\n" + report).contains("\n" + row[1] + '\n'), report.constData());
  }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
