#pragma once
// A thread of its own that runs one connection's row writes in the order they were given while the
// caller goes on: the job's pass decides every write from its in-memory index and only waits for room
// in a bounded queue, never for the engine. The caller drains the queue before anything else uses the
// connection (a read, a commit, a new statement) and learns there of the first write that failed: it is
// thrown at the next hand-over of rows (every kWakeAt-th push) or drain, as a DeferredWriteError, and
// every write after it is dropped.
// Internal to the engine layer.

#include <QString>
#include <QVarLengthArray>
#include <QVariant>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <variant>
#include <vector>

#include "engines/dao.h"
#include "engines/errors.h"
#include "engines/packedtexts.h"
#include "engines/plainrow.h"
#include "engines/storedform.h"

namespace vexilo::engines {

// A statement the thread runs: bound from the values, converted first by `form` unless it is null
// (they are then in their stored form), with the identity an INSERT is to give its row (0 for other
// statements). It throws EngineError as a write run at once would.
class QueuedStatement {
  public:
    virtual ~QueuedStatement() = default;
    virtual void runQueued(std::span<QVariant> values, const StoredForm* form, RowId expected) = 0;
    // The same with plain values, checked by `form` unless it is null; by default as their QVariants
    // (an engine whose statements bind only QVariants is never given plain rows to hold).
    virtual void runQueuedPlain(std::span<PlainValue> values, const StoredForm* form, RowId expected);
    // Whether its plain rows' texts may come packed (packedtexts.h): the statement binds packed texts
    // and is done with a row's values once the batch that brought the row has ended.
    virtual bool takesPackedTexts() const { return false; }
};

// A queued row's values, kept in the row itself: the hot rows (a new record's, a claim, the run log's
// plain ones) have a few values, and a list of their own would be made on the caller's thread and freed on
// the writer's, each free a trip into the other thread's memory arena and each allocation a miss of its own
// cache. The caller's list is emptied and let go of on its own thread.
using QueuedValues = QVarLengthArray<QVariant, 8>;

// Lets go of the texts and byte arrays the values hold, on the calling thread (the writer's own, for
// values a queued row brought); each value is left holding an empty one.
void letGo(std::span<QVariant> values);
void letGo(std::span<PlainValue> values);

// Called on the thread at the end of every batch, before the thread counts as idle: with `keep`, puts
// in the database what the statements gathered during the batch (it throws as a write would);
// without it (the batch failed or was cancelled), drops it.
using BatchEnd = std::function<void(bool keep)>;

class WriterThread {
  public:
    // Rows held before the caller waits: a few thousand keep the thread busy while the pass works ahead,
    // and cost a few megabytes at most.
    static constexpr std::size_t kBound = 4096;
    // Rows gathered before the thread is woken: waking it for every row would cost more in switches
    // between the two threads than the row itself. The caller gathers them on its own side and hands
    // them over together, so that the thread's lock is taken once for them all.
    static constexpr std::size_t kWakeAt = 512;
    // The most rows one list ever holds: a full queue and one more hand-over.
    static constexpr std::size_t kMostHeld = kBound + kWakeAt;

    explicit WriterThread(BatchEnd end = {});
    // Drops what is left and ends the thread.
    ~WriterThread();
    WriterThread(const WriterThread&) = delete;
    WriterThread& operator=(const WriterThread&) = delete;

    // `form`, when given, outlives the row (it is the statement's own). A failure of an earlier row is
    // thrown when rows are handed over: at every kWakeAt-th push, or at the drain.
    void push(QueuedStatement& statement, std::vector<QVariant> values, const StoredForm* form,
              RowId expected);
    void push(QueuedStatement& statement, PlainRow&& values, const StoredForm* form, RowId expected);
    // Returns once every write given has run; throws the first failure (once).
    void drain();
    // Drops every write not yet run, waits for the one running, and forgets a failure.
    void discard();

  private:
    struct Item {
        QueuedStatement* statement = nullptr;
        std::variant<QueuedValues, PlainRow> values;
        const StoredForm* form = nullptr;
        RowId expected = 0;
    };
    // A new item at the end of the rows not yet handed over, for its values to be made in place.
    Item& added(QueuedStatement& statement, const StoredForm* form, RowId expected);
    void handOverWhenDue();
    static void run(Item& item);
    void loop();
    void handOver();
    void throwFailure(std::unique_lock<std::mutex>& lock);
    std::exception_ptr runBatch(std::vector<Item>& batch);

    BatchEnd m_end;
    std::vector<Item> m_pending;  // the caller's: rows not yet handed over
    TextBlocks m_pendingTexts;    // the caller's: the texts packed for them

    std::mutex m_mutex;
    std::condition_variable m_work;  // to the thread: items or the end
    std::condition_variable m_done;  // to the caller: room in the queue, or the thread idle
    std::vector<Item> m_incoming;
    TextBlocks m_incomingTexts;
    SpareBlocks m_spareTexts;  // given back by the thread, for the caller's next texts
    bool m_busy = false;       // the thread runs a batch
    bool m_draining = false;   // the caller waits for every row, however few
    bool m_stop = false;
    std::atomic<bool> m_cancel{false};
    std::exception_ptr m_failure;
    std::thread m_thread;  // started last, once everything above is made
};

// A connection's writer thread as its writer uses it: started by the first queued row, drained before
// anything else uses the connection. A queued row that failed leaves its transaction without it, and the
// rows queued after it were dropped: nothing more is queued or drained (so nothing is committed) until
// the transaction is rolled back and the queue discarded.
class WriterQueue {
  public:
    explicit WriterQueue(QString path, BatchEnd end = {}) : m_path(std::move(path)), m_end(std::move(end)) {}

    // Rows were queued since the last drain: the connection is the thread's.
    bool holdsRows() const { return m_queued; }
    void push(QueuedStatement& statement, std::vector<QVariant> values, const StoredForm* form,
              RowId expected);
    void push(QueuedStatement& statement, PlainRow&& values, const StoredForm* form, RowId expected);
    // Returns once every queued row was written; throws the first failure.
    void drain();
    // Drops every row not yet written and forgets a failure.
    void discard();

  private:
    template <typename Values>
    void pushRow(QueuedStatement& statement, Values&& values, const StoredForm* form, RowId expected);
    template <typename Work>
    void noteFailure(Work&& work);
    void refuseWhenBroken() const;

    QString m_path;
    BatchEnd m_end;
    bool m_queued = false;
    bool m_broken = false;
    std::unique_ptr<WriterThread> m_thread;  // last: its thread ends before anything it uses goes
};

}  // namespace vexilo::engines
