#include "engines/sqlitereadahead.h"

#include <QByteArray>
#include <QVarLengthArray>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "core/sidethread.h"

namespace vexilo::engines {

namespace {

// A packed value: its tag (1 byte); then a whole number's or a real's 8 bytes, or a text's or a
// blob's length (4 bytes: bytes, UTF-16 units for a wide text) and its bytes. A wide text's units
// begin at an even address (one byte of padding when needed; a part's bytes begin at an address of
// the allocator's alignment), so that they are lent in place.
enum Tag : unsigned char { kNull, kInteger, kReal, kAscii, kWide, kBlob };
constexpr std::size_t kNumberBytes = 8;
constexpr std::size_t kLengthBytes = 4;
static_assert(sizeof(sqlite3_int64) == kNumberBytes && sizeof(double) == kNumberBytes);

// A part's bytes are made once and reused for every part after: `used` of them hold rows.
struct Part {
    std::vector<unsigned char> bytes;
    std::size_t used = 0;
    std::size_t rows = 0;
};

Part emptyPart(std::size_t partBytes) {
    Part part;
    part.bytes.resize(partBytes + partBytes / 4);
    return part;
}

// Room for `size` more bytes at the end of the part's rows.
unsigned char* room(Part& part, std::size_t size) {
    if (part.used + size > part.bytes.size()) {
        part.bytes.resize(std::max(part.used + size, part.bytes.size() * 2));
    }
    unsigned char* at = part.bytes.data() + part.used;
    part.used += size;
    return at;
}

void appendTag(Part& part, Tag tag) {
    *room(part, 1) = tag;
}

void appendNumber(Part& part, Tag tag, const void* number) {
    unsigned char* at = room(part, 1 + kNumberBytes);
    *at = tag;
    std::memcpy(at + 1, number, kNumberBytes);
}

void appendSized(Part& part, Tag tag, const void* data, std::size_t bytes) {
    const bool pad = tag == kWide && (part.used + 1 + kLengthBytes) % 2 != 0;
    unsigned char* at = room(part, 1 + kLengthBytes + (pad ? 1 : 0) + bytes);
    *at = tag;
    const auto length = static_cast<std::uint32_t>(tag == kWide ? bytes / 2 : bytes);
    std::memcpy(at + 1, &length, kLengthBytes);
    if (bytes > 0) {
        std::memcpy(at + 1 + kLengthBytes + (pad ? 1 : 0), data, bytes);
    }
}

// A text as a row read in place lends it: plain ASCII as stored; any other in UTF-16 from SQLite itself,
// so that even malformed stored bytes read as they always did.
void packText(sqlite3_value* value, Part& part) {
    const auto* bytes = sqlite3_value_text(value);
    const int length = sqlite3_value_bytes(value);
    if (bytes != nullptr && isPlainAscii(bytes, static_cast<std::size_t>(length))) {
        appendSized(part, kAscii, bytes, static_cast<std::size_t>(length));
        return;
    }
    const void* wide = sqlite3_value_text16(value);
    appendSized(part, kWide, wide, static_cast<std::size_t>(sqlite3_value_bytes16(value)) & ~std::size_t{1});
}

// The column's value is read through its sqlite3_value, without the statement's checks around every
// sqlite3_column_ call (a third of the stepping thread's time): no other thread uses the connection
// meanwhile.
void packValue(sqlite3_stmt* stmt, int column, Part& part) {
    sqlite3_value* value = sqlite3_column_value(stmt, column);
    switch (sqlite3_value_type(value)) {
        case SQLITE_NULL:
            appendTag(part, kNull);
            return;
        case SQLITE_INTEGER: {
            const sqlite3_int64 n = sqlite3_value_int64(value);
            appendNumber(part, kInteger, &n);
            return;
        }
        case SQLITE_FLOAT: {
            const double d = sqlite3_value_double(value);
            appendNumber(part, kReal, &d);
            return;
        }
        case SQLITE_BLOB: {
            const void* blob = sqlite3_value_blob(value);
            appendSized(part, kBlob, blob, static_cast<std::size_t>(sqlite3_value_bytes(value)));
            return;
        }
        default:
            packText(value, part);
    }
}

// Steps until the part holds `partBytes` or the statement ends; SQLITE_ROW while rows may follow.
int fill(sqlite3_stmt* stmt, int columns, std::size_t partBytes, Part& part) {
    part.used = 0;
    part.rows = 0;
    while (part.used < partBytes) {
        const int rc = sqlite3_step(stmt);
        if (rc != SQLITE_ROW) {
            return rc;
        }
        for (int c = 0; c < columns; ++c) {
            packValue(stmt, c, part);
        }
        ++part.rows;
    }
    return SQLITE_ROW;
}

// A packed row as the caller reads it; valid while its part is.
class PackedRow final : public StoredValues {
  public:
    explicit PackedRow(int columns) : m_values(columns) {}

