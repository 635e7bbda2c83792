#pragma once
// Qt's own messages (its drivers' "Unable to free statement", "QSqlQuery::exec: database not open" after a
// lost connection, a plugin's notes) are in English and for developers: a program of this system shows
// its users only its own Spanish messages. Set VEXILO_QT_MESSAGES=1 to see Qt's again.

namespace vexilo::desktop {

// Installs the handler that keeps Qt's debug, information and warning messages quiet; critical and fatal
// ones still reach the standard error. Call once, first thing in main.
void keepQtMessagesQuiet();

}  // namespace vexilo::desktop
