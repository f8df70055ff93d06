#include "shell/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QUrl>

#include "core/appstate.h"
#include "core/lifecycle.h"
#include "core/logmodel.h"
#include "core/settings.h"
#include "shell/addressqrdialog.h"
#include "shell/appicon.h"
#include "shell/preferencesdialog.h"
#include "shell/transferview.h"
#include "util/version.h"

namespace orvane {

namespace {

// The log's place and margins, as the window was laid out in twips (15 to a pixel): 120 twips
// from the left and top, and 1000 twips less than the inner area in each direction.
constexpr int kLogOffset = 8;
constexpr int kLogShrink = 67;

QString Text(const QByteArray& bytes) {
  return QString::fromLatin1(bytes);
}

}  // namespace

MainWindow::MainWindow() : tray_(AppIcon()) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowIcon(AppIcon());
  auto* inner = new QWidget(this);
  setCentralWidget(inner);
  list_ = new QListView(inner);
  list_->setObjectName(QStringLiteral("List1"));
  list_->setUniformItemSizes(true);  // keeps 32,767 lines cheap to lay out
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  // Byte counts are padded with spaces: only a fixed pitch lines their columns up.
  list_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

  transfers_ = new TransferView(transferList_, inner);

  statusBar()->setObjectName(QStringLiteral("StatusBar1"));
  QFont panelFont(QStringLiteral("Verdana"));
  panelFont.setPointSizeF(8.25);
  // Each panel is at least as wide as its longest usual text, which sets the window's minimum.
  const QFontMetrics metrics(panelFont);
  const char* widest[] = {"255.255.255.255", "1024/1024 Active Users", "Remote=Offline", "Ready"};
  for (size_t i = 0; i < panels_.size(); ++i) {
    panels_[i] = new QLabel(this);
    panels_[i]->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
    panels_[i]->setFont(panelFont);
    panels_[i]->setMinimumWidth(metrics.horizontalAdvance(QLatin1String(widest[i])) + 8);
    panels_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    statusBar()->addWidget(panels_[i], 1);
  }
  BuildMenus();
  panelUpdate_.setSingleShot(true);
  panelUpdate_.setInterval(100);
  connect(&panelUpdate_, &QTimer::timeout, this, &MainWindow::ShowPanels);

  tray_.setToolTip(Text(SoftwareName()));
  connect(&tray_, &QSystemTrayIcon::activated, this, &MainWindow::OnTrayActivated);
  resize(640, 420 + menuBar()->sizeHint().height());
}

MainWindow::~MainWindow() {
  tray_.hide();
}

