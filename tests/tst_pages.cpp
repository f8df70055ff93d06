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
  PageContext Context() const {
    return {app_, "%DATE% %coun", "ter% <i>&'\"", "docs/<b>/", {{2026, 12, 5}, {7, 1, 28}}};
  }
  QByteArray Substituted(QByteArray page, FooterMode mode = FooterMode::Html) {
    RunSSI(page, mode, Context());
    return page;
  }

 private Q_SLOTS:
  void initTestCase() { QVERIFY(MakeDir(app_ + "system")); }
  void init() { RemoveFile(CounterFile(app_)); }
  void cleanup() { std::setlocale(LC_NUMERIC, "C"); }

  void substitution_data() {
    QTest::addColumn<QByteArrayList>("row");  // page, before the footer, "text" if a text file
    // Each step searches what the earlier ones put in: two values make a counter.
    for (const char* row :
         {"%date% %Date% %TIME% %software% <NOSCRIPT>a</noscript><noscript> %x%|12/5/2026 "
          "12/5/2026 7:01:28 AM Orvane Light 0.7 a</noscript> %x%",
          "%filename% %server-path%|ter% <i>&'\" /docs/<b>/|text",
          "%server-name%%filename% %server-path% %COUNTER%|%DATE% 1 &lt;i&gt;&amp;&#39;&quot; "
          "/docs/&lt;b&gt;/ 1",
          "*ASCII* %date% <noscript> %counter%|*ASCII* %date% <noscript> 1",
          "*ascii* %software% %Counter%|*ascii* Orvane Light 0.7 %Counter%"})
      QTest::newRow(row) << QByteArray(row).split('|');
    // Tags across the edges of the 4 KiB pieces a step reads (the first step those of the page),
    // after pieces without any, and of the 64 KiB pieces the page is measured in; then many tags.
    auto dots = [](qsizetype size) { return QByteArray(size, '.'); };
    QTest::newRow("long") << QByteArrayList{dots(4091) + "%DATE%" + dots(61436) + "%date%" +
                                                QByteArray("%SOFTWARE%.%counter%.").repeated(4000),
                                            dots(4091) + "12/5/2026" + dots(61436) + "12/5/2026" +
                                                QByteArray("Orvane Light 0.7.1.").repeated(4000)};
    QTest::newRow("long, ASCII") << QByteArrayList(2, dots(65533) + "*ASCII*");
  }
  void substitution() {
    QFETCH(QByteArrayList, row);
    const bool text = row.size() > 2;
    const QByteArray footer = row[0].contains("*ASCII*") ? "" : text ? TextFooter() : HtmlFooter();
    QCOMPARE(Substituted(row[0], FooterMode(text)), row[1] + footer);
    // Pages too big to hold are made a piece at a time as they are sent, to the same result.
    RemoveFile(CounterFile(app_));
    PageSubstitution streamed([&] { return std::make_unique<TextBytes>(row[0]); }, FooterMode(text),
                              Context());
    QCOMPARE(WholePage(streamed).value_or(""), row[1] + footer);
  }

  void storedCount_data() {
    QTest::addColumn<QByteArrayList>("cells");  // stored, shown, and "," under a decimal comma
    for (const char* row :
         {"32767|32767", "32766|32767", "32768|1", "abc|1", "4.6|6", "-5|-4", "0x10|1", "4.6|6|,"})
      QTest::newRow(row) << QByteArray(row).split('|');
  }
  void storedCount() {
    QFETCH(QByteArrayList, cells);
    if (cells.size() > 2 &&
        QProcess::execute("localedef", {"-i", "de_DE", "-f", "UTF-8", dir_.path() + "/de"}))
      QSKIP("localedef cannot build de_DE here (the locales package has it)");
    QVERIFY(cells.size() < 3 || (qputenv("LOCPATH", app_) && std::setlocale(LC_NUMERIC, "de")));
    QVERIFY(WriteINI("", "counter", cells[0], CounterFile(app_)));
    QCOMPARE(Substituted("%counter%"), cells[1] + HtmlFooter());
    QCOMPARE(ReadINI("", "counter", CounterFile(app_)), cells[1]);
  }

  void errorPages() {
    // The template file always shows the built-in look: made with its folder when missing,
    // rewritten when edited. A page is whole even where the template cannot be written.
    const QByteArray file = ErrorTemplateFile(app_);
    const QByteArray pristine =
        "<HTML>\r\n<HEAD>\r\n<TITLE>Orvane Light Version 0.7</TITLE>\r\n</HEAD>\r\n<BODY "
        "BGCOLOR=WHITE TEXT=BLACK>\r\n<!--ERROR--!>\r\n</BODY>\r\n</HTML>\r\n";
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
