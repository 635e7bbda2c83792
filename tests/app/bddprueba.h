#pragma once
// A database that passes the checks made before every job: the catalog names one attribute table
// (created by the checks themselves), feature code 1 belongs to it, and NoAsignar exists but is empty.

#include <QString>

#include "platform/dao.h"

namespace vexilo::testing {

inline void creaBdDValida(const QString& path) {
    using platform::FieldDef;
    auto db = platform::CreateDatabase(path);
    platform::TableDef msCatalog(QStringLiteral("MsCatalog"));
    msCatalog.Append(FieldDef{QStringLiteral("tablename"), platform::dbText, 0});
    msCatalog.Append(FieldDef{QStringLiteral("entitynum"), platform::dbLong, 0});
    db->AppendTableDef(msCatalog);
    db->InsertRow(QStringLiteral("MsCatalog"),
                  {{QStringLiteral("tablename"), QStringLiteral("CALLES")}, {QStringLiteral("entitynum"), 7}});

    platform::TableDef feature(QStringLiteral("Feature"));
    feature.Append(FieldDef{QStringLiteral("mslink"), platform::dbLong, 0});
    feature.Append(FieldDef{QStringLiteral("tablename"), platform::dbText, 0});
    feature.Append(FieldDef{QStringLiteral("ftype"), platform::dbInteger, 0});
    db->AppendTableDef(feature);
    db->InsertRow(QStringLiteral("Feature"), {{QStringLiteral("mslink"), 1},
                                              {QStringLiteral("tablename"), QStringLiteral("CALLES")},
                                              {QStringLiteral("ftype"), 1}});

    platform::TableDef noAsignar(QStringLiteral("NoAsignar"));
    noAsignar.Append(FieldDef{QStringLiteral("mslink"), platform::dbLong, 0});
    db->AppendTableDef(noAsignar);
    db->Close();
}

}  // namespace vexilo::testing
