// Rows stepped on a thread of their own and handed over in parts must be the rows a statement read in
// place gives, value for value, whatever a part's size; a failed step and an exception of the caller's
// must end the read as they end one read in place. Statements read together on two threads must give
// each its own rows, and a failure must stop its own statement only.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QString>
#include <atomic>
#include <exception>
#include <limits>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "engines/sqlitereadahead.h"

namespace vexilo::testing {
namespace {

using engines::readAhead;
using engines::StoredValues;

// One value as a reader sees it through every accessor.
struct Seen {
    bool null = false;
    std::optional<std::int64_t> integer;
    int textKind = 0;  // 0 no text, 1 lent as stored (ASCII), 2 lent in UTF-16
    QString text;
    QVariant value;

    bool operator==(const Seen&) const = default;
};

void PrintTo(const Seen& s, std::ostream* os) {
    *os << "null " << s.null << " integer " << (s.integer ? std::to_string(*s.integer) : "-") << " text "
        << s.textKind << " '" << s.text.toStdString() << "' value " << s.value.toString().toStdString();
}

Seen seenThrough(const StoredValues& row, int column) {
    Seen s;
    s.null = row.isNull(column);
    std::int64_t n = 0;
    if (row.integer(column, n)) {
        s.integer = n;
    }
    if (const auto t = row.text(column)) {
        s.textKind = std::holds_alternative<QLatin1String>(*t) ? 1 : 2;
        s.text = std::visit([](auto v) { return v.toString(); }, *t);
    }
    s.value = row.value(column);
    return s;
}

// What a row read in place lends: a whole number, a real, a blob (an empty one no Null), a text of plain
// ASCII as stored and any other in SQLite's own UTF-16.
Seen seenInPlace(sqlite3_stmt* stmt, int column) {
    Seen s;
    switch (sqlite3_column_type(stmt, column)) {
        case SQLITE_NULL:
            s.null = true;
            break;
        case SQLITE_INTEGER:
            s.integer = sqlite3_column_int64(stmt, column);
            s.value = QVariant(static_cast<qlonglong>(*s.integer));
            break;
        case SQLITE_FLOAT:
            s.value = QVariant(sqlite3_column_double(stmt, column));
            break;
        case SQLITE_BLOB: {
            const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, column));
            const int size = sqlite3_column_bytes(stmt, column);
            s.value = QVariant(size > 0 ? QByteArray(bytes, size) : QByteArray(""));
            break;
        }
        default: {
            const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
            const QByteArray stored(bytes, sqlite3_column_bytes(stmt, column));
            const bool ascii =
                std::all_of(stored.begin(), stored.end(), [](char c) { return (c & 0x80) == 0; });
            s.textKind = ascii ? 1 : 2;
            s.text = ascii ? QString::fromLatin1(stored)
                           : QString(static_cast<const QChar*>(sqlite3_column_text16(stmt, column)),
                                     sqlite3_column_bytes16(stmt, column) / 2);
            s.value = QVariant(s.text);
        }
    }
    return s;
}

using Rows = std::vector<std::vector<Seen>>;

class ReadAhead : public ::testing::Test {
  protected:
    void SetUp() override {
        // As the job's connection is opened: SQLite's own lock left out, so that only the reader's
        // keeps two threads from using it at once.
        ASSERT_EQ(sqlite3_open_v2(":memory:", &m_db,
                                  SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr),
                  SQLITE_OK);
        ASSERT_EQ(sqlite3_create_function(m_db, "stop_at", 2, SQLITE_UTF8, this, &stopAt, nullptr, nullptr),
                  SQLITE_OK);
        ASSERT_EQ(sqlite3_create_function(m_db, "alone", 1, SQLITE_UTF8, this, &alone, nullptr, nullptr),
                  SQLITE_OK);
        exec("CREATE TABLE t (a, b, c)");
    }
    void TearDown() override { sqlite3_close(m_db); }

