#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QTimer>
#include <deque>
#include <map>
#include <set>

#include "web/site.h"

namespace orvane {

struct ClientSlot;

// One run of the script interpreter for one request.
struct ScriptRun {
  QByteArray program;   // AppPath + "qmx.exe"
  QByteArray argument;  // script path "|" client address "|" form data
  QByteArray output;    // AppPath + client address + ".qms"
  QByteArray address;   // the client's address: runs for one address go one at a time
  QByteArray folder;    // where the interpreter runs (the program folder)
};

// Runs the interpreter for the slots that wait for a script, without ever waiting for it: each
// run continues in the event that reports its end. The output file is sent as the slot's reply
// and deleted; a run that cannot start, fails, is killed at the time limit or writes no output
// gets the error page of kind 3. Runs for one client address never overlap, since they share one
// output file.
//
// Bounded: at most kMaxRunning interpreters at once, and at most kMaxWaiting requests of one
// address waiting (more get the error page at once). A request whose client has left is never
// started, and a run whose client leaves is ended. At the time limit the interpreter ends with
// everything it started: the server is their subreaper, and ends every descendant it finds.
class ScriptRunner : public QObject {
  Q_OBJECT

 public:
  static constexpr int kMaxRunning = 8;
  static constexpr int kMaxWaiting = 4;

  explicit ScriptRunner(const Site& site, QObject* parent = nullptr);
  ~ScriptRunner() override;

  // Starts `run` for `slot` (which now waits in the Script state), or queues it.
  void Run(ClientSlot& slot, const ScriptRun& run);
  // The client of `slot` has gone: its run, if any, is ended.
  void Abandon(ClientSlot& slot);
  // Kills every run and forgets every queued one, without waiting for them.
  void Stop();
  void SetTimeLimit(int ms);
  int Running() const { return static_cast<int>(running_.size()); }
  // Requests of `address` waiting for their run (clients that left not counted).
  int Waiting(const QByteArray& address);

 private:
  struct Job {
    ScriptRun run;
    ClientSlot* slot;
    quint64 serial;  // the slot's serial when the run was asked for
  };
  struct Active {
    Job job;
    QProcess* process;
    QElapsedTimer started;
  };

  bool StillWaiting(const Job& job) const;
  void StartReady();
  void Start(Job job);
  void Finish(const QByteArray& address, bool ran);
  void Reply(const Job& job, bool ran);
  void End(QProcess& process);
  void EndStrays();
  void Sweep();

  Site site_;
  std::map<QByteArray, Active> running_;
  std::map<QByteArray, std::deque<Job>> queued_;
  std::deque<QByteArray> ready_;   // addresses with queued jobs and no run, in turn
  std::set<qint64> strays_;        // descendants ended and not reaped yet
  std::set<qint64> interpreters_;  // children we started, until their objects are gone
  QTimer sweep_;
  int limitMs_ = 30000;
};

}  // namespace orvane
