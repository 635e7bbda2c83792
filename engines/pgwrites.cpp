// The row writes of the fast paths on a PostgreSQL server, batched.
//
// A round trip to the server per row would make the job's hundreds of thousands of writes take
// minutes, so inside a transaction the rows of each statement are held and sent together (inserts as
// one COPY, which the server takes in far less time than a multi-row INSERT of as many parameters;
// updates as UPDATE ... FROM (VALUES ...)) when the connection is about to run anything else (a read,
// a definition, the commit) or when a batch is full. Outside a
// transaction each row is written at once, as callers expect.
//
// A new row's identity is known before it is sent: the identities of each table are taken from its
// identity column's sequence in blocks (one round trip for many rows) and given explicitly, so that a
// caller may update a row it has just added, and the stored order is the order of the inserts. The
// sequence is looked up once per table, not once per identity (which cost a third of a server job), and
// again after the schema may have changed; identities taken ahead from a sequence that is no longer the
// table's (the table dropped and made again, or its creation rolled back) are never given.
//
// Held rows go out in this order: every held insert, in the order the statements first held a row,
// then every held update; a full update statement goes alone, after the held inserts of its table. An
// update of a row held by another update statement of the same table that sets any of the same columns
// sends everything first, so that two writes of one value always reach it in the order they were made;
// updates of other columns of the row may go in either order.
//
// This talks to libpq directly, on the very PGconn of QtSql's driver (one session, so one transaction
// and one view of the data), because QtSql has no way to send many rows in one statement without
// building its text by hand.

#include <libpq-fe.h>

#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <algorithm>
#include <charconv>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "engines/connection.h"
#include "engines/dialect.h"
#include "engines/nativewrites.h"
#include "engines/pgcopybinary.h"
#include "engines/postgres.h"
#include "engines/writerthread.h"

namespace vexilo::engines {

namespace {

constexpr int kMaxRowsPerCopy = 10000;
// An update's rows go as one array per column, so a statement takes any number of them. Each statement
// reads the whole table once to find its rows, but a full one goes while the job walks on (see
// PgWrites::sendFull): held to the commit, a job's claims and renumberings of every table made the
// server's last half second, with the job only waiting.
constexpr int kMaxRowsPerUpdate = 2000;
// A table's identities are taken in blocks that grow fourfold from the first: a block taken when the
// last one ran out makes the job wait for everything sent so far to be stored (while rows are queued the
// next is asked for ahead, PgWrites::askAhead), so a table that takes thousands of rows is served in a
// few blocks, and one that takes a single row leaves at most a few hundred numbers unused (gaps in a
// 64-bit stored order, which keeps its order).
constexpr int kFirstIdentityBlock = 256;
constexpr int kLargestIdentityBlock = 65536;
// Identities left of a largest block when the next is asked for ahead (PgWrites::askAhead): twice the
// rows the writer thread may hold.
constexpr std::size_t kAskAheadAt = 2 * WriterThread::kBound;

// A result that is cleared with this object.
class Result {
  public:
    explicit Result(PGresult* r) : m_r(r) {}
    ~Result() { PQclear(m_r); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    PGresult* get() const { return m_r; }
    bool ok() const {
        const ExecStatusType s = PQresultStatus(m_r);
        return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
    }
    ServerFailure failure(PGconn* conn) const {
        auto field = [&](int code) { return QString::fromUtf8(PQresultErrorField(m_r, code)); };
        ServerFailure f{QString::fromLatin1(PQresultErrorField(m_r, PG_DIAG_SQLSTATE)),
                        field(PG_DIAG_MESSAGE_PRIMARY), field(PG_DIAG_COLUMN_NAME),
                        field(PG_DIAG_CONSTRAINT_NAME)};
        if (f.message.isEmpty()) {
            f.message = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
        }
        return f;
    }

  private:
    PGresult* m_r;
};

// One value as the text the server reads for its column's type; nullopt for Null.
std::optional<QByteArray> serverText(const QVariant& v) {
    if (!v.isValid() || v.isNull()) {
        return std::nullopt;
    }
    switch (v.typeId()) {
        case QMetaType::QByteArray:
            return QByteArray("\\x") + v.toByteArray().toHex();
        case QMetaType::Bool:
            return v.toBool() ? QByteArray("true") : QByteArray("false");
        case QMetaType::Double:
            return QByteArray::number(v.toDouble(), 'g', 17);
        case QMetaType::Float:
            return QByteArray::number(static_cast<double>(v.toFloat()), 'g', 9);
        default:
            return v.toString().toUtf8();
    }
}

// A value as an element of an array's text form: Null as NULL, any other quoted, its quotes and
// backslashes escaped (so that no text, however it reads, is taken for NULL or splits the array).
void appendArrayElement(QByteArray& array, const std::optional<QByteArray>& value, bool first) {
    if (!first) {
        array += ',';
    }
    if (!value) {
        array += "NULL";
        return;
    }
    array += '"';
    for (const char c : *value) {
        if (c == '"' || c == '\\') {
            array += '\\';
        }
        array += c;
    }
    array += '"';
}

// The letter after the backslash that COPY's text form writes for `c` (backslash, tab, newline, carriage
// return); 0 for a character written as it is.
char copyEscape(char16_t c) {
    switch (c) {
        case u'\\':
            return '\\';
        case u'\t':
            return 't';
        case u'\n':
            return 'n';
        case u'\r':
            return 'r';
        default:
            return 0;
    }
}

// `bytes` at the end of `out` in COPY's text form.
void appendEscaped(QByteArray& out, const char* bytes, qsizetype size) {
    qsizetype run = 0;
    for (qsizetype i = 0; i < size; ++i) {
        if (const char escaped = copyEscape(static_cast<unsigned char>(bytes[i]))) {
            out.append(bytes + run, i - run);
            out.append('\\');
            out.append(escaped);
            run = i + 1;
        }
    }
    out.append(bytes + run, size - run);
}

// A text of plain ASCII at the end of `out` in COPY's text form, as appendEscaped would put its UTF-8;
// false, having written nothing, for any other text.
bool appendAscii(QByteArray& out, const QString& s) {
    const qsizetype start = out.size();
    out.resize(start + 2 * s.size());  // room for every character escaped
    char* p = out.data() + start;
    for (const QChar qc : s) {
        const char16_t c = qc.unicode();
        if (c >= 0x80) {
            out.resize(start);
            return false;
        }
        if (const char escaped = copyEscape(c)) {
            *p++ = '\\';
            *p++ = escaped;
        } else {
            *p++ = static_cast<char>(c);
        }
    }
    out.resize(p - out.constData());
    return true;
}

// One value in COPY's text form, Null as \N.
void appendCopyValue(QByteArray& line, const QVariant& v) {
    if (v.typeId() == QMetaType::QString && !v.isNull() &&
        appendAscii(line, *static_cast<const QString*>(v.constData()))) {
        return;
    }
    const std::optional<QByteArray> text = serverText(v);
    if (!text) {
        line += "\\N";
        return;
    }
    appendEscaped(line, text->constData(), text->size());
}

// The rows of a result, read as QtSql's PostgreSQL driver reads them, for the column types that a read of
// the run's indexes meets: whole numbers and texts. A text of plain ASCII is lent as the server sent it,
// any other decoded from UTF-8 once per row and column.
class ResultRow final : public StoredValues {
  public:
    explicit ResultRow(PGresult* r) : m_r(r), m_texts(static_cast<std::size_t>(PQnfields(r))) {
        for (int c = 0; c < PQnfields(r); ++c) {
            m_kinds.push_back(kindOf(PQftype(r, c)));
        }
    }

