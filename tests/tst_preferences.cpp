// The preferences form without widgets: the field rules, and what Save checks, says and writes.

#include <QTemporaryDir>
#include <QTest>

#include "core/preferencesform.h"
#include "testshell.h"
#include "util/files.h"

using namespace orvane;

class PreferencesTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void form_data() {
    // The edits as a user makes them: "N=text" types into field N, "admin" ticks the
    // administration box, "save" saves.
    QTest::addColumn<QByteArray>("config");  // none when empty; a folder for "<folder>"
    QTest::addColumn<QByteArrayList>("edits");
    QTest::addColumn<QByteArray>("state");  // the texts, then 1/0: three boxes, admin fields, Save
    QTest::addColumn<QByteArray>("said");   // the message boxes, a "title style: text" line each
    QTest::addColumn<QByteArray>("file");   // server.cfg after
    const auto Row = [](const char* name, QByteArray config, QByteArrayList edits, QByteArray state,
                        QByteArray said, QByteArray file) {
      QTest::newRow(name) << config << edits << state << said << file;
    };
    const QByteArray tip = QByteArray("Tip! 64: Remember! These setting's will not take place ") +
                           "until you restart the Orvane application!\n";
    const QByteArray no = tip + "Orvane-Light 0: ";  // Save refuses after its tip
    const QByteArray server =
        "[Server]\nServerName=Orvane Light v.0.7\nIndexFile=index.html\nMaxConnect=50\nPort=80\n"
        "HttpHeaders=0\n[Window]\nNotify=1\n";
    Row("typed; Allow=0 leaves the fields open; unticked: no password checks", "[Admin]\nAllow=0\n",
        {"1=   ", "2= ", "3=08x", "4= 81x", "5= a ", "6= b ", "8=x1", "save"},
        "Orvane Light 0.7|index.html|8|81| a | b ||x1|00110", tip,
        "[Admin]\nAllow=0\nUserName=\" a \"\nPassword=\" b \"\nPort=x1\n[Server]\nServerName="
        "Orvane Light "
        "0.7\nIndexFile=index.html\nMaxConnect=8\nPort=81\nHttpHeaders=0\n[Window]\nNotify=1\n");
    Row("from the file, then saved",
        "[Server]\nServerName=Site\nMaxConnect=020\nPort=8080\nHttpHeaders=1\n[Admin]\nAllow=1\n"
        "UserName=me\nPassword=secret\nPort=6000\n[Window]\nNotify=0\n",
        {"1=My Site", "3=-5", "8= 6001 ", "save"},
        "My Site|index.html|-5|8080|me|secret|secret| 6001 |11010", tip,
        "[Server]\nServerName=My Site\nMaxConnect=-5\nPort=8080\nHttpHeaders=1\n"
        "IndexFile=index.html\n[Admin]\nAllow=1\nUserName=me\nPassword=secret\nPort=6001\n[Window]"
        "\n"
        "Notify=0\n");
    Row("three characters, then passwords that differ in case", {},
        {"admin", "8= ", "6=abc", "7=abc", "save", "6=Secret", "7=secret", "save"},
        "Orvane Light v.0.7|index.html|50|80||||5656|10111",
        no + "Your password must be at least 4 characters in length\rPlease enter in a new " +
            "password, and save again\n" + no + "Administrator passwords do not match\rPasswords " +
            "are Case-Sensitive...Please check your entries, and try again\n",
        server);
    Row("same ports", {}, {"8=80", "save"}, "Orvane Light v.0.7|index.html|50|80||||81|00111",
        no + "You cannot use the same Admin-Login port as the server port.\rPlease choose " +
            "another port, and save again\n",
        server);
    Row("HTTPS boxes: a Tls key is written once checked", "[Admin]\nTls=1\n", {"tls", "save"},
        "Orvane Light v.0.7|index.html|50|80||||5656|00110", tip,
        "[Admin]\nTls=0\nAllow=0\nUserName=\nPassword=\nPort=5656\n" +
            QByteArray(server).replace("[W", "Tls=1\n[W"));
    Row("cannot be written: said, and the edits stay unsaved", "<folder>", {"1=x", "save"},
        "x|index.html|50|80||||5656|00111",
        tip + "Not Saved 16: The settings could not be saved to <file>.\r\n\r\nIs a directory" +
            "\r\n\r\nYour changes are still in the dialog.\n",
        "");
  }
  void form() {
    QFETCH(QByteArray, config);
    QFETCH(QByteArrayList, edits);
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.path()) + "/server.cfg";
    if (!config.isEmpty())
      QVERIFY(config == "<folder>" ? MakeDir(path) : WriteFileAtomically(path, config));
    TestShell shell;
    Desktop desktop(shell);
    PreferencesForm form(desktop, path);
    form.Load();
    for (const QByteArray& edit : edits)
      edit == "save"    ? form.Save()
      : edit == "admin" ? form.SetChecked(true)
                        : edit == "tls"
          ? form.SetBoxChecked(form.ServerTls, true),
          form.SetBoxChecked(form.AdminTls, false)
          : form.SetText(PreferencesForm::Field(edit[0] - '0'), edit.mid(2));
    QByteArray state, said;
    for (int f = 1; f <= 8; ++f) state += form.Text(PreferencesForm::Field(f)) + '|';
    QTEST(state + char('0' + form.Checked()) + char('0' + form.BoxChecked(form.Headers)) +
              char('0' + form.BoxChecked(form.Notify)) + char('0' + form.AdminFieldsEnabled()) +
              char('0' + form.SaveEnabled()),
          "state");
    QTEST(ReadWholeFile(path).value_or(QByteArray()), "file");
    for (const ShownMessage& m : shell.messages)
      said += m.title + ' ' + QByteArray::number(m.style) + ": " + m.text + '\n';
    QTEST(said.replace(path, "<file>"), "said");
    QVERIFY(form.Close());  // the shell answers Yes where it asks
  }
};

QTEST_GUILESS_MAIN(PreferencesTest)
#include "tst_preferences.moc"
