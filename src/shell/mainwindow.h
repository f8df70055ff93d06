#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <array>

#include "core/shell.h"
#include "core/transfers.h"

class QAction;
class QLabel;
class QListView;

namespace orvane {

struct AppState;
class Lifecycle;
class LogModel;
class PreferencesDialog;
class TransferView;

// The main window (frmMain): the running log, the four status panels and the menus, and the
// tray icon it hides in when minimised. It is the desktop's Shell: the core tells it what to show
// and asks its questions through it.
class MainWindow : public QMainWindow, public Shell {
  Q_OBJECT

 public:
  MainWindow();
  ~MainWindow() override;

  // Connects the window to the core, once the core exists (the core needs the shell first).
  void Attach(AppState& app, Lifecycle& lifecycle);
  // Shows the window after start-up: in the tray (or minimised, without a tray) when start-up
  // asked for it.
  void ShowAfterStartUp();

  // Shell
  void LogLineAdded(const QByteArray& line) override;
  void OldestLogLineDropped() override;
  void LogCleared() override;
  void PanelChanged(int panel, const QByteArray& text) override;
  void CaptionChanged(const QByteArray& caption) override;
  void MenuEnabledChanged(MenuItem item, bool enabled) override;
  void Minimise() override;
  void RemoveTrayIcon() override;
  int MessageBox(const QByteArray& text, int style, const QByteArray& title) override;
  void Notify(const QByteArray& text) override;

  QListView* LogView() const { return list_; }
  TransferView* Transfers() const { return transfers_; }
  bool TrayIconShown() const { return tray_.isVisible(); }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void ShowPanels();
  void BuildTrayMenu(QAction* exit);
  void ShowFromTray();
  void PlaceLog();
  void OpenPreferences();
  void OnTrayActivated(QSystemTrayIcon::ActivationReason reason);

  AppState* app_ = nullptr;
  Lifecycle* lifecycle_ = nullptr;
  LogModel* model_ = nullptr;
  QListView* list_ = nullptr;
  TransferList transferList_;
  TransferView* transfers_ = nullptr;
  std::array<QLabel*, 4> panels_{};
  std::array<QString, 4> shownPanels_;  // what the panels are to show at their next update
  QTimer panelUpdate_;
  QAction* runServer_ = nullptr;
  QAction* stopServer_ = nullptr;
  QAction* qrAction_ = nullptr;
  QSystemTrayIcon tray_;
  QPointer<PreferencesDialog> preferences_;
  bool startMinimised_ = false;
  bool followLog_ = true;
};

}  // namespace orvane
