#include "admin/adminlistener.h"

#include <QTcpSocket>

namespace orvane {

AdminListener::AdminListener(QObject* parent) : QObject(parent) {
  connect(&server_, &QTcpServer::newConnection, this, [this] {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
      socket->abort();
      socket->deleteLater();
    }
  });
}

bool AdminListener::Listen(int port) {
  server_.close();
  if (port < 0 || port > 65535) return false;
  return server_.listen(QHostAddress::Any, static_cast<quint16>(port));
}

void AdminListener::Close() {
  server_.close();
}

}  // namespace orvane
