#pragma once
// A job's files and its database commit as one. Before the job's transaction commits, the files are whole
// and on the disk under their partial names, and the transaction itself records what is to be published:
// each file's partial name, final name, size and checksum. After the commit the files take their names and
// the record goes. A job killed in between leaves a committed record beside whole partial files, and
// whoever opens the database next finishes the publication before anything else; a job killed before the
// commit leaves no record, and its partial files are a dead process's leftovers.

#include <QString>
#include <vector>

#include "engines/checksum.h"
#include "engines/dao.h"

namespace vexilo::engines {

// The table that holds the record while a publication is pending; it exists only then.
inline const QString kPublicationTable = QStringLiteral("vexilo_publicacion");

struct Publication {
    QString partial;    // where the file is, whole and on the disk, before it takes its name
    QString finalName;  // the name it takes once the transaction has committed
    FileSum sum;        // what the partial file holds
};

// The record of `files`, written inside bd's open transaction (the table is made for it).
void recordPublications(Database& bd, const std::vector<Publication>& files);

// The publications that a committed transaction recorded and nobody has finished yet; none when there
// is no record.
std::vector<Publication> recordedPublications(Database& bd);

// Drops the record once every file it names has its name; outside any transaction.
void clearPublications(Database& bd);

// What a finished publication did: the files that took their names now, and the recorded partial files
// that are not whole (torn by a failing disk): those are left where they are, with the record.
struct FinishedPublications {
    std::vector<QString> published;
    std::vector<QString> torn;
};

// Finishes what a job that was killed after its commit left: each recorded file that is whole under its
// partial name takes its final name; a partial name that holds nothing any more had taken its name
// already. The record goes when no torn file remains. A file that cannot take its name is a RunError, the
// record staying for the next try.
FinishedPublications finishPublications(Database& bd);

}  // namespace vexilo::engines
