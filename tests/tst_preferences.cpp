// The preferences form: field rules, save checks and the order of writes, without widgets.

#include <QTemporaryDir>
#include <QTest>

#include "core/ini.h"
#include "core/preferencesform.h"
#include "testshell.h"
#include "util/files.h"

using namespace orvane;
using Form = PreferencesForm;

class PreferencesTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> dir_;
  QByteArray file_;
  std::unique_ptr<TestShell> shell_;
  std::unique_ptr<Desktop> desktop_;
  std::unique_ptr<Form> form_;

  QByteArray Content() const { return ReadWholeFile(file_).value_or("<none>"); }
  void Open(const QByteArray& content = {}) {
    if (!content.isEmpty()) QVERIFY(WriteFileAtomically(file_, content));
    form_ = std::make_unique<Form>(*desktop_, file_);
    form_->Load();
  }
  // Fills the administrator part as a user would.
  void Admin(const QByteArray& password, const QByteArray& confirm) {
    form_->SetChecked(true);
    form_->SetText(Form::AdminName, "me");
    form_->SetText(Form::AdminPassword, password);
    form_->SetText(Form::ConfirmPassword, confirm);
  }
  QByteArrayList Titles() const {
    QByteArrayList titles;
    for (const ShownMessage& m : shell_->messages) titles << m.title + ":" + m.text.left(24);
    return titles;
  }

 private Q_SLOTS:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    file_ = QFile::encodeName(dir_->path()) + "/server.cfg";
    shell_ = std::make_unique<TestShell>();
    desktop_ = std::make_unique<Desktop>(*shell_);
  }

  void openingWithoutAFile() {
    Open();
    const QByteArrayList texts = {"Orvane Light 0.7", "index.html", "100", "0", "", "", "", "5656"};
    for (int field = 1; field <= 8; ++field) {
      QCOMPARE(form_->Text(Form::Field(field)), texts[field - 1]);
    }
    QVERIFY(!form_->Checked());
    QVERIFY(!form_->HeadersChecked());
    QVERIFY(form_->AdminFieldsEnabled());
    QVERIFY(!form_->SaveEnabled());
    QVERIFY(!PathExists(file_));  // opening writes nothing
  }

  void openingFillsFromTheFile() {
    Open(
        "[Server]\nServerName=Site\nMaxConnect=020\nPort=8080\nHttpHeaders=1\n"
        "[Admin]\nAllow=1\nUserName=me\nPassword=secret\nPort=6000\n");
    QCOMPARE(form_->Text(Form::MaxUsers), QByteArray("20"));
    QCOMPARE(form_->Text(Form::ConfirmPassword), QByteArray("secret"));
    QVERIFY(form_->Checked());
    QVERIFY(form_->HeadersChecked());
    QVERIFY(!form_->SaveEnabled());
  }

  void fieldRules_data() {
    QTest::addColumn<int>("field");
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<QByteArray>("shown");
    QTest::newRow("blank server name") << 1 << QByteArray("   ") << QByteArray("Orvane Light 0.7");
    QTest::newRow("blank index page") << 2 << QByteArray("") << QByteArray("index.html");
    QTest::newRow("letters in max users") << 3 << QByteArray("ab") << QByteArray("100");
    QTest::newRow("zero max users") << 3 << QByteArray("0") << QByteArray("100");
    QTest::newRow("digits then letters") << 3 << QByteArray("08x") << QByteArray("8");
    QTest::newRow("leading minus in max users") << 3 << QByteArray("-5") << QByteArray("-5");
    QTest::newRow("minus alone in a port") << 4 << QByteArray("-") << QByteArray("0");
    QTest::newRow("port with blanks") << 4 << QByteArray(" 81x") << QByteArray("81");
    QTest::newRow("blank admin port") << 8 << QByteArray(" ") << QByteArray("5656");
    QTest::newRow("admin port keeps letters") << 8 << QByteArray("x1") << QByteArray("x1");
    QTest::newRow("password as typed") << 6 << QByteArray(" a ") << QByteArray(" a ");
  }
  void fieldRules() {
    QFETCH(int, field);
    QFETCH(QByteArray, typed);
    QFETCH(QByteArray, shown);
    Open();
    form_->SetText(Form::Field(field), typed);
    QCOMPARE(form_->Text(Form::Field(field)), shown);
    QVERIFY(form_->SaveEnabled());
  }

  void checkBoxRule() {
    Open("[Admin]\nAllow=0\n");
    QVERIFY(form_->AdminFieldsEnabled());  // unchecked to unchecked is no change
    form_->SetChecked(true);
    QVERIFY(form_->AdminFieldsEnabled());
    form_->SetChecked(false);
    QVERIFY(!form_->AdminFieldsEnabled());
    QVERIFY(form_->SaveEnabled());
  }

  void saveWritesInOrder() {
    Open();
    form_->SetText(Form::ServerName, "My Site");
    form_->SetHeadersChecked(true);
    Admin("abcd", "abcd");
    form_->SetText(Form::AdminPort, " 6000 ");
    form_->Save();
    QCOMPARE(Titles(), QByteArrayList({"Tip!:Remember! These setting'"}));
    QCOMPARE(shell_->messages[0].style, int(kOkInformation));
    QCOMPARE(shell_->messages[0].text,
             QByteArray("Remember! These setting's will not take place until you restart the "
                        "Orvane application!"));
    QCOMPARE(Content(), QByteArray("[Server]\nServerName=My Site\nIndexFile=index.html\n"
                                   "MaxConnect=100\nPort=0\nHttpHeaders=1\n[Admin]\nAllow=1\n"
                                   "UserName=me\nPassword=abcd\nPort=6000\n"));
    QVERIFY(!form_->SaveEnabled());
    QVERIFY(form_->Close());
    QCOMPARE(shell_->messages.size(), 1);  // nothing unsaved: no question
  }

  void saveChecks_data() {
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("confirm");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("case differs")
        << QByteArray("Secret") << QByteArray("secret")
        << QByteArray(
               "Administrator passwords do not match\rPasswords are Case-Sensitive...Please "
               "check your entries, and try again");
    QTest::newRow("three characters")
        << QByteArray("abc") << QByteArray("abc")
        << QByteArray(
               "Your password must be at least 4 characters in length\rPlease enter in a "
               "new password, and save again");
  }
  void saveChecks() {
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, confirm);
    QFETCH(QByteArray, message);
    Open("[Admin]\nAllow=0\nPassword=old\n");
    Admin(password, confirm);
    form_->Save();
    QCOMPARE(shell_->messages.size(), 2);
    QCOMPARE(shell_->messages[1].text, message);
    QCOMPARE(shell_->messages[1].style, int(kOkOnly));
    QCOMPARE(shell_->messages[1].title, QByteArray("Orvane-Light"));
    QCOMPARE(form_->Text(Form::AdminPassword), QByteArray());
    QCOMPARE(form_->Text(Form::ConfirmPassword), QByteArray());
    QVERIFY(form_->SaveEnabled());
    // The Server keys are written; the Admin section is not touched.
    QCOMPARE(ReadINI("Server", "MaxConnect", file_), QByteArray("100"));
    QCOMPARE(ReadINI("Admin", "Password", file_), QByteArray("old"));
  }

  void uncheckedBoxSkipsThePasswordChecks() {
    Open();
    form_->SetText(Form::AdminPassword, "x");
    form_->Save();
    QCOMPARE(shell_->messages.size(), 1);
    QCOMPARE(ReadINI("Admin", "Password", file_), QByteArray("x"));
    QCOMPARE(ReadINI("Admin", "Allow", file_), QByteArray("0"));
  }

  void samePorts() {
    Open();
    form_->SetText(Form::ServerPort, "80");
    form_->SetText(Form::AdminPort, "80");
    form_->Save();
    QCOMPARE(shell_->messages.last().text,
             QByteArray("You cannot use the same Admin-Login port as the server port.\rPlease "
                        "choose another port, and save again"));
    QCOMPARE(form_->Text(Form::AdminPort), QByteArray("81"));
    QCOMPARE(ReadINI("Admin", "Port", file_), QByteArray());
    form_->Save();
    QCOMPARE(shell_->messages.size(), 3);  // the second save shows only its "Tip!"
    QCOMPARE(ReadINI("Admin", "Port", file_), QByteArray("81"));
  }

  void closeWithUnsavedChanges() {
    Open();
    form_->SetText(Form::IndexPage, "home.html");
    shell_->answers = {kAnswerNo, kAnswerYes};
    QVERIFY(!form_->Close());
    QCOMPARE(form_->Text(Form::IndexPage), QByteArray("home.html"));
    QVERIFY(form_->Close());
    QCOMPARE(shell_->messages[0].title, QByteArray("Unsaved Data"));
    QCOMPARE(shell_->messages[0].style, int(kYesNo));
    QCOMPARE(shell_->messages[0].text,
             QByteArray("You have setting's that are unsaved, if you continue you will loose "
                        "these settings.\r\n\r\nContinue w/o saving?"));
  }
};

QTEST_GUILESS_MAIN(PreferencesTest)
#include "tst_preferences.moc"
