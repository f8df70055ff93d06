#pragma once
// A shell that records every call and answers message boxes from a script.

#include <QByteArrayList>

#include "core/shell.h"

namespace orvane {

struct ShownMessage {
  QByteArray text, title;
  int style;
};

class TestShell : public Shell {
 public:
  QByteArrayList calls;          // every call, in order, as "Name(args)"
  QList<ShownMessage> messages;  // every message box
  QList<int> answers;            // answers to give, first one first; then OK / Yes
  QByteArrayList logLines;       // the log as the shell shows it
  QByteArray panels[5];

  auto& Note(const QByteArray& call, auto& changed) { return (calls << call, changed); }

  void LogLineAdded(const QByteArray& line) override {
    Note("Log(" + line + ")", logLines) << line;
  }
  void OldestLogLineDropped() override { Note("Drop()", logLines).removeFirst(); }
  void LogCleared() override { Note("ClearLog()", logLines).clear(); }
  void PanelChanged(int panel, const QByteArray& text) override {
    Note("Panel" + QByteArray::number(panel) + "(" + text + ")", panels)[panel] = text;
  }
  void CaptionChanged(const QByteArray& caption) override { calls << "Caption(" + caption + ")"; }
  void MenuEnabledChanged(MenuItem item, bool enabled) override {
    calls << (item == MenuItem::RunServer ? "RunServer" : "StopServer") +
                 QByteArray(enabled ? "(on)" : "(off)");
  }
  void Minimise() override { calls << "Minimise()"; }
  void Notify(const QByteArray& text) override { calls << "Notify(" + text + ")"; }
  void RemoveTrayIcon() override { calls << "RemoveTrayIcon()"; }
  int MessageBox(const QByteArray& text, int style, const QByteArray& title) override {
    Note("MessageBox(" + title + ")", messages).append({text, title, style});
    if (!answers.isEmpty()) return answers.takeFirst();
    return style == kYesNo || style == kYesNoExclamation ? kAnswerYes : kAnswerOk;
  }
};

}  // namespace orvane
