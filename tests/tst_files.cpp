#include <sys/stat.h>
#include <unistd.h>
#include <QTemporaryDir>
#include <QTest>

#include "util/files.h"
#include "util/hostaddress.h"

using namespace orvane;

class FilesTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QByteArray Path(const char* name) { return QFile::encodeName(dir_.path()) + "/" + name; }
  void Write(const char* name, const QByteArray& content) {
    QFile file(QFile::decodeName(Path(name)));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
  }

 private Q_SLOTS:
  void fileExists() {
    Write("a.txt", "x");
    QVERIFY(FileExists(Path("a.txt")));
    QVERIFY(!FileExists(Path("missing.txt")));
    QVERIFY(!FileExists(QFile::encodeName(dir_.path())));  // a folder
    QVERIFY(!FileExists(""));
    QVERIFY(!FileExists(Path("a.txt") + QByteArray("\0x", 2)));
    QVERIFY(::mkfifo(Path("pipe").constData(), 0600) == 0);
    QVERIFY(!FileExists(Path("pipe")));  // never blocks on a pipe
    if (::geteuid() != 0) {
      Write("locked.txt", "x");
      ::chmod(Path("locked.txt").constData(), 0);
      QVERIFY(!FileExists(Path("locked.txt")));
    }
  }

  void readWholeFile() {
    Write("empty.bin", "");
    QCOMPARE(ReadWholeFile(Path("empty.bin")).value_or("failed"), QByteArray());
    QByteArray bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    Write("bytes.bin", bytes);
    const std::optional<QByteArray> read = ReadWholeFile(Path("bytes.bin"));
    QVERIFY(read.has_value());
    QCOMPARE(read->size(), 256);
    QCOMPARE(*read, bytes);
    QVERIFY(!ReadWholeFile(Path("missing")).has_value());
    QVERIFY(!ReadWholeFile(QFile::encodeName(dir_.path())).has_value());
    QVERIFY(!QFile::exists(QFile::decodeName(Path("missing"))));  // never creates
  }

  void writeFileAtomically() {
    QVERIFY(WriteFileAtomically(Path("new.txt"), "first"));
    QCOMPARE(ReadWholeFile(Path("new.txt")).value_or(""), QByteArray("first"));
    ::chmod(Path("new.txt").constData(), 0640);
    QVERIFY(WriteFileAtomically(Path("new.txt"), "second"));
    QCOMPARE(ReadWholeFile(Path("new.txt")).value_or(""), QByteArray("second"));
    struct stat info;
    QCOMPARE(::stat(Path("new.txt").constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, 0640u);  // permissions kept
    QVERIFY(!WriteFileAtomically(Path("no/such/folder.txt"), "x"));
    QVERIFY(!WriteFileAtomically(QFile::encodeName(dir_.path()), "x"));  // a folder
    QDir listing(dir_.path());
    for (const QString& name : listing.entryList(QDir::Files)) {
      QVERIFY2(!name.contains(QLatin1String(".txt.")), qPrintable(name));  // no leftovers
    }
  }
};

QTEST_GUILESS_MAIN(FilesTest)
#include "tst_files.moc"
