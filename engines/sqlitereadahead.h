#pragma once
// The rows of a long read stepped by SQLite on a thread of its own while the caller takes the rows
// read before: finding and decoding the next rows (SQLite's half of a loader's time) and building the
// caller's in-memory table from the rows before (the other half) go on the two cores at once. The rows
// cross over packed as they were read, each value in the form a row read in place would show it (a
// plain ASCII text as stored, any other text in UTF-16), a few thousand rows to a part, the stepping
// one part ahead of the caller.
// Internal to the engine layer.

#include <sqlite3.h>

#include <cstddef>
#include <exception>
#include <functional>
#include <vector>

#include "engines/nativewrites.h"

namespace vexilo::engines {

inline constexpr std::size_t kReadAheadPartBytes = 128 * 1024;

// Steps `stmt` (prepared, not yet stepped) to its end and hands each row to `row` on the calling
// thread, in order. A read whose rows fit in one part is read on the calling thread alone. Meanwhile
// nothing else may use the statement's connection, `row` included. Returns SQLITE_DONE, or the result
// code of the step that failed once every row before it was handed over; the failure's message is the
// connection's, as after any failed step. An exception from `row` stops the stepping, which ends before
// the exception goes on.
// Rows are handed over when a part holds `partBytes`: by default a few thousand rows of a loader's table.
int readAhead(sqlite3_stmt* stmt, const NativeWrites::RowReceiver& row,
              std::size_t partBytes = kReadAheadPartBytes);

// One of several statements read together.
struct TogetherRead {
    sqlite3_stmt* stmt = nullptr;  // prepared, not yet stepped; null: nothing to read
    const NativeWrites::RowReceiver* row = nullptr;
    std::exception_ptr failure;  // what stopped the read: its receiver's exception or its failed step
    bool stepFailed = false;     // the failure is the step's
};

// Steps every statement to its end on the calling thread and on one thread more: each thread takes the
// next statement not yet taken, fills a part of its rows while it alone uses the connection, and hands
// them to the statement's receiver, on that thread, while the other thread steps. A failed step's failure
// is made by `failed` (given the read's index) at once, still alone on the connection (its message is
// the connection's), and kept once every row before it was handed over; an exception from a receiver
// stops its statement. Either way the other statements go on. Meanwhile nothing else may use the
// connection.
void readTogether(std::vector<TogetherRead>& reads,
                  const std::function<std::exception_ptr(std::size_t)>& failed,
                  std::size_t partBytes = kReadAheadPartBytes);

}  // namespace vexilo::engines
