#include "core/desktop.h"

#include <algorithm>

namespace orvane {

Desktop::Desktop(Shell& shell) : shell_(shell) {
  clock_.start();
  flush_.setSingleShot(true);
  flush_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&flush_, &QTimer::timeout, [this] { FlushNotices(); });
}

void Desktop::Notify(Notice notice, const QByteArray& detail) {
  if (!notify_) return;
  const QByteArray text = notifications_.Add(notice, detail, clock_.elapsed());
  if (!text.isEmpty()) shell_.Notify(text);
  if (!flush_.isActive()) FlushNotices();
}

void Desktop::FlushNotices() {
  const QByteArray text = notifications_.Flush(clock_.elapsed());
  if (!text.isEmpty()) shell_.Notify(text);
  // A timer may fire a little early: what still waits is due at the end of its span.
  if (notifications_.DueAt() >= 0) {
    flush_.start(static_cast<int>(std::max<qint64>(0, notifications_.DueAt() - clock_.elapsed())));
  }
}

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
