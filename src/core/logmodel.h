#pragma once

#include <QAbstractListModel>
#include <QTimer>

#include "core/runninglog.h"

namespace orvane {

// The running log as a list model for a view. Lines added or dropped are announced in one batch
// at most ten times a second, so a busy server never makes the view lay itself out and paint for
// every line or every pass of the event loop; until then the rows the view knows keep showing the
// lines they showed.
class LogModel : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit LogModel(const RunningLog& log, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  // What the log did: the shell passes these on as they happen.
  void LineAdded();
  void OldestLineDropped();
  void Cleared();

  // Announces what has changed since the last batch now.
  void Flush();

 Q_SIGNALS:
  // A batch of new lines has been announced at the end.
  void LinesAppended();

 private:
  void ScheduleFlush();

  const RunningLog& log_;
  int rows_ = 0;          // rows the view knows
  int droppedSince_ = 0;  // lines dropped at the front since the last batch
  QTimer flush_;
};

}  // namespace orvane
