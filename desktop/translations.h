#pragma once
// Qt's own texts (file dialog, message box buttons, standard actions) in Spanish, whatever the user's
// locale: the program speaks Spanish throughout, so its dialogs must too.

class QCoreApplication;

namespace vexilo::desktop {

// Installs Qt's Spanish catalogue (qtbase_es, from Qt's own translations folder) into the application.
// Returns false, and installs nothing, when the catalogue is not there; Qt then shows its English
// texts, which is a lesser window but no reason to refuse to start.
bool installSpanishTranslations(QCoreApplication& application);

}  // namespace vexilo::desktop
