#pragma once

#include "core/shell.h"
#include "shell/outputqueue.h"

namespace orvane {

// The shell of a program without a window: each running-log line goes to standard output as a
// whole line, without ever holding up the server (see OutputQueue); a message box goes to
// standard error as its title and text and is answered with its default button (OK, or Yes for a
// question).
class HeadlessShell : public Shell {
 public:
  explicit HeadlessShell(int outFd = 1, int errFd = 2);

  void LogLineAdded(const QByteArray& line) override;
  void OldestLogLineDropped() override {}
  void LogCleared() override {}
  void PanelChanged(int, const QByteArray&) override {}
  void CaptionChanged(const QByteArray&) override {}
  void MenuEnabledChanged(MenuItem, bool) override {}
  void Minimise() override {}
  void RemoveTrayIcon() override {}
  int MessageBox(const QByteArray& text, int style, const QByteArray& title) override;
  void Warning(const QByteArray& text) override;

  // The notice written to standard error when standard output takes lines again after `count`
  // of them could not be written.
  static QByteArray DroppedNotice(qint64 count);

 private:
  int err_;
  OutputQueue out_;
  OutputQueue notices_;
};

// Writes all of `data` to the descriptor `fd`, waiting while it is full; false when it could not.
bool WriteFully(int fd, const QByteArray& data);

}  // namespace orvane
