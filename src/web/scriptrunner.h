#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QTimer>
#include <deque>
#include <map>

namespace orvane {

struct AppState;
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
// output file. A slot whose client left before its run ended gets nothing; its output is deleted.
class ScriptRunner : public QObject {
  Q_OBJECT

 public:
  explicit ScriptRunner(AppState& app, QObject* parent = nullptr);
  ~ScriptRunner() override;

  // Starts `run` for `slot` (which now waits in the Script state), or queues it behind the run
  // of the same address.
  void Run(ClientSlot& slot, const ScriptRun& run);
  // Kills every run and forgets every queued one.
  void Stop();
  void SetTimeLimit(int ms);
  int Running() const { return static_cast<int>(running_.size()); }

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
  void Start(Job job);
  void Finish(const QByteArray& address, bool ran);
  void StartNext(const QByteArray& address);
  void Sweep();

  AppState& app_;
  std::map<QByteArray, Active> running_;
  std::map<QByteArray, std::deque<Job>> queued_;
  QTimer sweep_;
  int limitMs_ = 30000;
};

}  // namespace orvane
