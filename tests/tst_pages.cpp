#include <sys/stat.h>
#include <unistd.h>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <clocale>

#include "core/ini.h"
#include "pages/errorpages.h"
#include "pages/hitcounter.h"
#include "pages/pagesubstitution.h"
#include "util/files.h"
#include "util/text.h"

using namespace orvane;

class PagesTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  QByteArray app_;

  PageContext Context() {
    return {app_, "My Server", "sub/page.html", "docs/sub/",
            QDateTime(QDate(2026, 12, 5), QTime(7, 1, 28))};
  }
  QByteArray Substituted(QByteArray page, FooterMode mode = FooterMode::Html) {
    RunSSI(page, mode, Context());
    return page;
  }
  QByteArray CounterText() { return ReadINI("", "counter", CounterFile(app_)); }

 private Q_SLOTS:
  void init() {
    app_ = QFile::encodeName(dir_.path()) + "/";
    MakeDir(app_ + "system");
    RemoveFile(CounterFile(app_));
  }

  void tags_data() {
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("date") << QByteArray("%date%") << QByteArray("12/5/2026");
    QTest::newRow("date in any case")
        << QByteArray("%Date%|%DATE%") << QByteArray("12/5/2026|12/5/2026");
    QTest::newRow("time") << QByteArray("%time%") << QByteArray("7:01:28 AM");
    QTest::newRow("software") << QByteArray("%software%") << QByteArray("Orvane Light 0.7");
    QTest::newRow("server name") << QByteArray("%server-name%") << QByteArray("My Server");
    QTest::newRow("file name") << QByteArray("%filename%") << QByteArray("sub/page.html");
    QTest::newRow("server path") << QByteArray("%server-path%") << QByteArray("/docs/sub/");
    QTest::newRow("noscript opening tags go")
        << QByteArray("<NOSCRIPT>a</noscript><noscript>") << QByteArray("a</noscript>");
    QTest::newRow("unknown tag stays") << QByteArray("%other%") << QByteArray("%other%");
  }
  void tags() {
    QFETCH(QByteArray, page);
    QFETCH(QByteArray, expected);
    QCOMPARE(Substituted(page), expected + HtmlFooter());
  }

  void strangerTextIsEscapedInHtml() {
    // What a client chooses (the name it asks for, the folder it lists) never becomes markup in
    // an HTML page; a text file gets it as it is.
    PageContext context = Context();
    context.requestName = "<script>x</script>&'\".htm";
    context.listingPath = "docs/<b>/";
    QByteArray page = "%filename%|%server-path%";
    RunSSI(page, FooterMode::Html, context);
    QCOMPARE(page,
             "&lt;script&gt;x&lt;/script&gt;&amp;&#39;&quot;.htm|/docs/&lt;b&gt;/" + HtmlFooter());
    page = "%filename%|%server-path%";
    RunSSI(page, FooterMode::Text, context);
    QCOMPARE(page, "<script>x</script>&'\".htm|/docs/<b>/" + TextFooter());
  }

  void streamedLikeWhole_data() {
    QTest::addColumn<QByteArray>("page");
    const QByteArray filler(70000, '.');
    // Tags on either side of the 64 KiB pieces, and across their edges.
    QTest::newRow("tags across edges") << filler.left(65530) + "%SOFTWARE%" + filler +
                                              "%date%%time%" + filler.left(131072 - 7) +
                                              "<noscript>%counter%";
    QTest::newRow("ASCII near the end")
        << "%date%" + filler + filler + "*ASC" + "II* %counter% %COUNTER%";
    QTest::newRow("ASCII across an edge") << filler.left(65533) + "*ASCII* %date%";
    QTest::newRow("counter made by a value")
        << filler.left(65536 - 5) + "%COUnter% %server-name%%filename%";
  }
  void streamedLikeWhole() {
    // The page made a piece at a time is the page made whole, as one replacement after another.
    QFETCH(QByteArray, page);
    PageContext context = Context();
    context.serverName = "%coun";
    context.requestName = "ter%";
    QByteArray whole = page;
    if (!whole.contains("*ASCII*")) {
      for (const auto& [tag, value] : std::initializer_list<std::pair<const char*, QByteArray>>{
               {"%date%", "12/5/2026"},
               {"%time%", "7:01:28 AM"},
               {"%software%", "Orvane Light 0.7"},
               {"%server-name%", context.serverName},
               {"%filename%", context.requestName},
               {"%server-path%", "/" + context.listingPath},
               {"<noscript>", ""}}) {
        whole = ReplaceText(whole, tag, value);
      }
      whole += HtmlFooter();
    }
    if (whole.contains("%counter%")) whole = ReplaceText(whole, "%counter%", "1");
    RunSSI(page, FooterMode::Html, context);
    QCOMPARE(page.size(), whole.size());
    QVERIFY(page == whole);
  }

  void orderOfSubstitutions() {
    // A value put in by an earlier step is searched by the later ones.
    PageContext context = Context();
    context.serverName = "Name %filename% %DATE%";
    QByteArray page = "%server-name%";
    RunSSI(page, FooterMode::Html, context);
    QCOMPARE(page, "Name sub/page.html %DATE%" + HtmlFooter());
  }

  void asciiMarker() {
    QCOMPARE(Substituted("*ASCII* %date% <noscript>"), QByteArray("*ASCII* %date% <noscript>"));
    QCOMPARE(Substituted("*ASCII* %counter%"), QByteArray("*ASCII* 1"));
    QCOMPARE(Substituted("*ascii* %software%"), "*ascii* Orvane Light 0.7" + HtmlFooter());
  }

  void counter() {
    QCOMPARE(Substituted("%counter%"), "1" + HtmlFooter());
    QCOMPARE(Substituted("%counter%"), "2" + HtmlFooter());
    QCOMPARE(CounterText(), QByteArray("2"));
    QCOMPARE(ReadWholeFile(CounterFile(app_)).value_or(""), QByteArray("[]\ncounter=2\n"));
    // Every occurrence shows the same number; only the lower-case tag starts the count.
    QCOMPARE(Substituted("%counter% %COUNTER%"), "3 3" + HtmlFooter());
    QCOMPARE(Substituted("%Counter%"), "%Counter%" + HtmlFooter());
    QCOMPARE(CounterText(), QByteArray("3"));
  }

  void storedCount_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("shown");
    QTest::newRow("at the limit") << QByteArray("32767") << QByteArray("32767");
    QTest::newRow("just below") << QByteArray("32766") << QByteArray("32767");
    QTest::newRow("out of range") << QByteArray("40000") << QByteArray("1");
    QTest::newRow("letters") << QByteArray("abc") << QByteArray("1");
    QTest::newRow("fraction rounds") << QByteArray("4.6") << QByteArray("6");
    QTest::newRow("negative") << QByteArray("-5") << QByteArray("-4");
    QTest::newRow("hexadecimal is no count") << QByteArray("0x10") << QByteArray("1");
    QTest::newRow("empty") << QByteArray("") << QByteArray("1");
  }
  void storedCount() {
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, shown);
    QVERIFY(WriteINI("", "counter", stored, CounterFile(app_)));
    QCOMPARE(Substituted("%counter%"), shown + HtmlFooter());
    QCOMPARE(CounterText(), shown);
  }

  void counterUnderCommaLocale() {
    // The program runs under the user's locale; a stored "4.6" is still four point six there.
    QTemporaryDir locales;
    const QByteArray where = QFile::encodeName(locales.path());
    if (QProcess::execute(QStringLiteral("localedef"),
                          {"-i", "de_DE", "-f", "UTF-8", locales.path() + "/de_DE.UTF-8"}) != 0) {
      QSKIP("localedef cannot build de_DE here (the locales package has it)");
    }
    qputenv("LOCPATH", where);
    QVERIFY(std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr);
    QVERIFY(WriteINI("", "counter", "4.6", CounterFile(app_)));
    const QByteArray page = Substituted("%counter%");
    std::setlocale(LC_NUMERIC, "C");
    QCOMPARE(page, "6" + HtmlFooter());
  }

  void errorPage_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("heading");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("mark");
    QTest::newRow("404") << 1 << QByteArray("Error 404:")
                         << QByteArray("File Not Found (/x&lt;b&gt;.htm).") << QByteArray("404 /");
    QTest::newRow("500") << 2 << QByteArray("Error 500:")
                         << QByteArray("We <b>don't</b> support CGI/Perl (/x&lt;b&gt;.htm).")
                         << QByteArray("500 /");
    QTest::newRow("124") << 3 << QByteArray("Error 124:")
                         << QByteArray("We are missing QMX (/x&lt;b&gt;.htm).")
                         << QByteArray("124 /");
  }
  void errorPage() {
    QFETCH(int, kind);
    QFETCH(QByteArray, heading);
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, mark);
    const ErrorPage error = CreateError(static_cast<ErrorKind>(kind), "x<b>.htm", app_);
    QCOMPARE(error.page,
             "<HTML>\r\n<HEAD>\r\n<TITLE>Orvane Light Version 0.7</TITLE>\r\n</HEAD>\r\n"
             "<BODY BGCOLOR=WHITE TEXT=BLACK>\r\n<font face=arial><h1>" +
                 heading + "</h1>\r\n" + message +
                 "\r\n<BR></font><HR><BR><Center><b>Orvane Light Version "
                 "0.7</b></center></html>\r\n</BODY>\r\n</HTML>\r\n");
    QCOMPARE(error.logMark, mark);
  }

  void errorTemplateRewritten() {
    RemoveFile(ErrorTemplateFile(app_));
    ::rmdir((app_ + "system").constData());
    CreateError(ErrorKind::NotFound, "a", app_);
    const QByteArray pristine = ReadWholeFile(ErrorTemplateFile(app_)).value_or("");
    QVERIFY(pristine.contains("<!--ERROR--!>"));  // folder and file created
    QCOMPARE(pristine.count("\r\n"), 8);
    QVERIFY(WriteFileAtomically(ErrorTemplateFile(app_), "edited <!--ERROR--!>"));
    const ErrorPage error = CreateError(ErrorKind::NotFound, "a", app_);
    QVERIFY(!error.page.contains("edited"));
    QCOMPARE(ReadWholeFile(ErrorTemplateFile(app_)).value_or(""), pristine);
  }

  void errorPageWhenTemplateCannotBeWritten() {
    QTemporaryDir other;
    const QByteArray app = QFile::encodeName(other.path()) + "/";
    QVERIFY(MakeDir(app + "system"));
    QVERIFY(MakeDir(ErrorTemplateFile(app)));  // a folder where the template belongs
    const ErrorPage error = CreateError(ErrorKind::NotFound, "gone.htm", app);
    QVERIFY(error.page.startsWith("<HTML>\r\n"));
    QVERIFY(error.page.contains("File Not Found (/gone.htm).\r\n"));
    QVERIFY(error.page.endsWith("</HTML>\r\n"));
  }
};

QTEST_GUILESS_MAIN(PagesTest)
#include "tst_pages.moc"
