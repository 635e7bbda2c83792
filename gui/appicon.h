#pragma once
// The program's icon, as the window and the desktop's task bar show it.

#include <QIcon>

namespace vexilo::gui {

// Every size the program carries (16 to 256 pixels), so that each place picks the one drawn for it.
QIcon applicationIcon();

}  // namespace vexilo::gui
