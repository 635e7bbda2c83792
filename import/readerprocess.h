#pragma once
// Runs vexilo-accessreader, the small program that reads an Access file with libmdb, and hands what it
// writes to a StreamReader. libmdb can loop without end or grow without bound on a damaged file, so it
// never runs inside this program: the helper runs with a limit on its memory and its processor time,
// and is stopped when it runs past a limit on the time waited for it. Any of these ends the import as
// a damaged file.

#include <QString>
#include <QStringList>

#include "import/streamreader.h"

namespace vexilo::importer {

struct ReadLimits {
    int memoryMb = 512;     // address space of the helper: the sample takes under 64 MB
    int cpuSeconds = 600;   // processor time of the helper
    int waitSeconds = 900;  // time waited for the helper, whatever it does
};

// The limits of the next imports (tests lower them so a looping file ends quickly).
void setReadLimits(const ReadLimits& limits);
ReadLimits readLimits();

// The helper program: the one set here when not empty; else the installed one, in the package's library
// folder relative to the running program's folder (<bindir>/../lib/vexilo/vexilo-accessreader); else,
// for a program of the build tree, the one this build made.
void setAccessReader(const QString& path);
QString accessReader();

// Reads `source` through the helper into `reader` until the stream is complete. Returns the warnings
// libmdb printed. Throws ImportError for a helper that cannot be run, a damaged file (whatever the
// helper did: a fault in its stream, a limit reached, a crash) and the failures the stream reports.
QStringList readWithReader(const QString& source, StreamReader& reader);

}  // namespace vexilo::importer
