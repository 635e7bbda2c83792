#pragma once
// Copies every user table of an Access database (Jet 3, Jet 4 or ACE) into a new SQLite database, so
// that the job can run on the users' real databases. The file is read by mdbtools' libmdb inside a
// helper program with limits on its memory and time (readerprocess.h), so that a damaged file ends the
// import with a message, never with a program that hangs or grows without end.
//
// What is kept: table and column names as the file spells them; column kinds (whole numbers as
// INTEGER, reals and currency as REAL, texts as VARCHAR(size in characters), memo as TEXT, dates as
// DATETIME, yes/no as BOOLEAN 1/0, OLE and binary as BLOB); Null as Null, apart from an empty text,
// which libmdb cannot tell apart from Null in a bound text and which is therefore checked in the row
// itself; texts as Unicode; rows in the file's order. Every table the file's catalog lists must be
// copied whole, with the row count the file declares; anything less is a damaged file.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "core/usererror.h"
#include "engines/replacement.h"

namespace vexilo::importer {

// A failure of the import, with a message in Spanish for the user. Nothing is left at the destination
// when it is thrown (an existing destination replaced with `force` stays as it was).
class ImportError : public core::UserError {
  public:
    using UserError::UserError;
};

struct ImportedTable {
    QString name;
    std::int64_t rows = 0;
};

struct Result {
    std::vector<ImportedTable> tables;  // in the file's catalog order
    QStringList warnings;               // what libmdb printed while reading; the import succeeded anyway
    QString backup;                     // where the replaced destination file was kept; empty: none
};

// True when the file starts like an Access database: "Standard Jet DB" or "Standard ACE DB" from byte 4.
// The name of the file plays no part. A file that cannot be read is not one.
bool isAccessDatabase(const QString& path);

// Imports `source` into a new SQLite database `destination`. Refuses an existing destination unless
// `force`; the new database is written beside it under a temporary name and only then takes its
// name, so a failed import never leaves a half-written file nor loses the old one. An existing
// destination is held as a job holds it (a job on it is waited for as `wait` says) and kept beside the new
// file as a dated backup (Result::backup).
// Throws ImportError for: a missing or unreadable source, a source that is not an Access
// database, a destination that is the source itself (by any name or link, even with `force`), a
// destination whose folder does not exist, an existing destination without `force`, a damaged file
// ("El fichero de Access está dañado: ..."; a catalog or a table that cannot be read whole, a read
// that runs past its limits), a memo longer than the reader takes, a destination that cannot be
// written, and a helper program that cannot be run.
Result importAccess(const QString& source, const QString& destination, bool force,
                    const engines::JobWaitOptions& wait = {});

// The SQLite database that an import of `accessPath` is offered into: same folder, same name, ".sqlite".
QString importedPath(const QString& accessPath);

// An Access date: days since 30 December 1899, the fraction being the time of day. Days before that
// date are negative while the fraction stays positive (-1.25 is 29 December 1899, 06:00).
QDateTime accessDate(double valor);

}  // namespace vexilo::importer
