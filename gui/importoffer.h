#pragma once
// The window's side of the Access import: the job works on SQLite databases, so when the user picks an
// Access database (recognised by its signature, whatever its name) the window offers to import it into a
// SQLite database beside it, with the same name and the extension ".sqlite", and to work on that one.
// Questions and messages go through the window services, so tests answer them.

#include <QString>
#include <functional>

#include "import/accessimport.h"

namespace vexilo::gui {

// How the import itself runs. The window hands it to a thread of its own and returns once it has ended,
// answering the desktop meanwhile; without a runner it runs where it is asked. `wait` gives the notices of
// a wait for a copy another job holds, and the question whether to give up.
struct ImportRun {
    std::function<void(const std::function<void()>& task)> offThread;
    engines::JobWaitOptions wait;
};

// Called with the database the user has just chosen. Returns the database the job must use:
// - not an Access file: `path` unchanged, nothing asked;
// - an Access file and the user accepts: the imported database (written now, replacing an earlier import
//   only when the user says so), after a message saying that the run's changes go to that new file;
// - an earlier import exists and the user does not want it replaced: that earlier import;
// - the user declines, or the import fails (its message is shown): the empty text, so that no run
//   starts on a database the engine cannot open; so does an import given up while it waits for a copy
//   that another job holds (the window is closing).
QString askToImportAccess(const QString& path, const ImportRun& run = {});

}  // namespace vexilo::gui
