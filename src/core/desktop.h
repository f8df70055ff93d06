#pragma once

#include <QByteArray>
#include <array>

#include <QElapsedTimer>
#include <QTimer>

#include "core/notifications.h"
#include "core/runninglog.h"
#include "core/shell.h"

namespace orvane {

// The state of the main window, owned by the core: running log, status panels, caption and the
// two server menu items. Every change is passed on to the shell, which only shows it.
class Desktop {
 public:
  explicit Desktop(Shell& shell);

  void AppendLog(const QByteArray& line);
  void ClearLog();
  const RunningLog& Log() const { return log_; }

  void SetPanel(int panel, const QByteArray& text);  // panel 1 to 4
  QByteArray Panel(int panel) const;

  void SetCaption(const QByteArray& caption);
  QByteArray Caption() const { return caption_; }

  void SetMenuEnabled(MenuItem item, bool enabled);
  bool MenuEnabled(MenuItem item) const;

  // A line of the running log that the owner must see even without a window.
  void Warn(const QByteArray& line) {
    AppendLog(line);
    shell_.Warning(line);
  }

  // Something the owner is told of from the tray (merged as Notifications says), unless the
  // settings turned notifications off.
  void Notify(Notice notice, const QByteArray& detail);
  void SetNotificationsOn(bool on) { notify_ = on; }
  void Minimise() { shell_.Minimise(); }
  void RemoveTrayIcon() { shell_.RemoveTrayIcon(); }
  int MessageBox(const QByteArray& text, int style, const QByteArray& title = {}) {
    return shell_.MessageBox(text, style, title.isEmpty() ? ApplicationTitle() : title);
  }

 private:
  void FlushNotices();

  Shell& shell_;
  RunningLog log_;
  std::array<QByteArray, 4> panels_;
  QByteArray caption_;
  bool runServerEnabled_ = true;
  bool stopServerEnabled_ = false;
  Notifications notifications_;
  QElapsedTimer clock_;
  QTimer flush_;  // ends the span of merged notifications
  bool notify_ = true;
};

}  // namespace orvane
