#pragma once
// The public server in the test's own event loop, on a free port, with a temporary program
// folder; and the helpers its tests share.

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "rawclient.h"
#include "testshell.h"
#include "util/files.h"
#include "web/publicserver.h"

namespace orvane {

class ServerFixture : public QObject {
 protected:
  std::unique_ptr<QTemporaryDir> dir_;
  QByteArray app_;
  std::unique_ptr<TestShell> shell_;
  std::unique_ptr<AppState> state_;
  std::unique_ptr<PublicServer> server_;

  // A new program folder and shell; call from init().
  void NewFolder() {
    server_.reset();
    state_.reset();
    dir_ = std::make_unique<QTemporaryDir>();
    app_ = QFile::encodeName(dir_->path()) + "/";
    shell_ = std::make_unique<TestShell>();
  }

  void Put(const QByteArray& name, const QByteArray& content) {
    const QByteArray path = app_ + name;
    const qsizetype slash = path.lastIndexOf('/');
    QDir().mkpath(QFile::decodeName(path.left(slash)));
    QVERIFY(WriteFileAtomically(path, content));
  }

  void StartServer(int maxConnect = 50) {
    server_.reset();
    state_ = std::make_unique<AppState>(*shell_);
    state_->settings = LoadSettings(app_);
    state_->settings.RunningPort = 0;
    state_->settings.MaxConnect = maxConnect;
    server_ = std::make_unique<PublicServer>(*state_);
    QVERIFY(server_->Start());
  }

  quint16 Port() const { return server_->ListeningPort(); }

  // Sends `request` on a new connection and returns everything until the server closes it.
  QByteArray Fetch(const QByteArray& request, int timeoutMs = 30000) {
    RawClient client(Port());
    client.Send(request);
    if (!client.WaitClosed(timeoutMs)) return "<still open>";
    return client.received;
  }

  QByteArrayList Log() const { return shell_->logLines; }
};

}  // namespace orvane
