#include <sqlite3.h>

#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "engines/connection.h"
#include "engines/nativewrites.h"
#include "engines/sqlite.h"

namespace vexilo::engines {

namespace {

// `s` as UTF-8 at the start of `out`, which only ever grows, followed by a NUL; its length (without the
// NUL), or nothing when `s` holds a surrogate code unit.
std::optional<std::size_t> encodeUtf8(const QString& s, std::string& out) {
    // Three bytes at most for each UTF-16 unit, and the NUL.
    const auto need = static_cast<std::size_t>(s.size()) * 3 + 1;
    if (out.size() < need) {
        out.resize(need);
    }
    char* p = out.data();
    for (const QChar qc : s) {
        const char16_t c = qc.unicode();
        if (c < 0x80) {
            *p++ = static_cast<char>(c);
        } else if (c < 0x800) {
            *p++ = static_cast<char>(0xC0 | (c >> 6));
            *p++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            return std::nullopt;
        } else {
            *p++ = static_cast<char>(0xE0 | (c >> 12));
            *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *p++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    *p = '\0';
    return static_cast<std::size_t>(p - out.data());
}

class SqliteStatement final : public NativeStatement {
  public:
    SqliteStatement(const Connection& connection, sqlite3* db, sqlite3_stmt* stmt, QString table)
        : m_connection(connection),
          m_db(db),
          m_stmt(stmt),
          m_texts(static_cast<std::size_t>(sqlite3_bind_parameter_count(stmt))),
          m_table(std::move(table)) {}
    ~SqliteStatement() override { sqlite3_finalize(m_stmt); }
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    RowId run(const std::vector<QVariant>& stored) override {
        for (std::size_t i = 0; i < stored.size(); ++i) {
            const int rc = bind(static_cast<int>(i) + 1, stored[i]);
            if (rc != SQLITE_OK) {
                fail(rc);
            }
        }
        const int rc = sqlite3_step(m_stmt);
        if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
            fail(rc);
        }
        sqlite3_reset(m_stmt);  // never left running: a commit must find no statement active
        return sqlite3_last_insert_rowid(m_db);
    }

  private:
    // The same binding as QtSql's SQLite driver gives each kind of value, so that a value is stored
    // exactly as the recordsets store it.
    int bind(int index, const QVariant& v) {
        if (v.isNull()) {
            return sqlite3_bind_null(m_stmt, index);
        }
        switch (v.typeId()) {
            case QMetaType::QByteArray: {
                const QByteArray b = v.toByteArray();
                return sqlite3_bind_blob(m_stmt, index, b.constData(), static_cast<int>(b.size()),
                                         SQLITE_TRANSIENT);
            }
            case QMetaType::Int:
            case QMetaType::Bool:
            case QMetaType::Short:
            case QMetaType::UShort:
            case QMetaType::Char:
            case QMetaType::UChar:
            case QMetaType::SChar:
                return sqlite3_bind_int(m_stmt, index, v.toInt());
            case QMetaType::UInt:
            case QMetaType::LongLong:
            case QMetaType::Long:
                return sqlite3_bind_int64(m_stmt, index, v.toLongLong());
            case QMetaType::Double:
            case QMetaType::Float:
                return sqlite3_bind_double(m_stmt, index, v.toDouble());
            case QMetaType::QString:
                return bindText(index, *static_cast<const QString*>(v.constData()));
            default:
                return bindText(index, v.toString());
        }
    }

    // A text goes to the database file as UTF-8, encoded here into the parameter's own buffer, which
    // outlives the step: SQLite takes it as it is, with no conversion and no copy at the bind. A text
    // holding any surrogate is left to SQLite's own conversion, so that even a malformed one is stored
    // as a plain statement stores it.
    int bindText(int index, const QString& s) {
        if (static_cast<std::size_t>(index) > m_texts.size()) {
            return SQLITE_RANGE;
        }
        std::string& buffer = m_texts[static_cast<std::size_t>(index - 1)];
        const std::optional<std::size_t> length = encodeUtf8(s, buffer);
        if (!length) {
            return sqlite3_bind_text16(m_stmt, index, s.utf16(), static_cast<int>(s.size() * 2),
                                       SQLITE_TRANSIENT);
        }
        // Given as NUL-terminated (length -1), the text is known to SQLite as such, and a CHECK on its
        // length reads it in place instead of copying it to add the NUL. A text holding a NUL of its own
        // goes with its length, so that nothing after that NUL is lost.
        const bool holdsNul = std::memchr(buffer.data(), 0, *length) != nullptr;
        return sqlite3_bind_text(m_stmt, index, buffer.data(), holdsNul ? static_cast<int>(*length) : -1,
                                 SQLITE_STATIC);
    }

    [[noreturn]] void fail(int rc) {
        const QString text = QString::fromUtf8(sqlite3_errmsg(m_db));
        const int code = sqlite3_extended_errcode(m_db);
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        m_connection.fail(
            m_table, [&] { throwSqliteError(code != 0 ? code : rc, text, m_table, m_connection.path()); });
    }

    const Connection& m_connection;
    sqlite3* m_db;
    sqlite3_stmt* m_stmt;
    std::vector<std::string> m_texts;  // by parameter: the UTF-8 of the text last bound there
    QString m_table;
};

class SqliteWrites final : public NativeWrites {
  public:
    SqliteWrites(const Connection& connection, sqlite3* db) : m_connection(connection), m_db(db) {}

    std::unique_ptr<NativeStatement> prepareRow(const QString& sql, const RowWrite& shape) override {
        return std::make_unique<SqliteStatement>(m_connection, m_db, prepareOrThrow(sql, shape.table),
                                                 shape.table);
    }

    bool readAll(const QString& sql, const QString& table, const RowReceiver& row) override {
        sqlite3_stmt* stmt = prepareOrThrow(sql, table);
        const auto finalize = qScopeGuard([stmt] { sqlite3_finalize(stmt); });
        std::vector<QVariant> values(static_cast<std::size_t>(sqlite3_column_count(stmt)));
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            for (std::size_t i = 0; i < values.size(); ++i) {
                values[i] = columnValue(stmt, static_cast<int>(i));
            }
            row(values);
        }
        if (rc != SQLITE_DONE) {
            fail(table);
        }
        return true;
    }

  private:
    // A column's value as QtSql's SQLite driver gives it.
    static QVariant columnValue(sqlite3_stmt* stmt, int i) {
        switch (sqlite3_column_type(stmt, i)) {
            case SQLITE_NULL:
                return QVariant();
            case SQLITE_INTEGER:
                return QVariant(static_cast<qlonglong>(sqlite3_column_int64(stmt, i)));
            case SQLITE_FLOAT:
                return QVariant(sqlite3_column_double(stmt, i));
            case SQLITE_BLOB: {
                // SQLite gives no pointer for an empty blob; an empty one is still no Null.
                const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, i));
                return QVariant(bytes != nullptr ? QByteArray(bytes, sqlite3_column_bytes(stmt, i))
                                                 : QByteArray(""));
            }
            default: {
                // UTF-16 from SQLite itself, so that even malformed stored bytes read as they always did.
                const auto* text = static_cast<const QChar*>(sqlite3_column_text16(stmt, i));
                return QVariant(QString(text, sqlite3_column_bytes16(stmt, i) / 2));
            }
        }
    }

    sqlite3_stmt* prepareOrThrow(const QString& sql, const QString& table) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare16_v2(m_db, sql.utf16(), static_cast<int>(sql.size() * 2), &stmt, nullptr) !=
            SQLITE_OK) {
            sqlite3_finalize(stmt);
            fail(table);
        }
        return stmt;
    }

    [[noreturn]] void fail(const QString& table) {
        const int code = sqlite3_extended_errcode(m_db);
        const QString text = QString::fromUtf8(sqlite3_errmsg(m_db));
        m_connection.fail(table, [&] { throwSqliteError(code, text, table, m_connection.path()); });
    }

    const Connection& m_connection;
    sqlite3* m_db;
};

}  // namespace

std::unique_ptr<NativeWrites> sqliteNativeWrites(Connection& c) {
    const QSqlDatabase db = c.handle();
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        return nullptr;
    }
    sqlite3* native = *static_cast<sqlite3* const*>(handle.constData());
    if (native == nullptr) {
        return nullptr;
    }
    return std::make_unique<SqliteWrites>(c, native);
}

}  // namespace vexilo::engines