    void exec(const std::string& sql) {
        char* error = nullptr;
        ASSERT_EQ(sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << error;
    }

    // Row `i` of a table whose values run through every kind a column can hold, at lengths that put
    // a wide text's units at both an even and an odd place of a part.
    static std::string valueSql(int i) {
        switch (i % 12) {
            case 0:
                return "NULL";
            case 1:
                return std::to_string(i * 7919LL - 40000);
            case 2:
                return i % 24 == 2 ? "-9223372036854775808" : "9223372036854775807";
            case 3:
                return std::to_string(i) + ".25";
            case 4:
                return "'" + std::string(static_cast<std::size_t>(i % 9), 'x') + "'";  // the empty text too
            case 5:
                return "'ñandú" + std::string(static_cast<std::size_t>(i % 5), 'y') + " €'";
            case 6:
                return "CAST(x'61ff62c3' AS TEXT)";  // stored bytes that are no UTF-8
            case 7:
                return "CAST(x'610062' AS TEXT)";  // a NUL inside
            case 8:
                return i % 24 == 8 ? "x''" : "x'00ff10'";  // the empty blob too
            case 9:
                return "'\xF0\x9F\x97\xBA'";  // outside the basic plane
            case 10:
                return "1e300";
            default:
                return "'texto " + std::to_string(i) + "'";
        }
    }
    void fill(int rows) {
        exec("BEGIN");
        for (int i = 0; i < rows; ++i) {
            exec("INSERT INTO t VALUES (" + valueSql(i) + ", " + valueSql(i + 5) + ", " +
                 valueSql(i * 3 + 1) + ")");
        }
        exec("COMMIT");
    }

    sqlite3_stmt* prepare(const char* sql) {
        sqlite3_stmt* stmt = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr), SQLITE_OK) << sqlite3_errmsg(m_db);
        return stmt;
    }

    Rows readInPlace(const char* sql) {
        sqlite3_stmt* stmt = prepare(sql);
        Rows rows;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            rows.emplace_back();
            for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                rows.back().push_back(seenInPlace(stmt, c));
            }
        }
        sqlite3_finalize(stmt);
        return rows;
    }

    // The rows read ahead in parts of `partBytes`; `rc` the read's end.
    Rows readAheadOf(const char* sql, std::size_t partBytes, int& rc) {
        sqlite3_stmt* stmt = prepare(sql);
        Rows rows;
        rc = readAhead(
            stmt,
            [&](const StoredValues& row) {
                rows.emplace_back();
                for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                    rows.back().push_back(seenThrough(row, c));
                }
            },
            partBytes);
        sqlite3_finalize(stmt);
        return rows;
    }

    // stop_at(x, n): x, failing the statement when x is n; counts its calls.
    static void stopAt(sqlite3_context* context, int, sqlite3_value** args) {
        auto* self = static_cast<ReadAhead*>(sqlite3_user_data(context));
        ++self->m_calls;
        if (sqlite3_value_int64(args[0]) == sqlite3_value_int64(args[1])) {
            sqlite3_result_error(context, "parada a propósito", -1);
            return;
        }
        sqlite3_result_value(context, args[0]);
    }

    // alone(x): x, noting whether another thread was stepping on the connection meanwhile.
    static void alone(sqlite3_context* context, int, sqlite3_value** args) {
        auto* self = static_cast<ReadAhead*>(sqlite3_user_data(context));
        if (++self->m_inside > 1) {
            self->m_overlapped = true;
        }
        std::this_thread::yield();
        --self->m_inside;
        sqlite3_result_value(context, args[0]);
    }

    sqlite3* m_db = nullptr;
    std::atomic<int> m_calls{0};
    std::atomic<int> m_inside{0};
    std::atomic<bool> m_overlapped{false};
};

constexpr std::size_t kPartSizes[] = {1, 7, 64, 4096, engines::kReadAheadPartBytes};

