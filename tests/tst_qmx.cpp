// The sample interpreter: its template language, and the program as the server runs it.

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "qmx/template.h"
#include "util/files.h"

using namespace orvane;

class QmxTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void fill_data() {
    QTest::addColumn<QByteArrayList>("cells");  // script, form, and the page made for 10.0.0.5
    for (const char* row :
         {"{{n}} {{ip}} [{{no}}] {{k}} {{my-n}}|n=A+L&k=1&k=2&my%2Dn=z|A L 10.0.0.5 [] 1 z",
          "{{a}}|a=%3Cb%3E%26%22x%22+{{ip}}|&lt;b&gt;&amp;&quot;x&quot; {{ip}}",
          "{{}} {{a b}} {{x {{v}}|v=100%+%zz%4|{{}} {{a b}} {{x 100% %zz%4"})
      QTest::newRow(row) << QByteArray(row).split('|');
  }
  void fill() {
    QFETCH(QByteArrayList, cells);
    QCOMPARE(qmx::FillTemplate(cells[0].toStdString(), "10.0.0.5", cells[1].toStdString()),
             cells[2].toStdString());
  }

  void program() {
    // Run as the server runs it: the page goes beside it, named by the address, never via a link.
    QTemporaryDir dir;
    const QByteArray at = QFile::encodeName(dir.path()) + "/";
    QVERIFY(QFile::copy(QMX_BINARY, at + "qmx.exe") && MakeDir(at + "|") &&
            WriteFileAtomically(at + "|/x.qmx", "{{who}} {{ip}}") &&
            QFile::link("|/x.qmx", at + "::1.qms") && QFile::link("|/x.qmx", at + "::1.qms.part"));
    auto run = [&at](const char* a) { return QProcess::execute(at + "qmx.exe", {at + "|/" + a}); };
    QCOMPARE(run("x.qmx|::1|who=%3Cb%3E|x"), 0);
    QCOMPARE(ReadWholeFile(at + "::1.qms").value_or(""), "&lt;b&gt;|x ::1");
    QCOMPARE(ReadWholeFile(at + "|/x.qmx").value_or(""), "{{who}} {{ip}}");
    QCOMPARE(run("x.qmx|../../etc/x|a=1"), 2);
    QCOMPARE(run("gone.qmx|::2|a=1"), 1);
  }
};

QTEST_GUILESS_MAIN(QmxTest)
#include "tst_qmx.moc"
