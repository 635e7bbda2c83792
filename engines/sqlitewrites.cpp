#include <sqlite3.h>

#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <algorithm>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engines/connection.h"
#include "engines/nativewrites.h"
#include "engines/sqlite.h"
#include "engines/sqlitebinding.h"
#include "engines/sqlitereadahead.h"
#include "engines/writerthread.h"

namespace vexilo::engines {

namespace {

// The current row of a stepped statement. A text of plain ASCII is the same whatever reads it, and is
// taken as it is stored; any other is read in UTF-16 from SQLite itself, so that even malformed stored
// bytes read as they always did. A text lent is valid until the next row.
class StatementRow final : public StoredValues {
  public:
    explicit StatementRow(sqlite3_stmt* stmt) : m_stmt(stmt) {}

    bool isNull(int column) const override { return sqlite3_column_type(m_stmt, column) == SQLITE_NULL; }
    bool integer(int column, std::int64_t& n) const override {
        if (sqlite3_column_type(m_stmt, column) != SQLITE_INTEGER) {
            return false;
        }
        n = sqlite3_column_int64(m_stmt, column);
        return true;
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
    SqliteStatement(SqliteWrites& owner, sqlite3_stmt* stmt, QString sql, const RowWrite& shape);
    ~SqliteStatement() override;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    RowId run(std::vector<QVariant> stored) override;
    RowId runConverting(std::vector<QVariant> values, const StoredForm& form) override;
    RowId runPlain(PlainRow&& values, const StoredForm& form, Database::Checks checks) override;
    void runQueued(std::span<QVariant> values, const StoredForm* form, RowId expected) override;
    void runQueuedPlain(std::span<PlainValue> values, const StoredForm* form, RowId expected) override;
    // Rows gathered for a group are written, or dropped, when the batch ends.
    bool takesPackedTexts() const override { return true; }
    // The transaction ended, or the table may have changed: decide again on the next row.
    void forgetQueueing() { m_queueing = Queueing::Undecided; }

    // On the writer thread: whether rows are gathered for the table `key` (folded stored name), writing
    // them, dropping them.
    bool gathersFor(const QString& key) const { return gatheredValues() > 0 && key == m_tableKey; }
    const QString& tableKey() const { return m_tableKey; }
    // Whether this row write may go before the rows `g` gathered for the same table: an update of a row
    // (`row`: an update's last value) numbered before them that leaves every row's identity as it is
    // touches none of them.
    bool mayPass(const SqliteStatement& g, std::optional<RowId> row) const {
        return !m_shape.insert && !m_setsIdentity && row && *row < g.m_firstGathered;
    }
    void writeGathered();
    void dropGathered();

  private:
    enum class Queueing { Undecided, Queued, AtOnce };
    Queueing decideQueueing();
    template <typename Row>
    RowId write(Row&& values, const StoredForm* form);
    template <typename Value>
    RowId runNow(std::span<const Value> stored);
    template <typename Value>
    void runHeld(std::span<Value> values, const StoredForm* form, RowId expected);
    template <typename Value>
    void gather(std::span<Value> values, RowId expected);
    // The values gathered: rows given as QVariants or as plain values, never both at once.
    template <typename Value>
    std::vector<Value>& gathered();
    std::size_t gatheredValues() const { return m_gathered.size() + m_gatheredPlain.size(); }
    bool groupFull() const {
        return gatheredValues() == static_cast<std::size_t>(m_groupRows) * m_shape.columns.size();
    }
    template <typename Value>
    void bindGroup(const std::vector<Value>& values);
    template <typename Value>
    void writeOneByOne(const std::vector<Value>& values);
    void writeGroup();
    void checkIdentity(RowId id, RowId expected) const;
    [[noreturn]] void fail(sqlite3_stmt* stmt, int rc);

    SqliteWrites& m_owner;
    sqlite3* m_db;
    SqliteBinding m_single;
    QString m_sql;
    RowWrite m_shape;
    QString m_tableKey;
    Queueing m_queueing = Queueing::Undecided;
    bool m_setsIdentity;  // an update that may change a row's identity
    // An insert's rows gathered on the writer thread, one after the other, numbered from
    // m_firstGathered, and the statement that writes m_groupRows of them at once (0: rows go one by one).
    int m_groupRows = 0;
    std::vector<QVariant> m_gathered;
    std::vector<PlainValue> m_gatheredPlain;
    RowId m_firstGathered = 0;
    std::unique_ptr<SqliteBinding> m_group;
};

class SqliteWrites final : public NativeWrites {
  public:
    SqliteWrites(const Connection& connection, sqlite3* db)
        : m_connection(connection),
          m_db(db),
          m_queue(connection.path(), [this](bool keep) { endBatch(keep); }) {}

    const Connection& connection() const { return m_connection; }

