#pragma once

#include <QByteArray>
#include <optional>

namespace orvane {

struct Site;
struct ClientSlot;

// The largest form a script request may carry in its body.
constexpr qsizetype kMaxFormBody = 1024 * 1024;
// Linux takes no single argument of this many bytes or more (its end included): a longer one
// could never start the interpreter.
constexpr qsizetype kMaxArgument = 128 * 1024;

// Runs the script the slot's request names through the interpreter (FindInterpreter), started in
// the program folder, without waiting for it: the slot waits for the run, whose output is sent
// later. Without the interpreter, or with a declared body over kMaxFormBody, the reply is the error
// page of kind 3. A request whose declared body has not all arrived yet is handed back to wait for
// it.
void ScriptRequest(const Site& site, ClientSlot& slot, const QByteArray& text);

// The interpreter "qmx.exe" of the program folder, or else the one installed with the program
// (/usr/lib/orvane-light/qmx.exe beside /usr/bin/orvane-light); empty when there is neither.
QByteArray FindInterpreter(const QByteArray& appPath);

// The one argument the interpreter gets: script path "|" address "|" form data. A NUL cannot be
// passed in an argument and bytes above 127 would not pass through the system's text encoding
// unchanged: both are given as "%XX" escapes, which a form reader decodes to the same bytes.
QByteArray InterpreterArgument(const QByteArray& script, const QByteArray& address,
                               const QByteArray& form);

}  // namespace orvane
