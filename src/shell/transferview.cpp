#include "shell/transferview.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>

namespace orvane {

namespace {

constexpr int kRefreshMs = 250;
enum Column { Client, Name, Done, Total, Bar, Rate, Time, Columns };

// Draws the bar column's value (0 to 100) as a progress bar.
class BarDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionProgressBar bar;
    bar.rect = option.rect.adjusted(1, 1, -1, -1);
    bar.minimum = 0;
    bar.maximum = 100;
    bar.progress = index.data(Qt::UserRole).toInt();
    bar.text = index.data().toString();
    bar.textVisible = true;
    QApplication::style()->drawControl(QStyle::CE_ProgressBar, &bar, painter);
  }
};

QString Bytes(qint64 bytes) {
  return QLocale::c().toString(bytes);
}

}  // namespace

TransferView::TransferView(TransferList& list, QWidget* parent)
    : QTableWidget(0, Columns, parent), list_(list) {
  setObjectName(QStringLiteral("Transfers"));
  setHorizontalHeaderLabels({QStringLiteral("Client"), QStringLiteral("Name"),
                             QStringLiteral("Done"), QStringLiteral("Total"),
                             QStringLiteral("Progress"), QStringLiteral("Rate"),
                             QStringLiteral("Time")});
  setItemDelegateForColumn(Bar, new BarDelegate(this));
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::NoSelection);
  verticalHeader()->hide();
  horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  horizontalHeader()->setSectionResizeMode(Name, QHeaderView::Stretch);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  connect(&refresh_, &QTimer::timeout, this, &TransferView::Refresh);
  refresh_.start(kRefreshMs);
}

void TransferView::Refresh() {
  list_.Prune();
  const qint64 now = list_.Now();
  setRowCount(static_cast<int>(list_.Transfers().size()));
  int row = 0;
  for (const auto& [id, t] : list_.Transfers()) {
    const qint64 ms = std::max<qint64>(1, (t.ended >= 0 ? t.ended : now) - t.started);
    const int percent = t.total > 0 ? static_cast<int>(100 * t.done / t.total) : 100;
    const QString state = t.ended < 0 ? QStringLiteral("%1%").arg(percent)
                          : t.whole   ? QStringLiteral("done")
                                      : QStringLiteral("cut");
    const QStringList cells = {
        QString::fromLatin1(t.address),
        (t.upload ? QStringLiteral("\u2191 ") : QString()) + QString::fromLatin1(t.name),
        Bytes(t.done),
        Bytes(t.total),
        state,
        Bytes(t.done * 1000 / ms) + QStringLiteral(" B/s"),
        QStringLiteral("%1 s").arg(ms / 1000.0, 0, 'f', 1)};
    for (int column = 0; column < Columns; ++column) {
      QTableWidgetItem* cell = item(row, column);
      if (cell == nullptr) setItem(row, column, cell = new QTableWidgetItem);
      cell->setText(cells[column]);
    }
    item(row, Bar)->setData(Qt::UserRole, t.ended >= 0 && t.whole ? 100 : percent);
    ++row;
  }
}

}  // namespace orvane
