#pragma once

#include <QIcon>

namespace orvane {

// The program's icon, drawn here at every size a window, a taskbar or a tray asks for: a globe
// of meridians on a teal disc with an amber lamp, the sign of a small server that lights a site.
QIcon AppIcon();

}  // namespace orvane
