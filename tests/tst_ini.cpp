// INI files as people write them and as WriteINI leaves them; fuzz_ini reads back what it writes.

#include <QTemporaryDir>
#include <QTest>

#include "core/ini.h"
#include "util/files.h"

using namespace orvane;

class IniTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  const QByteArray file_ = QFile::encodeName(dir_.path()) + "/test.ini";

 private Q_SLOTS:
  void read_data() {
    QTest::addColumn<QByteArrayList>("cells");  // a file, the section and key asked for, the value
    for (const char* row : {"[Server]\nPort=80\n[Admin]\nPort=57\n|aDMIN|PORT|57",
                            "  [ S ]  \n  K \t=  a b  \n|S|K|a b", "[S]\r\nK=v\r\nL=w\r\n|S|K|v",
                            "k=9\n[x]\nk=3\n[]\nk=7\n||k|7", "[S]\n;K=old\nK=new\n|S|K|new"})
      QTest::newRow(QByteArray(row).replace('\n', "\\n").constData()) << QByteArray(row).split('|');
    QTest::newRow("300 characters")
        << QByteArrayList{"[S]\nK=" + QByteArray(300, 'v'), "S", "K", QByteArray(254, 'v')};
  }
  void read() {
    QFETCH(QByteArrayList, cells);
    QVERIFY(WriteFileAtomically(file_, cells[0]));
    QCOMPARE(ReadINI(cells[1], cells[2], file_), cells[3]);
  }

  void write_data() {
    QTest::addColumn<QByteArrayList>("row");  // before ("": none), section, key, value, after
    for (const char* row :
         {"[S]\n; c\nK=old\nx\n[T]\nK=keep\n|s|k|new|[S]\n; c\nK=new\nx\n[T]\nK=keep\n",
          "[S]\nA=1\n\n[T]\nB=2\n|S|C||[S]\nA=1\nC=\n\n[T]\nB=2\n",
          "[S]\r\nA=1|T|B|2|[S]\r\nA=1\r\n[T]\r\nB=2\r\n", "||counter|1|[]\ncounter=1\n"})
      QTest::newRow(QByteArray(row).replace('\n', "\\n").constData()) << QByteArray(row).split('|');
  }
  void write() {
    QFETCH(QByteArrayList, row);
    RemoveFile(file_);
    if (!row[0].isEmpty()) QVERIFY(WriteFileAtomically(file_, row[0]));
    QVERIFY(WriteINI(row[1], row[2], row[3], file_));
    QCOMPARE(ReadWholeFile(file_).value_or("<none>"), row[4]);
    // A new file may hold a password: it is for its owner only.
    QVERIFY(row[0].size() || !(QFile::permissions(file_) & (QFile::ReadGroup | QFile::ReadOther)));
  }

  void refusedWrite() {
    // What cannot be read (a link to nothing) is never replaced; what cannot be written fails.
    QVERIFY(QFile::link("gone.ini", file_ + ".link") && !WriteINI("S", "K", "v", file_ + ".link"));
    QVERIFY(!WriteINI("S", "K", "v", file_ + ".d/no.ini"));
  }
};

QTEST_GUILESS_MAIN(IniTest)
#include "tst_ini.moc"