    std::unique_ptr<NativeStatement> prepareRow(const QString& sql, const RowWrite& shape) override {
        flush();
        return std::make_unique<SqliteStatement>(*this, prepareOrThrow(sql, shape.table), sql, shape);
    }

    bool readAll(const QString& sql, const QString& table, const RowReceiver& row, bool detached) override {
        flush();
        sqlite3_stmt* stmt = prepareOrThrow(sql, table);
        const auto finalize = qScopeGuard([stmt] { sqlite3_finalize(stmt); });
        int rc = SQLITE_ROW;
        if (detached) {
            rc = readAhead(stmt, row);
        } else {
            const StatementRow values(stmt);
            while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
                row(values);
            }
        }
        if (rc != SQLITE_DONE) {
            fail(table);
        }
        return true;
    }

    bool readTogether(std::vector<Read>& reads) override {
        flush();
        std::vector<TogetherRead> together(reads.size());
        const auto finalize = qScopeGuard([&together] {
            for (const TogetherRead& t : together) {
                sqlite3_finalize(t.stmt);  // nothing for a null one
            }
        });
        std::size_t prepared = 0;
        for (std::size_t i = 0; i < reads.size(); ++i) {
            try {
                together[i].stmt = prepareOrThrow(reads[i].sql, reads[i].table);
                together[i].row = &reads[i].row;
                ++prepared;
            } catch (const core::EngineError&) {
                reads[i].failure = std::current_exception();
            }
        }
        if (prepared == 1) {  // nothing to step meanwhile: stepped ahead of its own rows instead
            for (std::size_t i = 0; i < reads.size(); ++i) {
                if (together[i].stmt != nullptr) {
                    readAheadOne(reads[i], together[i].stmt);
                }
            }
            return true;
        }
        engines::readTogether(together, [&](std::size_t i) {
            try {
                fail(reads[i].table);
            } catch (...) {
                return std::current_exception();
            }
        });
        for (std::size_t i = 0; i < reads.size(); ++i) {
            if (together[i].stepFailed) {
                std::rethrow_exception(together[i].failure);
            }
            if (together[i].failure) {
                reads[i].failure = together[i].failure;
            }
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
    template <typename Row>
    void queue(SqliteStatement& statement, Row&& values, const StoredForm* form, RowId expected) {
        m_queue.push(statement, std::move(values), form, expected);
    }

    sqlite3* db() const { return m_db; }
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

    // On the writer thread: `s` begins to gather rows, `s` is about to write (the rows other statements
    // gathered for its table go first, so that the table's writes keep their order), the batch ends.
    void gathers(SqliteStatement& s) {
        if (std::find(m_gathering.begin(), m_gathering.end(), &s) == m_gathering.end()) {
            m_gathering.push_back(&s);
        }
    }
    void beforeWriting(const SqliteStatement& s, std::optional<RowId> row) {
        for (SqliteStatement* g : m_gathering) {
            if (g != &s && g->gathersFor(s.tableKey()) && !s.mayPass(*g, row)) {
                g->writeGathered();
            }
        }
    }
    void endBatch(bool keep) {
        const auto dropRest = qScopeGuard([this] {
            for (SqliteStatement* g : m_gathering) {
                g->dropGathered();
            }
            m_gathering.clear();
        });
        if (keep) {
            for (SqliteStatement* g : m_gathering) {
                g->writeGathered();
            }
        }
    }
    sqlite3_stmt* prepare(const QString& sql, const QString& table) { return prepareOrThrow(sql, table); }

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

    // One read of several, alone: its receiver's exception is kept, a failed step thrown.
    void readAheadOne(Read& read, sqlite3_stmt* stmt) {
        int rc = SQLITE_DONE;
        try {
            rc = readAhead(stmt, read.row);
        } catch (...) {
            read.failure = std::current_exception();
            return;
        }
        if (rc != SQLITE_DONE) {
            fail(read.table);
        }
    }

    [[noreturn]] void fail(const QString& table) {
        const int code = sqlite3_extended_errcode(m_db);
        const QString text = QString::fromUtf8(sqlite3_errmsg(m_db));
        m_connection.fail(table, [&] { throwSqliteError(code, text, table, m_connection.path()); });
    }

    const Connection& m_connection;
    sqlite3* m_db;
    std::set<SqliteStatement*> m_statements;
    std::vector<SqliteStatement*> m_gathering;  // the writer thread's: statements that gathered rows
    std::map<QString, RowId> m_nextIdentity;    // by stored table name, in the open transaction
    bool m_deferred = false;  // the owner lets rows be written after the call that gave them
    WriterQueue m_queue;      // last, so that its thread ends before anything it uses goes
};

namespace {

// Rows an insert writes to one statement on the writer thread: SQLite then opens the table, finds its
// end and halts once for them all rather than once a row, which takes a third off the run log's rows.
// Past 32 rows the statement gains nothing more.
constexpr int kGroupRows = 32;

// How many rows of `shape` one statement of `sql` may write: 0 when its rows go one by one (an update,
// an insert of defaults only, or too many marks for the engine's limit).
int groupRowsOf(sqlite3* db, const QString& sql, const RowWrite& shape) {
    const auto perRow = static_cast<int>(shape.columns.size());
    if (!shape.insert || perRow == 0 || !sql.endsWith(QLatin1Char(')')) ||
        !sql.contains(QLatin1String(" VALUES ("))) {
        return 0;
    }
    const int rows = std::min(kGroupRows, sqlite3_limit(db, SQLITE_LIMIT_VARIABLE_NUMBER, -1) / perRow);
    return rows >= 2 ? rows : 0;
}

// Whether `column` of `table` is the row identity or the column that stands for it, or a column SQLite
// does not know (so that nothing is assumed of it).
bool mayBeIdentity(sqlite3* db, const QByteArray& table, const QString& column) {
    const char* type = nullptr;
    int notNull = 0;
    int primaryKey = 0;
    int autoIncrement = 0;
    return sqlite3_table_column_metadata(db, "main", table.constData(), column.toUtf8().constData(), &type,
                                         nullptr, &notNull, &primaryKey, &autoIncrement) != SQLITE_OK ||
           (primaryKey != 0 && type != nullptr && sqlite3_stricmp(type, "INTEGER") == 0);
}

// Whether a row write of `shape` may give a row its identity: it sets a column that may be it.
bool namesIdentity(sqlite3* db, const RowWrite& shape) {
    const QByteArray table = shape.table.toUtf8();
    return std::any_of(shape.columns.begin(), shape.columns.end(),
                       [&](const QString& column) { return mayBeIdentity(db, table, column); });
}

}  // namespace

SqliteStatement::SqliteStatement(SqliteWrites& owner, sqlite3_stmt* stmt, QString sql, const RowWrite& shape)
    : m_owner(owner),
      m_db(owner.db()),
      m_single(stmt),
      m_sql(std::move(sql)),
      m_shape(shape),
      m_tableKey(shape.table.toCaseFolded()),
      m_setsIdentity(!shape.insert && namesIdentity(m_db, shape)),
      m_groupRows(groupRowsOf(m_db, m_sql, shape)) {
    m_owner.enrol(this);
}

SqliteStatement::~SqliteStatement() {
    m_owner.leave(this);
}

RowId SqliteStatement::run(std::vector<QVariant> stored) {
    return write(std::move(stored), nullptr);
}

RowId SqliteStatement::runConverting(std::vector<QVariant> values, const StoredForm& form) {
    return write(std::move(values), &form);
}

// Plain values are bound as they are: checked here, or when written, never twice.
RowId SqliteStatement::runPlain(PlainRow&& values, const StoredForm& form, Database::Checks checks) {
    if (checks == Database::Checks::WhenWritten) {
        return write(std::move(values), &form);
    }
    form.check(values);
    return write(std::move(values), nullptr);
}

namespace {

// What `form` does to a row's values before they are bound: QVariants are checked and converted to
// their stored form, plain values checked (the bind gives them their stored form).
void prepareValues(const StoredForm& form, std::span<QVariant> values) {
    form.convert(values);
}
void prepareValues(const StoredForm& form, std::span<const PlainValue> values) {
    form.check(values);
}

}  // namespace

// `form`, when given, converts the values: on the writer thread for a row held back, here otherwise.
template <typename Row>
RowId SqliteStatement::write(Row&& values, const StoredForm* form) {
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
        prepareValues(*form, values);
    }
    m_owner.flush();
    if (m_shape.insert) {
        m_owner.forgetIdentity(m_shape.table);  // this row numbered itself by another rule
    }
    return runNow(
        std::span<const typename Row::value_type>(values.data(), static_cast<std::size_t>(values.size())));
}

void SqliteStatement::runQueued(std::span<QVariant> values, const StoredForm* form, RowId expected) {
    runHeld(values, form, expected);
}

void SqliteStatement::runQueuedPlain(std::span<PlainValue> values, const StoredForm* form, RowId expected) {
    runHeld(values, form, expected);
}

namespace {

// A row write's last value as a row's identity, as an update gives it (mayPass).
std::optional<RowId> lastAsRow(std::span<const QVariant> values) {
    if (values.empty()) {
        return std::nullopt;
    }
    return values.back().toLongLong();
}
std::optional<RowId> lastAsRow(std::span<const PlainValue> values) {
    if (values.empty() || values.back().kind() != PlainValue::Kind::Whole) {
        return std::nullopt;
    }
    return values.back().number();
}

}  // namespace

template <typename Value>
void SqliteStatement::runHeld(std::span<Value> values, const StoredForm* form, RowId expected) {
    if (form != nullptr) {
        prepareValues(*form, values);
    }
    m_owner.beforeWriting(*this, lastAsRow(std::span<const Value>(values)));
    if (m_groupRows > 0 && values.size() == m_shape.columns.size()) {
        gather(values, expected);
        return;
    }
    checkIdentity(runNow(std::span<const Value>(values)), expected);
}

void SqliteStatement::checkIdentity(RowId id, RowId expected) const {
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

template <>
std::vector<QVariant>& SqliteStatement::gathered<QVariant>() {
    return m_gathered;
}
template <>
std::vector<PlainValue>& SqliteStatement::gathered<PlainValue>() {
    return m_gatheredPlain;
}

// Takes the row's values; a row that does not follow the gathered ones in number, or that comes in the
// other form, sends those first.
template <typename Value>
void SqliteStatement::gather(std::span<Value> values, RowId expected) {
    const auto perRow = static_cast<RowId>(m_shape.columns.size());
    std::vector<Value>& mine = gathered<Value>();
    const std::size_t held = gatheredValues();
    if (held > 0 &&
        (mine.size() != held || expected != m_firstGathered + static_cast<RowId>(held) / perRow)) {
        writeGathered();
    }
    if (mine.empty()) {
        m_firstGathered = expected;
        m_owner.gathers(*this);
    }
    std::move(values.begin(), values.end(), std::back_inserter(mine));
    if (groupFull()) {
        writeGroup();
    }
}

template <typename Value>
void SqliteStatement::bindGroup(const std::vector<Value>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (const int rc = m_group->bind(static_cast<int>(i) + 1, values[i]); rc != SQLITE_OK) {
            fail(m_group->statement(), rc);
        }
    }
}

void SqliteStatement::writeGroup() {
    const auto done = qScopeGuard([this] { dropGathered(); });
    if (!m_group) {
        QString sql = m_sql;
        const QString row = m_sql.mid(m_sql.lastIndexOf(QLatin1String(" VALUES (")) + 8);
        for (int r = 1; r < m_groupRows; ++r) {
            sql += QLatin1String(", ") + row;
        }
        m_group = std::make_unique<SqliteBinding>(m_owner.prepare(sql, m_shape.table));
    }
    if (m_gatheredPlain.empty()) {
        bindGroup(m_gathered);
    } else {
        bindGroup(m_gatheredPlain);
    }
    const int rc = sqlite3_step(m_group->statement());
    if (rc != SQLITE_DONE) {
        fail(m_group->statement(), rc);
    }
    sqlite3_reset(m_group->statement());
    checkIdentity(sqlite3_last_insert_rowid(m_db), m_firstGathered + m_groupRows - 1);
}

// Rows fewer than a group's go one by one.
void SqliteStatement::writeGathered() {
    if (groupFull()) {
        writeGroup();
        return;
    }
    const auto done = qScopeGuard([this] { dropGathered(); });
    if (m_gatheredPlain.empty()) {
        writeOneByOne(m_gathered);
    } else {
        writeOneByOne(m_gatheredPlain);
    }
}

template <typename Value>
void SqliteStatement::writeOneByOne(const std::vector<Value>& values) {
    const std::span<const Value> rows(values);
    const std::size_t perRow = m_shape.columns.size();
    for (std::size_t at = 0; at < rows.size(); at += perRow) {
        checkIdentity(runNow(rows.subspan(at, perRow)), m_firstGathered + static_cast<RowId>(at / perRow));
    }
}

void SqliteStatement::dropGathered() {
    letGo(m_gathered);
    m_gathered.clear();
    letGo(m_gatheredPlain);
    m_gatheredPlain.clear();
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
    if (namesIdentity(m_db, m_shape)) {
        return Queueing::AtOnce;  // the row may give its own identity
    }
    return m_owner.nextIdentity(m_shape.table) ? Queueing::Queued : Queueing::AtOnce;
}

template <typename Value>
RowId SqliteStatement::runNow(std::span<const Value> stored) {
    for (std::size_t i = 0; i < stored.size(); ++i) {
        if (const int rc = m_single.bind(static_cast<int>(i) + 1, stored[i]); rc != SQLITE_OK) {
            fail(m_single.statement(), rc);
        }
    }
    const int rc = sqlite3_step(m_single.statement());
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        fail(m_single.statement(), rc);
    }
    sqlite3_reset(m_single.statement());  // never left running: a commit must find no statement active
    return sqlite3_last_insert_rowid(m_db);
}

void SqliteStatement::fail(sqlite3_stmt* stmt, int rc) {
    const QString text = QString::fromUtf8(sqlite3_errmsg(m_db));
    const int code = sqlite3_extended_errcode(m_db);
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
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
