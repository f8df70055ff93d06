#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QTemporaryDir>
#include <QTest>

#include "core/ini.h"
#include "util/files.h"

using namespace orvane;

class IniTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QByteArray file_;

  void Put(const QByteArray& content) { QVERIFY(WriteFileAtomically(file_, content)); }
  QByteArray Content() { return ReadWholeFile(file_).value_or("<missing>"); }

 private Q_SLOTS:
  void init() {
    file_ = QFile::encodeName(dir_.path()) + "/test.ini";
    RemoveFile(file_);
  }

  void read_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray basic = "[Server]\nPort=8080\n[Admin]\nPort=5757\n";
    QTest::newRow("plain") << basic << QByteArray("Server") << QByteArray("Port")
                           << QByteArray("8080");
    QTest::newRow("same key, other section")
        << basic << QByteArray("Admin") << QByteArray("Port") << QByteArray("5757");
    QTest::newRow("names without regard to case")
        << basic << QByteArray("sErVeR") << QByteArray("PORT") << QByteArray("8080");
    QTest::newRow("blanks around names and values")
        << QByteArray("  [ Server ]  \n  Name \t=  two words  \n") << QByteArray("Server")
        << QByteArray("Name") << QByteArray("two words");
    QTest::newRow("quoted value") << QByteArray("[S]\nK=\" padded \"\n") << QByteArray("S")
                                  << QByteArray("K") << QByteArray(" padded ");
    QTest::newRow("single quote kept") << QByteArray("[S]\nK=\"half\n") << QByteArray("S")
                                       << QByteArray("K") << QByteArray("\"half");
    QTest::newRow("CR LF line ends") << QByteArray("[S]\r\nK=v\r\nL=w\r\n") << QByteArray("S")
                                     << QByteArray("K") << QByteArray("v");
    QTest::newRow("empty section name") << QByteArray("[x]\ncounter=3\n[]\ncounter=7\n")
                                        << QByteArray() << QByteArray("counter") << QByteArray("7");
    QTest::newRow("keys before any section belong to none")
        << QByteArray("counter=9\n[]\n") << QByteArray() << QByteArray("counter") << QByteArray();
    QTest::newRow("comment line is no key") << QByteArray("[S]\n;K=old\nK=new\n") << QByteArray("S")
                                            << QByteArray("K") << QByteArray("new");
    QTest::newRow("300 characters read as 254")
        << "[S]\nK=" + QByteArray(300, 'v') + "\n"
        << QByteArray("S") << QByteArray("K") << QByteArray(254, 'v');
    QTest::newRow("not text at all") << QByteArray("\x00\x01\xff\xfe[\x00=\x00\x00", 9)
                                     << QByteArray("S") << QByteArray("K") << QByteArray();
  }
  void read() {
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, expected);
    Put(content);
    QCOMPARE(ReadINI(section, key, file_), expected);
  }

  void readMissingFile() { QCOMPARE(ReadINI("S", "K", file_ + ".none"), QByteArray()); }

  void write_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("replaced in place, comments kept")
        << QByteArray("; top\n[S]\n; note\nK=old\nother line\n[T]\nK=keep\n") << QByteArray("s")
        << QByteArray("k") << QByteArray("new")
        << QByteArray("; top\n[S]\n; note\nK=new\nother line\n[T]\nK=keep\n");
    QTest::newRow("appended at the end of its section")
        << QByteArray("[S]\nA=1\n\n[T]\nB=2\n") << QByteArray("S") << QByteArray("C")
        << QByteArray("3") << QByteArray("[S]\nA=1\nC=3\n\n[T]\nB=2\n");
    QTest::newRow("section appended at the end")
        << QByteArray("[S]\nA=1") << QByteArray("T") << QByteArray("B") << QByteArray("2")
        << QByteArray("[S]\nA=1\n[T]\nB=2\n");
    QTest::newRow("CR LF file stays CR LF")
        << QByteArray("[S]\r\nA=1\r\n") << QByteArray("S") << QByteArray("A") << QByteArray("2")
        << QByteArray("[S]\r\nA=2\r\n");
    QTest::newRow("empty value writes the key")
        << QByteArray("[S]\nA=1\n") << QByteArray("S") << QByteArray("A") << QByteArray()
        << QByteArray("[S]\nA=\n");
    QTest::newRow("empty section name") << QByteArray() << QByteArray() << QByteArray("counter")
                                        << QByteArray("1") << QByteArray("[]\ncounter=1\n");
    QTest::newRow("blanks around the value are quoted")
        << QByteArray() << QByteArray("S") << QByteArray("P") << QByteArray(" pw ")
        << QByteArray("[S]\nP=\" pw \"\n");
    QTest::newRow("line breaks cannot be stored")
        << QByteArray() << QByteArray("S") << QByteArray("N") << QByteArray("a\r\n[X]\nb")
        << QByteArray("[S]\nN=a[X]b\n");
  }
  void write() {
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, after);
    if (!before.isEmpty()) Put(before);
    QVERIFY(WriteINI(section, key, value, file_));
    QCOMPARE(Content(), after);
  }

  void fileModes() {
    // A new file may hold a password: its owner alone may read it. An existing file keeps its mode.
    struct stat info;
    QVERIFY(WriteINI("Admin", "Password", "secret", file_));
    QCOMPARE(::stat(file_.constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0600u);
    QCOMPARE(::chmod(file_.constData(), 0640), 0);
    QVERIFY(WriteINI("Admin", "Password", "other", file_));
    QCOMPARE(::stat(file_.constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0640u);
  }

  void unreadableFileIsNotReplaced() {
    Put("[S]\nK=old\nOther=kept\n");
    QCOMPARE(::chmod(file_.constData(), 0), 0);
    // The superuser reads any file: the check then runs with another user's file rights, in a
    // folder that user may write (so that replacing the file would succeed).
    const bool root = ::geteuid() == 0;
    QCOMPARE(::chmod(QFile::encodeName(dir_.path()).constData(), 0777), 0);
    if (root) ::setfsuid(65534);
    const bool written = WriteINI("S", "K", "new", file_);
    if (root) ::setfsuid(0);
    QVERIFY(!written);
    QCOMPARE(::chmod(file_.constData(), 0600), 0);
    QCOMPARE(Content(), QByteArray("[S]\nK=old\nOther=kept\n"));
  }

  void failedWrite() {
    QVERIFY(!WriteINI("S", "K", "v", QFile::encodeName(dir_.path()) + "/no/such/file.ini"));
    QVERIFY(!WriteINI("S", "K", "v", QFile::encodeName(dir_.path())));  // a folder
  }
};

QTEST_GUILESS_MAIN(IniTest)
#include "tst_ini.moc"
