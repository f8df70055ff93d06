#pragma once

#include <QTableWidget>
#include <QTimer>

#include "core/transfers.h"

namespace orvane {

// The transfers in progress beside the running log: client, name, bytes done and total, a
// progress bar, rate and time; an ended one stays three seconds marked done or cut. It reads
// its list four times a second at most, however many transfers report.
class TransferView : public QTableWidget {
  Q_OBJECT

 public:
  TransferView(TransferList& list, QWidget* parent);
  // Shows the list as it is now (the timer calls it).
  void Refresh();

 private:
  TransferList& list_;
  QTimer refresh_;
};

}  // namespace orvane
