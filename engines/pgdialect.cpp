// The PostgreSQL dialect.
//
// The server enforces the types itself (smallint and integer ranges, varchar sizes, timestamps), so no
// checks are written into the tables; but its refusals do not say which column a value was meant for,
// so every value is also judged here before it is sent (refusal()), and the refusal names the field.
//
// Every table this layer creates gets a hidden identity column that keeps the stored order: the server
// has no stable order of its own (a row's physical place moves when it is updated).

#include <QDateTime>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <cmath>
#include <limits>

#include "engines/connection.h"
#include "engines/datetext.h"
#include "engines/dialect.h"
#include "engines/pgwatchdog.h"
#include "engines/postgres.h"

namespace vexilo::engines {
namespace {

const QString& kDateFormat = kStoredDateFormat;
const QDate& kDayZero = kDayOfTimes;
// The first key of the advisory lock that a job holds its database by ("VEXI"); the second is 0.
constexpr int kJobLockKey = 0x56455849;

// libpq's connection under QtSql's driver; null when the driver does not give it.
PGconn* nativeConnection(const Connection& c) {
    const QSqlDatabase db = c.handle();
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    // The driver names the handle's type after libpq's struct or after its typedef.
    if (!handle.isValid() ||
        (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0)) {
        return nullptr;
    }
    return *static_cast<PGconn* const*>(handle.constData());
}

bool isWholeNumberType(int type) {
    return type == dbInteger || type == dbLong || type == dbBigInt;
}

// The whole number a value stands for, when it is one (a number given as text counts).
std::optional<qlonglong> wholeNumber(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::Double:
        case QMetaType::Float: {
            const double d = value.toDouble();
            if (std::isfinite(d) && std::floor(d) == d && std::fabs(d) < 9.2e18) {
                return static_cast<qlonglong>(d);
            }
            return std::nullopt;
        }
        case QMetaType::QString:
        case QMetaType::QByteArray: {
            bool ok = false;
            const qlonglong n = value.toString().trimmed().toLongLong(&ok);
            return ok ? std::optional<qlonglong>(n) : std::nullopt;
        }
        default: {
            bool ok = false;
            const qlonglong n = value.toLongLong(&ok);
            return ok ? std::optional<qlonglong>(n) : std::nullopt;
        }
    }
}

QDateTime dateOf(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::QDateTime:
            return value.toDateTime();
        case QMetaType::QDate:
            return QDateTime(value.toDate(), QTime(0, 0));
        case QMetaType::QTime:
            return QDateTime(kDayZero, value.toTime());
        default:
            return parseStoredDate(value.toString());
    }
}

// Whether a value reads as a date, without building a QDateTime for the values that are dates already
// (that would ask the system for its time zone).
bool isDate(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::QDateTime:
            return value.toDateTime().isValid();
        case QMetaType::QDate:
            return value.toDate().isValid();
        case QMetaType::QTime:
            return value.toTime().isValid();
        default:
            return parseStoredDate(value.toString()).isValid();
    }
}

QString rangeText(qlonglong lowest, qlonglong highest) {
    return QStringLiteral("admite solo números enteros entre %1 y %2.")
        .arg(QString::number(lowest), QString::number(highest));
}

class PostgresDialect final : public SqlDialect {
  public:
    QString driverName() const override { return QStringLiteral("QPSQL"); }

    // The server holds every column to its type and size by itself: nothing to leave out.
    QString columnDefinition(const FieldDef& field, bool /*checked*/) const override {
        const QString column = quoteIdentifier(field.name);
        switch (field.type) {
            case dbInteger:
                return column + QLatin1String(" smallint");
            case dbLong:
                return column + QLatin1String(" integer");
            case dbBigInt:
                return column + QLatin1String(" bigint");
            case dbDate:
                return column + QLatin1String(" timestamp(0) without time zone");
            case dbBoolean:
                return column + QLatin1String(" boolean");
            case dbSingle:
                return column + QLatin1String(" real");
            case dbDouble:
                return column + QLatin1String(" double precision");
            case dbDecimal:
                return column + QLatin1String(" numeric");
            case dbLongBinary:
                return column + QLatin1String(" bytea");
            default:
                if (field.size > 0) {
                    return column + QLatin1String(" varchar(") + QString::number(field.size) +
                           QLatin1Char(')');
                }
                return column + QLatin1String(" text");
        }
    }

