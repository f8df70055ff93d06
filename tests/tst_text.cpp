// The text, file, form and request text routines.

#include <sys/stat.h>
#include <QTemporaryDir>
#include <QTest>

#include "util/files.h"
#include "util/formdecoding.h"
#include "util/text.h"
#include "web/requesttext.h"

using namespace orvane;

class TextTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QByteArray Path(const char* name) { return QFile::encodeName(dir_.path()) + "/" + name; }

  // Byte columns, a row per text split at "|"; "<none>" stands for a failure (an empty optional).
  static void Table(std::initializer_list<const char*> columns, const QByteArrayList& rows) {
    for (const char* column : columns) QTest::addColumn<QByteArray>(column);  // kept, not copied
    for (const QByteArray& row : rows) {
      QTestData& data = QTest::newRow(row.toPercentEncoding(" |%/\\?&=+<>\"'#").constData());
      for (const QByteArray& cell : row.split('|')) data << cell;
    }
  }
  static QByteArray Cell(const char* column) {
    return *static_cast<QByteArray*>(QTest::qData(column, QMetaType::QByteArray));
  }

 private Q_SLOTS:
  void replaceText_data() {
    // Searches starting with a character without case ("%", found with memchr) and with a letter;
    // Latin-1 letters fold, the multiplication sign does not.
    Table({"text", "find", "by", "out"},
          {"x%DATE%y%date%|%date%|1|x1y1", "AbC%Tag%dEf|%tag%||AbCdEf", "aXa|x|xx|axxa",
           "aaaa|aa|b|bb", "\xC4pfel|\xE4p|A|Afel", "\xD7|\xF7|y|\xD7", "|x|y|"});
  }
  void replaceText() { QCOMPARE(ReplaceText(Cell("text"), Cell("find"), Cell("by")), Cell("out")); }

  void stripPath_data() {
    Table({"path", "expected"},
          {"name.htm|name.htm", "a\\b/c|c", "a/b/|b/", "//|/", "abc/|<none>", "/|<none>", "|"});
  }
  void stripPath() { QCOMPARE(StripPath(Cell("path")).value_or("<none>"), Cell("expected")); }

  void files() {
    // FileExists says yes where ReadWholeFile reads; neither blocks on a pipe nor creates a file.
    const QByteArray bytes("\0\r\n\x1A\xFF", 5);  // written over a 0640 file, whose mode stays
    QVERIFY(WriteFileAtomically(Path("bytes"), "first", 0640) &&
            WriteFileAtomically(Path("bytes"), bytes) && WriteFileAtomically(Path("empty"), ""));
    QVERIFY(::mkfifo(Path("pipe").constData(), 0600) == 0);
    QCOMPARE(ReadWholeFile(Path("bytes")).value_or("<none>"), bytes);
    QCOMPARE(ReadWholeFile(Path("empty")).value_or("<none>"), QByteArray());
    struct stat info;
    QVERIFY(::stat(Path("bytes").constData(), &info) == 0 && (info.st_mode & 0777) == 0640);
    for (const QByteArray& path : {Path("missing"), Path("pipe"), Path("."), QByteArray(),
                                   Path("bytes") + QByteArray("\0x", 2)})
      QVERIFY2(!FileExists(path) && !ReadWholeFile(path), path.constData());
    QVERIFY(FileExists(Path("empty")) && !PathExists(Path("missing")));
    QVERIFY(!WriteFileAtomically(Path("no/dir"), "x") && !WriteFileAtomically(Path("."), "x"));
    QCOMPARE(QDir(dir_.path()).entryList({"bytes?*"}), QStringList());  // nothing left beside
  }

  void decodeFormValue_data() {
    // "+" before "%2B"; "%25" after "%20" and "%21" but before "%2F"; "%2E" stays, so ".." cannot
    // come out of a name.
    Table({"value", "expected"},
          {"a+b%2Bc%2E%2E/x|a b+c%2E%2E/x", "%2520 %2521 %252f|%20 %21 /", "|",
           "x%0D%0Ay%0Dz%0a%22|x<br>y%0Dz%0a&quot;", "%A7%B2%B3%DF%B4|\xA7\xB2\xB3\xDF\xB4",
           "%21%24%26%28%29%3D%3F%7B%5B%5D%7D%5C%23%27%3A%2C%3B%60%7E%20|!$&()=?{[]}\\#':,;`~ "});
  }
  void decodeFormValue() { QCOMPARE(DecodeFormValue(Cell("value")), Cell("expected")); }

  void httpHeader_data() {
    // Selections 0 and 9 are clamped; the third word runs over the line end.
    Table({"text", "selection", "word"},
          {"GET /a?x H\r\nX|0|/a?x", "GET /a?x H\r\nX|2|a", "GET /a?x H\r\nX|3|GET",
           "GET /a?x H\r\nX|9|H\r\nX", "GET|1|<none>", "GET |3|", "GET /x|4|<none>"});
  }
  void httpHeader() {
    QCOMPARE(HTTPHeader(Cell("text"), Cell("selection").toInt()).value_or("<none>"), Cell("word"));
  }

  void requestLineScanner_data() {
    // The pieces as they arrive, and what each call says: complete from the target or a line end.
    Table({"pieces", "complete"}, {"GE+T+ + /|0001", "   +    |00", "  GET+  x|01", "GET+\r|01"});
  }
  void requestLineScanner() {
    QByteArray text, complete;
    for (RequestLineScanner scanner; const QByteArray& piece : Cell("pieces").split('+'))
      complete += scanner.Complete(text += piece) ? '1' : '0';
    QCOMPARE(complete, Cell("complete"));
  }

  void grabFormQuery_data() {
    Table({"text", "form"},
          {"h\r\n\r\nx=1\r\n|x=1", "h\r\n\r\n|", "a=1|a=1", "h\nbody\n|body", "\r\n|", "|<none>"});
  }
  void grabFormQuery() { QCOMPARE(GrabFORMQUERY(Cell("text")).value_or("<none>"), Cell("form")); }
};

QTEST_GUILESS_MAIN(TextTest)
#include "tst_text.moc"
