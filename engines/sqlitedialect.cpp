// The SQLite dialect.
//
// SQLite stores any value in any column and does not enforce declared sizes, so the limits that the
// callers rely on (a text of at most N characters, a 16-bit or a 32-bit whole number) are written into
// the table as CHECK constraints, named after their column so that a refusal says which field it was.
//
// Dates are stored as ISO-8601 text 'YYYY-MM-DD HH:MM:SS', SQLite's own date form: its date functions
// read it, it sorts chronologically as text, and other programs see a readable value. A time of day
// with no date is stored on the day zero of the date-and-time type, 1899-12-30.
//
// A job holds its database file through SQLite's exclusive locking mode: once the connection has taken
// the file's exclusive lock, it keeps it until it closes, so no other connection, in this process or
// another, can even read the file meanwhile.

#include <sqlite3.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <algorithm>
#include <cstdio>

#include "engines/connection.h"
#include "engines/datetext.h"
#include "engines/dialect.h"
#include "engines/sqlite.h"
#include "engines/waits.h"

namespace vexilo::engines {
namespace {

sqlite3* nativeHandle(const Connection& c) {
    const QSqlDatabase db = c.handle();
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        return nullptr;
    }
    return *static_cast<sqlite3* const*>(handle.constData());
}

// The try is one try: a lock that another connection holds fails it at once. The engine's usual busy
// wait comes back afterwards.
class NoBusyWaitOn {
  public:
    explicit NoBusyWaitOn(sqlite3* db) : m_db(db) { sqlite3_busy_timeout(m_db, 0); }
    ~NoBusyWaitOn() { sqlite3_busy_timeout(m_db, DBEngine::instance().busyTimeoutMs()); }
    NoBusyWaitOn(const NoBusyWaitOn&) = delete;
    NoBusyWaitOn& operator=(const NoBusyWaitOn&) = delete;

  private:
    sqlite3* m_db;
};

// Identifiers are joined by concatenation, never through QString::arg, whose markers a name could hold.
QString integerRangeCheck(const QString& column, qint64 lowest, qint64 highest) {
    return QLatin1String("CHECK (") + column + QLatin1String(" IS NULL OR (typeof(") + column +
           QLatin1String(") = 'integer' AND ") + column + QLatin1String(" BETWEEN ") +
           QString::number(lowest) + QLatin1String(" AND ") + QString::number(highest) + QLatin1String("))");
}

// How a column of this field is declared: its type (describeColumn reads it back as the same field),
// and the check that holds a stored value to the field's range or size, which SQLite does not enforce by
// itself (empty for a field that needs none).
struct ColumnTerms {
    QString type;
    QString check;
};
ColumnTerms columnTerms(const FieldDef& field, const QString& column) {
    switch (field.type) {
        case dbInteger:
            return {QStringLiteral("SMALLINT"), integerRangeCheck(column, -32768, 32767)};
        case dbLong:
            return {QStringLiteral("INTEGER"), integerRangeCheck(column, -2147483648LL, 2147483647LL)};
        case dbDate:
            return {QStringLiteral("DATETIME"), {}};
        case dbBigInt:
            return {QStringLiteral("BIGINT"), {}};
        case dbBoolean:
            return {QStringLiteral("BOOLEAN"), {}};
        case dbSingle:
        case dbDouble:
            return {QStringLiteral("REAL"), {}};
        case dbDecimal:
            // Numeric affinity keeps a whole number whole and an exact decimal as the number it is.
            return {QStringLiteral("NUMERIC"), {}};
        case dbLongBinary:
            return {QStringLiteral("BLOB"), {}};
        default:
            if (field.size > 0) {
                const QString size = QString::number(field.size);
                return {QLatin1String("VARCHAR(") + size + QLatin1Char(')'),
                        QLatin1String("CHECK (length(") + column + QLatin1String(") <= ") + size +
                            QLatin1Char(')')};
            }
            return {QStringLiteral("TEXT"), {}};
    }
}

// The job's waits on SQLite: a lock that another program keeps (a reader of a database in WAL mode, a
// writer of another kind) is waited for here, announced, and given up at the job's limit, instead of
// SQLite's fixed busy time.
class BusyWait {
  public:
    BusyWait(sqlite3* db, WaitState& state) : m_state(state) {
        sqlite3_busy_handler(db, &BusyWait::handler, this);
    }

