#pragma once

#include "core/shell.h"

namespace orvane {

// The shell of a program without a window: each running-log line goes to standard output the
// moment it is added, complete and flushed; a message box goes to standard error as its title and
// text and is answered with its default button (OK, or Yes for a question).
class HeadlessShell : public Shell {
 public:
  HeadlessShell(int outFd = 1, int errFd = 2) : out_(outFd), err_(errFd) {}

  void LogLineAdded(const QByteArray& line) override;
  void OldestLogLineDropped() override {}
  void LogCleared() override {}
  void PanelChanged(int, const QByteArray&) override {}
  void CaptionChanged(const QByteArray&) override {}
  void MenuEnabledChanged(MenuItem, bool) override {}
  void Minimise() override {}
  void RemoveTrayIcon() override {}
  int MessageBox(const QByteArray& text, int style, const QByteArray& title) override;

 private:
  int out_;
  int err_;
};

// Writes all of `data` to the descriptor `fd`; false when it could not.
bool WriteFully(int fd, const QByteArray& data);

}  // namespace orvane