    // Whether every column has a type read here (otherwise the driver must read the result).
    bool readable() const { return std::find(m_kinds.begin(), m_kinds.end(), Kind::Other) == m_kinds.end(); }
    int rows() const { return PQntuples(m_r); }
    void moveTo(int row) { m_row = row; }

    bool isNull(int column) const override { return PQgetisnull(m_r, m_row, column) == 1; }
    // A whole number of any size, as the server writes it: decimal digits after an optional sign.
    bool integer(int column, std::int64_t& n) const override {
        if (isNull(column) || (kind(column) != Kind::Int && kind(column) != Kind::LongLong)) {
            return false;
        }
        const char* bytes = PQgetvalue(m_r, m_row, column);
        const char* end = bytes + PQgetlength(m_r, m_row, column);
        const auto [stop, error] = std::from_chars(bytes, end, n);
        return error == std::errc() && stop == end;
    }
    std::optional<Database::StoredText> text(int column) const override {
        if (isNull(column) || kind(column) != Kind::Text) {
            return std::nullopt;
        }
        const char* bytes = PQgetvalue(m_r, m_row, column);
        const int length = PQgetlength(m_r, m_row, column);
        if (isPlainAscii(reinterpret_cast<const unsigned char*>(bytes), static_cast<std::size_t>(length))) {
            return QLatin1String(bytes, length);
        }
        QString& decoded = m_texts[static_cast<std::size_t>(column)];
        decoded = QString::fromUtf8(bytes, length);
        return QStringView(decoded);
    }
    QVariant value(int column) const override {
        if (isNull(column)) {
            return QVariant();
        }
        const char* bytes = PQgetvalue(m_r, m_row, column);
        switch (kind(column)) {
            case Kind::Int:
                return QVariant(QByteArray::fromRawData(bytes, PQgetlength(m_r, m_row, column)).toInt());
            case Kind::LongLong:
                return QVariant(QByteArray::fromRawData(bytes, PQgetlength(m_r, m_row, column)).toLongLong());
            default:
                return QVariant(QString::fromUtf8(bytes, PQgetlength(m_r, m_row, column)));
        }
    }

  private:
    enum class Kind { Int, LongLong, Text, Other };
    // The type identifiers are the server's own, fixed in its catalog.
    static Kind kindOf(Oid type) {
        switch (type) {
            case 21:  // smallint
            case 23:  // integer
                return Kind::Int;
            case 20:  // bigint
                return Kind::LongLong;
            case 25:    // text
            case 1042:  // character
            case 1043:  // character varying
                return Kind::Text;
            default:
                return Kind::Other;
        }
    }

    Kind kind(int column) const { return m_kinds[static_cast<std::size_t>(column)]; }

    PGresult* m_r;
    int m_row = 0;
    std::vector<Kind> m_kinds;             // by column: read once per result, not once per value
    mutable std::vector<QString> m_texts;  // by column: the last text decoded there
};

class PgWrites;

class PgStatement final : public NativeStatement, public QueuedStatement {
  public:
    // `binary`: an insert's columns (its stored order first) as COPY's binary form sends them; empty when
    // its rows go as text.
    PgStatement(PgWrites& writes, RowWrite shape, bool ordered, std::vector<QString> types,
                std::vector<BinaryColumn> binary);
    ~PgStatement() override;
    PgStatement(const PgStatement&) = delete;
    PgStatement& operator=(const PgStatement&) = delete;