  private:
    static int handler(void* self, int count) { return static_cast<BusyWait*>(self)->waitOnce(count); }

    int waitOnce(int count) {
        const auto now = WaitState::Clock::now();
        if (count == 0) {
            m_since = now;
        }
        const auto waited = now - m_since;
        if (waited >= WaitState::kNoticeAfter) {
            m_state.announce();
        }
        if (waited >= m_state.notice().limit) {
            m_state.markCut();
            return 0;  // SQLite gives up: the statement fails as busy, and says why through the state
        }
        sqlite3_sleep(20);
        return 1;
    }

    WaitState& m_state;
    WaitState::Clock::time_point m_since{};
};

class SqliteDialect final : public SqlDialect {
  public:
    QString driverName() const override { return QStringLiteral("QSQLITE"); }

    QString columnDefinition(const FieldDef& field, bool checked) const override {
        const QString column = quoteIdentifier(field.name);
        const ColumnTerms terms = columnTerms(field, column);
        return column + QLatin1Char(' ') + terms.type +
               (checked && !terms.check.isEmpty()
                    ? QLatin1String(" CONSTRAINT ") + column + QLatin1Char(' ') + terms.check
                    : QString());
    }

    FieldDef describeColumn(const QString& name, const QString& declaredType) const override {
        const QString t = declaredType.toUpper();
        if (t.contains(QLatin1String("DATE")) || t.contains(QLatin1String("TIME"))) {
            return {name, dbDate, 0};
        }
        if (t.contains(QLatin1String("SMALLINT")) || t.contains(QLatin1String("TINYINT"))) {
            return {name, dbInteger, 0};
        }
        if (t.contains(QLatin1String("INT"))) {
            return {name, dbLong, 0};
        }
        // The kinds an imported database declares besides those this layer creates for the job.
        if (t.contains(QLatin1String("BOOL"))) {
            return {name, dbBoolean, 0};
        }
        if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) ||
            t.contains(QLatin1String("DOUB"))) {
            return {name, dbDouble, 0};
        }
        if (t.contains(QLatin1String("BLOB"))) {
            return {name, dbLongBinary, 0};
        }
        if (t.contains(QLatin1String("NUM")) || t.contains(QLatin1String("DEC"))) {
            return {name, dbDecimal, 0};
        }
        static const QRegularExpression sized(QStringLiteral("\\(\\s*(\\d+)\\s*\\)"));
        const QRegularExpressionMatch m = sized.match(t);
        return {name, dbText, m.hasMatch() ? m.captured(1).toInt() : 0};
    }

    QString rowIdentity(const std::vector<FieldDef>& columns) const override {
        // SQLite answers to three names for the rowid; a column of that name hides only that one.
        for (const char* alias : {"rowid", "_rowid_", "oid"}) {
            const QString name = QString::fromLatin1(alias);
            const bool hidden = std::any_of(columns.begin(), columns.end(), [&](const FieldDef& f) {
                return f.name.compare(name, Qt::CaseInsensitive) == 0;
            });
            if (!hidden) {
                return name;
            }
        }
        return QStringLiteral("rowid");  // all three hidden: the statement fails and says so
    }

    QString listTablesSql() const override {
        // sqlite_master keeps one row per table, numbered as the tables were created.
        return QStringLiteral(
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
            "ORDER BY rowid");
    }

    QString listColumnsSql() const override {
        return QStringLiteral("SELECT name, type FROM pragma_table_info(?) ORDER BY cid");
    }

    bool isHeldElsewhere(const EngineError& error) const override {
        const int primary = error.number() & 0xff;
        return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
    }

    // BEGIN EXCLUSIVE takes the file's exclusive lock, or fails at once when another connection holds
    // any lock on it; the locking mode, set only once the lock is ours, keeps it past the COMMIT.
    // Setting the mode before would keep even the partial locks of a failed try, and two jobs trying
    // together could then lock each other out for good.
    bool tryHoldForJob(Connection& c) const override {
        c.requireOpen();
        sqlite3* db = nativeHandle(c);
        if (db == nullptr) {
            return SqlDialect::tryHoldForJob(c);  // not supported without the handle
        }
        if (c.inTransaction()) {
            throwEngineError(errnum::kEngineFailure,
                             QStringLiteral("La base de datos '%1' no se puede reservar con una transacción "
                                            "abierta.")
                                 .arg(c.path()));
        }
        {
            NoBusyWaitOn once(db);
            try {
                c.runOnce(QStringLiteral("BEGIN EXCLUSIVE"), QString());
            } catch (const EngineError& e) {
                if (isHeldElsewhere(e)) {
                    return false;
                }
                throw;
            }
        }
        try {
            c.runOnce(QStringLiteral("PRAGMA locking_mode = EXCLUSIVE"), QString());
            c.runOnce(QStringLiteral("COMMIT"), QString());
        } catch (...) {
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
        return true;
    }

    // The busy handler replaces SQLite's busy time for the rest of the connection's life; it lives as
    // long as the watch and is never called once the connection is closed.
    std::shared_ptr<void> watchWaits(Connection& c, WaitState& state) const override {
        sqlite3* db = nativeHandle(c);
        return db == nullptr ? nullptr : std::make_shared<BusyWait>(db, state);
    }

    // IMMEDIATE takes the write lock at once, so two writers never deadlock upgrading a read lock.
    QString beginTransactionSql() const override { return QStringLiteral("BEGIN IMMEDIATE"); }
    [[noreturn]] void raise(const QSqlError& error, const QString& table,
                            const QString& path) const override {
        throwSqliteError(error, table, path);
    }
    QString commitSql() const override { return QStringLiteral("COMMIT"); }
    // The first read takes the file's shared lock, kept to the end: no other connection writes meanwhile.
    QString snapshotSql() const override { return QStringLiteral("BEGIN DEFERRED"); }
    QString rollbackSql() const override { return QStringLiteral("ROLLBACK"); }
    QString leaveWriteAheadLogSql() const override { return QStringLiteral("PRAGMA journal_mode = DELETE"); }
    // SQLite's default page cache (2 MB) in place of the job's 16 MB: a cache that fills with pages read
    // once only takes fresh memory, a page fault for every four kilobytes of the tables read.
    QString readsOnceSql() const override { return QStringLiteral("PRAGMA cache_size = -2048"); }
    std::unique_ptr<NativeWrites> nativeWrites(Connection& c) const override { return sqliteNativeWrites(c); }

    QVariant toStored(const QVariant& value, int fieldType) const override {
        QVariant stored = value;
        storeInPlace(stored, fieldType);
        return stored;
    }

    // Most values are stored as given and stay untouched, with no copy of their texts.
    void storeInPlace(QVariant& value, int fieldType) const override {
        (void)fieldType;  // SQLite converts numbers and texts by the column's affinity
        if (!value.isValid() || value.isNull()) {
            value = QVariant();
            return;
        }
        switch (value.metaType().id()) {
            case QMetaType::QDateTime:
            case QMetaType::QDate:
            case QMetaType::QTime:
                value = storedDateTextOf(value);
                return;
            case QMetaType::QString:
                // The driver binds a null QString as Null; the caller gave a text, so an empty one.
                if (static_cast<const QString*>(value.constData())->isEmpty()) {
                    value = QVariant(QStringLiteral(""));
                }
                return;
            default:
                return;
        }
    }

    QVariant fromStored(const QVariant& stored, int fieldType) const override {
        if (!stored.isValid() || stored.isNull()) {
            return QVariant();
        }
        if (fieldType == dbDate && stored.metaType().id() == QMetaType::QString) {
            const QDateTime moment = parseStoredDate(stored.toString());
            return moment.isValid() ? QVariant(moment) : stored;
        }
        return stored;
    }
    bool readsAsStored(int fieldType) const override { return fieldType != dbDate; }

    // A rollback that the disk interrupted (a read of the journal failed) leaves SQLite's connection
    // unable to finish it: the file keeps the pages the transaction had already written to it, and the
    // journal that restores them stays beside it, for the next connection to play back before it reads
    // anything. That next connection is opened here, so that the file alone is the database as it was
    // as soon as the job says so. Where the disk still fails, the journal stays for the next opening.
    void afterClose(const QString& path) const override {
        if (path == QLatin1String(":memory:") || !QFileInfo::exists(path + QStringLiteral("-journal"))) {
            return;
        }
        sqlite3* db = nullptr;
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) ==
            SQLITE_OK) {
            sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
        }
        sqlite3_close(db);
    }
};

}  // namespace

const SqlDialect& sqliteDialect() {
    static const SqliteDialect dialect;
    return dialect;
}

}  // namespace vexilo::engines
