#pragma once
// Choosing the database and the input drawing file, and remembering their folders from one use of the
// program to the next. The database may also be typed into its box: a file path, or a server URI
// (engines/databasename.h) whose password is kept for the run only, never shown nor stored. The dialogs, the
// settings store and the file deletion go through the installed desktop services; what is shown goes through
// the display.

#include <QString>

#include "app/session.h"
#include "core/display.h"

namespace vexilo::app {

// Folder of a chosen file: the part of the full path before the first occurrence of its bare name
// (exact, case-sensitive), so it keeps its trailing separator. A bare name not found in the path gives
// the empty text.
QString folderOf(const QString& fullName, const QString& bareName);
// The input path without its extension when it ends in a dot and three characters ("hoja.bin",
// "hoja.dgn"); any other path whole ("sub/ab", "hoja.bin2").
QString outputBase(const QString& drawingName);
// The output drawing file beside the input: the base, then "_s" and ".bin".
QString outputNameOf(const QString& drawingName);

// Refuses (core::Stop, before anything is deleted or written) an output that is, after resolving
// links, the same file as the input drawing or the database. Empty names and server URIs are not
// compared.
void refuseOutputOverInputs(const QString& output, const QString& bin, const QString& dbPath);

// "..." of the database: clears the status area, then asks for the database starting in the folder used
// last time. A cancel keeps the previous choice and changes nothing else.
void Command2_Click(Session& session, core::Display& display);
// "..." of the drawing file: asks for it starting in the folder used last time, derives the output name
// and deletes an old file of that name (a failed deletion is a RunError; an old "output" that is the
// input or the database itself is refused and kept). A cancel keeps the previous choice and never deletes
// anything.
void Command3_Click(Session& session, core::Display& display);
// Saves both folders, also when empty because nothing of that kind was chosen (except the database
// folder of a session on a server database that chose no file: it stays as it was), and the server
// database in use without its password (the empty text when the database is a file or none).
void Form_Unload(const Session& session);

// A database name as typed or pasted into its box: surrounding blanks dropped, a path made absolute
// against the working folder, a URI left as it is. Blanks alone give the empty text.
QString typedDatabaseName(const QString& typed);
// Why a typed name (as typedDatabaseName gives it) cannot be the database, or the empty text when it
// can: a server URI that cannot be read (the reason shows it without its password), a path with no
// file behind it, a folder.
QString typedDatabaseRefusal(const QString& name);
// Why the server database that a typed URI names cannot be used now, as the run would say it (a server
// that does not answer, a refused user or password, a missing database), or the empty text when a
// connection to it opens (it is closed at once). A server that does not answer is given up after a few
// seconds. The empty text for a file. It blocks meanwhile: a window calls it off its own thread.
QString serverDatabaseRefusal(const QString& name);
// The notice while a typed server database is tried (without its password).
QString checkingMessage(const QString& name);
// Takes a typed name that typedDatabaseRefusal accepts, as a choice in the dialog would be taken: clears
// the status area, sets NombreBdD (a URI whole, password included, for the run) and shows it in Text2
// without its password. A path also gives its folder to DirectorioBdD; a URI leaves the folder of the
// last file chosen, where the dialog still opens.
void chooseTypedDatabase(Session& session, core::Display& display, const QString& name);
// At load: the server database remembered at the last close becomes the database again, shown in
// Text2. A stored value that is not a server URI is ignored.
void restoreServerDatabase(Session& session, core::Display& display);

}  // namespace vexilo::app
