// The main window and its preferences dialog with the core behind them: offscreen, and on a real
// X server with a tray from desktop_x11.sh.

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "admin/adminsite.h"
#include "core/lifecycle.h"
#include "shell/mainwindow.h"
#include "shell/transferview.h"
#include "sitefixture.h"
#include "web/publicserver.h"

using namespace orvane;

class WindowTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  MainWindow window_;
  AppState state_{window_};
  PublicServer web_{state_};
  AdminSite admin_{state_, web_};
  Lifecycle lifecycle_{state_, web_, admin_};
  QTimer answerer_;  // a message box runs a loop of its own: this answers it from there
  QList<QMessageBox::StandardButton> answers_;  // for the next boxes; then their first button
  QStringList shown_;  // every box answered, as "title (icon): text"; icon 1 informs, 2 warns

  QAction* Action(const char* name) { return window_.findChild<QAction*>(QLatin1String(name)); }

 private Q_SLOTS:
  void initTestCase() {
    window_.Attach(state_, lifecycle_);
    lifecycle_.StartUp(QFile::encodeName(dir_.path()) + "/", {});
    state_.settings.RunningPort = 0;  // a port the system picks; the file's Port=0 means 80
    window_.ShowAfterStartUp();
    connect(&answerer_, &QTimer::timeout, this, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      shown_ << QString("%1 (%2): %3").arg(box->windowTitle()).arg(box->icon()).arg(box->text());
      (answers_.isEmpty() ? box->buttons().value(0) : box->button(answers_.takeFirst()))->click();
    });
    answerer_.start(10);
  }
  void lookAndKeys() {
    // The log's columns line up; the smallest window shows every panel whole; F10, and Alt with
    // the underlined letter, open the menus.
    QVERIFY(QFontInfo(window_.LogView()->font()).fixedPitch());
    window_.resize(1, 1);
    for (auto* p : window_.findChildren<QLabel*>(QRegularExpression("^Panel")))
      QTRY_VERIFY(p->contentsRect().width() >= p->fontMetrics().horizontalAdvance(p->text()));
    window_.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window_));
    QTest::keyClick(&window_, Qt::Key_F10);
    QTRY_COMPARE(window_.menuBar()->activeAction(),
                 window_.findChild<QMenu*>("menu_File")->menuAction());
    QTest::keyClick(window_.menuBar(), Qt::Key_Escape);
    QTest::keyClick(&window_, Qt::Key_O, Qt::AltModifier);
    QTRY_VERIFY(window_.findChild<QMenu*>("opt")->isVisible());
    window_.findChild<QMenu*>("opt")->close();
  }
  void transfers() {
    // A download the client takes slowly is a row with its progress; cut short, it is marked cut.
    Action("menu_RunServer")->trigger();
    const QByteArray docs = QFile::encodeName(dir_.path()) + "/docs/";
    QVERIFY(MakeDir(docs) && WriteFileAtomically(docs + "big.bin", QByteArray(32 << 20, 'b')));
    RawClient client(web_.ListeningPort(), 4096);
    QVERIFY(client.Send("GET /big.bin HTTP/1.0\r\n\r\n"));
    auto* view = window_.Transfers();
    const auto row = [view] {
      QStringList cells;
      for (int c = 0; view->rowCount() > 0 && c < view->columnCount(); ++c)
        cells << view->item(0, c)->text();
      return cells;
    };
    // A real X server under load may take its time: these wait longer than the default.
    QTRY_VERIFY_WITH_TIMEOUT(
        row().value(2) > "0" && row().value(4).endsWith('%') && row()[4] != "100%", 20000);
    QCOMPARE(row().mid(0, 2), QStringList({"127.0.0.1", "big.bin"}));
    client.Reset();
    QTRY_COMPARE_WITH_TIMEOUT(row().value(4), "cut", 20000);
  }
  void notifications() {
    // In the tray, the window tells of a login in a balloon by the icon.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) QSKIP("no tray here: desktop_x11.sh gives one");
    state_.settings.AdminUserName = "admin";
    state_.settings.AdminPassword = "Secret1";
    state_.settings.AdminAllow = "1";
    QVERIFY(admin_.Listen(0));
    QVERIFY(QTest::qWaitForWindowExposed(&window_));  // or the window manager misses the request
    window_.setWindowState(Qt::WindowMinimized);      // as the window manager's button does
    QTRY_VERIFY_WITH_TIMEOUT(!window_.isVisible(), 20000);
    RawClient client(admin_.ListeningPort());
    QVERIFY(client.Send(Post(LoginBody("admin", "Secret1"))) && client.WaitClosed());
    const auto balloon = [] {
      QStringList texts;
      for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->inherits("QBalloonTip"))
          for (auto* label : w->findChildren<QLabel*>())
            texts << label->text();  // icon, title, text
      return texts;
    };
    QTRY_COMPARE_WITH_TIMEOUT(balloon().join('/'),
                              "/Orvane Light 0.7/Administrator logged in from 127.0.0.1", 20000);
    window_.showNormal();
  }
  void trayMenu() {
    // It shares the File menu's actions (their state and questions); it copies the address.
    auto* tray = window_.findChild<QMenu*>("trayMenu");
    QVERIFY(tray->actions().contains(Action("menu_RunServer")) &&
            tray->actions().contains(Action("menu_StopServer")));
    state_.settings.RunningPort = 8080;
    tray->actions().value(5)->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text().section(':', 2), "8080/");
    // The QR code, read back by a reader made for them, gives the same address.
    tray->actions().value(6)->trigger();
    auto* qr = window_.findChild<QDialog*>("frmQr");
    QVERIFY(qr->findChild<QLabel*>("QrCode")->pixmap().save(dir_.path() + "/qr.png"));
    QProcess zbar;
    zbar.start("zbarimg", {"--raw", "-q", dir_.path() + "/qr.png"});
    QVERIFY2(zbar.waitForFinished(20000), "zbarimg (zbar-tools) did not run");
    QCOMPARE(zbar.readAllStandardOutput().trimmed(),
             QGuiApplication::clipboard()->text().toLatin1());
    qr->close();
    state_.settings.RunningPort = 0;
  }
  void menusLogAndPreferences() {
    Action("menu_RunServer")->trigger();
    QVERIFY(!Action("menu_RunServer")->isEnabled() && Action("menu_StopServer")->isEnabled());
    for (int i = 0; i < 40000; ++i) state_.desktop.AppendLog("line " + QByteArray::number(i));
    QTRY_COMPARE(window_.LogView()->model()->index(32766, 0).data().toString(), "line 39999");
    answers_ = {QMessageBox::No, QMessageBox::No, QMessageBox::Yes};  // close: No; stop: No, Yes
    QVERIFY(!window_.close());
    for (int i = 0; i < 2; ++i) Action("menu_StopServer")->trigger();
    QTRY_COMPARE(window_.findChild<QLabel*>("Panel1")->text(), "Offline");
    QCOMPARE(window_.LogView()->model()->rowCount(), 0);

    Action("menu_Options")->trigger();
    QPointer<QDialog> dialog = window_.findChild<QDialog*>();
    auto* port = dialog->findChild<QLineEdit*>("Text4");
    auto* save = dialog->findChild<QAbstractButton*>("Command1");
    QVERIFY(!dialog->isModal() && port->text() == "80" && !save->isEnabled());  // as in force
    port->selectAll();
    QTest::keyClicks(port, "8x");  // the rule makes 8 of "8x"
    QVERIFY(port->text() == "8" && save->isEnabled());
    for (int i = 0; i < 2; ++i) dialog->findChild<QAbstractButton*>("Check1")->click();
    QVERIFY(!dialog->findChild<QLineEdit*>("Text6")->isEnabled());  // unticked: administrator off
    Action("menu_Options")->trigger();                              // only brings it forward
    QCOMPARE(window_.findChildren<QDialog*>(), QList<QDialog*>{dialog});
    answers_ = {QMessageBox::No};
    dialog->findChild<QAbstractButton*>("Command2")->click();
    save->click();
    QVERIFY(dialog->isVisible() && !save->isEnabled());        // No kept it open; Save left nothing
    dialog->findChild<QAbstractButton*>("Command2")->click();  // nothing unsaved: no question
    QTRY_VERIFY(dialog.isNull());
    const QString cut = " (2): This will cut all 0 connection(s)! Continue?";
    QCOMPARE(shown_, QStringList({"Go Offline?" + cut, "Offline" + cut, "Offline" + cut,
                                  "Unsaved Data (0): You have setting's that are unsaved, if you "
                                  "continue you will loose these settings.\r\n\r\nContinue w/o "
                                  "saving?",
                                  "Tip! (1): Remember! These setting's will not take place until "
                                  "you restart the Orvane application!"}));
  }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