TEST_F(ReadAhead, RowsReadAheadLendWhatRowsReadInPlaceLend) {
    fill(3000);
    // A text longer than a whole part, between two short rows.
    exec("INSERT INTO t VALUES (1, '" + std::string(engines::kReadAheadPartBytes * 2 + 3, 'z') + "', 'ñ')");
    fill(5);
    const char* sql = "SELECT rowid, a, b, c FROM t ORDER BY rowid";
    const Rows expected = readInPlace(sql);
    ASSERT_EQ(expected.size(), 3006U);
    for (const std::size_t partBytes : kPartSizes) {
        SCOPED_TRACE(partBytes);
        int rc = 0;
        const Rows read = readAheadOf(sql, partBytes, rc);
        EXPECT_EQ(rc, SQLITE_DONE);
        ASSERT_EQ(read.size(), expected.size());
        for (std::size_t r = 0; r < read.size(); ++r) {
            ASSERT_EQ(read[r], expected[r]) << "row " << r;
        }
    }
}

TEST_F(ReadAhead, AFailedStepEndsTheReadAfterEveryRowBeforeItWithItsMessage) {
    fill(2000);
    for (const std::size_t partBytes : kPartSizes) {
        SCOPED_TRACE(partBytes);
        int rc = 0;
        const Rows read = readAheadOf("SELECT stop_at(rowid, 1500), a FROM t ORDER BY rowid", partBytes, rc);
        EXPECT_EQ(rc, SQLITE_ERROR);
        EXPECT_STREQ(sqlite3_errmsg(m_db), "parada a propósito");
        ASSERT_EQ(read.size(), 1499U);
        for (std::size_t r = 0; r < read.size(); ++r) {
            ASSERT_EQ(read[r][0].integer, static_cast<std::int64_t>(r + 1));
        }
    }
    // The connection reads on as before.
    int rc = 0;
    EXPECT_EQ(readAheadOf("SELECT a FROM t", 64, rc).size(), 2000U);
    EXPECT_EQ(rc, SQLITE_DONE);
}

TEST_F(ReadAhead, AnExceptionOfTheCallersStopsTheSteppingBeforeItGoesOn) {
    fill(5000);
    sqlite3_stmt* stmt = prepare("SELECT stop_at(rowid, -1), a FROM t ORDER BY rowid");
    int handed = 0;
    EXPECT_THROW(readAhead(
                     stmt,
                     [&](const StoredValues&) {
                         if (++handed == 300) {
                             throw std::runtime_error("parada");
                         }
                     },
                     64),
                 std::runtime_error);
    // Nothing steps once the exception is out: the count stays, a few parts past the row that threw.
    const int calls = m_calls.load();
    EXPECT_GE(calls, 300);
    EXPECT_LT(calls, 400);
    EXPECT_EQ(sqlite3_finalize(stmt), SQLITE_OK);
    EXPECT_EQ(m_calls.load(), calls);
    int rc = 0;
    EXPECT_EQ(readAheadOf("SELECT a FROM t", 64, rc).size(), 5000U);
}

// Several statements read together, each with its rows and its end.
struct Together {
    std::vector<std::string> sql;
    std::vector<Rows> rows;
    std::vector<engines::TogetherRead> reads;
    std::vector<engines::NativeWrites::RowReceiver> receivers;
};

class ReadTogether : public ReadAhead {
  protected:
    // Reads `sql` together; a receiver throws once it was handed `throwAt` rows (0: never).
    Together readTogether(std::vector<std::string> sql, std::size_t partBytes, std::size_t throwAt = 0) {
        Together t;
        t.sql = std::move(sql);
        t.rows.resize(t.sql.size());
        t.reads.resize(t.sql.size());
        t.receivers.reserve(t.sql.size());
        for (std::size_t i = 0; i < t.sql.size(); ++i) {
            sqlite3_stmt* stmt = prepare(t.sql[i].c_str());
            Rows* rows = &t.rows[i];
            t.receivers.emplace_back([rows, stmt, throwAt](const StoredValues& row) {
                if (throwAt != 0 && rows->size() == throwAt) {
                    throw std::runtime_error("parada");
                }
                rows->emplace_back();
                for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                    rows->back().push_back(seenThrough(row, c));
                }
            });
            t.reads[i].stmt = stmt;
            t.reads[i].row = &t.receivers.back();
        }
        engines::readTogether(
            t.reads,
            [this](std::size_t) { return std::make_exception_ptr(std::runtime_error(sqlite3_errmsg(m_db))); },
            partBytes);
        for (const engines::TogetherRead& r : t.reads) {
            EXPECT_EQ(sqlite3_finalize(r.stmt), r.stepFailed ? SQLITE_ERROR : SQLITE_OK);  // its last step's
        }
        return t;
    }

    static std::string messageOf(const std::exception_ptr& failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& e) {
            return e.what();
        }
    }
};

