#include "core/notifications.h"

#include <QByteArrayList>

namespace orvane {

QByteArray Notifications::Add(Notice notice, const QByteArray& detail, qint64 now) {
  Waiting& waiting = waiting_[static_cast<size_t>(notice)];
  ++waiting.count;
  if (notice == Notice::FilesErased) waiting.sum += detail.toLongLong();
  waiting.detail = detail;
  if (!anyWaiting_ && (lastShown_ < 0 || now - lastShown_ >= kSpanMs)) {
    lastShown_ = now;
    const QByteArray text = Text(notice, waiting);
    waiting = {};
    return text;
  }
  anyWaiting_ = true;
  return {};
}

qint64 Notifications::DueAt() const {
  return anyWaiting_ ? lastShown_ + kSpanMs : -1;
}

QByteArray Notifications::Flush(qint64 now) {
  if (!anyWaiting_ || now < DueAt()) return {};
  QByteArrayList lines;
  for (size_t i = 0; i < waiting_.size(); ++i) {
    if (waiting_[i].count > 0) lines << Text(static_cast<Notice>(i), waiting_[i]);
    waiting_[i] = {};
  }
  anyWaiting_ = false;
  lastShown_ = now;
  return lines.join('\n');
}

QByteArray Notifications::Text(Notice notice, const Waiting& waiting) {
  const QByteArray count = QByteArray::number(waiting.count);
  const bool one = waiting.count == 1;
  switch (notice) {
    case Notice::AdminLogin:
      return one ? "Administrator logged in from " + waiting.detail
                 : count + " administrator logins";
    case Notice::LoginsRefused:
      return one ? "Logins refused after failed guesses from " + waiting.detail
                 : count + " addresses refused after failed guesses";
    case Notice::UploadReceived:
      return one ? "Upload received: " + waiting.detail : count + " uploads received";
    case Notice::FilesErased:
      return QByteArray::number(waiting.sum) +
             (waiting.sum == 1 ? " file erased" : " files erased");
    case Notice::ServerError:
      return "The server stopped: " + waiting.detail;
  }
  return {};
}

}  // namespace orvane
