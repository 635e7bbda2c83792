#pragma once
// Attribute records for tests of the assignment: stored and read back as the four columns the writer
// uses (mslink, tmapa, tcomplet, tfeature), compared by their text form with Null apart.

#include <QString>
#include <QVariant>
#include <ostream>
#include <string>
#include <vector>

#include "engines/dao.h"

namespace vexilo::testing {

struct Rec {
    QVariant mslink;
    QVariant tmapa;
    QVariant tcomplet;
    QVariant tfeature;
};

inline bool sameValue(const QVariant& x, const QVariant& y) {
    return x.isNull() == y.isNull() && (x.isNull() || x.toString() == y.toString());
}

inline bool operator==(const Rec& a, const Rec& b) {
    return sameValue(a.mslink, b.mslink) && sameValue(a.tmapa, b.tmapa) &&
           sameValue(a.tcomplet, b.tcomplet) && sameValue(a.tfeature, b.tfeature);
}

inline std::string showValue(const QVariant& v) {
    return v.isNull() ? std::string("Null") : v.toString().toStdString();
}

inline void PrintTo(const Rec& r, std::ostream* os) {
    *os << "{" << showValue(r.mslink) << ", " << showValue(r.tmapa) << ", " << showValue(r.tcomplet) << ", "
        << showValue(r.tfeature) << "}";
}

inline void storeRecords(engines::Database& db, const QString& table, const std::vector<Rec>& recs) {
    for (const Rec& r : recs) {
        db.InsertRow(
            table,
            {{"mslink", r.mslink}, {"tmapa", r.tmapa}, {"tcomplet", r.tcomplet}, {"tfeature", r.tfeature}});
    }
}

inline std::vector<Rec> readRecords(engines::Database& db, const QString& table) {
    std::vector<Rec> out;
    for (const auto& row : db.ReadRows(table, {"mslink", "tmapa", "tcomplet", "tfeature"})) {
        out.push_back({row.values[0], row.values[1], row.values[2], row.values[3]});
    }
    return out;
}

// One CONTROLPROCESO row without its date and time.
struct LogRow {
    QString table;
    qint64 mslink;
    qint64 registroAtr;
    QString file;
    QString tmapa;
    bool operator==(const LogRow&) const = default;
};

inline void PrintTo(const LogRow& r, std::ostream* os) {
    *os << "{" << r.table.toStdString() << ", " << r.mslink << ", " << r.registroAtr << ", "
        << r.file.toStdString() << ", " << r.tmapa.toStdString() << "}";
}

inline std::vector<LogRow> readLog(engines::Database& db) {
    std::vector<LogRow> out;
    for (const auto& row :
         db.ReadRows("CONTROLPROCESO", {"NombreTabla", "mslink", "RegistroATR", "NombreFichero", "TMapa"})) {
        out.push_back({row.values[0].toString(), row.values[1].toLongLong(), row.values[2].toLongLong(),
                       row.values[3].toString(), row.values[4].toString()});
    }
    return out;
}

}  // namespace vexilo::testing
