#pragma once
// A shell that shows nothing, for the fuzz targets: the desktop calls it for every log line and
// panel, and a fuzz run makes millions of them.

#include "core/shell.h"

namespace orvane {

class QuietShell : public Shell {
 public:
  void LogLineAdded(const QByteArray&) override {}
  void OldestLogLineDropped() override {}
  void LogCleared() override {}
  void PanelChanged(int, const QByteArray&) override {}
  void CaptionChanged(const QByteArray&) override {}
  void MenuEnabledChanged(MenuItem, bool) override {}
  void Minimise() override {}
  void RemoveTrayIcon() override {}
  int MessageBox(const QByteArray&, int, const QByteArray&) override { return kAnswerOk; }
};

}  // namespace orvane
