#include "dbfixture.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <atomic>
#include <functional>

#include <gtest/gtest.h>

namespace vexilo::testing {

namespace {

// Runs `work` on a fresh connection to `path` and removes the connection afterwards (the QSqlQuery
// objects of `work` are gone by then).
void withConnection(const QString& path, const std::function<void(QSqlDatabase&)>& work) {
    static std::atomic<int> counter{0};
    const QString name = QStringLiteral("vexilo-test-fixture-%1").arg(++counter);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open()) {
            work(db);
        } else {
            ADD_FAILURE() << "cannot open " << path.toStdString() << ": "
                          << db.lastError().text().toStdString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

bool run(QSqlQuery& q, const QString& sql) {
    if (!q.exec(sql)) {
        ADD_FAILURE() << sql.toStdString() << ": " << q.lastError().text().toStdString();
        return false;
    }
    return true;
}

}  // namespace

TestDatabase::TestDatabase(const QString& fileName) : m_path(m_dir.filePath(fileName)) {
    EXPECT_TRUE(m_dir.isValid()) << "no temporary folder";
}

QString TestDatabase::pathFor(const QString& fileName) const {
    return m_dir.filePath(fileName);
}

QString TestDatabase::quote(const QString& name) {
    QString doubled = name;
    doubled.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + doubled + QLatin1Char('"');
}

void TestDatabase::createTable(const QString& table, const std::vector<Column>& columns) {
    QString list;
    for (const Column& c : columns) {
        list += (list.isEmpty() ? QString() : QStringLiteral(", ")) + quote(c.name) + QLatin1Char(' ') +
                c.sqlType;
    }
    exec(QLatin1String("CREATE TABLE ") + quote(table) + QLatin1String(" (") + list + QLatin1Char(')'));
}

void TestDatabase::insertRows(const QString& table, const std::vector<DbRow>& rows) {
    withConnection(m_path, [&](QSqlDatabase& db) {
        db.transaction();
        for (const DbRow& row : rows) {
            QString marks;
            for (std::size_t i = 0; i < row.size(); ++i) {
                marks += i == 0 ? QStringLiteral("?") : QStringLiteral(", ?");
            }
            QSqlQuery q(db);
            q.prepare(QLatin1String("INSERT INTO ") + quote(table) + QLatin1String(" VALUES (") + marks +
                      QLatin1Char(')'));
            for (std::size_t i = 0; i < row.size(); ++i) {
                // An empty text stays a text: the driver would bind a null QString as Null.
                const QVariant& v = row[i];
                const bool emptyText = v.metaType().id() == QMetaType::QString && v.toString().isEmpty();
                q.bindValue(static_cast<int>(i), emptyText ? QVariant(QStringLiteral("")) : v);
            }
            if (!q.exec()) {
                ADD_FAILURE() << "insert into " << table.toStdString() << ": "
                              << q.lastError().text().toStdString();
            }
        }
        db.commit();
    });
}

std::vector<DbRow> TestDatabase::rows(const QString& table) const {
    // The rowid goes by three names; a column may hide one of them.
    QString identity = QStringLiteral("rowid");
    const std::vector<Column> cols = columns(table);
    for (const char* alias : {"rowid", "_rowid_", "oid"}) {
        const bool hidden = std::any_of(cols.begin(), cols.end(), [&](const Column& c) {
            return c.name.compare(QLatin1String(alias), Qt::CaseInsensitive) == 0;
        });
        if (!hidden) {
            identity = QLatin1String(alias);
            break;
        }
    }
    std::vector<DbRow> result;
    withConnection(m_path, [&](QSqlDatabase& db) {
        QSqlQuery q(db);
        if (!run(q,
                 QLatin1String("SELECT * FROM ") + quote(table) + QLatin1String(" ORDER BY ") + identity)) {
            return;
        }
        while (q.next()) {
            DbRow row;
            for (int i = 0; i < q.record().count(); ++i) {
                const QVariant v = q.value(i);
                row.push_back(v.isNull() ? QVariant() : v);
            }
            result.push_back(std::move(row));
        }
    });
    return result;
}

std::vector<QString> TestDatabase::tables() const {
    std::vector<QString> result;
    withConnection(m_path, [&](QSqlDatabase& db) {
        QSqlQuery q(db);
        if (!run(q, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                                   "'sqlite\\_%' ESCAPE '\\' ORDER BY rowid"))) {
            return;
        }
        while (q.next()) {
            result.push_back(q.value(0).toString());
        }
    });
    return result;
}

std::vector<Column> TestDatabase::columns(const QString& table) const {
    std::vector<Column> result;
    withConnection(m_path, [&](QSqlDatabase& db) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("SELECT name, type FROM pragma_table_info(?) ORDER BY cid"));
        q.addBindValue(table);
        if (!q.exec()) {
            ADD_FAILURE() << "columns of " << table.toStdString() << ": "
                          << q.lastError().text().toStdString();
            return;
        }
        while (q.next()) {
            result.push_back({q.value(0).toString(), q.value(1).toString()});
        }
    });
    return result;
}

void TestDatabase::exec(const QString& sql) {
    withConnection(m_path, [&](QSqlDatabase& db) {
        QSqlQuery q(db);
        run(q, sql);
    });
}

}  // namespace vexilo::testing
