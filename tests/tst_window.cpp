// The main window and the preferences dialog, offscreen, with the core behind them and message
// boxes answered by the test.

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "admin/adminsite.h"
#include "core/lifecycle.h"
#include "shell/mainwindow.h"
#include "shell/preferencesdialog.h"
#include "util/files.h"
#include "web/publicserver.h"

using namespace orvane;

namespace {

struct Answered {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<AppState> state_;
  std::unique_ptr<PublicServer> web_;
  std::unique_ptr<AdminSite> admin_;
  std::unique_ptr<Lifecycle> lifecycle_;
  QList<Answered> answered_;

  // Presses `button` on the next message box that opens.
  void AnswerNext(QMessageBox::StandardButton button) {
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, timer, button] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      timer->stop();
      timer->deleteLater();
      answered_.append({box->windowTitle(), box->text(), box->icon()});
      box->button(button)->click();
    });
    timer->start(10);
  }
  QAction* Action(const char* name) { return window_->findChild<QAction*>(QLatin1String(name)); }
  QString Panel(int n) {
    return window_->findChild<QLabel*>(QStringLiteral("Panel%1").arg(n))->text();
  }
  int Rows() { return window_->LogView()->model()->rowCount(); }

 private Q_SLOTS:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    const QByteArray app = QFile::encodeName(dir_->path()) + "/";
    QVERIFY(WriteFileAtomically(app + "server.cfg", "[Server]\nMaxConnect=20\n"));
    window_ = std::make_unique<MainWindow>();
    state_ = std::make_unique<AppState>(*window_);
    web_ = std::make_unique<PublicServer>(*state_);
    admin_ = std::make_unique<AdminSite>(*state_, *web_);
    lifecycle_ = std::make_unique<Lifecycle>(*state_, *web_, *admin_);
    window_->Attach(*state_, *lifecycle_);
    Settings settings = LoadSettings(app);
    settings.RunningPort = 0;
    lifecycle_->StartUp(settings, {});
    window_->ShowAfterStartUp();
    answered_.clear();
  }
  void cleanup() {
    lifecycle_.reset();
    admin_.reset();
    web_.reset();
    state_.reset();
    window_.reset();
  }

  void runStopRun() {
    Action("menu_RunServer")->trigger();
    QVERIFY(!Action("menu_RunServer")->isEnabled());
    QVERIFY(Action("menu_StopServer")->isEnabled());
    QVERIFY(Panel(1) != QStringLiteral("Offline"));
    // No keeps everything running.
    AnswerNext(QMessageBox::No);
    Action("menu_StopServer")->trigger();
    QCOMPARE(answered_.size(), 1);
    QCOMPARE(answered_[0].title, QStringLiteral("Offline"));
    QCOMPARE(answered_[0].text, QStringLiteral("This will cut all 0 connection(s)! Continue?"));
    QCOMPARE(answered_[0].icon, QMessageBox::Warning);
    QVERIFY(Action("menu_StopServer")->isEnabled());
    AnswerNext(QMessageBox::Yes);
    Action("menu_StopServer")->trigger();
    QVERIFY(Action("menu_RunServer")->isEnabled());
    QCOMPARE(Panel(1), QStringLiteral("Offline"));
    Action("menu_RunServer")->trigger();
    QVERIFY(Action("menu_StopServer")->isEnabled());
  }

  void logViewFollowsAndIsEmptiedByStop() {
    Action("menu_RunServer")->trigger();
    for (int i = 0; i < 40000; ++i) state_->desktop.AppendLog("line " + QByteArray::number(i));
    QTRY_COMPARE(Rows(), 32767);
    const QAbstractItemModel* model = window_->LogView()->model();
    QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("line 7233"));
    QCOMPARE(model->index(32766, 0).data().toString(), QStringLiteral("line 39999"));
    AnswerNext(QMessageBox::Yes);
    Action("menu_StopServer")->trigger();
    QCOMPARE(Rows(), 0);
    state_->desktop.AppendLog("after");
    QTRY_COMPARE(Rows(), 1);
  }

  void closeRequest() {
    Action("menu_RunServer")->trigger();
    AnswerNext(QMessageBox::No);
    QVERIFY(!window_->close());
    QCOMPARE(answered_.last().title, QStringLiteral("Go Offline?"));
    QVERIFY(window_->isVisible());
    QVERIFY(web_->ListeningPort() != 0);
  }

  void minimisingWithoutATrayStaysOnTheTaskbar() {
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());  // offscreen has none
    window_->setWindowState(Qt::WindowMinimized);
    QTRY_VERIFY(window_->isMinimized());
    QVERIFY(window_->isVisible());
    QVERIFY(!window_->TrayIconShown());
  }

  void preferencesDialog() {
    Action("menu_Options")->trigger();
    auto* dialog = window_->findChild<PreferencesDialog*>();
    QVERIFY(dialog != nullptr);
    QVERIFY(!dialog->isModal());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Preferences"));
    auto* maxUsers = dialog->findChild<QLineEdit*>(QStringLiteral("Text3"));
    auto* save = dialog->findChild<QPushButton*>(QStringLiteral("Command1"));
    QCOMPARE(maxUsers->text(), QStringLiteral("20"));
    QVERIFY(!save->isEnabled());
    maxUsers->selectAll();
    QTest::keyClicks(maxUsers, QStringLiteral("ab"));
    QCOMPARE(maxUsers->text(), QStringLiteral("100"));
    QVERIFY(save->isEnabled());
    auto* allow = dialog->findChild<QCheckBox*>(QStringLiteral("Check1"));
    allow->click();
    allow->click();
    QVERIFY(!dialog->findChild<QLineEdit*>(QStringLiteral("Text6"))->isEnabled());
    // Opening it again only brings it forward, edits and all.
    Action("menu_Options")->trigger();
    QCOMPARE(window_->findChildren<PreferencesDialog*>().size(), 1);
    QCOMPARE(maxUsers->text(), QStringLiteral("100"));
    AnswerNext(QMessageBox::No);
    dialog->findChild<QPushButton*>(QStringLiteral("Command2"))->click();
    QCOMPARE(answered_.last().title, QStringLiteral("Unsaved Data"));
    QVERIFY(dialog->isVisible());
    AnswerNext(QMessageBox::Ok);
    save->click();
    QCOMPARE(answered_.last().title, QStringLiteral("Tip!"));
    QCOMPARE(answered_.last().icon, QMessageBox::Information);
    QVERIFY(!save->isEnabled());
    QPointer<PreferencesDialog> closing(dialog);
    dialog->findChild<QPushButton*>(QStringLiteral("Command2"))->click();
    QTRY_VERIFY(closing.isNull());
  }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
