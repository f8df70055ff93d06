#pragma once

#include <QByteArray>
#include <memory>

#include "core/appstate.h"
#include "net/tlscontext.h"

namespace orvane {

class PublicServer;
class AdminSite;

// The certificate of the program folder `appPath` when one of its ports has HTTPS on (made
// first when there is none); nothing, with an empty `error`, when neither has. Nothing, with
// `error` saying which file and why, when it cannot be used.
// With `mayMake` false (a report) nothing is written, and nothing comes back when there is none.
std::unique_ptr<TlsContext> PrepareTls(const QByteArray& appPath, QByteArray& error,
                                       bool mayMake = true);

// Gives `tls` to both servers (each uses it while its port has HTTPS on), and its fingerprint to
// the running log.
void UseTls(const TlsContext* tls, AppState& app, PublicServer& web, AdminSite& admin);

}  // namespace orvane