    FieldDef describeColumn(const QString& name, const QString& declaredType) const override {
        const QString t = declaredType.trimmed().toLower();
        static const QRegularExpression sizedText(
            QStringLiteral("^(character varying|varchar|character|char|bpchar)\\s*\\(\\s*(\\d+)\\s*\\)"));
        const QRegularExpressionMatch sized = sizedText.match(t);
        if (sized.hasMatch()) {
            return {name, dbText, sized.captured(2).toInt()};
        }
        struct Known {
            const char* prefix;
            int type;
        };
        static const Known known[] = {
            {"smallint", dbInteger}, {"int2", dbInteger},    {"integer", dbLong},    {"int4", dbLong},
            {"bigint", dbBigInt},    {"int8", dbBigInt},     {"timestamp", dbDate},  {"date", dbDate},
            {"time", dbDate},        {"boolean", dbBoolean}, {"real", dbSingle},     {"float4", dbSingle},
            {"double", dbDouble},    {"float8", dbDouble},   {"numeric", dbDecimal}, {"decimal", dbDecimal},
            {"bytea", dbLongBinary},
        };
        for (const Known& k : known) {
            if (t.startsWith(QLatin1String(k.prefix))) {
                return {name, k.type, 0};
            }
        }
        return {name, dbText, 0};
    }

    QString rowIdentity(const std::vector<FieldDef>& /*columns*/) const override {
        // Hidden from the fields, so no field can take its name.
        return quoteIdentifier(kNaturalOrderColumn);
    }

    QString listTablesSql() const override {
        // Table oids grow as tables are created; an added column keeps the table's oid.
        return QStringLiteral(
            "SELECT c.relname FROM pg_catalog.pg_class c "
            "WHERE c.relnamespace = (SELECT n.oid FROM pg_catalog.pg_namespace n "
            "WHERE n.nspname = current_schema()) AND c.relkind IN ('r', 'p') AND NOT c.relispartition "
            "ORDER BY c.oid");
    }

    QString listColumnsSql() const override {
        return QStringLiteral(
                   "SELECT a.attname, pg_catalog.format_type(a.atttypid, a.atttypmod) "
                   "FROM pg_catalog.pg_attribute a JOIN pg_catalog.pg_class c ON c.oid = a.attrelid "
                   "WHERE c.relname = ? AND c.relnamespace = (SELECT n.oid FROM pg_catalog.pg_namespace n "
                   "WHERE n.nspname = current_schema()) AND a.attnum > 0 AND NOT a.attisdropped "
                   "AND a.attname <> '") +
               kNaturalOrderColumn + QStringLiteral("' ORDER BY a.attnum");
    }

    QString beginTransactionSql() const override { return QStringLiteral("BEGIN"); }
    QString commitSql() const override { return QStringLiteral("COMMIT"); }
    // The driver reads a timestamp in the local time zone, where an hour skipped by summer time is no
    // date: the stored day and time are read as text instead.
    QString readExpression(const FieldDef& field) const override {
        return field.type == dbDate ? quoteIdentifier(field.name) + QLatin1String("::text")
                                    : quoteIdentifier(field.name);
    }
    int maxNameBytes() const override { return 63; }  // the server's NAMEDATALEN - 1
    QString snapshotSql() const override {
        return QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    }
    QString rollbackSql() const override { return QStringLiteral("ROLLBACK"); }

    QString hiddenColumnsDefinition() const override {
        return quoteIdentifier(kNaturalOrderColumn) +
               QLatin1String(" bigint GENERATED BY DEFAULT AS IDENTITY");
    }

    QString naturalOrderSql() const override {
        return QStringLiteral(
                   "SELECT 1 FROM pg_catalog.pg_attribute a JOIN pg_catalog.pg_class c ON c.oid = a.attrelid "
                   "WHERE c.relname = ? AND c.relnamespace = (SELECT n.oid FROM pg_catalog.pg_namespace n "
                   "WHERE n.nspname = current_schema()) AND NOT a.attisdropped AND a.attname = '") +
               kNaturalOrderColumn + QLatin1Char('\'');
    }

    // An updated row is stored anew where there is room, out of its turn; a removed row leaves room. The
    // server's statistics count both, for the transactions that ended and reported them.
    QString changedRowsSql() const override {
        return QStringLiteral(
            "SELECT n_tup_upd + n_tup_del FROM pg_catalog.pg_stat_user_tables "
            "WHERE relname = ? AND schemaname = current_schema()");
    }