    RowId run(std::vector<QVariant> stored) override;
    RowId runConverting(std::vector<QVariant> values, const StoredForm& form) override;
    void runQueued(std::span<QVariant> values, const StoredForm* form, RowId expected) override;

    bool isInsert() const { return m_shape.insert; }
    const QString& table() const { return m_shape.table; }
    bool holdsRow(RowId id) const { return m_heldIds.count(id) > 0; }
    // Whether this statement sets any column that `other` sets.
    bool setsAnyOf(const PgStatement& other) const {
        return std::any_of(m_shape.columns.begin(), m_shape.columns.end(), [&](const QString& c) {
            return std::find(other.m_shape.columns.begin(), other.m_shape.columns.end(), c) !=
                   other.m_shape.columns.end();
        });
    }
    bool holding() const { return m_rows > 0; }
    // Sends every held row; throws the server's refusal naming the table.
    void send();
    void drop();

  private:
    RowId write(std::vector<QVariant> values, const StoredForm* form);
    // Holds (or, outside a transaction, sends) a row in its stored form; an insert's identity is `id`.
    void accept(std::span<const QVariant> stored, RowId id);
    RowId identityOf(std::span<const QVariant> stored);
    int valuesPerRow() const;
    int rowsPerStatement() const;
    void hold(std::span<const QVariant> stored, RowId id);
    void holdLine(std::span<const QVariant> stored, RowId id);
    QString updateStatement() const;
    void sendRows(int first, int count);
    void copyRows(int first, int count);

    PgWrites& m_writes;
    RowWrite m_shape;
    bool m_ordered;
    std::vector<QString> m_types;  // an update's column types, for the casts of its value list
    std::vector<BinaryColumn> m_binary;
    std::vector<std::optional<QByteArray>> m_values;  // held rows of an update, one after the other
    QByteArray m_copy;                                // held rows of an insert, as COPY's lines
    bool m_copyBinary = false;                        // m_copy's lines are in the binary form
    QByteArray m_line;                                // the row being held, before it joins m_copy
    std::vector<qsizetype> m_lineEnds;                // where each line of m_copy ends
    int m_rows = 0;
    std::unordered_map<RowId, int> m_heldIds;  // an update's rows by identity -> held row
};

// A block of identities that the writer thread takes in its turn among the queued rows, for the job's
// thread to take once they are there.
class IdentitiesAhead final : public QueuedStatement {
  public:
    using Take = std::function<std::deque<RowId>()>;

    // Before the ask is queued: the work the thread is to do.
    void ask(Take take) { m_take = std::move(take); }
    // On the writer thread.
    void runQueued(std::span<QVariant> /*values*/, const StoredForm* /*form*/, RowId /*expected*/) override {
        std::deque<RowId> ids = m_take();
        const std::lock_guard lock(m_mutex);
        m_taken = std::move(ids);
    }
    // The block, if the thread took it; it is then taken out.
    std::optional<std::deque<RowId>> take() {
        const std::lock_guard lock(m_mutex);
        return std::exchange(m_taken, std::nullopt);
    }

  private:
    Take m_take;
    std::mutex m_mutex;
    std::optional<std::deque<RowId>> m_taken;
};

class PgWrites final : public NativeWrites {
  public:
    PgWrites(Connection& connection, PGconn* conn)
        : m_connection(connection), m_conn(conn), m_path(connection.path()), m_queue(m_path) {}

    std::unique_ptr<NativeStatement> prepareRow(const QString& /*sql*/, const RowWrite& shape) override {
        drainWriter();
        const std::map<QString, QString> types = columnTypes(shape.table);
        const bool ordered = types.count(kNaturalOrderColumn) > 0 &&
                             !(shape.insert && !shape.identityRead && numbersItself(shape.table));
        std::vector<QString> updateTypes;
        if (!shape.insert) {
            for (const QString& column : shape.columns) {
                auto found = types.find(column);
                updateTypes.push_back(found == types.end() ? QStringLiteral("text") : found->second);
            }
        }
        return std::make_unique<PgStatement>(
            *this, shape, ordered, std::move(updateTypes),
            shape.insert ? binaryColumns(shape, ordered, types) : std::vector<BinaryColumn>());
    }

    void flush() override {
        drainWriter();
        sendHeld();
    }

    // Rows held for other tables stay held: a job loads each table's index when it first meets the table,
    // and sending every table's few held updates then made each of them a statement that reads its
    // whole table to find them.
    void flushFor(const QString& storedTable) override {
        drainWriter();
        sendHeld(
            [&](const PgStatement& s) { return s.table().compare(storedTable, Qt::CaseInsensitive) == 0; });
    }

    // A read of the run's indexes (of `table` alone). Inside a transaction the rows come through a
    // cursor, a few thousand at a time, each part asked for before the one before it is handed on: the
    // server sends the next rows while the job builds its index from these. Read whole, a table made the
    // job wait for the server and then the server for the job, table after table. Outside a
    // transaction, where a cursor cannot live, every row comes at once.
    bool readAll(const QString& sql, const QString& table, const RowReceiver& receive,
                 bool detached) override {
        (void)detached;  // the server reads ahead already
        flushFor(table);
        if (PQtransactionStatus(m_conn) == PQTRANS_INTRANS) {
            return readByParts(sql, table, receive);
        }
        const QByteArray text = sql.toUtf8();
        Result r(PQexec(m_conn, text.constData()));
        if (!r.ok()) {
            fail(r, table);
        }
        return handOn(r, receive);
    }

    // Whether sendHeld reads the last answer before it returns, or leaves it for the next use of the
    // connection (awaitAnswer).
    enum class LastAnswer { Read, Later };

