#pragma once
// A dialect's own statements for the row writes of the fast paths, when its engine offers a way faster
// than QtSql's: the job writes hundreds of thousands of rows of a few shapes, and QtSql's binding
// (a QVariant list rebuilt per row) costs more than the engine's own work. Internal to the engine layer.
//
// A server engine plugs its batched writer in here the same way: its statements may hold rows back,
// as long as flush() puts them in the database before anything reads it.

#include <QString>
#include <QVariant>
#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "engines/dao.h"
#include "engines/plainrow.h"
#include "engines/storedform.h"

class QSqlDatabase;

namespace vexilo::engines {
class Connection;
}

namespace vexilo::engines {

class NativeStatement {
  public:
    virtual ~NativeStatement() = default;
    // Runs the statement once with these values, already in their stored form, in the order of its
    // marks. Returns the identity of the row an INSERT added (0 for other statements). An engine failure
    // is an EngineError naming `table` and the database, like any other statement's.
    virtual RowId run(std::vector<QVariant> stored) = 0;
    // The same with the values in the caller's form: `form` (kept as long as the statement) converts
    // them here, or, for a row the engine holds back, when it is written; a value it refuses is then that
    // row's failure, met as any held row's.
    virtual RowId runConverting(std::vector<QVariant> values, const StoredForm& form) {
        form.convert(values);
        return run(std::move(values));
    }
    // The same with plain values, checked against `form` as the same values in QVariants would be, at
    // the call or when the row is written (`checks`), and only then. An engine that binds plain values
    // itself takes them as they are; any other is given those QVariants.
    virtual RowId runPlain(PlainRow&& values, const StoredForm& form, Database::Checks checks) {
        std::vector<QVariant> variants = variantsOf(values);
        if (checks == Database::Checks::WhenWritten) {
            return runConverting(std::move(variants), form);
        }
        form.convert(variants);
        return run(std::move(variants));
    }
};

// Whether stored bytes are plain ASCII: such a text reads the same in Latin-1 and in UTF-8, and is lent
// as it is stored.
inline bool isPlainAscii(const unsigned char* bytes, std::size_t length) {
    // Eight bytes at a time: a loader asks it of every text it reads.
    std::uint64_t any = 0;
    std::size_t k = 0;
    for (; k + 8 <= length; k += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes + k, 8);
        any |= word;
    }
    for (; k < length; ++k) {
        any |= bytes[k];
    }
    return (any & 0x8080808080808080ULL) == 0;
}

// A row of a query as the engine's own reading holds it, columns numbered as the statement's. The
// integer and the text are those the engine stores as such (nothing for any other value), before the
// dialect's fromStored; value() is what the engine's QtSql driver would give. The integer comes back in
// `n` (true when there is one): a loader asks for it in every row, and GCC hands a std::optional on from
// a call through the stack, where its wide read of the narrow writes waits for every earlier store.
class StoredValues {
  public:
    virtual bool isNull(int column) const = 0;
    virtual bool integer(int column, std::int64_t& n) const = 0;
    virtual std::optional<Database::StoredText> text(int column) const = 0;
    virtual QVariant value(int column) const = 0;

  protected:
    ~StoredValues() = default;
};

// What a row write does, for a writer that builds statements of its own (batches) rather than run
// the SQL text it is given: an INSERT of these columns, or an UPDATE of these columns of the row whose
// identity is the last value.
struct RowWrite {
    bool insert = true;
    QString table;  // stored name
    std::vector<QString> columns;
    bool identityRead = true;  // an insert whose caller reads the new row's identity
};

class NativeWrites {
  public:
    virtual ~NativeWrites() = default;
    // The statement of a row write: `sql` is the layer's own statement for it (an engine may run that
    // text as it is, or build statements of its own from the shape). The caller keeps it for the
    // connection's life.
    virtual std::unique_ptr<NativeStatement> prepareRow(const QString& sql, const RowWrite& shape) = 0;
    // Puts every held row in the database (nothing to do for an engine that writes at once). A failure
    // is the EngineError the held row would have given, naming its table; the held rows are dropped.
    virtual void flush() {}
    // What a read of this table alone (stored name) needs: the connection free for it and every held
    // row of the table in the database. Rows held for other tables may stay held (an engine that holds
    // none puts everything in, as flush does).
    virtual void flushFor(const QString& storedTable) {
        (void)storedTable;
        flush();
    }
    // Drops every held row (before a rollback, which would undo them anyway).
    virtual void discard() {}
    // What the writer learnt of the tables may no longer hold: a table was created, dropped or altered,
    // or a rollback undid such a change. Called after every held row of the table changed went out or
    // was dropped (rows held for other tables may stay held).
    virtual void forgetSchema() {}
    // From here on rows inside a transaction may be written after the call that gave them (dao.h).
    virtual void deferWrites() {}
    // The connection's transaction was committed or rolled back (every held row went out first).
    virtual void transactionEnds() {}

    // Runs a query that takes no values and hands each of its rows to `row`. False, having read nothing,
    // when this engine reads no faster than QtSql. A failure is an EngineError naming `table`, like any
    // other statement's. With `detached` the receiver uses nothing of the connection, so that the engine
    // may read the next rows on another thread while it takes these.
    using RowReceiver = std::function<void(const StoredValues& values)>;
    virtual bool readAll(const QString& sql, const QString& table, const RowReceiver& row, bool detached) {
        (void)sql;
        (void)table;
        (void)row;
        (void)detached;
        return false;
    }
    // One of several queries read together.
    struct Read {
        QString sql;
        QString table;
        RowReceiver row;
        std::exception_ptr failure;  // what stopped it: a receiver's exception, or its statement refused
    };
    // Runs queries that take no values as readAll would, detached, one after the other, but on the
    // calling thread and one more at once: each query's rows go to its own receiver, on one thread, maybe
    // not the caller's. A query the engine refuses (a table that does not exist) and one whose receiver
    // throws keep their failure, and the others go on; a failure while the rows are read (the engine's
    // EngineError, naming the query's table) is thrown once every query stopped. False, having read
    // nothing, when this engine cannot.
    virtual bool readTogether(std::vector<Read>& reads) {
        (void)reads;
        return false;
    }
};

// The SQLite writer over the C interface of the very library that QtSql's SQLite driver uses, on the same
// connection (so transactions, locks and the busy wait are shared). Null when the connection does not
// give its handle.
std::unique_ptr<NativeWrites> sqliteNativeWrites(Connection& c);

// The PostgreSQL writer over libpq on the connection's own PGconn: inside a transaction it holds the rows
// of each statement and sends them as multi-row statements when a read, a commit or a definition
// needs them; outside one it writes each row at once. Null when the connection does not give its handle.
std::unique_ptr<NativeWrites> postgresNativeWrites(Connection& c);

}  // namespace vexilo::engines
