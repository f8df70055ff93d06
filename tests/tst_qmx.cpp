// The sample interpreter: its template language, and the program as the server runs it.

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "qmx/template.h"
#include "util/files.h"

class QmxTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void fill_data() {
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QByteArray>("form");
    QTest::addColumn<QByteArray>("page");
    QTest::newRow("address and field")
        << QByteArray("<p>Hello, {{name}} at {{ip}}!</p>") << QByteArray("name=Ada+Lovelace")
        << QByteArray("<p>Hello, Ada Lovelace at 10.0.0.5!</p>");
    QTest::newRow("missing field is empty")
        << QByteArray("[{{name}}]") << QByteArray("x=1") << QByteArray("[]");
    QTest::newRow("values are escaped, never run")
        << QByteArray("{{a}}") << QByteArray("a=%3Cscript%3E%26%22x%22+{{ip}}")
        << QByteArray("&lt;script&gt;&amp;&quot;x&quot; {{ip}}");
    QTest::newRow("first of a repeated field")
        << QByteArray("{{k}}") << QByteArray("k=1&k=2") << QByteArray("1");
    QTest::newRow("encoded field name")
        << QByteArray("{{my-name}}") << QByteArray("my%2Dname=z") << QByteArray("z");
    QTest::newRow("not placeholders kept")
        << QByteArray("{{}} {{a b}} {{x") << QByteArray("") << QByteArray("{{}} {{a b}} {{x");
    QTest::newRow("bad escape kept")
        << QByteArray("{{v}}") << QByteArray("v=100%+%zz%4") << QByteArray("100% %zz%4");
  }
  void fill() {
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, form);
    QFETCH(QByteArray, page);
    QCOMPARE(QByteArray::fromStdString(
                 qmx::FillTemplate(script.toStdString(), "10.0.0.5", form.toStdString())),
             page);
  }

  void programWritesBesideItself() {
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path()) + "/";
    QVERIFY(QFile::copy(QStringLiteral(QMX_BINARY), dir.path() + "/qmx.exe"));
    QVERIFY(orvane::MakeDir(folder + "docs|x"));  // a "|" in a folder name
    QVERIFY(orvane::WriteFileAtomically(folder + "docs|x/hi.qmx", "Hi {{who}} from {{ip}}"));
    auto run = [&](const QByteArray& argument) {
      return QProcess::execute(dir.path() + "/qmx.exe", {QString::fromLatin1(argument)});
    };
    QCOMPARE(run(folder + "docs|x/hi.qmx|127.0.0.1|who=%3Cb%3E|x"), 0);
    QCOMPARE(orvane::ReadWholeFile(folder + "127.0.0.1.qms").value_or("<none>"),
             QByteArray("Hi &lt;b&gt;|x from 127.0.0.1"));
    // An address is what names the output file: nothing else may.
    QCOMPARE(run(folder + "docs|x/hi.qmx|../../etc/x|a=1"), 2);
    QCOMPARE(run(folder + "docs|x/gone.qmx|127.0.0.2|a=1"), 1);
    QVERIFY(!orvane::PathExists(folder + "127.0.0.2.qms"));
    // Links left at the output's names are replaced, never written through.
    QVERIFY(orvane::WriteFileAtomically(folder + "keep.txt", "kept"));
    QVERIFY(QFile::link(dir.path() + "/keep.txt", dir.path() + "/127.0.0.1.qms.part"));
    QVERIFY(QFile::link(dir.path() + "/keep.txt", dir.path() + "/127.0.0.3.qms"));
    QCOMPARE(run(folder + "docs|x/hi.qmx|127.0.0.1|who=a"), 0);
    QCOMPARE(run(folder + "docs|x/hi.qmx|127.0.0.3|who=a"), 0);
    QCOMPARE(orvane::ReadWholeFile(folder + "keep.txt").value_or("<none>"), QByteArray("kept"));
    QCOMPARE(orvane::ReadWholeFile(folder + "127.0.0.3.qms").value_or("<none>"),
             QByteArray("Hi a from 127.0.0.3"));
  }
};

QTEST_GUILESS_MAIN(QmxTest)
#include "tst_qmx.moc"
