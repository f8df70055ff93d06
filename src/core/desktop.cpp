#include "core/desktop.h"

namespace orvane {

void Desktop::AppendLog(const QByteArray& line) {
  for (int dropped = log_.Append(line); dropped > 0; --dropped) shell_.OldestLogLineDropped();
  shell_.LogLineAdded(log_.Line(log_.Count() - 1));
}

void Desktop::ClearLog() {
  log_.Clear();
  shell_.LogCleared();
}

void Desktop::SetPanel(int panel, const QByteArray& text) {
  if (panel < 1 || panel > 4) return;
  panels_[static_cast<size_t>(panel - 1)] = text;
  shell_.PanelChanged(panel, text);
}

QByteArray Desktop::Panel(int panel) const {
  if (panel < 1 || panel > 4) return {};
  return panels_[static_cast<size_t>(panel - 1)];
}

void Desktop::SetCaption(const QByteArray& caption) {
  caption_ = caption;
  shell_.CaptionChanged(caption);
}

void Desktop::SetMenuEnabled(MenuItem item, bool enabled) {
  (item == MenuItem::RunServer ? runServerEnabled_ : stopServerEnabled_) = enabled;
  shell_.MenuEnabledChanged(item, enabled);
}

bool Desktop::MenuEnabled(MenuItem item) const {
  return item == MenuItem::RunServer ? runServerEnabled_ : stopServerEnabled_;
}

}  // namespace orvane
