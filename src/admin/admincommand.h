#pragma once
// The console's commands: which one a console form asks for, carrying it out, and its page.

#include <QByteArray>

#include "admin/adminpages.h"

namespace orvane {

class Desktop;

// What a command works on.
struct AdminContext {
  AdminView view;
  QByteArray docsPath;  // the documents folder, ending in "/"
  Desktop& desktop;     // the running log
};

// The command a console form's body asks for: the last of the table's texts found in it
// ("RefreshList" for "Back", "View Log" for "View+Log", ...); empty when none is.
QByteArray SelectCommand(const QByteArray& body);

// Carries out `command` with the form `body` and returns its page; empty when the command has
// none. The deletion step changes `command` to "RefreshList".
QByteArray AdminCommand(QByteArray& command, const QByteArray& body, AdminContext& context);

// The listing lines of `folder`: a link to each entry on the public site, then the checkbox
// named after it between `head` and `tail`. A name without a "." is shown as a folder.
QByteArray ListDirectory(const QByteArray& folder, const QByteArray& head, const QByteArray& tail,
                         const AdminView& view);

// True when an erase name stays inside the documents folder: no ".." component, no separator
// at its start, no NUL.
bool SafeEraseName(const QByteArray& name);

}  // namespace orvane
