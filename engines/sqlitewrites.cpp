#include <sqlite3.h>

#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engines/connection.h"
#include "engines/nativewrites.h"
#include "engines/sqlite.h"
#include "engines/writerthread.h"

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

// The current row of a stepped statement. A text of plain ASCII is the same whatever reads it, and is
// taken as it is stored; any other is read in UTF-16 from SQLite itself, so that even malformed stored
// bytes read as they always did. A text lent is valid until the next row.
class StatementRow final : public StoredValues {
  public:
    explicit StatementRow(sqlite3_stmt* stmt) : m_stmt(stmt) {}

    bool isNull(int column) const override { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }
    std::optional<std::int64_t> integer(int column) const override {
        if (sqlite3_column_type(m_stmt, column) != SQLITE_INTEGER) {
            return std::nullopt;
        }
        return sqlite3_column_int64(m_stmt, column);
    }
    std::optional<Database::StoredText> text(int column) const override {
        if (sqlite3_column_type(m_stmt, column) != SQLITE_TEXT) {
            return std::nullopt;
        }
        const auto* bytes = sqlite3_column_text(m_stmt, column);
        const int length = sqlite3_column_bytes(m_stmt, column);
        if (bytes != nullptr && isPlainAscii(bytes, static_cast<std::size_t>(length))) {
            return QLatin1String(reinterpret_cast<const char*>(bytes), length);
        }
        const auto* text = static_cast<const QChar*>(sqlite3_column_text16(m_stmt, column));
        return QStringView(text, sqlite3_column_bytes16(m_stmt, column) / 2);
    }
    // As QtSql's SQLite driver gives it.
    QVariant value(int column) const override {
        switch (sqlite3_column_type(m_stmt, column)) {
            case SQLITE_NULL:
                return QVariant();
            case SQLITE_INTEGER:
                return QVariant(static_cast<qlonglong>(sqlite3_column_int64(m_stmt, column)));
            case SQLITE_FLOAT:
                return QVariant(sqlite3_column_double(m_stmt, column));
            case SQLITE_BLOB: {
                // SQLite gives no pointer for an empty blob; an empty one is still no Null.
                const auto* bytes = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
                return QVariant(bytes != nullptr ? QByteArray(bytes, sqlite3_column_bytes(m_stmt, column))
                                                 : QByteArray(""));
            }
            default:
                return std::visit([](auto t) { return QVariant(t.toString()); }, *text(column));
        }
    }

  private:
    sqlite3_stmt* m_stmt;
};

class SqliteWrites;

// One prepared row write. Inside a transaction it hands its rows to the connection's writer thread and
// gives an INSERT's identity before the row is written: SQLite numbers a new row one past the table's
// highest, and nothing else writes the table while the job's transaction holds the file's write lock.
// A table whose numbering another rule may decide (AUTOINCREMENT, a row identity given in the row, no
// row identity at all) is written at once instead.
class SqliteStatement final : public NativeStatement, public QueuedStatement {
  public:
    SqliteStatement(SqliteWrites& owner, sqlite3* db, sqlite3_stmt* stmt, const RowWrite& shape);
    ~SqliteStatement() override;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    RowId run(std::vector<QVariant> stored) override;
    RowId runConverting(std::vector<QVariant> values, const StoredForm& form) override;
    void runQueued(std::span<QVariant> values, const StoredForm* form, RowId expected) override;
    // The transaction ended, or the table may have changed: decide again on the next row.
    void forgetQueueing() { m_queueing = Queueing::Undecided; }

  private:
    enum class Queueing { Undecided, Queued, AtOnce };
    Queueing decideQueueing();
    RowId write(std::vector<QVariant> values, const StoredForm* form);
    RowId runNow(std::span<const QVariant> stored);
    int bind(int index, const QVariant& v);
    int bindText(int index, const QString& s);
    [[noreturn]] void fail(int rc);

    SqliteWrites& m_owner;
    sqlite3* m_db;
    sqlite3_stmt* m_stmt;
    std::vector<std::string> m_texts;  // by parameter: the UTF-8 of the text last bound there
    RowWrite m_shape;
    Queueing m_queueing = Queueing::Undecided;
};

