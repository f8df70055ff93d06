#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <vector>

namespace orvane {

// Readiness of many descriptors through one epoll instance behind one QSocketNotifier: the event
// loop watches a single descriptor however many connections are open, and each wake-up costs
// only the descriptors that are ready. Level-triggered, like the notifiers it stands for. Under
// the program's own epoll dispatcher the descriptors go straight into the dispatcher's set, and
// a wake-up is a single epoll_wait.
class Poller : public QObject {
  Q_OBJECT

 public:
  class Client {
   public:
    virtual ~Client() = default;
    // `fd` is ready; `hangup` when the connection has failed or closed in both directions
    // (reported even when nothing is watched). Called from the event loop only.
    virtual void OnReady(bool readable, bool writable, bool hangup) = 0;
  };

  // The program's poller, owned by the application object.
  static Poller& Instance();

  // Watches `fd` for reading and/or writing on behalf of `client` (neither: not at all, though
  // it stays known).
  void Watch(int fd, Client* client, bool read, bool write);
  // For a connection just accepted: when called while a round of events is delivered, `client`
  // first gets a readable event at the end of the round, and watches only if that finds nothing
  // to read. A request that came with its connection is then served without an epoll_ctl and a
  // wait. False outside a round: the caller watches at once.
  bool OfferFirstRead(int fd, Client* client);
  // Forgets `fd` before it is closed (closing takes it out of the epoll set by itself).
  void Forget(int fd);

 private:
  explicit Poller(QObject* parent);
  ~Poller() override;
  void Dispatch();
  void Deliver(int fd, uint32_t events);
  void EndRound();

  struct Entry {
    Client* client = nullptr;
    uint32_t events = 0;
    bool added = false;
  };
  int epoll_ = -1;
  bool ownEpoll_ = true;
  QSocketNotifier* notifier_ = nullptr;
  std::vector<Entry> entries_;  // indexed by descriptor
  bool inRound_ = false;
  std::vector<std::pair<int, Client*>> fresh_;  // offered a first read this round
};

}  // namespace orvane