    // Sends every held row (of the statements `which` takes) and reads the answers; on the connection's
    // own thread (the writer's while rows are queued). A table's inserts go before its updates, which
    // may change the rows they add.
    void sendHeld(const std::function<bool(const PgStatement&)>& which = nullptr,
                  LastAnswer last = LastAnswer::Read) {
        std::vector<PgStatement*> order;
        for (bool inserts : {true, false}) {
            for (PgStatement* s : m_pending) {
                if (s->isInsert() == inserts && (!which || which(*s))) {
                    order.push_back(s);
                }
            }
        }
        try {
            for (PgStatement* s : order) {
                s->send();
            }
            if (last == LastAnswer::Read) {
                awaitAnswer();
            }
        } catch (...) {
            discard();  // the transaction is lost with the failed statement
            throw;
        }
        for (PgStatement* s : order) {
            forget(s);
        }
    }

    // Sends a full update statement's rows, after the held inserts of its table (which may add the rows
    // it changes), and goes on without waiting for the server: every other statement's rows stay held.
    // No other held update of the table sets a column of one of its rows (heldElsewhere sent them all
    // first), so it may go ahead of them.
    void sendFull(const PgStatement& full) {
        sendHeld(
            [&](const PgStatement& s) { return &s == &full || (s.isInsert() && s.table() == full.table()); },
            LastAnswer::Later);
    }

    void discard() override {
        m_queue.discard();
        for (PgStatement* s : m_pending) {
            s->drop();
        }
        m_pending.clear();
        if (std::exchange(m_unanswered, std::nullopt)) {
            (void)answer();  // the transaction is undone anyway: read only to free the connection
        }
    }

    // A write sent inside a transaction (a COPY, a statement of held rows) is not waited for: the job
    // goes on while the server stores its rows, and the answer is read before anything else is sent on
    // the connection (here, by every statement of this writer, and by the connection's flush before any
    // other use). A refusal read then is the held rows' failure, naming their table.
    void answerLater(const QString& table) { m_unanswered = table; }
    void awaitAnswer() {
        if (!m_unanswered) {
            return;
        }
        const QString table = *std::exchange(m_unanswered, std::nullopt);
        try {
            readAnswer(table);
        } catch (const EngineError& e) {
            throw DeferredWriteError(e);
        }
    }
    // Reads the answer to the last write; a refusal names `table`.
    void readAnswer(const QString& table) {
        if (const std::optional<ServerFailure> failure = answer()) {
            fail(*failure, table);
        }
    }

    void forgetSchema() override {
        for (auto& known : m_identities) {
            known.second.current = false;
        }
    }

    // Inside a transaction (a write still unanswered shows the transaction as busy).
    bool holdsRows() const { return m_unanswered || PQtransactionStatus(m_conn) == PQTRANS_INTRANS; }

    // Inside a transaction of a connection whose owner allowed it, rows go to the writer thread, which
    // holds and sends them as the caller would have: the caller goes on with its pass meanwhile. While
    // rows are queued the transaction is open (a commit drains first) and the connection is the
    // thread's alone; otherwise the thread is idle and the connection can be asked.
    void deferWrites() override { m_deferred = true; }
    bool queues() const { return m_deferred && (m_queue.holdsRows() || holdsRows()); }
    void queue(QueuedStatement& statement, std::vector<QVariant> values, const StoredForm* form,
               RowId expected) {
        m_queue.push(statement, std::move(values), form, expected);
    }
    // Waits for the writer thread to have taken every queued row; throws the first failure.
    void drainWriter() { m_queue.drain(); }
    // A statement goes only once its transaction ended: nothing of it can be queued.
    void leave(PgStatement* s) {
        m_queue.discard();
        forget(s);
    }

    void held(PgStatement* s) {
        if (std::find(m_pending.begin(), m_pending.end(), s) == m_pending.end()) {
            m_pending.push_back(s);
        }
    }

    void forget(PgStatement* s) {
        m_pending.erase(std::remove(m_pending.begin(), m_pending.end(), s), m_pending.end());
    }

    // Another statement holding an update of some of the same columns of this row.
    bool heldElsewhere(const PgStatement* s, RowId id) const {
        return std::any_of(m_pending.begin(), m_pending.end(), [&](const PgStatement* other) {
            return other != s && !other->isInsert() && other->table() == s->table() && other->holdsRow(id) &&
                   other->setsAnyOf(*s);
        });
    }

    RowId nextIdentity(const QString& table) {
        IdentitySource& source = m_identities[table];
        if (source.appended) {
            return identityAmongAppends(table, source);
        }
        if (source.current && source.free.empty()) {
            takeAhead(source, false);
        }
        if (!source.current || source.free.empty()) {
            drainWriter();
            awaitAnswer();
            takeAhead(source, true);  // a block taken ahead from a sequence replaced since goes below
        }
        if (!source.current) {
            lookUpSequence(table, source);
        }
        if (source.free.empty()) {
            source.block = nextBlock(source.block);
            source.free = takeIdentities(table, source.sequence, source.block);
        }
        const RowId id = source.free.front();
        source.free.pop_front();
        askAhead(table, source);
        return id;
    }

    PGconn* conn() const { return m_conn; }
    const QString& path() const { return m_path; }
    WaitState* waits() const { return m_connection.waits(); }

    [[noreturn]] void fail(const Result& r, const QString& table) const { fail(r.failure(m_conn), table); }
    [[noreturn]] void fail(const ServerFailure& failure, const QString& table) const {
        m_connection.fail(table, [&] { throwServerError(failure, table, m_path); });
    }

