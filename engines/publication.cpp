#include "engines/publication.h"

#include <QFile>

#include "engines/publish.h"

namespace vexilo::engines {

namespace {

const QString kPartial = QStringLiteral("parcial");
const QString kFinal = QStringLiteral("final");
const QString kSize = QStringLiteral("tamano");
const QString kChecksum = QStringLiteral("suma");

bool hasRecord(Database& bd) {
    const QString sought = kPublicationTable.toUpper();
    for (int i = 0; i < bd.TableDefsCount(); ++i) {
        if (bd.TableDefName(i).toUpper() == sought) {
            return true;
        }
    }
    return false;
}

}  // namespace

void recordPublications(Database& bd, const std::vector<Publication>& files) {
    if (!hasRecord(bd)) {
        TableDef def = Database::CreateTableDef(kPublicationTable);
        def.Append(TableDef::CreateField(kPartial, dbText));
        def.Append(TableDef::CreateField(kFinal, dbText));
        def.Append(TableDef::CreateField(kSize, dbBigInt));
        def.Append(TableDef::CreateField(kChecksum, dbBigInt));
        bd.AppendTableDef(def);
    }
    for (const Publication& p : files) {
        bd.InsertRow(kPublicationTable, {{kPartial, p.partial},
                                         {kFinal, p.finalName},
                                         {kSize, p.sum.size},
                                         {kChecksum, static_cast<qint64>(p.sum.crc)}});
    }
}

std::vector<Publication> recordedPublications(Database& bd) {
    std::vector<Publication> files;
    if (!hasRecord(bd)) {
        return files;
    }
    for (const Database::Row& row : bd.ReadRows(kPublicationTable, {kPartial, kFinal, kSize, kChecksum})) {
        Publication p;
        p.partial = row.values[0].toString();
        p.finalName = row.values[1].toString();
        p.sum.size = row.values[2].toLongLong();
        p.sum.crc = static_cast<std::uint32_t>(row.values[3].toLongLong());
        files.push_back(p);
    }
    return files;
}

void clearPublications(Database& bd) {
    if (hasRecord(bd)) {
        bd.DeleteTableDef(kPublicationTable);
    }
}

FinishedPublications finishPublications(Database& bd) {
    FinishedPublications done;
    const std::vector<Publication> files = recordedPublications(bd);
    for (const Publication& p : files) {
        if (!QFile::exists(p.partial)) {
            continue;  // it took its name before the job that wrote it ended
        }
        if (fileSum(p.partial) != p.sum) {
            done.torn.push_back(p.partial);
            continue;
        }
        publishFile(p.partial, p.finalName);
        done.published.push_back(p.finalName);
    }
    if (!files.empty() && done.torn.empty()) {
        clearPublications(bd);
    }
    return done;
}

}  // namespace vexilo::engines
