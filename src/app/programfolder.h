#pragma once

#include <QByteArray>

namespace orvane {

// What the program folder is chosen from.
struct FolderPlace {
  QByteArray appDir;              // --app-dir as given; empty when not given
  QByteArray executableDir;       // the executable's own folder
  bool executableDirOwn = false;  // the program may keep its files there (see below)
  QByteArray dataHome;            // $XDG_DATA_HOME
  QByteArray home;                // $HOME
};

// The program folder, ending in a slash: DIR of --app-dir whenever it is given; otherwise the
// executable's folder when the program may keep its files there; otherwise the user's data
// folder, $XDG_DATA_HOME/orvane-light (~/.local/share/orvane-light when that is unset or not an
// absolute path). Empty when none can be named (no home).
QByteArray ChooseProgramFolder(const FolderPlace& place);

// Whether the executable's folder can be the program folder: it is writable, and it is not an
// installed program's folder (one with its sample site in ../share/orvane-light), which even root
// must not fill with a site.
bool ExecutableDirIsOwn(const QByteArray& executableDir);

// Where an installed program keeps what came with it: /usr/bin/orvane-light has its sample site
// in /usr/share/orvane-light/ and its script interpreter in /usr/lib/orvane-light/.
QByteArray InstalledSampleSite(const QByteArray& executableDir);

// The site a new data folder is filled from: the one beside a program that may not write there
// (a read-only copy of a program folder), or else the installed sample site.
QByteArray SampleSiteFor(const QByteArray& executableDir);

// Fills `folder` with a copy of the sample site's settings, docs and system folder when the
// folder is missing or empty (the first start), or when a first start was cut short; once it
// holds a site it is the owner's and is left as it is, and nothing already there is ever
// replaced. A missing sample leaves the folder empty. False, with the reason, when the folder
// cannot be made or filled.
bool FillFromSample(const QByteArray& folder, const QByteArray& sample, QByteArray& error);

}  // namespace orvane