  private:
    static constexpr const char* kFetchNext = "FETCH 4096 FROM vexilo_lectura";

    bool readByParts(const QString& sql, const QString& table, const RowReceiver& receive) {
        {
            const QByteArray declare = ("DECLARE vexilo_lectura NO SCROLL CURSOR FOR " + sql).toUtf8();
            Result r(PQexec(m_conn, declare.constData()));
            if (!r.ok()) {
                fail(r, table);
            }
        }
        bool asked = PQsendQuery(m_conn, kFetchNext) == 1;
        // However the read ends, no answer is left pending and the cursor goes (in a transaction that a
        // failure undid, its close fails as harmlessly as anything else would).
        const auto closed = qScopeGuard([&] {
            if (asked) {
                (void)answer();
            }
            Result(PQexec(m_conn, "CLOSE vexilo_lectura"));
        });
        for (;;) {
            // A part that could not be asked for reads as the connection's failure.
            Result r(asked ? PQgetResult(m_conn) : nullptr);
            asked = false;
            if (const std::optional<ServerFailure> failure = answer(); failure || !r.ok()) {
                fail(r.ok() ? *failure : r.failure(m_conn), table);
            }
            if (PQntuples(r.get()) == 0) {
                return true;
            }
            asked = PQsendQuery(m_conn, kFetchNext) == 1;
            // Every part has the first one's columns: only the first can be refused, before any row.
            if (!handOn(r, receive)) {
                return false;
            }
        }
    }

    // The rows of `r`, unless a column's type is not one read here: the driver, which knows every
    // type, then reads them again.
    static bool handOn(const Result& r, const RowReceiver& receive) {
        ResultRow row(r.get());
        if (!row.readable()) {
            return false;
        }
        for (int i = 0; i < row.rows(); ++i) {
            row.moveTo(i);
            receive(row);
        }
        return true;
    }

    // Where a table's new identities come from: the sequence of its identity column, and the identities
    // taken from it ahead and not given yet.
    struct IdentitySource {
        std::optional<QByteArray> sequence;  // quoted and schema-qualified; none when the column has none
        QByteArray oid;        // tells a sequence made again under the same name from the one it replaced
        bool current = false;  // false until looked up, and again once the schema may have changed
        std::deque<RowId> free;
        // The size of the last block taken or asked for: four times larger at each, up to
        // kLargestIdentityBlock.
        int block = 0;
        // The next block, asked of the writer thread while the rows are queued and not taken yet (see
        // askAhead); `blockBefore` is `block` as it was before the ask.
        bool asked = false;
        int blockBefore = 0;
        IdentitiesAhead ahead;
        // Rows whose identity nobody reads are sent without one, for the server to number: none is taken
        // ahead any more (see numbersItself).
        bool appended = false;
    };

    // Whether rows of the table whose identity nobody reads may go without one, for the server to number
    // as they arrive (in the order sent): its stored order column numbers rows itself, as in every table
    // the engine makes. That spares the round trips that take numbers for them, a tenth of a server job
    // for the run log. From then on the table's own identities are taken one at a time as they are given
    // (identityAmongAppends), and any taken ahead are never given: rows appended after them would come
    // before them in the stored order.
    bool numbersItself(const QString& table) {
        IdentitySource& source = m_identities[table];
        if (!source.current) {
            lookUpSequence(table, source);
        }
        if (!source.sequence) {
            return false;
        }
        source.appended = true;
        return true;
    }

    // An identity of a table that rows are appended to, taken once every row appended so far has reached
    // the server, so that the rows appended after it come after it.
    RowId identityAmongAppends(const QString& table, IdentitySource& source) {
        flushFor(table);
        if (!source.current) {
            lookUpSequence(table, source);
        }
        return takeIdentities(table, source.sequence, 1).front();
    }

    static int nextBlock(int block) {
        return block == 0 ? kFirstIdentityBlock : std::min(block * 4, kLargestIdentityBlock);
    }

    // While rows are queued, a table that takes blocks of the largest size asks the writer thread for
    // the next one shortly before the last runs out: the thread takes it in its turn among the rows, and
    // the job goes on. Such a block, taken when the last ran out, made the job wait for every row sent so
    // far to be stored and then for the server to hand out 65,536 numbers, both threads and the server
    // idle in turn (a tenth of a server job). The blocks are those the job would have taken when each ran
    // out, in the same order. A job that ends before giving an asked block leaves its numbers unused, as
    // it leaves the rest of any block: a few thousand rows ahead (more than the thread lags behind) make
    // that rare, where asking a smaller table's next, four times larger block once half of its last was
    // given took more numbers than the job gave.
    void askAhead(const QString& table, IdentitySource& source) {
        if (source.asked || !source.current || !queues() || source.block != kLargestIdentityBlock ||
            source.free.size() > kAskAheadAt) {
            return;
        }
        source.blockBefore = source.block;
        source.block = nextBlock(source.block);
        source.asked = true;
        source.ahead.ask([this, table, sequence = source.sequence, block = source.block] {
            awaitAnswer();
            return takeIdentities(table, sequence, block);
        });
        queue(source.ahead, {}, nullptr, 0);
    }

    // The asked block, once the thread took it. After a drain the ask is over either way: when its rows
    // were dropped (the transaction undone) the block was never taken, and the next is taken here again.
    void takeAhead(IdentitySource& source, bool drained) {
        if (!source.asked) {
            return;
        }
        std::optional<std::deque<RowId>> taken = source.ahead.take();
        if (!taken && !drained) {
            return;
        }
        source.asked = false;
        if (!taken) {
            source.block = source.blockBefore;
            return;
        }
        source.free.insert(source.free.end(), taken->begin(), taken->end());
    }

