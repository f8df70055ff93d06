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
  void fill() {
    // Repeated, unknown and odd names; escapes; a value holding a placeholder; broken escapes.
    QCOMPARE(QByteArray::fromStdString(qmx::FillTemplate(
                 "{{n}} {{ip}} [{{no}}] {{k}} {{my-n}} {{a}} {{}} {{a b}} {{x {{v}}", "10.0.0.5",
                 "n=A+L&k=1&k=2&my%2Dn=z&a=%3Cb%3E%26%22x%22+{{ip}}&v=100%+%zz%4")),
             "A L 10.0.0.5 [] 1 z &lt;b&gt;&amp;&quot;x&quot; {{ip}} {{}} {{a b}} {{x 100% %zz%4");
  }

  void program() {
    // Run as the server runs it, from where it is installed and in the program folder: the page
    // goes there, named by the address, never via a link.
    QTemporaryDir dir;
    const QByteArray at = QFile::encodeName(dir.path()) + "/";
    QVERIFY(MakeDir(at + "|") && WriteFileAtomically(at + "|/x.qmx", "{{who}} {{ip}}") &&
            QFile::link("|/x.qmx", at + "::1.qms") && QFile::link("|/x.qmx", at + "::1.qms.part"));
    auto run = [&dir, &at](const char* a) {
      QProcess qmx;
      qmx.setWorkingDirectory(dir.path());
      qmx.start(QMX_BINARY, {at + "|/" + a});
      return qmx.waitForFinished() ? qmx.exitCode() : -1;
    };
    QCOMPARE(QList({run("x.qmx|::1|who=%3Cb%3E|x"), run("x.qmx|../../etc/x|a=1"),
                    run("gone.qmx|::2|a=1")}),
             QList({0, 2, 1}));
    QCOMPARE(ReadWholeFile(at + "::1.qms").value_or(""), "&lt;b&gt;|x ::1");
    QCOMPARE(ReadWholeFile(at + "|/x.qmx").value_or(""), "{{who}} {{ip}}");
  }
};

QTEST_GUILESS_MAIN(QmxTest)
#include "tst_qmx.moc"
