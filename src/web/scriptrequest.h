#pragma once

#include <QByteArray>

namespace orvane {

struct AppState;
struct ClientSlot;

// Runs the script the slot's request names through the interpreter "qmx.exe" in the program
// folder and sends what it writes. Without the interpreter the reply is the error page of kind 3.
void ScriptRequest(AppState& app, ClientSlot& slot, const QByteArray& text);

}  // namespace orvane
