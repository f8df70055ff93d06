// The transfer list a window shows: rows while they run, and for three seconds after they end.

#include <QTest>

#include "core/transfers.h"

using namespace orvane;

class TransfersTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void rowsLeaveThreeSecondsAfterTheirEnd() {
    qint64 now = 0;
    TransferList list([&now] { return now; });
    const int reply = list.Begin("10.0.0.2", "big.bin", 100, false);
    const int upload = list.Begin("10.0.0.3", "in.zip", 50, true);
    list.Progress(reply, 40);
    now = 1000;
    list.End(reply, false);
    list.End(reply, true);  // an end is final
    const TransferList::Transfer cut = list.Transfers().at(reply);
    QVERIFY(cut.done == 40 && cut.ended == 1000 && !cut.whole &&
            list.Transfers().at(upload).upload);
    now = 4000;
    QVERIFY(!list.Prune() && list.Transfers().size() == 2);
    now = 4001;
    QVERIFY(list.Prune() && list.Transfers().size() == 1 && list.Transfers().count(upload) == 1);
    list.Progress(reply, 99);  // a report for a row gone changes nothing
    for (int i = 0; i < 150; ++i) list.End(list.Begin("a", "n", 1, false), true);
    QCOMPARE(list.Transfers().size(), TransferList::kMaxEnded + 1);  // the upload runs on
  }
};

QTEST_GUILESS_MAIN(TransfersTest)
#include "tst_transfers.moc"
