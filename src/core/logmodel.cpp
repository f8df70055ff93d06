#include "core/logmodel.h"

#include <QMetaObject>
#include <algorithm>

namespace orvane {

LogModel::LogModel(const RunningLog& log, QObject* parent)
    : QAbstractListModel(parent), log_(log), rows_(static_cast<int>(log.Count())) {
  flush_.setSingleShot(true);
  flush_.setInterval(100);
  connect(&flush_, &QTimer::timeout, this, &LogModel::Flush);
}

int LogModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

QVariant LogModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || role != Qt::DisplayRole) return {};
  // Row r showed line r of the log as it was at the last batch.
  const qsizetype line = index.row() - droppedSince_;
  if (line < 0 || line >= log_.Count()) return {};
  return QString::fromLatin1(log_.Line(line));
}

void LogModel::LineAdded() {
  ScheduleFlush();
}

void LogModel::OldestLineDropped() {
  ++droppedSince_;
  ScheduleFlush();
}

void LogModel::Cleared() {
  beginResetModel();
  rows_ = 0;
  droppedSince_ = 0;
  endResetModel();
}

void LogModel::ScheduleFlush() {
  if (!flush_.isActive()) flush_.start();
}

void LogModel::Flush() {
  flush_.stop();
  const int gone = std::min(droppedSince_, rows_);
  if (gone > 0) {
    beginRemoveRows({}, 0, gone - 1);
    rows_ -= gone;
    droppedSince_ -= gone;
    endRemoveRows();
  }
  droppedSince_ = 0;  // dropped before the view ever saw them
  const int count = static_cast<int>(log_.Count());
  if (count > rows_) {
    beginInsertRows({}, rows_, count - 1);
    rows_ = count;
    endInsertRows();
    Q_EMIT LinesAppended();
  }
}

}  // namespace orvane