    QString addNaturalOrderSql(const QString& storedTable) const override {
        // The server fills the new column for the existing rows in the order it reads them.
        return QLatin1String("ALTER TABLE ") + quoteIdentifier(storedTable) + QLatin1String(" ADD COLUMN ") +
               hiddenColumnsDefinition();
    }

    [[noreturn]] void raise(const QSqlError& error, const QString& table,
                            const QString& path) const override {
        throwServerError(failureOf(error), table, path);
    }

    // A session-level advisory lock, one key for every job of this system on the database: kept until
    // the connection closes, and let go by the server itself when a job's process dies.
    bool tryHoldForJob(Connection& c) const override {
        c.requireOpen();
        QSqlQuery& q =
            c.prepared(QStringLiteral("SELECT pg_try_advisory_lock(%1, 0)").arg(kJobLockKey), QString());
        c.run(q, QString());
        const bool taken = q.next() && q.value(0).toBool();
        c.finishReading(q, QString());
        return taken;
    }

    std::unique_ptr<NativeWrites> nativeWrites(Connection& c) const override {
        return postgresNativeWrites(c);
    }

    std::shared_ptr<void> watchWaits(Connection& c, WaitState& state) const override {
        PGconn* conn = nativeConnection(c);
        return conn == nullptr ? nullptr : std::make_shared<PgWatchdog>(conn, state);
    }

    bool connectionLost(const Connection& c) const override {
        PGconn* conn = nativeConnection(c);
        return conn != nullptr && PQstatus(conn) == CONNECTION_BAD;
    }

    bool refusesValues() const override { return true; }
    QString refusal(const FieldDef& field, const QVariant& value) const override {
        if (!value.isValid() || value.isNull()) {
            return {};
        }
        if (isWholeNumberType(field.type)) {
            const std::optional<qlonglong> n = wholeNumber(value);
            const qlonglong lowest = field.type == dbInteger ? -32768
                                     : field.type == dbLong  ? -2147483648LL
                                                             : std::numeric_limits<qlonglong>::min();
            const qlonglong highest = field.type == dbInteger ? 32767
                                      : field.type == dbLong  ? 2147483647LL
                                                              : std::numeric_limits<qlonglong>::max();
            if (!n || *n < lowest || *n > highest) {
                return rangeText(lowest, highest);
            }
            return {};
        }
        if (field.type == dbDate && !isDate(value)) {
            return QStringLiteral("no es una fecha.");
        }
        return {};
    }

    QVariant toStored(const QVariant& value, int fieldType) const override {
        if (!value.isValid() || value.isNull()) {
            return QVariant();
        }
        if (isWholeNumberType(fieldType)) {
            const std::optional<qlonglong> n = wholeNumber(value);
            return n ? QVariant(*n) : value;
        }
        if (fieldType == dbDate) {
            const QString known = storedDateTextOf(value);
            if (!known.isNull()) {
                return known;
            }
            const QDateTime moment = dateOf(value);
            return moment.isValid() ? QVariant(moment.toString(kDateFormat)) : value;
        }
        if (fieldType == dbLongBinary) {
            return value.toByteArray();
        }
        if (value.typeId() == QMetaType::QString) {
            // A null QString given as a value is an empty text, never Null.
            return value.toString().isEmpty() ? QVariant(QStringLiteral("")) : value;
        }
        if (value.typeId() == QMetaType::Bool && fieldType == dbText) {
            // As the embedded engine stores a yes/no in a text column.
            return QString::number(value.toBool() ? 1 : 0);
        }
        return value.toString();
    }

    QVariant fromStored(const QVariant& stored, int fieldType) const override {
        if (!stored.isValid() || stored.isNull()) {
            return QVariant();
        }
        if (isWholeNumberType(fieldType)) {
            // One type for every whole number, as on the embedded engine.
            return stored.toLongLong();
        }
        if (fieldType == dbDate && stored.typeId() == QMetaType::QString) {
            const QDateTime moment = parseStoredDate(stored.toString());
            return moment.isValid() ? QVariant(moment) : stored;
        }
        return stored;
    }
    // A whole number is read as the server stores it, whatever its size: fromStored only widens the
    // driver's int or qlonglong to one type.
    bool readsAsStored(int fieldType) const override { return fieldType != dbDate; }
};

}  // namespace

const SqlDialect& postgresDialect() {
    static const PostgresDialect dialect;
    return dialect;
}

}  // namespace vexilo::engines
