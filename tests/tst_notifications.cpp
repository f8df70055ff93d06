// Notices for the tray: which show at once, which wait for the end of the span and how those
// merge; and that the owner can turn them off.

#include <QTest>

#include "core/desktop.h"
#include "testshell.h"

using namespace orvane;

class NotificationsTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void merging() {
    // "ms notice detail", or "ms flush"; what shows as "ms: text".
    const QByteArrayList events = {"0 2 a (3 bytes)", "1000 2 b (1 bytes)", "2000 2 c (1 bytes)",
                                   "3000 3 2",        "4000 3 1",           "4999 flush",
                                   "5000 flush",      "10000 1 1.2.3.4",    "16000 0 10.0.0.2",
                                   "17000 4 port 80", "20000 flush",        "21000 flush"};
    Notifications notifications;
    QByteArrayList shown;
    for (const QByteArray& event : events) {
      const QByteArrayList part = event.split(' ');
      const qint64 now = part[0].toLongLong();
      const QByteArray text = part[1] == "flush" ? notifications.Flush(now)
                                                 : notifications.Add(Notice(part[1].toInt()),
                                                                     part.mid(2).join(' '), now);
      if (!text.isEmpty()) shown << part[0] + ": " + text;
    }
    QCOMPARE(shown, QByteArrayList({"0: Upload received: a (3 bytes)",
                                    "5000: 2 uploads received\n3 files erased",
                                    "10000: Logins refused after failed guesses from 1.2.3.4",
                                    "16000: Administrator logged in from 10.0.0.2",
                                    "21000: The server stopped: port 80"}));
  }

  void turnedOff() {
    TestShell shell;
    Desktop desktop(shell);
    desktop.SetNotificationsOn(false);
    desktop.Notify(Notice::AdminLogin, "a");
    desktop.SetNotificationsOn(true);
    desktop.Notify(Notice::AdminLogin, "b");
    QCOMPARE(shell.calls, QByteArrayList{"Notify(Administrator logged in from b)"});
  }
};

QTEST_GUILESS_MAIN(NotificationsTest)
#include "tst_notifications.moc"
