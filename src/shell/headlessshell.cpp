#include "shell/headlessshell.h"

#include <unistd.h>
#include <cerrno>

namespace orvane {

bool WriteFully(int fd, const QByteArray& data) {
  const char* p = data.constData();
  qsizetype left = data.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    left -= n;
  }
  return true;
}

HeadlessShell::HeadlessShell(int outFd, int errFd) : err_(errFd), out_(outFd), notices_(errFd) {
  QObject::connect(&out_, &OutputQueue::Resumed, &notices_,
                   [this](qint64 count) { notices_.Write(DroppedNotice(count)); });
}

QByteArray HeadlessShell::DroppedNotice(qint64 count) {
  return "orvane-light: " + QByteArray::number(count) +
         " log lines were not written to standard output\n";
}

void HeadlessShell::LogLineAdded(const QByteArray& line) {
  out_.Write(line + '\n');
}

void HeadlessShell::Warning(const QByteArray& text) {
  notices_.Write("orvane-light: " + text + '\n');
}

int HeadlessShell::MessageBox(const QByteArray& text, int style, const QByteArray& title) {
  QByteArray lines = text;
  lines.replace("\r\n", "\n");
  lines.replace('\r', '\n');
  // A message waits for its reader, as a message box waits for its user.
  WriteFully(err_, title + ": " + lines + '\n');
  const bool question = style == kYesNo || style == kYesNoExclamation;
  return question ? kAnswerYes : kAnswerOk;
}

}  // namespace orvane
