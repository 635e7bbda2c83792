#include "dbdump.h"

#include <gtest/gtest.h>

#include "engines/dao.h"

namespace vexilo::testing {

namespace {

bool isLogMoment(const QString& table, const QString& field) {
    return table.toUpper() == QLatin1String("CONTROLPROCESO") &&
           (field.toUpper() == QLatin1String("FECHA") || field.toUpper() == QLatin1String("HORA"));
}

}  // namespace

// Read through the engine layer, so that a file and a server database dump alike.
QStringList rowsOfEveryTable(const QString& path, const QString& folder) {
    QStringList rows;
    try {
        auto db = engines::DBEngine::instance().Workspaces(0).OpenDatabase(path);
        for (int t = 0; t < db->TableDefsCount(); ++t) {
            const QString table = db->TableDefName(t);
            std::vector<QString> fields;
            QStringList names;
            for (const QString& f : db->FieldNames(table)) {
                names << f;
                if (!isLogMoment(table, f)) {
                    fields.push_back(f);
                }
            }
            rows << table + QStringLiteral(" (") + names.join(QStringLiteral(", ")) + QLatin1Char(')');
            for (const auto& row : db->ReadRows(table, fields)) {
                QStringList values{table};
                for (const QVariant& v : row.values) {
                    QString value = v.isNull() ? QStringLiteral("<null>") : v.toString();
                    if (!folder.isEmpty()) {
                        value.replace(folder, QStringLiteral("<dir>"));
                    }
                    values << value;
                }
                rows << values.join(QChar('|'));
            }
        }
        db->Close();
    } catch (const core::EngineError& e) {
        ADD_FAILURE() << "cannot dump " << path.toStdString() << ": " << e.description().toStdString();
    }
    return rows;
}

}  // namespace vexilo::testing