    Connection& m_connection;
    // Column name -> declared type, hidden columns included.
    std::map<QString, QString> columnTypes(const QString& table) {
        awaitAnswer();
        const QByteArray name = quotedIdentifier(table).toUtf8();
        const char* values[] = {name.constData()};
        const WatchedStatement watched(waits());
        Result r(PQexecParams(
            m_conn,
            "SELECT attname, pg_catalog.format_type(atttypid, atttypmod) FROM pg_catalog.pg_attribute "
            "WHERE attrelid = $1::regclass AND attnum > 0 AND NOT attisdropped",
            1, nullptr, values, nullptr, nullptr, 0));
        if (!r.ok()) {
            fail(r, table);
        }
        std::map<QString, QString> types;
        for (int i = 0; i < PQntuples(r.get()); ++i) {
            types.emplace(QString::fromUtf8(PQgetvalue(r.get(), i, 0)),
                          QString::fromUtf8(PQgetvalue(r.get(), i, 1)));
        }
        return types;
    }

    // An insert's columns, its stored order first, as COPY's binary form sends them; empty unless every
    // one is of a type sent so (and the server counts time in whole microseconds, as it has by default
    // for years).
    std::vector<BinaryColumn> binaryColumns(const RowWrite& shape, bool ordered,
                                            const std::map<QString, QString>& types) const {
        std::vector<QString> names = shape.columns;
        if (ordered) {
            names.insert(names.begin(), kNaturalOrderColumn);
        }
        const bool microseconds = qstrcmp(PQparameterStatus(m_conn, "integer_datetimes"), "on") == 0;
        std::vector<BinaryColumn> columns;
        for (const QString& name : names) {
            auto found = types.find(name);
            const BinaryColumn c = found == types.end() ? BinaryColumn::None : binaryColumnOf(found->second);
            if (c == BinaryColumn::None || (c == BinaryColumn::Timestamp && !microseconds)) {
                return {};
            }
            columns.push_back(c);
        }
        return columns;
    }

    // The sequence of the table's identity column as it is now. When it is another one than before, the
    // identities taken from the old one are dropped and the blocks start small again, as for a new table.
    void lookUpSequence(const QString& table, IdentitySource& source) {
        const QByteArray name = quotedIdentifier(table).toUtf8();
        const QByteArray column = kNaturalOrderColumn.toUtf8();
        const char* values[] = {name.constData(), column.constData()};
        const WatchedStatement watched(waits());
        Result r(PQexecParams(m_conn,
                              "SELECT s, s::pg_catalog.regclass::pg_catalog.oid "
                              "FROM pg_catalog.pg_get_serial_sequence($1, $2) AS s",
                              2, nullptr, values, nullptr, nullptr, 0));
        if (!r.ok()) {
            fail(r, table);
        }
        std::optional<QByteArray> sequence;
        QByteArray oid;
        if (PQntuples(r.get()) == 1 && !PQgetisnull(r.get(), 0, 0)) {
            sequence = QByteArray(PQgetvalue(r.get(), 0, 0));
            oid = QByteArray(PQgetvalue(r.get(), 0, 1));
        }
        if (sequence != source.sequence || oid != source.oid) {
            source.free.clear();
            source.block = 0;
            source.appended = false;  // a table made again: its statements are made again too
        }
        source.sequence = std::move(sequence);
        source.oid = std::move(oid);
        source.current = true;
    }

    // Takes a block of `block` identities, in increasing order. The sequence's name is bound, not
    // spliced, and read as a regclass once per statement. On the connection's own thread.
    std::deque<RowId> takeIdentities(const QString& table, const std::optional<QByteArray>& sequence,
                                     int block) {
        const QByteArray n = QByteArray::number(block);
        // Without a sequence every identity is Null, read as 0, as nextval of no sequence gives.
        const char* values[] = {sequence ? sequence->constData() : nullptr, n.constData()};
        const WatchedStatement watched(waits());
        Result r(PQexecParams(m_conn,
                              "SELECT pg_catalog.nextval($1::pg_catalog.regclass) "
                              "FROM pg_catalog.generate_series(1, $2::integer)",
                              2, nullptr, values, nullptr, nullptr, 0));
        if (!r.ok()) {
            fail(r, table);
        }
        std::deque<RowId> ids;
        for (int i = 0; i < PQntuples(r.get()); ++i) {
            ids.push_back(QByteArray(PQgetvalue(r.get(), i, 0)).toLongLong());
        }
        std::sort(ids.begin(), ids.end());
        return ids;
    }

    PGconn* m_conn;
    QString m_path;
    std::vector<PgStatement*> m_pending;
    std::unordered_map<QString, IdentitySource> m_identities;  // by stored table name
    std::optional<QString> m_unanswered;                       // the table of a write not yet answered
    bool m_deferred = false;  // the owner lets rows be written after the call that gave them

    // The statement's or the COPY's own result, then the end of its results; the failure is the first
    // result's.
    std::optional<ServerFailure> answer() {
        const WatchedStatement watched(waits());
        std::optional<ServerFailure> failure;
        while (PGresult* raw = PQgetResult(m_conn)) {
            Result r(raw);
            if (!failure && !r.ok()) {
                failure = r.failure(m_conn);
            }
        }
        return failure;
    }