class SqliteWrites final : public NativeWrites {
  public:
    SqliteWrites(const Connection& connection, sqlite3* db)
        : m_connection(connection), m_db(db), m_queue(connection.path()) {}

    const Connection& connection() const { return m_connection; }

    std::unique_ptr<NativeStatement> prepareRow(const QString& sql, const RowWrite& shape) override {
        flush();
        return std::make_unique<SqliteStatement>(*this, m_db, prepareOrThrow(sql, shape.table), shape);
    }

    bool readAll(const QString& sql, const QString& table, const RowReceiver& row) override {
        flush();
        sqlite3_stmt* stmt = prepareOrThrow(sql, table);
        const auto finalize = qScopeGuard([stmt] { sqlite3_finalize(stmt); });
        const StatementRow values(stmt);
        int rc = SQLITE_ROW;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            row(values);
        }
        if (rc != SQLITE_DONE) {
            fail(table);
        }
        return true;
    }

    void flush() override { m_queue.drain(); }
    void discard() override {
        m_queue.discard();
        forgetQueueing();
    }
    void forgetSchema() override { forgetQueueing(); }
    void transactionEnds() override { forgetQueueing(); }

    // Rows are queued only inside a transaction, once the connection's owner allowed it. While rows are
    // queued the transaction is still open (a commit drains first); otherwise the thread is idle and SQLite
    // can be asked.
    bool holdsRows() const {
        return m_queue.holdsRows() || (m_deferred && sqlite3_get_autocommit(m_db) == 0);
    }
    void deferWrites() override { m_deferred = true; }
    void queue(SqliteStatement& statement, std::vector<QVariant> values, const StoredForm* form,
               RowId expected) {
        m_queue.push(statement, std::move(values), form, expected);
    }

    void enrol(SqliteStatement* s) { m_statements.insert(s); }
    void leave(SqliteStatement* s) {
        discard();  // a statement goes only once its transaction ended: nothing of it can be queued
        m_statements.erase(s);
    }

    // The identity SQLite gives the next row of `table` (stored name): one past the highest, read once
    // per transaction and counted on from there. Nothing when SQLite would pick one at random.
    std::optional<RowId> nextIdentity(const QString& table) {
        if (const auto known = m_nextIdentity.find(table); known != m_nextIdentity.end()) {
            return known->second;
        }
        const std::optional<sqlite3_int64> highest = wholeOf(
            QLatin1String("SELECT max(rowid) FROM ") + m_connection.dialect().quoteIdentifier(table), table);
        if (highest && *highest == std::numeric_limits<sqlite3_int64>::max()) {
            return std::nullopt;
        }
        return m_nextIdentity[table] = highest ? *highest + 1 : 1;
    }
    RowId takeIdentity(const QString& table) {
        const std::optional<RowId> next = nextIdentity(table);
        m_nextIdentity[table] = *next + 1;  // a queued insert's table always has one
        return *next;
    }
    void forgetIdentity(const QString& table) { m_nextIdentity.erase(table); }

    // Runs a query of one whole number on the connection (the thread idle); nothing for a Null.
    std::optional<sqlite3_int64> wholeOf(const QString& sql, const QString& table) {
        flush();
        sqlite3_stmt* stmt = prepareOrThrow(sql, table);
        const auto finalize = qScopeGuard([stmt] { sqlite3_finalize(stmt); });
        const int rc = sqlite3_step(stmt);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            fail(table);
        }
        if (rc == SQLITE_DONE || sqlite3_column_type(stmt, 0) == SQLITE_NULL) {
            return std::nullopt;
        }
        return sqlite3_column_int64(stmt, 0);
    }

  private:
    void forgetQueueing() {
        m_nextIdentity.clear();
        for (SqliteStatement* s : m_statements) {
            s->forgetQueueing();
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
    std::set<SqliteStatement*> m_statements;
    std::map<QString, RowId> m_nextIdentity;  // by stored table name, in the open transaction
    bool m_deferred = false;                  // the owner lets rows be written after the call that gave them
    WriterQueue m_queue;                      // last, so that its thread ends before anything it uses goes
};

SqliteStatement::SqliteStatement(SqliteWrites& owner, sqlite3* db, sqlite3_stmt* stmt, const RowWrite& shape)
    : m_owner(owner),
      m_db(db),
      m_stmt(stmt),
      m_texts(static_cast<std::size_t>(sqlite3_bind_parameter_count(stmt))),
      m_shape(shape) {
    m_owner.enrol(this);
}

SqliteStatement::~SqliteStatement() {
    m_owner.leave(this);
    sqlite3_finalize(m_stmt);
}

RowId SqliteStatement::run(std::vector<QVariant> stored) {
    return write(std::move(stored), nullptr);
}

RowId SqliteStatement::runConverting(std::vector<QVariant> values, const StoredForm& form) {
    return write(std::move(values), &form);
}

// `form`, when given, converts the values: on the writer thread for a row held back, here otherwise.
RowId SqliteStatement::write(std::vector<QVariant> values, const StoredForm* form) {
    if (m_owner.holdsRows()) {
        if (m_queueing == Queueing::Undecided) {
            m_queueing = decideQueueing();
        }
        if (m_queueing == Queueing::Queued) {
            const RowId expected = m_shape.insert ? m_owner.takeIdentity(m_shape.table) : 0;
            m_owner.queue(*this, std::move(values), form, expected);
            return expected;
        }
    }
    if (form != nullptr) {
        form->convert(values);
    }
    m_owner.flush();
    if (m_shape.insert) {
        m_owner.forgetIdentity(m_shape.table);  // this row numbered itself by another rule
    }
    return runNow(values);
}

void SqliteStatement::runQueued(std::span<QVariant> values, const StoredForm* form, RowId expected) {
    if (form != nullptr) {
        form->convert(values);
    }
    const RowId id = runNow(values);
    if (m_shape.insert && id != expected) {
        // Never expected: the row is written, but under another identity than the job was given.
        throwEngineError(errnum::kEngineFailure,
                         QStringLiteral("La fila añadida a la tabla '%1' de '%2' no tiene la identidad "
                                        "esperada (%3 en lugar de %4).")
                             .arg(m_shape.table, m_owner.connection().path())
                             .arg(id)
                             .arg(expected));
    }
}

SqliteStatement::Queueing SqliteStatement::decideQueueing() {
    if (!m_shape.insert) {
        return Queueing::Queued;
    }
    m_owner.flush();
    const QByteArray table = m_shape.table.toUtf8();
    const char* type = nullptr;
    int notNull = 0;
    int primaryKey = 0;
    int autoIncrement = 0;
    // "rowid" names the row identity, or the column that stands for it; a table without one fails.
    if (sqlite3_table_column_metadata(m_db, "main", table.constData(), "rowid", &type, nullptr, &notNull,
                                      &primaryKey, &autoIncrement) != SQLITE_OK ||
        autoIncrement != 0) {
        return Queueing::AtOnce;
    }
    for (const QString& column : m_shape.columns) {
        if (sqlite3_table_column_metadata(m_db, "main", table.constData(), column.toUtf8().constData(), &type,
                                          nullptr, &notNull, &primaryKey, &autoIncrement) != SQLITE_OK ||
            (primaryKey != 0 && type != nullptr && sqlite3_stricmp(type, "INTEGER") == 0)) {
            return Queueing::AtOnce;  // the row may give its own identity
        }
    }
    return m_owner.nextIdentity(m_shape.table) ? Queueing::Queued : Queueing::AtOnce;
}

RowId SqliteStatement::runNow(std::span<const QVariant> stored) {
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

// The same binding as QtSql's SQLite driver gives each kind of value, so that a value is stored
// exactly as the recordsets store it.
int SqliteStatement::bind(int index, const QVariant& v) {
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
int SqliteStatement::bindText(int index, const QString& s) {
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

void SqliteStatement::fail(int rc) {
    const QString text = QString::fromUtf8(sqlite3_errmsg(m_db));
    const int code = sqlite3_extended_errcode(m_db);
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
    const Connection& c = m_owner.connection();
    c.fail(m_shape.table, [&] { throwSqliteError(code != 0 ? code : rc, text, m_shape.table, c.path()); });
}

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
