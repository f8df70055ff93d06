// Page substitution, the hit counter and the error pages.

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>

#include "core/ini.h"
#include "pages/errorpages.h"
#include "pages/hitcounter.h"
#include "pages/pagesubstitution.h"
#include "util/files.h"

using namespace orvane;

class PagesTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  const QByteArray app_ = QFile::encodeName(dir_.path()) + "/";

  // The name and folder a client chose hold markup; the server name holds the start of a counter.
  QByteArray Substituted(QByteArray page, FooterMode mode = FooterMode::Html) {
    RunSSI(page, mode,
           {app_, "%DATE% %coun", "ter% <i>&'\"", "docs/<b>/", {{2026, 12, 5}, {7, 1, 28}}});
    return page;
  }

 private Q_SLOTS:
  void initTestCase() { QVERIFY(MakeDir(app_ + "system")); }
  void init() { RemoveFile(CounterFile(app_)); }

  void substitution_data() {
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<bool>("text");            // a text file, or else an HTML page
    QTest::addColumn<QByteArray>("expected");  // before the footer, which "*ASCII*" leaves out
    // Each step searches what the earlier ones put in: two values make a counter.
    for (const char* row :
         {"%date% %Date% %TIME% %software% <NOSCRIPT>a</noscript><noscript> %x%|12/5/2026 "
          "12/5/2026 7:01:28 AM Orvane Light 0.7 a</noscript> %x%",
          "%filename% %server-path%|ter% &lt;i&gt;&amp;&#39;&quot; /docs/&lt;b&gt;/",
          "%server-name%%filename% %COUNTER%|%DATE% 1 &lt;i&gt;&amp;&#39;&quot; 1",
          "*ASCII* %date% <noscript> %counter%|*ASCII* %date% <noscript> 1",
          "*ascii* %software% %Counter%|*ascii* Orvane Light 0.7 %Counter%"})
      QTest::newRow(row) << QByteArray(row).split('|')[0] << false << QByteArray(row).split('|')[1];
    QTest::newRow("text file") << QByteArray("%filename% %server-path%") << true
                               << QByteArray("ter% <i>&'\" /docs/<b>/");
    // Tags across the edges of the 4 KiB pieces a step reads (the first step those of the page),
    // after pieces without any, and of the 64 KiB pieces the page is measured in; then many tags.
    auto dots = [](qsizetype size) { return QByteArray(size, '.'); };
    QTest::newRow("long") << dots(4091) + "%DATE%" + dots(61436) + "%date%" +
                                 QByteArray("%SOFTWARE%.%counter%.").repeated(4000)
                          << false
                          << dots(4091) + "12/5/2026" + dots(61436) + "12/5/2026" +
                                 QByteArray("Orvane Light 0.7.1.").repeated(4000);
    QTest::newRow("long, ASCII") << dots(65533) + "*ASCII*" << false << dots(65533) + "*ASCII*";
  }
  void substitution() {
    QFETCH(QByteArray, page);
    QFETCH(bool, text);
    QFETCH(QByteArray, expected);
    const QByteArray footer = page.contains("*ASCII*") ? "" : text ? TextFooter() : HtmlFooter();
    QCOMPARE(Substituted(page, text ? FooterMode::Text : FooterMode::Html), expected + footer);
  }

  void storedCount_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("shown");
    QTest::addColumn<bool>("comma");  // under a locale with a decimal comma
    for (const char* row :
         {"32767|32767", "32766|32767", "32768|1", "abc|1", "4.6|6", "-5|-4", "0x10|1", "|1"})
      QTest::newRow(row) << QByteArray(row).split('|')[0] << QByteArray(row).split('|')[1] << false;
    QTest::newRow("4.6 under a decimal comma") << QByteArray("4.6") << QByteArray("6") << true;
  }
  void storedCount() {
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, shown);
    QFETCH(bool, comma);
    if (comma &&
        QProcess::execute("localedef", {"-i", "de_DE", "-f", "UTF-8", dir_.path() + "/de"}))
      QSKIP("localedef cannot build de_DE here (the locales package has it)");
    QVERIFY(!comma || (qputenv("LOCPATH", app_) && std::setlocale(LC_NUMERIC, "de")));
    QVERIFY(WriteINI("", "counter", stored, CounterFile(app_)));
    const QByteArray page = Substituted("%counter%");
    std::setlocale(LC_NUMERIC, "C");
    QCOMPARE(page, shown + HtmlFooter());
    QCOMPARE(ReadINI("", "counter", CounterFile(app_)), shown);
  }

  void errorPages() {
    // The template file always shows the built-in look: made with its folder when missing,
    // rewritten when edited. A page is whole even where the template cannot be written.
    const QByteArray file = ErrorTemplateFile(app_);
    const QByteArray pristine =
        "<HTML>\r\n<HEAD>\r\n<TITLE>Orvane Light Version 0.7</TITLE>\r\n</HEAD>\r\n<BODY "
        "BGCOLOR=WHITE TEXT=BLACK>\r\n<!--ERROR--!>\r\n</BODY>\r\n</HTML>\r\n";
    RemoveFile(file);
    QVERIFY(::rmdir((app_ + "system").constData()) == 0);
    const QByteArray missing = CreateError(ErrorKind::NotFound, "x<b>.htm", app_).page;
    QCOMPARE(ReadWholeFile(file).value_or(""), pristine);
    QVERIFY(WriteFileAtomically(file, "edited <!--ERROR--!>"));
    QCOMPARE(CreateError(ErrorKind::NotFound, "x<b>.htm", app_).page, missing);
    QCOMPARE(ReadWholeFile(file).value_or(""), pristine);
    QVERIFY(RemoveFile(file) && MakeDir(file));
    // The page of a missing file is compared whole in the request table.
    for (const auto& [kind, message] :
         {std::pair{ErrorKind::UnsupportedScript, "500:</h1>\r\nWe <b>don't</b> support CGI/Perl"},
          {ErrorKind::MissingInterpreter, "124:</h1>\r\nWe are missing QMX"}})
      QCOMPARE(CreateError(kind, "x<b>.htm", app_).page,
               QByteArray(missing).replace("404:</h1>\r\nFile Not Found", message));
  }
};

QTEST_GUILESS_MAIN(PagesTest)
#include "tst_pages.moc"