    WriterQueue m_queue;  // last, so that its thread ends before anything it uses goes
};

PgStatement::PgStatement(PgWrites& writes, RowWrite shape, bool ordered, std::vector<QString> types,
                         std::vector<BinaryColumn> binary)
    : m_writes(writes),
      m_shape(std::move(shape)),
      m_ordered(ordered),
      m_types(std::move(types)),
      m_binary(std::move(binary)) {}

PgStatement::~PgStatement() {
    m_writes.leave(this);
}

int PgStatement::valuesPerRow() const {
    const int columns = static_cast<int>(m_shape.columns.size());
    return m_shape.insert ? columns + (m_ordered ? 1 : 0) : columns + 1;
}

int PgStatement::rowsPerStatement() const {
    return m_shape.insert ? kMaxRowsPerCopy : kMaxRowsPerUpdate;
}

RowId PgStatement::run(std::vector<QVariant> stored) {
    return write(std::move(stored), nullptr);
}

RowId PgStatement::runConverting(std::vector<QVariant> values, const StoredForm& form) {
    return write(std::move(values), &form);
}

// `form`, when given, converts the values: on the writer thread for a queued row, here otherwise. An
// insert's identity is always taken here, so that the caller has it at once.
RowId PgStatement::write(std::vector<QVariant> values, const StoredForm* form) {
    if (m_writes.queues()) {
        const RowId id = m_shape.insert && m_ordered ? m_writes.nextIdentity(m_shape.table) : 0;
        m_writes.queue(*this, std::move(values), form, id);
        return id;
    }
    if (form != nullptr) {
        form->convert(values);
    }
    const RowId id = identityOf(values);
    accept(values, id);
    return m_shape.insert ? id : 0;
}

void PgStatement::runQueued(std::span<QVariant> values, const StoredForm* form, RowId expected) {
    if (form != nullptr) {
        form->convert(values);
    }
    accept(values, m_shape.insert ? expected : identityOf(values));
}

// An insert's new identity (0 for a table without a stored order), or the identity of the row an update
// changes, its last value.
RowId PgStatement::identityOf(std::span<const QVariant> stored) {
    if (m_shape.insert) {
        return m_ordered ? m_writes.nextIdentity(m_shape.table) : 0;
    }
    return stored.empty() ? 0 : stored.back().toLongLong();
}

void PgStatement::accept(std::span<const QVariant> stored, RowId id) {
    if (!m_writes.holdsRows()) {
        hold(stored, id);
        send();
        return;
    }
    if (!m_shape.insert && m_writes.heldElsewhere(this, id)) {
        m_writes.sendHeld();
    }
    hold(stored, id);
    m_writes.held(this);
    if (m_rows >= rowsPerStatement()) {
        if (m_shape.insert) {
            send();  // inserts may always go ahead of held updates
        } else {
            m_writes.sendFull(*this);
        }
    }
}

void PgStatement::hold(std::span<const QVariant> stored, RowId id) {
    if (m_shape.insert) {
        if (valuesPerRow() > 0) {
            holdLine(stored, id);
        } else {
            ++m_rows;  // a row of defaults only
        }
        return;
    }
    // The identity goes first in an update's value list.
    std::vector<std::optional<QByteArray>> row;
    row.reserve(static_cast<std::size_t>(valuesPerRow()));
    row.emplace_back(QByteArray::number(id));
    for (std::size_t i = 0; i + 1 < stored.size(); ++i) {
        row.push_back(serverText(stored[i]));
    }
    auto found = m_heldIds.find(id);
    if (found != m_heldIds.end()) {
        // The same columns of the same row again: the later values replace the earlier ones.
        std::move(row.begin(), row.end(),
                  m_values.begin() + static_cast<qsizetype>(found->second) * valuesPerRow());
        return;
    }
    m_heldIds.emplace(id, m_rows);
    std::move(row.begin(), row.end(), std::back_inserter(m_values));
    ++m_rows;
}

// An insert's row as its line of COPY, the stored order first where the table keeps one: in the binary
// form where the statement's columns and the row's values allow it, which spares the server reading
// every number and moment from text; in the text form otherwise. One COPY carries one form: rows held in
// the other are sent first.
void PgStatement::holdLine(std::span<const QVariant> stored, RowId id) {
    m_line.clear();
    const bool binary =
        !m_binary.empty() &&
        appendBinaryRow(m_line, m_binary, m_ordered ? std::optional<std::int64_t>(id) : std::nullopt, stored);
    if (!binary) {
        if (m_ordered) {
            m_line += QByteArray::number(id);
        }
        for (std::size_t i = 0; i < stored.size(); ++i) {
            if (m_ordered || i > 0) {
                m_line += '\t';
            }
            appendCopyValue(m_line, stored[i]);
        }
        m_line += '\n';
    }
    if (m_rows > 0 && binary != m_copyBinary) {
        send();
    }
    m_copyBinary = binary;
    m_copy += m_line;
    m_lineEnds.push_back(m_copy.size());
    ++m_rows;
}

// An update of held rows, given as one text array per value (the identity first), unnested into rows:
// one short statement whatever the number of rows, where a list of marks for each of a thousand rows
// took the server longer to read and plan than to run. Each value reaches its column's type through
// text, as a list of untyped marks did.
QString PgStatement::updateStatement() const {
    QString sets;
    QString arrays = QStringLiteral("$1::text[]");
    QString aliases = QStringLiteral("i");
    for (std::size_t i = 0; i < m_shape.columns.size(); ++i) {
        const QString alias = QStringLiteral("c%1").arg(i);
        arrays += QStringLiteral(", $%1::text[]").arg(i + 2);
        aliases += QStringLiteral(", ") + alias;
        sets += (i == 0 ? QString() : QStringLiteral(", ")) + quotedIdentifier(m_shape.columns[i]) +
                QLatin1String(" = v.") + alias + QLatin1String("::") + m_types[i];
    }
    return QLatin1String("UPDATE ") + quotedIdentifier(m_shape.table) + QLatin1String(" AS t SET ") + sets +
           QLatin1String(" FROM unnest(") + arrays + QLatin1String(") AS v(") + aliases +
           QLatin1String(") WHERE t.") + quotedIdentifier(kNaturalOrderColumn) +
           QLatin1String(" = v.i::bigint");
}

void PgStatement::sendRows(int first, int count) {
    m_writes.awaitAnswer();
    const QString table = quotedIdentifier(m_shape.table);
    if (valuesPerRow() == 0) {
        // A row of defaults only, for a table without a stored order.
        const QByteArray sql =
            (QLatin1String("INSERT INTO ") + table + QLatin1String(" DEFAULT VALUES")).toUtf8();
        for (int i = 0; i < count; ++i) {
            Result r(PQexec(m_writes.conn(), sql.constData()));
            if (!r.ok()) {
                m_writes.fail(r, m_shape.table);
            }
        }
        return;
    }
    if (m_shape.insert) {
        copyRows(first, count);
        return;
    }
    const auto perRow = static_cast<std::size_t>(valuesPerRow());
    std::vector<QByteArray> arrays(perRow, QByteArray("{"));
    for (std::size_t row = 0; row < static_cast<std::size_t>(count); ++row) {
        for (std::size_t v = 0; v < perRow; ++v) {
            appendArrayElement(arrays[v], m_values[(static_cast<std::size_t>(first) + row) * perRow + v],
                               row == 0);
        }
    }
    std::vector<const char*> values;
    for (QByteArray& a : arrays) {
        a += '}';
        values.push_back(a.constData());
    }
    const QByteArray sql = updateStatement().toUtf8();
    const int n = static_cast<int>(perRow);
    // Inside a transaction the answer is read later, as a COPY's; a statement that could not even be sent
    // is run again the plain way, which fails with the connection's own reason.
    if (m_writes.holdsRows() && PQsendQueryParams(m_writes.conn(), sql.constData(), n, nullptr, values.data(),
                                                  nullptr, nullptr, 0) == 1) {
        m_writes.answerLater(m_shape.table);
        return;
    }
    Result r(PQexecParams(m_writes.conn(), sql.constData(), n, nullptr, values.data(), nullptr, nullptr, 0));
    if (!r.ok()) {
        m_writes.fail(r, m_shape.table);
    }
}

void PgStatement::copyRows(int first, int count) {
    QString names = m_ordered ? quotedIdentifier(kNaturalOrderColumn) : QString();
    for (const QString& c : m_shape.columns) {
        names += (names.isEmpty() ? QString() : QStringLiteral(", ")) + quotedIdentifier(c);
    }
    const QByteArray sql =
        (QLatin1String("COPY ") + quotedIdentifier(m_shape.table) + QLatin1String(" (") + names +
         QLatin1String(") FROM STDIN") + (m_copyBinary ? QLatin1String(" (FORMAT binary)") : QLatin1String()))
            .toUtf8();
    PGconn* conn = m_writes.conn();
    const bool inTransaction = m_writes.holdsRows();
    {
        Result start(PQexec(conn, sql.constData()));
        if (PQresultStatus(start.get()) != PGRES_COPY_IN) {
            m_writes.fail(start, m_shape.table);
        }
    }
    const qsizetype from = first == 0 ? 0 : m_lineEnds[static_cast<std::size_t>(first - 1)];
    const qsizetype to = m_lineEnds[static_cast<std::size_t>(first + count - 1)];
    auto put = [conn](const char* bytes, qsizetype size) {
        return PQputCopyData(conn, bytes, static_cast<int>(size)) == 1;
    };
    const QByteArray header = m_copyBinary ? binaryCopyHeader() : QByteArray();
    const QByteArray trailer = m_copyBinary ? binaryCopyTrailer() : QByteArray();
    const bool sent = put(header.constData(), header.size()) && put(m_copy.constData() + from, to - from) &&
                      put(trailer.constData(), trailer.size());
    const bool ended = PQputCopyEnd(conn, sent ? nullptr : "envío interrumpido") == 1;
    if (sent && ended && inTransaction) {
        m_writes.answerLater(m_shape.table);
        return;
    }
    m_writes.readAnswer(m_shape.table);
}

void PgStatement::send() {
    const WatchedStatement watched(m_writes.waits());
    const int chunk = rowsPerStatement();
    try {
        for (int first = 0; first < m_rows; first += chunk) {
            sendRows(first, std::min(chunk, m_rows - first));
        }
    } catch (...) {
        drop();
        throw;
    }
    drop();
}

void PgStatement::drop() {
    m_values.clear();
    m_copy.clear();
    m_lineEnds.clear();
    m_heldIds.clear();
    m_rows = 0;
}

}  // namespace

std::unique_ptr<NativeWrites> postgresNativeWrites(Connection& c) {
    const QSqlDatabase db = c.handle();
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    // The driver names the handle's type after libpq's struct or after its typedef.
    if (!handle.isValid() ||
        (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0)) {
        return nullptr;
    }
    PGconn* conn = *static_cast<PGconn* const*>(handle.constData());
    if (conn == nullptr) {
        return nullptr;
    }
    return std::make_unique<PgWrites>(c, conn);
}

}  // namespace vexilo::engines
