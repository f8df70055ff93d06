#pragma once

#include <QTcpServer>

#include "core/services.h"

namespace orvane {

// The listener of the administration port. Until the administration site is served here, every
// connection it accepts is closed at once, so a browser is told plainly that nothing answers.
class AdminListener : public QObject, public AdminService {
  Q_OBJECT

 public:
  explicit AdminListener(QObject* parent = nullptr);

  bool Listen(int port) override;
  void Close() override;
  // Nothing to restart while every connection is closed at once.
  void Restart() override {}
  quint16 ListeningPort() const { return server_.serverPort(); }

 private:
  QTcpServer server_;
};

}  // namespace orvane
