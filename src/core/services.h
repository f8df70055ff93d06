#pragma once
// The two listeners as the server lifecycle drives them; the web and administration subsystems
// provide them.

#include <QtGlobal>

namespace orvane {

class PublicService {
 public:
  virtual ~PublicService() = default;
  // Resets every client slot and listens on the running public port. False when the port cannot
  // be listened on; nothing is then left listening.
  virtual bool Start() = 0;
  // Closes every client connection and the listener.
  virtual void Stop() = 0;
  // Open public connections, whether served, waiting or still sending their request.
  virtual int ActiveConnections() const = 0;
  // Why the last Start could not listen (an errno value; 0 when not known).
  virtual int ListenError() const = 0;
};

class AdminService {
 public:
  virtual ~AdminService() = default;
  // Listens on `port`; false when it cannot.
  virtual bool Listen(int port) = 0;
  // Why the last Listen failed (an errno value; 0 when not known).
  virtual int ListenError() const = 0;
  virtual void Close() = 0;
  // Closes the administration connection and listens again (the Restart Admin command).
  virtual void Restart() = 0;
};

}  // namespace orvane
