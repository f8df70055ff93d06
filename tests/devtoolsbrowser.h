#pragma once
// Headless Chromium driven through its DevTools protocol on a pipe (--remote-debugging-pipe:
// commands go in on descriptor 3, answers come out on descriptor 4, each a JSON text ending in
// a NUL byte), so a test can type into a page and press its buttons.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

namespace orvane {

class DevToolsBrowser {
 public:
  explicit DevToolsBrowser(const QStringList& more = {}) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    toBrowser_ = in[1];
    fromBrowser_ = out[0];
    const int childIn = in[0], childOut = out[1];
    // Moved out of the way first, so that neither lands on the other's number.
    process_.setChildProcessModifier([childIn, childOut] {
      const int a = ::fcntl(childIn, F_DUPFD, 10), b = ::fcntl(childOut, F_DUPFD, 10);
      ::dup2(a, 3), ::dup2(b, 4);
    });
    process_.setProgram(QStringLiteral("chromium"));
    process_.setArguments(
        QStringLiteral("--headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
                       "--disable-background-networking --disable-component-update "
                       "--disable-sync --remote-debugging-pipe about:blank")
            .split(QLatin1Char(' '))
        << QStringLiteral("--user-data-dir=") + profile_.path() << more);
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setStandardErrorFile(QProcess::nullDevice());
    process_.start();
    ::close(childIn);
    ::close(childOut);
  }
  ~DevToolsBrowser() {
    if (toBrowser_ >= 0) Call("Browser.close", {});
    if (!process_.waitForFinished(5000)) process_.kill(), process_.waitForFinished(5000);
    for (int fd : {toBrowser_, fromBrowser_}) ::close(fd);
  }

  // Opens `url` in a new tab and attaches to it; false when the browser does not answer.
  bool Open(const QString& url) {
    const QString target = Call("Target.createTarget", {{"url", url}})["targetId"].toString();
    session_ = Call("Target.attachToTarget", {{"targetId", target}, {"flatten", true}})["sessionId"]
                   .toString();
    return !session_.isEmpty();
  }

  // The value of a JavaScript expression in the page; an invalid value while the page changes.
  QJsonValue Evaluate(const QString& expression) {
    return Call("Runtime.evaluate", {{"expression", expression}, {"returnByValue", true}},
                session_)["result"]
        .toObject()["value"];
  }

  // Chooses the file `path` in the file field that `selector` finds.
  bool ChooseFile(const QString& selector, const QString& path) {
    const int root = Call("DOM.getDocument", {}, session_)["root"].toObject()["nodeId"].toInt();
    const int node =
        Call("DOM.querySelector", {{"nodeId", root}, {"selector", selector}}, session_)["nodeId"]
            .toInt();
    if (node == 0) return false;
    Call("DOM.setFileInputFiles", {{"files", QJsonArray{path}}, {"nodeId", node}}, session_);
    return true;
  }

  // From now on, every response the page gets, as its status and URL ("206 http://...").
  void WatchResponses() { Call("Network.enable", {}, session_); }
  QStringList responses;

  // Evaluates `expression` until it gives a non-empty string or true, for up to `ms`.
  QJsonValue WaitFor(const QString& expression, int ms = 20000) {
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
      const QJsonValue value = Evaluate(expression);
      if ((value.isString() && !value.toString().isEmpty()) || value == QJsonValue(true)) {
        return value;
      }
      ::usleep(100 * 1000);
    }
    return {};
  }

 private:
  // Sends one command and waits up to 20 s for its answer; its "result", empty on any failure.
  QJsonObject Call(const char* method, const QJsonObject& params, const QString& session = {}) {
    QJsonObject message{{"id", ++lastId_}, {"method", QLatin1String(method)}, {"params", params}};
    if (!session.isEmpty()) message["sessionId"] = session;
    const QByteArray text = QJsonDocument(message).toJson(QJsonDocument::Compact) + '\0';
    if (::write(toBrowser_, text.constData(), static_cast<size_t>(text.size())) != text.size()) {
      return {};
    }
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
      qsizetype end;
      while ((end = buffer_.indexOf('\0')) >= 0) {
        const QJsonObject reply = QJsonDocument::fromJson(buffer_.left(end)).object();
        buffer_.remove(0, end + 1);
        if (reply["method"] == QLatin1String("Network.responseReceived")) {
          const QJsonObject response = reply["params"]["response"].toObject();
          responses << QString::number(response["status"].toInt()) + ' ' +
                           response["url"].toString();
        }
        if (reply["id"].toInt() == lastId_) return reply["result"].toObject();
      }
      pollfd wait{fromBrowser_, POLLIN, 0};
      if (::poll(&wait, 1, 200) <= 0) continue;
      char chunk[65536];
      const ssize_t n = ::read(fromBrowser_, chunk, sizeof chunk);
      if (n <= 0) return {};
      buffer_.append(chunk, n);
    }
    return {};
  }

  QTemporaryDir profile_;
  QProcess process_;
  int toBrowser_ = -1;
  int fromBrowser_ = -1;
  int lastId_ = 0;
  QString session_;
  QByteArray buffer_;
};

}  // namespace orvane
