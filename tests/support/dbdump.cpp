#include "dbdump.h"

#include <gtest/gtest.h>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUuid>

namespace vexilo::testing {

namespace {

bool isLogMoment(const QString& table, const QString& field) {
    return table.toUpper() == QLatin1String("CONTROLPROCESO") &&
           (field.toUpper() == QLatin1String("FECHA") || field.toUpper() == QLatin1String("HORA"));
}

}  // namespace

QStringList rowsOfEveryTable(const QString& path, const QString& folder) {
    const QString name = QUuid::createUuid().toString();
    QStringList rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        EXPECT_TRUE(db.open());
        for (const QString& t : db.tables()) {
            QSqlQuery q(db);
            EXPECT_TRUE(q.exec(QStringLiteral("SELECT * FROM \"%1\" ORDER BY rowid").arg(t)));
            while (q.next()) {
                QStringList fields{t};
                for (int i = 0; i < q.record().count(); ++i) {
                    if (isLogMoment(t, q.record().fieldName(i))) {
                        continue;
                    }
                    QString value = q.value(i).isNull() ? QStringLiteral("<null>") : q.value(i).toString();
                    if (!folder.isEmpty()) {
                        value.replace(folder, QStringLiteral("<dir>"));
                    }
                    fields << value;
                }
                rows << fields.join(QChar('|'));
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

}  // namespace vexilo::testing
