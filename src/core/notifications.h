#pragma once

#include <QByteArray>
#include <array>

namespace orvane {

// What the owner is told of from the tray.
enum class Notice { AdminLogin, LoginsRefused, UploadReceived, FilesErased, ServerError };

// Notices for the tray, at most one shown every five seconds: a notice after a quiet span is
// shown at once; those that come within the span are merged into one, shown when it ends
// ("3 uploads received"). Times are milliseconds of a monotonic clock.
class Notifications {
 public:
  static constexpr qint64 kSpanMs = 5000;

  // A notice at `now`, with its detail (an address, "name (size bytes)", a count of files, a
  // reason). Returns the text to show now, or an empty text when it waits for the span's end.
  QByteArray Add(Notice notice, const QByteArray& detail, qint64 now);
  // When the waiting notices are due; -1 when none wait.
  qint64 DueAt() const;
  // The waiting notices merged into one text once due (they are then gone); empty before.
  QByteArray Flush(qint64 now);

 private:
  struct Waiting {
    int count = 0;
    qint64 sum = 0;  // of the counts of erased files
    QByteArray detail;
  };
  static QByteArray Text(Notice notice, const Waiting& waiting);

  std::array<Waiting, 5> waiting_{};
  qint64 lastShown_ = -1;
  bool anyWaiting_ = false;
};

}  // namespace orvane
