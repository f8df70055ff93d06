#include "web/scriptrunner.h"

#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cerrno>

#include "util/files.h"
#include "web/clientslot.h"
#include "web/filedelivery.h"
#include "web/site.h"

namespace orvane {

namespace {

// The children of process `pid`, from every thread of it.
std::vector<qint64> ChildrenOf(qint64 pid) {
  std::vector<qint64> children;
  const QByteArray tasks = "/proc/" + QByteArray::number(pid) + "/task/";
  DIR* folder = ::opendir(tasks.constData());
  if (folder == nullptr) return children;
  while (const dirent* entry = ::readdir(folder)) {
    if (entry->d_name[0] == '.') continue;
    const QByteArray list =
        ReadWholeFile(tasks + entry->d_name + "/children").value_or(QByteArray());
    for (const QByteArray& word : list.simplified().split(' ')) {
      bool ok = false;
      const qint64 child = word.toLongLong(&ok);
      if (ok && child > 0) children.push_back(child);
    }
  }
  ::closedir(folder);
  return children;
}

// Kills `pid` and everything below it, children first found, then the group it leads.
void KillTree(qint64 pid) {
  std::vector<qint64> found{pid};
  for (size_t i = 0; i < found.size() && found.size() < 4096; ++i) {
    ::kill(static_cast<pid_t>(found[i]), SIGSTOP);  // no more forking while it is looked at
    for (qint64 child : ChildrenOf(found[i])) found.push_back(child);
  }
  for (qint64 each : found) ::kill(static_cast<pid_t>(each), SIGKILL);
  ::kill(static_cast<pid_t>(-pid), SIGKILL);
}

}  // namespace

ScriptRunner::ScriptRunner(const Site& site, QObject* parent) : QObject(parent), site_(site) {
  connect(&sweep_, &QTimer::timeout, this, &ScriptRunner::Sweep);
}

ScriptRunner::~ScriptRunner() {
  Stop();
  // The program is ending: the runs just killed are reaped before their objects go.
  for (QProcess* process : findChildren<QProcess*>()) process->waitForFinished(1000);
}

void ScriptRunner::SetTimeLimit(int ms) {
  limitMs_ = ms;
}

bool ScriptRunner::StillWaiting(const Job& job) const {
  return job.slot->state == SlotState::Script && job.slot->serial == job.serial;
}

int ScriptRunner::Waiting(const QByteArray& address) {
  auto it = queued_.find(address);
  if (it == queued_.end()) return 0;
  std::deque<Job>& jobs = it->second;
  jobs.erase(std::remove_if(jobs.begin(), jobs.end(),
                            [this](const Job& job) { return !StillWaiting(job); }),
             jobs.end());
  return static_cast<int>(jobs.size());
}

void ScriptRunner::Run(ClientSlot& slot, const ScriptRun& run) {
  if (Waiting(run.address) >= kMaxWaiting) {
    SendError(site_, slot, ErrorKind::MissingInterpreter);
    return;
  }
  std::deque<Job>& jobs = queued_[run.address];
  jobs.push_back(Job{run, &slot, slot.serial});
  const bool alreadyReady = jobs.size() > 1 || running_.count(run.address) != 0;
  if (!alreadyReady) ready_.push_back(run.address);
  StartReady();
}

void ScriptRunner::StartReady() {
  while (static_cast<int>(running_.size()) < kMaxRunning && !ready_.empty()) {
    const QByteArray address = ready_.front();
    ready_.pop_front();
    auto it = queued_.find(address);
    if (it == queued_.end() || running_.count(address) != 0) continue;
    std::deque<Job>& jobs = it->second;
    while (!jobs.empty() && !StillWaiting(jobs.front())) jobs.pop_front();
    if (jobs.empty()) {
      queued_.erase(it);
      continue;
    }
    Job job = std::move(jobs.front());
    jobs.pop_front();
    if (jobs.empty()) queued_.erase(it);
    Start(std::move(job));
  }
}

void ScriptRunner::Start(Job job) {
  // Whatever the interpreter leaves behind when it ends becomes ours, to be ended too.
  static const bool reaper = ::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
  (void)reaper;
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
  // The child forked now is Qt's to reap, whatever state its object reports: it is known by
  // the children that appear across the start, until its object is gone.
  const std::vector<qint64> before = ChildrenOf(::getpid());
  process->start();
  for (qint64 child : ChildrenOf(::getpid())) {
    if (std::find(before.begin(), before.end(), child) != before.end()) continue;
    interpreters_.insert(child);
    connect(process, &QObject::destroyed, this, [this, child] { interpreters_.erase(child); });
  }
}

void ScriptRunner::Finish(const QByteArray& address, bool ran) {
  auto it = running_.find(address);
  if (it == running_.end()) return;
  Active active = std::move(it->second);
  running_.erase(it);
  active.process->disconnect(this);
  active.process->deleteLater();
  EndStrays();
  if (StillWaiting(active.job)) {
    Reply(active.job, ran);
  } else {
    RemoveFile(active.job.run.output);  // nobody will read it
  }
  if (queued_.count(address) != 0) ready_.push_back(address);
  StartReady();
}

void ScriptRunner::Reply(const Job& job, bool ran) {
  qint64 size = 0;
  // Never read through a link planted at the output's name: the link itself goes.
  const int fd = ran ? OpenRegularFile(job.run.output, &size, true) : -1;
  RemoveFile(job.run.output);  // an open output stays readable until the reply has gone
  if (fd < 0) {
    SendError(site_, *job.slot, ErrorKind::MissingInterpreter);
    return;
  }
  SendOpenFile(site_, *job.slot, job.run.output, fd, size, ReplyStatus::Ok, "text/html");
}

void ScriptRunner::Abandon(ClientSlot& slot) {
  for (auto& [address, active] : running_) {
    if (active.job.slot == &slot) End(*active.process);
  }
}

void ScriptRunner::End(QProcess& process) {
  const qint64 pid = process.processId();
  if (pid > 0) KillTree(pid);
  process.kill();
}

void ScriptRunner::EndStrays() {
  // Our own children that we did not start are descendants of an interpreter that has gone.
  // Interpreters, running or being ended, are Qt's to reap.
  for (qint64 child : ChildrenOf(::getpid())) {
    if (interpreters_.count(child) != 0) continue;
    KillTree(child);
    strays_.insert(child);
  }
  for (auto it = strays_.begin(); it != strays_.end();) {
    const pid_t done = ::waitpid(static_cast<pid_t>(*it), nullptr, WNOHANG);
    it = done == 0 ? std::next(it) : strays_.erase(it);
  }
}

void ScriptRunner::Sweep() {
  for (auto& [address, active] : running_) {
    if (active.started.hasExpired(limitMs_)) End(*active.process);
  }
  EndStrays();
  if (running_.empty() && strays_.empty()) sweep_.stop();
}

void ScriptRunner::Stop() {
  queued_.clear();
  ready_.clear();
  for (auto& [address, active] : running_) {
    active.process->disconnect(this);
    End(*active.process);
    RemoveFile(active.job.run.output);
    // Deleted once it has ended: nothing here waits for that.
    connect(active.process, &QProcess::finished, active.process, &QObject::deleteLater);
  }
  running_.clear();
  EndStrays();
}

}  // namespace orvane
