#pragma once

#include <QByteArray>
#include <QStringList>

#include "core/appstate.h"
#include "core/services.h"

namespace orvane {

// Start-up, Run Server, Stop Server and the close request of the main window.
class Lifecycle {
 public:
  Lifecycle(AppState& app, PublicService& web, AdminService& admin)
      : app_(app), web_(web), admin_(admin) {}

  // Program start-up for the program folder `appPath`: settings, caption and panels. With the
  // argument "/r" the window is minimised and the server run at once.
  void StartUp(const QByteArray& appPath, const QByteArray& argument);
  // Same as StartUp, with settings already loaded (tests set them by hand).
  void StartUp(const Settings& settings, const QByteArray& argument);

  // Opens the public listener, and the administration listener when remote administration is
  // on. False when it took the failure path (the message box has been shown).
  bool RunServer();
  // Asks, then closes every connection and both listeners and empties the log. False when the
  // user answered No.
  bool StopServer();
  // Any request to close the main window. True when the program may end (the tray icon has then
  // been removed); false when the user chose to keep it running.
  bool QueryClose();
  // The Restart Admin command.
  // Reopens the administration site, while the server runs.
  void RestartAdmin() {
    if (Running()) admin_.Restart();
  }

  bool Running() const { return !app_.desktop.MenuEnabled(MenuItem::RunServer); }

 private:
  // Tells why the server could not run: `error` is the errno of the failed listen.
  void Fail(int port, int error);
  QByteArray CutQuestion() const;

  AppState& app_;
  PublicService& web_;
  AdminService& admin_;
};

}  // namespace orvane
