// The text, file, form and request text routines.

#include <sys/stat.h>
#include <unistd.h>
#include <QTemporaryDir>
#include <QTest>

#include "util/files.h"
#include "util/formdecoding.h"
#include "util/hostaddress.h"
#include "util/text.h"
#include "web/requesttext.h"

using namespace orvane;

class TextTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QByteArray Path(const char* name) { return QFile::encodeName(dir_.path()) + "/" + name; }
  void Write(const char* name, const QByteArray& content) {
    QFile file(QFile::decodeName(Path(name)));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
  }

 private Q_SLOTS:
  void replaceText_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("search");
    QTest::addColumn<QByteArray>("replacement");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("every occurrence, any case")
        << QByteArray("x%DATE%y%date%") << QByteArray("%date%") << QByteArray("1")
        << QByteArray("x1y1");
    QTest::newRow("replacement holding the search")
        << QByteArray("aXa") << QByteArray("x") << QByteArray("xx") << QByteArray("axxa");
    QTest::newRow("text outside keeps its case") << QByteArray("AbC%Tag%dEf") << QByteArray("%tag%")
                                                 << QByteArray("v") << QByteArray("AbCvdEf");
    QTest::newRow("adjacent occurrences")
        << QByteArray("aaaa") << QByteArray("aa") << QByteArray("b") << QByteArray("bb");
    QTest::newRow("replacement inserted as given")
        << QByteArray("<NOSCRIPT>x</noscript>") << QByteArray("<noscript>") << QByteArray()
        << QByteArray("x</noscript>");
    QTest::newRow("Latin-1 letters fold")
        << QByteArray("\xC4pfel") << QByteArray("\xE4p") << QByteArray("A") << QByteArray("Afel");
    QTest::newRow("multiplication sign does not fold")
        << QByteArray("\xD7") << QByteArray("\xF7") << QByteArray("y") << QByteArray("\xD7");
    QTest::newRow("empty text") << QByteArray() << QByteArray("x") << QByteArray("y")
                                << QByteArray();
  }
  void replaceText() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, search);
    QFETCH(QByteArray, replacement);
    QFETCH(QByteArray, expected);
    QCOMPARE(ReplaceText(text, search, replacement), expected);
  }

  void stripPath_data() {
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("no separator") << QByteArray("name.htm") << true << QByteArray("name.htm");
    QTest::newRow("forward slashes")
        << QByteArray("docs/sub/page.htm") << true << QByteArray("page.htm");
    QTest::newRow("mixed separators") << QByteArray("a\\b/c") << true << QByteArray("c");
    QTest::newRow("leading slash") << QByteArray("/x") << true << QByteArray("x");
    QTest::newRow("trailing separator kept") << QByteArray("a/b/") << true << QByteArray("b/");
    QTest::newRow("two slashes") << QByteArray("//") << true << QByteArray("/");
    QTest::newRow("only separator last") << QByteArray("abc/") << false << QByteArray();
    QTest::newRow("slash alone") << QByteArray("/") << false << QByteArray();
    QTest::newRow("empty") << QByteArray() << true << QByteArray();
  }
  void stripPath() {
    QFETCH(QByteArray, path);
    QFETCH(bool, ok);
    QFETCH(QByteArray, expected);
    const std::optional<QByteArray> result = StripPath(path);
    QCOMPARE(result.has_value(), ok);
    if (ok) QCOMPARE(*result, expected);
  }

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

  void decode_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("plus before %2B") << QByteArray("a+b%2Bc") << QByteArray("a b+c");
    QTest::newRow("percent") << QByteArray("50%25") << QByteArray("50%");
    QTest::newRow("%25 before %2F") << QByteArray("%252F") << QByteArray("/");
    QTest::newRow("%25 after %21") << QByteArray("%2521") << QByteArray("%21");
    QTest::newRow("%25 after %20") << QByteArray("%2520") << QByteArray("%20");
    QTest::newRow("lower-case escape") << QByteArray("%2f") << QByteArray("/");
    QTest::newRow("upper-case escape") << QByteArray("%2F") << QByteArray("/");
    QTest::newRow("escape outside the table") << QByteArray("%41") << QByteArray("%41");
    QTest::newRow("line break") << QByteArray("x%0D%0Ay") << QByteArray("x<br>y");
    QTest::newRow("lone CR stays") << QByteArray("x%0Dy%0a") << QByteArray("x%0Dy%0a");
    QTest::newRow("double quote") << QByteArray("%22hi%22") << QByteArray("&quot;hi&quot;");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("Latin-1 results")
        << QByteArray("%A7%B2%B3%DF%B4") << QByteArray("\xA7\xB2\xB3\xDF\xB4");
    QTest::newRow("punctuation") << QByteArray(
                                        "%21%24%26%28%29%3D%3F%7B%5B%5D%7D%5C%23%27%3A%2C%3B%60%7E")
                                 << QByteArray("!$&()=?{[]}\\#':,;`~");
    QTest::newRow("space") << QByteArray("a%20b") << QByteArray("a b");
    QTest::newRow("dots pass") << QByteArray("%2E%2E/x") << QByteArray("%2E%2E/x");
  }
  void decode() {
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, expected);
    QCOMPARE(DecodeFormValue(value), expected);
  }

  void httpHeader_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("selection");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray line = "GET /a/b.html?x=1 HTTP/1.0\r\nHost: h\r\n\r\n";
    QTest::newRow("1: target as sent") << line << 1 << true << QByteArray("/a/b.html?x=1");
    QTest::newRow("2: file part") << line << 2 << true << QByteArray("a/b.html");
    QTest::newRow("3: method") << line << 3 << true << QByteArray("GET");
    QTest::newRow("4: third word runs over the line end")
        << line << 4 << true << QByteArray("HTTP/1.0\r\nHost:");
    QTest::newRow("0 counts as 1") << line << 0 << true << QByteArray("/a/b.html?x=1");
    QTest::newRow("9 counts as 4") << line << 9 << true << QByteArray("HTTP/1.0\r\nHost:");
    QTest::newRow("GET alone fails") << QByteArray("GET") << 1 << false << QByteArray();
    QTest::newRow("empty target, any selection") << QByteArray("GET ") << 3 << true << QByteArray();
    QTest::newRow("no third word") << QByteArray("GET /x") << 4 << false << QByteArray();
  }
  void httpHeader() {
    QFETCH(QByteArray, text);
    QFETCH(int, selection);
    QFETCH(bool, ok);
    QFETCH(QByteArray, expected);
    const std::optional<QByteArray> word = HTTPHeader(text, selection);
    QCOMPARE(word.has_value(), ok);
    if (ok) QCOMPARE(*word, expected);
  }

  void scannerFindsTheTarget_data() {
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<int>("completeAt");  // index of the piece that completes it, -1 for none
    QTest::newRow("method, then target") << QByteArrayList{"GE", "T", " ", " /"} << 3;
    QTest::newRow("spaces only") << QByteArrayList{"   ", "    "} << -1;
    QTest::newRow("leading spaces") << QByteArrayList{"  GET", "  x"} << 1;
    QTest::newRow("line end in the method") << QByteArrayList{"GET", "\r"} << 1;
    QTest::newRow("one piece") << QByteArrayList{"GET / HTTP/1.0\r\n"} << 0;
  }
  void scannerFindsTheTarget() {
    QFETCH(QByteArrayList, pieces);
    QFETCH(int, completeAt);
    RequestLineScanner scanner;
    QByteArray text;
    int at = -1;
    for (int i = 0; i < pieces.size() && at < 0; ++i) {
      text += pieces[i];
      if (scanner.Complete(text)) at = i;
    }
    QCOMPARE(at, completeAt);
  }

  void grabFormQuery_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("body after the empty line")
        << QByteArray("POST /r.qmx HTTP/1.0\r\nHost: h\r\n\r\na=1&b=2") << QByteArray("a=1&b=2");
    QTest::newRow("CR LF after the body")
        << QByteArray("POST / HTTP/1.0\r\n\r\nx=1\r\n") << QByteArray("x=1");
    QTest::newRow("ends in an empty line")
        << QByteArray("POST / HTTP/1.0\r\nHost: h\r\n\r\n") << QByteArray();
    QTest::newRow("no line end") << QByteArray("a=1") << QByteArray("a=1");
    QTest::newRow("lone LF ends") << QByteArray("h\nbody\n") << QByteArray("body");
    QTest::newRow("only line ends") << QByteArray("\r\n") << QByteArray();
  }
  void grabFormQuery() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(GrabFORMQUERY(text).value_or("failed"), expected);
  }
};

QTEST_GUILESS_MAIN(TextTest)
#include "tst_text.moc"