void MainWindow::BuildMenus() {
  // Alt and the underlined letter open a menu; F10 opens the first, as elsewhere on the desktop.
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  connect(new QShortcut(QKeySequence(Qt::Key_F10), this), &QShortcut::activated, this,
          [this, file] { menuBar()->setActiveAction(file->menuAction()); });
  file->setObjectName(QStringLiteral("menu_File"));
  runServer_ = file->addAction(QStringLiteral("&Run Server"));
  runServer_->setObjectName(QStringLiteral("menu_RunServer"));
  runServer_->setShortcut(QKeySequence(QStringLiteral("Ctrl+R")));
  stopServer_ = file->addAction(QStringLiteral("&Stop Server"));
  stopServer_->setObjectName(QStringLiteral("menu_StopServer"));
  stopServer_->setShortcut(QKeySequence(QStringLiteral("Ctrl+S")));
  stopServer_->setEnabled(false);
  file->addSeparator();
  QAction* options = file->addAction(QStringLiteral("&Preferences"));
  options->setObjectName(QStringLiteral("menu_Options"));
  file->addSeparator();
  QAction* exit = file->addAction(QStringLiteral("E&xit"));
  exit->setObjectName(QStringLiteral("menu_Exit"));

  QMenu* opt = menuBar()->addMenu(QStringLiteral("&Options"));
  opt->setObjectName(QStringLiteral("opt"));
  QAction* clearLog = opt->addAction(QStringLiteral("&Clear&&Save Log"));
  clearLog->setObjectName(QStringLiteral("clrLog"));
  clearLog->setEnabled(false);  // nothing ever gives it a task
  opt->addSeparator();
  QAction* restart = opt->addAction(QStringLiteral("Restart Admin"));
  restart->setObjectName(QStringLiteral("rstrtAdmin"));
  qrAction_ = opt->addAction(QStringLiteral("Show Address as QR Code"));
  qrAction_->setObjectName(QStringLiteral("showQr"));
  connect(qrAction_, &QAction::triggered, this, [this] {
    auto* dialog = new AddressQrDialog(SiteAddress(app_->settings), this);
    dialog->show();
  });

  QMenu* logging = menuBar()->addMenu(QStringLiteral("&Logging"));
  logging->setObjectName(QStringLiteral("logging"));
  logging->setEnabled(false);
  logging->addAction(QStringLiteral("View Log"))->setObjectName(QStringLiteral("viewLog"));

  connect(runServer_, &QAction::triggered, this, [this] {
    if (lifecycle_ != nullptr) lifecycle_->RunServer();
  });
  connect(stopServer_, &QAction::triggered, this, [this] {
    if (lifecycle_ != nullptr) lifecycle_->StopServer();
  });
  BuildTrayMenu(exit);
  connect(options, &QAction::triggered, this, &MainWindow::OpenPreferences);
  connect(exit, &QAction::triggered, this, &QWidget::close);
  connect(restart, &QAction::triggered, this, [this] {
    if (lifecycle_ != nullptr) lifecycle_->RestartAdmin();
  });
}

void MainWindow::BuildTrayMenu(QAction* exit) {
  // The server runs on in the background: the tray's menu does what the window's would, with the
  // same actions, so their state and their questions are the same.
  auto* menu = new QMenu(this);
  menu->setObjectName(QStringLiteral("trayMenu"));
  connect(menu->addAction(QStringLiteral("Show Window")), &QAction::triggered, this,
          &MainWindow::ShowFromTray);
  menu->addActions({runServer_, stopServer_});
  menu->addSeparator();
  connect(menu->addAction(QStringLiteral("Open Site in Browser")), &QAction::triggered, this,
          [this] { QDesktopServices::openUrl(QUrl(Text(SiteAddress(app_->settings)))); });
  connect(menu->addAction(QStringLiteral("Copy Site Address")), &QAction::triggered, this,
          [this] { QGuiApplication::clipboard()->setText(Text(SiteAddress(app_->settings))); });
  menu->addAction(qrAction_);
  menu->addSeparator();
  menu->addAction(exit);
  tray_.setContextMenu(menu);
}

void MainWindow::Attach(AppState& app, Lifecycle& lifecycle) {
  app_ = &app;
  app.transfers = &transferList_;
  lifecycle_ = &lifecycle;
  model_ = new LogModel(app.desktop.Log(), this);
  list_->setModel(model_);
  // New lines are followed while the view is at its end; a reader who scrolled up stays put.
  connect(model_, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
    const QScrollBar* bar = list_->verticalScrollBar();
    followLog_ = bar->value() == bar->maximum();
  });
  connect(model_, &LogModel::LinesAppended, this, [this] {
    if (followLog_) list_->scrollToBottom();
  });
}

void MainWindow::ShowAfterStartUp() {
  if (!startMinimised_) {
    show();
  } else if (QSystemTrayIcon::isSystemTrayAvailable()) {
    tray_.show();
  } else {
    showMinimized();
  }
}

void MainWindow::LogLineAdded(const QByteArray&) {
  if (model_ != nullptr) model_->LineAdded();
}

void MainWindow::OldestLogLineDropped() {
  if (model_ != nullptr) model_->OldestLineDropped();
}

void MainWindow::LogCleared() {
  if (model_ != nullptr) model_->Cleared();
}

