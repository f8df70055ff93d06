// Settings loading, by table: a server.cfg and one line of the settings in force.

#include <QTemporaryDir>
#include <QTest>

#include "core/settings.h"
#include "util/files.h"

using namespace orvane;

class SettingsTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QByteArray app_;

 private Q_SLOTS:
  void initTestCase() { app_ = QFile::encodeName(dir_.path()) + "/"; }

  void load_data() {
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QByteArray>("line");  // as --print-settings shows it
    const QByteArrayList rows = {
        // MaxConnect: 1 to 500; out of range or no number 300; empty the built-in 50.
        "[Server]\nMaxConnect=500|MaxConnect=500", "[Server]\nMaxConnect=1|MaxConnect=1",
        "[Server]\nMaxConnect=501|MaxConnect=300", "[Server]\nMaxConnect=0|MaxConnect=300",
        "[Server]\nMaxConnect=-3|MaxConnect=300", "[Server]\nMaxConnect=many|MaxConnect=300",
        "[Server]\nMaxConnect=12abc|MaxConnect=12", "[Server]\nMaxConnect=|MaxConnect=50",
        // Port: 0 or no number is 80; the running port follows it.
        "[Server]\nPort=0|RunningPort=80", "[Server]\nPort=http|Port=80",
        "[Server]\nPort=8080|RunningPort=8080", "[Server]\nPort=81x|Port=81",
        "[Server]\nPort=-1|Port=-1", "[Admin]\nPort=abc|AdminPort=0",
        "[Admin]\nPort=7000|AdminPort=7000",
        // Allow: the leading number, as text.
        "[Admin]\nAllow=1|AdminAllow=1", "[Admin]\nAllow=01|AdminAllow=1",
        "[Admin]\nAllow=\" 1\"|AdminAllow=1", "[Admin]\nAllow=1yes|AdminAllow=1",
        "[Admin]\nAllow=yes|AdminAllow=0", "[Admin]\nAllow=|AdminAllow=0",
        "[Admin]\nAllow=2|AdminAllow=2",
        // Blank names take the built-in ones; others keep their blanks.
        "[Server]\nServerName=\"   \"|ServerName=Orvane Light 0.7",
        "[Server]\nIndexFile=\"  \"|IndexFile=index.html",
        "[Server]\nServerName=\" My Site \"|ServerName= My Site ",
        // HttpHeaders: exactly 1.
        "[Server]\nHttpHeaders=1|HttpHeaders=1", "[server]\nhttpheaders=\"1\"|HttpHeaders=1",
        "[Server]\nHttpHeaders=yes|HttpHeaders=0", "[Server]\nHttpHeaders=01|HttpHeaders=0",
        "[Admin]\nHttpHeaders=1|HttpHeaders=0",
        // The password is shown as one star per character.
        "[Admin]\nPassword=abcd\nUserName=me|AdminPassword=****"};
    for (const QByteArray& row : rows) {
      const QByteArrayList parts = row.split('|');
      QTest::newRow(parts[0].constData()) << parts[0] + "\n" << parts[1];
    }
  }
  void load() {
    QFETCH(QByteArray, config);
    QFETCH(QByteArray, line);
    QVERIFY(WriteFileAtomically(ConfigFile(app_), config));
    const QByteArrayList report = SettingsReport(LoadSettings(app_)).split('\n');
    QVERIFY2(report.contains(line), SettingsReport(LoadSettings(app_)).constData());
  }
};

QTEST_GUILESS_MAIN(SettingsTest)
#include "tst_settings.moc"