const std::vector<std::string> kSeveral = {
    "SELECT alone(rowid), a, b, c FROM t ORDER BY rowid",
    "SELECT c, alone(a) FROM t WHERE rowid % 3 = 0",
    "SELECT rowid FROM t WHERE rowid < 0",
    "SELECT b, alone(rowid) FROM t ORDER BY rowid DESC",
    "SELECT a, b, c, alone(rowid) FROM t WHERE rowid < 50",
};

TEST_F(ReadTogether, EveryStatementsRowsReachItsOwnReceiverWhole) {
    fill(3000);
    for (const std::size_t partBytes : kPartSizes) {
        SCOPED_TRACE(partBytes);
        const Together t = readTogether(kSeveral, partBytes);
        for (std::size_t i = 0; i < kSeveral.size(); ++i) {
            SCOPED_TRACE(kSeveral[i]);
            EXPECT_FALSE(t.reads[i].failure);
            const Rows expected = readInPlace(kSeveral[i].c_str());
            ASSERT_EQ(t.rows[i].size(), expected.size());
            for (std::size_t r = 0; r < expected.size(); ++r) {
                ASSERT_EQ(t.rows[i][r], expected[r]) << "row " << r;
            }
        }
    }
    EXPECT_FALSE(m_overlapped.load());  // one thread at a time on the connection
}

TEST_F(ReadTogether, AFailedStepEndsItsStatementWithItsMessageAndTheOthersGoOn) {
    fill(2000);
    std::vector<std::string> sql = kSeveral;
    sql.insert(sql.begin() + 1, "SELECT stop_at(rowid, 1500), a FROM t ORDER BY rowid");
    for (const std::size_t partBytes : kPartSizes) {
        SCOPED_TRACE(partBytes);
        const Together t = readTogether(sql, partBytes);
        ASSERT_TRUE(t.reads[1].failure);
        EXPECT_TRUE(t.reads[1].stepFailed);
        EXPECT_EQ(messageOf(t.reads[1].failure), "parada a propósito");
        ASSERT_EQ(t.rows[1].size(), 1499U);  // every row before the failed step
        EXPECT_EQ(t.rows[1].back()[0].integer, 1499);
        for (std::size_t i = 0; i < sql.size(); ++i) {
            if (i != 1) {
                EXPECT_FALSE(t.reads[i].failure) << sql[i];
                EXPECT_EQ(t.rows[i].size(), readInPlace(sql[i].c_str()).size()) << sql[i];
            }
        }
    }
}

TEST_F(ReadTogether, AReceiversExceptionStopsItsOwnStatementOnly) {
    fill(2000);
    const Together t = readTogether(kSeveral, 64, 40);
    for (std::size_t i = 0; i < kSeveral.size(); ++i) {
        SCOPED_TRACE(kSeveral[i]);
        const std::size_t all = readInPlace(kSeveral[i].c_str()).size();
        if (all > 40) {
            ASSERT_TRUE(t.reads[i].failure);
            EXPECT_FALSE(t.reads[i].stepFailed);
            EXPECT_EQ(messageOf(t.reads[i].failure), "parada");
            EXPECT_EQ(t.rows[i].size(), 40U);
        } else {
            EXPECT_FALSE(t.reads[i].failure);
            EXPECT_EQ(t.rows[i].size(), all);
        }
    }
}

}  // namespace
}  // namespace vexilo::testing