void MainWindow::PanelChanged(int panel, const QByteArray& text) {
  // A busy server changes panel 2 twice a request: what shows is brought up to date ten times a
  // second at most, as laying out the status bar costs more than the request.
  if (panel < 1 || panel > 4) return;
  shownPanels_[static_cast<size_t>(panel - 1)] = Text(text);
  if (!panelUpdate_.isActive()) panelUpdate_.start();
}

void MainWindow::ShowPanels() {
  for (size_t i = 0; i < panels_.size(); ++i) {
    if (panels_[i]->text() != shownPanels_[i]) panels_[i]->setText(shownPanels_[i]);
  }
}

void MainWindow::CaptionChanged(const QByteArray& caption) {
  setWindowTitle(Text(caption));
}

void MainWindow::MenuEnabledChanged(MenuItem item, bool enabled) {
  (item == MenuItem::RunServer ? runServer_ : stopServer_)->setEnabled(enabled);
}

void MainWindow::Minimise() {
  if (isVisible()) {
    // Not showMinimized(): it shows the window again after changeEvent() has put it in the tray.
    setWindowState(windowState() | Qt::WindowMinimized);
  } else {
    startMinimised_ = true;  // start-up: the window goes straight to the tray when it is shown
  }
}

void MainWindow::Notify(const QByteArray& text) {
  // Only the icon in the tray has a place to show them.
  if (tray_.isVisible()) tray_.showMessage(Text(SoftwareName()), Text(text));
}

void MainWindow::RemoveTrayIcon() {
  tray_.hide();
}

int MainWindow::MessageBox(const QByteArray& text, int style, const QByteArray& title) {
  QMessageBox box(this);
  box.setWindowTitle(Text(title));
  box.setText(Text(text));
  const bool question = style == kYesNo || style == kYesNoExclamation;
  box.setStandardButtons(question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
  if (style == kYesNoExclamation) box.setIcon(QMessageBox::Warning);
  if (style == kOkInformation) box.setIcon(QMessageBox::Information);
  if (style == kOkCritical) box.setIcon(QMessageBox::Critical);
  const int pressed = box.exec();
  if (!question) return kAnswerOk;
  return pressed == QMessageBox::Yes ? kAnswerYes : kAnswerNo;
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  PlaceLog();
}

void MainWindow::PlaceLog() {
  const QSize inner = centralWidget()->size();
  const int width = inner.width() - kLogShrink;
  const int height = inner.height() - kLogShrink;
  // Too small a window gives no valid size: the log keeps the one it has. The transfers take
  // the lower two fifths.
  if (width <= 0 || height <= 0) return;
  const int logHeight = height * 3 / 5;
  list_->setGeometry(kLogOffset, kLogOffset, width, logHeight);
  transfers_->setGeometry(kLogOffset, kLogOffset + logHeight + kLogOffset, width,
                          height - logHeight - kLogOffset);
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  if (isMinimized()) {
    // Without a tray a hidden window could never be brought back: it stays on the taskbar.
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
      hide();
      tray_.show();
    }
  } else {
    if (!isVisible()) show();
    tray_.hide();
  }
}

void MainWindow::OnTrayActivated(QSystemTrayIcon::ActivationReason reason) {
  if (reason == QSystemTrayIcon::DoubleClick) ShowFromTray();
}

void MainWindow::ShowFromTray() {
  showNormal();
  raise();
  activateWindow();
  tray_.hide();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (lifecycle_ != nullptr && !lifecycle_->QueryClose()) {
    event->ignore();
    return;
  }
  event->accept();
  if (preferences_) preferences_->close();
  QApplication::quit();
}

void MainWindow::OpenPreferences() {
  if (preferences_) {
    preferences_->show();
    preferences_->raise();
    preferences_->activateWindow();
    return;
  }
  preferences_ = new PreferencesDialog(*app_, this);
  preferences_->show();
}

}  // namespace orvane
