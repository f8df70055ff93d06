#include "app/signalwatcher.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

namespace orvane {

namespace {

int gPipe[2] = {-1, -1};

void OnSignal(int signal) {
  const int saved = errno;  // the interrupted code may be about to read it
  const unsigned char byte = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

void SignalWatcher::Install() {
  if (gPipe[0] >= 0 || ::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGHUP, &action, nullptr);
}

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent) {
  Install();
  if (gPipe[0] < 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(gPipe[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
    unsigned char byte = 0;
    while (::read(gPipe[0], &byte, 1) == 1) {
      if (byte == SIGHUP) {
        Q_EMIT Restart();
      } else {
        Q_EMIT Stopped(byte);
      }
    }
  });
}

SignalWatcher::~SignalWatcher() {
  // Signals still go to the pipe: the program is ending, and a second Ctrl+C must not cut short
  // what it does on the way out.
  notifier_.reset();
}

}  // namespace orvane
