#pragma once
// The desktop as the core sees it. The core never includes a window header: a shell shows what
// the core tells it, and answers its questions.

#include <QByteArray>

namespace orvane {

enum class MenuItem { RunServer, StopServer };

// Message box styles and answers.
enum MessageStyle : int {
  kOkOnly = 0,
  kOkCritical = 16,
  kYesNo = 4,
  kYesNoExclamation = 52,
  kOkInformation = 64,
};
enum MessageAnswer : int { kAnswerOk = 1, kAnswerYes = 6, kAnswerNo = 7 };

// The application title, shown by a message box given no title.
inline QByteArray ApplicationTitle() {
  return "Orvane-Light";
}

class Shell {
 public:
  virtual ~Shell() = default;

  // The running log: a line was added at the end (already made printable), the oldest line was
  // dropped to make room, or the log was emptied.
  virtual void LogLineAdded(const QByteArray& line) = 0;
  virtual void OldestLogLineDropped() = 0;
  virtual void LogCleared() = 0;

  // Status panel `panel` (1 to 4) now shows `text`.
  virtual void PanelChanged(int panel, const QByteArray& text) = 0;
  virtual void CaptionChanged(const QByteArray& caption) = 0;
  virtual void MenuEnabledChanged(MenuItem item, bool enabled) = 0;

  virtual void Minimise() = 0;
  virtual void RemoveTrayIcon() = 0;

  // A modal message with `text`, a MessageStyle and `title` (the application title when empty);
  // returns the MessageAnswer of the button pressed.
  virtual int MessageBox(const QByteArray& text, int style, const QByteArray& title) = 0;

  // Something the owner must know that is no question (it is in the running log as well); a
  // headless program says it on standard error.
  virtual void Warning(const QByteArray& /*text*/) {}
  // A notification for the owner from the tray; a shell without a tray shows none.
  virtual void Notify(const QByteArray& /*text*/) {}
};

}  // namespace orvane