    // Takes the row that begins at `at`; returns where the next one begins.
    const unsigned char* take(const unsigned char* at) {
        for (const unsigned char*& value : m_values) {
            value = at;
            at = end(at);
        }
        return at;
    }

    bool isNull(int column) const override { return *m_values[column] == kNull; }
    bool integer(int column, std::int64_t& n) const override {
        if (*m_values[column] != kInteger) {
            return false;
        }
        std::memcpy(&n, m_values[column] + 1, kNumberBytes);
        return true;
    }
    std::optional<Database::StoredText> text(int column) const override {
        const unsigned char* value = m_values[column];
        if (*value == kAscii) {
            return QLatin1String(reinterpret_cast<const char*>(data(value)), length(value));
        }
        if (*value == kWide) {
            return QStringView(reinterpret_cast<const QChar*>(data(value)), length(value));
        }
        return std::nullopt;
    }
    // As QtSql's SQLite driver gives it.
    QVariant value(int column) const override {
        const unsigned char* value = m_values[column];
        switch (*value) {
            case kNull:
                return QVariant();
            case kInteger: {
                std::int64_t n = 0;
                std::memcpy(&n, value + 1, kNumberBytes);
                return QVariant(static_cast<qlonglong>(n));
            }
            case kReal: {
                double d = 0;
                std::memcpy(&d, value + 1, kNumberBytes);
                return QVariant(d);
            }
            case kBlob:
                // An empty blob is still no Null.
                return QVariant(length(value) > 0
                                    ? QByteArray(reinterpret_cast<const char*>(data(value)), length(value))
                                    : QByteArray(""));
            default:
                return std::visit([](auto t) { return QVariant(t.toString()); }, *text(column));
        }
    }

  private:
    static qsizetype length(const unsigned char* value) {
        std::uint32_t n = 0;
        std::memcpy(&n, value + 1, kLengthBytes);
        return static_cast<qsizetype>(n);
    }
    static const unsigned char* data(const unsigned char* value) {
        const unsigned char* at = value + 1 + kLengthBytes;
        if (*value == kWide && reinterpret_cast<std::uintptr_t>(at) % 2 != 0) {
            ++at;
        }
        return at;
    }
    static const unsigned char* end(const unsigned char* value) {
        switch (*value) {
            case kNull:
                return value + 1;
            case kInteger:
            case kReal:
                return value + 1 + kNumberBytes;
            default:
                return data(value) + length(value) * (*value == kWide ? 2 : 1);
        }
    }

    QVarLengthArray<const unsigned char*, 16> m_values;
};

void handOn(const Part& part, PackedRow& row, const NativeWrites::RowReceiver& receive) {
    const unsigned char* at = part.bytes.data();
    for (std::size_t i = 0; i < part.rows; ++i) {
        at = row.take(at);
        receive(row);
    }
}

// Reads one statement of several read together, a part at a time; `alone` is held while it steps.
void readOne(TogetherRead& read, std::mutex& alone, const std::function<std::exception_ptr()>& failed,
             std::size_t partBytes, Part& part) {
    try {
        const int columns = sqlite3_column_count(read.stmt);
        PackedRow packed(columns);
        for (;;) {
            int rc = SQLITE_ROW;
            {
                const std::lock_guard<std::mutex> lock(alone);
                rc = fill(read.stmt, columns, partBytes, part);
                if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
                    read.failure = failed();
                    read.stepFailed = true;
                }
            }
            handOn(part, packed, *read.row);
            if (rc != SQLITE_ROW) {
                return;
            }
        }
    } catch (...) {
        read.failure = std::current_exception();
    }
}

}  // namespace

void readTogether(std::vector<TogetherRead>& reads,
                  const std::function<std::exception_ptr(std::size_t)>& failed, std::size_t partBytes) {
    std::mutex alone;
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        Part part = emptyPart(partBytes);
        for (std::size_t i = next++; i < reads.size(); i = next++) {
            if (reads[i].stmt != nullptr) {
                readOne(
                    reads[i], alone, [&failed, i] { return failed(i); }, partBytes, part);
            }
        }
    };
    core::SideThread other;
    other.start(work);
    work();
    other.wait();
}

int readAhead(sqlite3_stmt* stmt, const NativeWrites::RowReceiver& row, std::size_t partBytes) {
    const int columns = sqlite3_column_count(stmt);
    PackedRow packed(columns);
    Part part = emptyPart(partBytes);
    int rc = fill(stmt, columns, partBytes, part);
    if (rc != SQLITE_ROW) {
        handOn(part, packed, row);
        return rc;
    }
    Part next = emptyPart(partBytes);
    int nextRc = SQLITE_ROW;
    core::SideThread stepping;  // after the parts: an exception waits for the part being filled
    for (;;) {
        stepping.start([&] { nextRc = fill(stmt, columns, partBytes, next); });
        handOn(part, packed, row);
        stepping.wait();
        std::swap(part, next);
        if (nextRc != SQLITE_ROW) {
            handOn(part, packed, row);
            return nextRc;
        }
    }
}

}  // namespace vexilo::engines
