#include "web/scriptrunner.h"

#include <signal.h>
#include <unistd.h>
#include <QFile>
#include <QProcess>

#include <algorithm>

#include "core/appstate.h"
#include "util/files.h"
#include "web/clientslot.h"
#include "web/filedelivery.h"

namespace orvane {

namespace {

void KillGroup(QProcess& process) {
  const qint64 pid = process.processId();
  if (pid > 0) ::kill(static_cast<pid_t>(-pid), SIGKILL);
  process.kill();
}

}  // namespace

ScriptRunner::ScriptRunner(AppState& app, QObject* parent) : QObject(parent), app_(app) {
  connect(&sweep_, &QTimer::timeout, this, &ScriptRunner::Sweep);
}

ScriptRunner::~ScriptRunner() {
  Stop();
}

void ScriptRunner::SetTimeLimit(int ms) {
  limitMs_ = ms;
}

bool ScriptRunner::StillWaiting(const Job& job) const {
  return job.slot->state == SlotState::Script && job.slot->serial == job.serial;
}

void ScriptRunner::Run(ClientSlot& slot, const ScriptRun& run) {
  Job job{run, &slot, slot.serial};
  if (running_.count(run.address) != 0) {
    queued_[run.address].push_back(std::move(job));
    return;
  }
  Start(std::move(job));
}

void ScriptRunner::Start(Job job) {
  const QByteArray address = job.run.address;
  // An output left over from an earlier run must never be taken for this one's.
  RemoveFile(job.run.output);
  auto* process = new QProcess(this);
  process->setProgram(QFile::decodeName(job.run.program));
  // A group of its own, so that the time limit ends what the interpreter started too.
  process->setChildProcessModifier([] { ::setpgid(0, 0); });
  process->setArguments({QFile::decodeName(job.run.argument)});
  process->setWorkingDirectory(QFile::decodeName(job.run.folder));
  process->setStandardInputFile(QProcess::nullDevice());
  process->setStandardOutputFile(QProcess::nullDevice());
  process->setStandardErrorFile(QProcess::nullDevice());
  Active& active = running_[address];
  active = Active{std::move(job), process, {}};
  active.started.start();
  connect(process, &QProcess::finished, this,
          [this, address](int code, QProcess::ExitStatus status) {
            Finish(address, status == QProcess::NormalExit && code == 0);
          });
  connect(process, &QProcess::errorOccurred, this, [this, address](QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart) Finish(address, false);
  });
  if (!sweep_.isActive()) sweep_.start(std::clamp(limitMs_ / 4, 20, 1000));
  process->start();
}

void ScriptRunner::Finish(const QByteArray& address, bool ran) {
  auto it = running_.find(address);
  if (it == running_.end()) return;
  Active active = std::move(it->second);
  running_.erase(it);
  active.process->disconnect(this);
  active.process->deleteLater();

  const Job& job = active.job;
  if (!StillWaiting(job)) {
    RemoveFile(job.run.output);  // nobody will read it
  } else if (ran && SendFile(app_, *job.slot, job.run.output, ReplyStatus::Ok, "text/html")) {
    RemoveFile(job.run.output);  // the reply holds it open until it has gone
  } else {
    SendError(app_, *job.slot, ErrorKind::MissingInterpreter);
  }
  StartNext(address);
  if (running_.empty()) sweep_.stop();
}

void ScriptRunner::StartNext(const QByteArray& address) {
  auto it = queued_.find(address);
  while (it != queued_.end() && !it->second.empty()) {
    Job job = std::move(it->second.front());
    it->second.pop_front();
    if (StillWaiting(job)) {
      Start(std::move(job));
      break;
    }
  }
  if (it != queued_.end() && it->second.empty()) queued_.erase(it);
}

void ScriptRunner::Sweep() {
  for (auto& [address, active] : running_) {
    if (active.started.hasExpired(limitMs_)) KillGroup(*active.process);
  }
}

void ScriptRunner::Stop() {
  queued_.clear();
  sweep_.stop();
  for (auto& [address, active] : running_) {
    active.process->disconnect(this);
    KillGroup(*active.process);
    active.process->waitForFinished(1000);
    RemoveFile(active.job.run.output);
    delete active.process;
  }
  running_.clear();
}

}  // namespace orvane
