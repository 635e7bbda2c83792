#include "engines/writerthread.h"

#include <QScopeGuard>
#include <algorithm>
#include <iterator>

namespace vexilo::engines {

namespace {

// What a failed write leaves for the caller to meet: an engine's refusal as a held write's failure.
template <typename Work>
std::exception_ptr failureOf(Work&& work) {
    try {
        work();
    } catch (const DeferredWriteError&) {
        return std::current_exception();
    } catch (const EngineError& e) {
        return std::make_exception_ptr(DeferredWriteError(e));
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

}  // namespace

// Qt, built without the race checker, counts the references to a text's buffer in code the checker
// does not see. Were a row's texts dropped there, the thread's reading of a text it shares with the
// caller would look unordered with the caller's freeing of it later; each text and byte array a row
// holds is let go of here instead, where the count and its ordering are seen. Nothing else changes.
void letGo(std::span<QVariant> values) {
    for (QVariant& v : values) {
        if (v.typeId() == QMetaType::QString) {
            const QString gone = std::move(*static_cast<QString*>(v.data()));
        } else if (v.typeId() == QMetaType::QByteArray) {
            const QByteArray gone = std::move(*static_cast<QByteArray*>(v.data()));
        }
    }
}

void letGo(std::span<PlainValue> values) {
    for (PlainValue& v : values) {
        v.letGoOfText();
    }
}

void QueuedStatement::runQueuedPlain(std::span<PlainValue> values, const StoredForm* form, RowId expected) {
    std::vector<QVariant> variants = variantsOf(values);
    const auto gone = qScopeGuard([&] { letGo(variants); });
    runQueued(variants, form, expected);
}

WriterThread::WriterThread(BatchEnd end) : m_end(std::move(end)) {
    // The three lists of rows change places as rows are handed over: each gets at once the room the
    // fullest ever needs, so that none grows later (a growth moved every row it held while the pass
    // waited).
    m_pending.reserve(kMostHeld);
    m_incoming.reserve(kMostHeld);
    m_thread = std::thread([this] { loop(); });
}

WriterThread::~WriterThread() {
    m_pending.clear();
    m_pendingTexts.clear();
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
        m_incoming.clear();
        m_incomingTexts.clear();
    }
    m_cancel.store(true);
    m_work.notify_all();
    m_thread.join();
}

void WriterThread::push(QueuedStatement& statement, std::vector<QVariant> values, const StoredForm* form,
                        RowId expected) {
    added(statement, form, expected)
        .values.emplace<QueuedValues>(std::make_move_iterator(values.begin()),
                                      std::make_move_iterator(values.end()));
    handOverWhenDue();
}

void WriterThread::push(QueuedStatement& statement, PlainRow&& values, const StoredForm* form,
                        RowId expected) {
    PlainRow& row = added(statement, form, expected).values.emplace<PlainRow>(std::move(values));
    if (statement.takesPackedTexts()) {
        packTexts(row, m_pendingTexts);
    } else {
        for (PlainValue& v : row) {
            v.ownText();
        }
    }
    handOverWhenDue();
}

WriterThread::Item& WriterThread::added(QueuedStatement& statement, const StoredForm* form, RowId expected) {
    Item& item = m_pending.emplace_back();
    item.statement = &statement;
    item.form = form;
    item.expected = expected;
    return item;
}

void WriterThread::handOverWhenDue() {
    if (m_pending.size() == kWakeAt) {
        handOver();
    }
}

void WriterThread::handOver() {
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] { return m_incoming.size() < kBound || m_failure; });
    if (m_failure) {
        m_pending.clear();
        m_pendingTexts.clear();
        throwFailure(lock);
    }
    if (m_incoming.empty()) {
        m_incoming.swap(m_pending);
    } else {
        std::move(m_pending.begin(), m_pending.end(), std::back_inserter(m_incoming));
        m_pending.clear();
    }
    m_incomingTexts.take(m_pendingTexts);
    m_pendingTexts.reuse(m_spareTexts);
    lock.unlock();
    m_work.notify_one();
}

void WriterThread::drain() {
    if (!m_pending.empty()) {
        handOver();
    }
    std::unique_lock lock(m_mutex);
    m_draining = true;
    m_work.notify_one();
    const auto over = qScopeGuard([this] { m_draining = false; });
    m_done.wait(lock, [this] { return (m_incoming.empty() && !m_busy) || m_failure; });
    throwFailure(lock);  // which waits for the thread to let go of the failed batch
}

void WriterThread::discard() {
    m_pending.clear();
    m_pendingTexts.clear();
    std::unique_lock lock(m_mutex);
    m_incoming.clear();
    m_incomingTexts.clear();
    m_cancel.store(true);
    m_done.wait(lock, [this] { return !m_busy; });
    m_cancel.store(false);
    m_failure = nullptr;
}

void WriterThread::throwFailure(std::unique_lock<std::mutex>& lock) {
    if (!m_failure) {
        return;
    }
    // What was held after the failed write goes too: the job ends on this failure.
    m_done.wait(lock, [this] { return !m_busy; });
    m_incoming.clear();
    m_incomingTexts.clear();
    const std::exception_ptr failure = std::exchange(m_failure, nullptr);
    std::rethrow_exception(failure);
}

void WriterThread::loop() {
    std::vector<Item> batch;
    batch.reserve(kMostHeld);
    TextBlocks texts;  // the batch's packed texts, given back once the batch has ended
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_work.wait(lock, [this] {
                return m_stop || m_incoming.size() >= kWakeAt || (m_draining && !m_incoming.empty());
            });
            if (m_stop) {
                return;
            }
            batch.swap(m_incoming);
            texts.take(m_incomingTexts);
            m_busy = true;
        }
        m_done.notify_all();  // room again
        std::exception_ptr failure = runBatch(batch);
        {
            const std::lock_guard lock(m_mutex);
            texts.giveBack(m_spareTexts);
            m_busy = false;
            if (failure) {
                // Moved, not copied: the thread keeps no hold on the failure, which is then freed by the
                // caller that read it, never here behind a count the race checker does not see.
                m_failure = std::move(failure);
                m_incoming.clear();
                m_incomingTexts.clear();
            }
        }
        m_done.notify_all();
    }
}

void WriterThread::run(Item& item) {
    if (auto* plain = std::get_if<PlainRow>(&item.values)) {
        item.statement->runQueuedPlain(std::span(plain->data(), static_cast<std::size_t>(plain->size())),
                                       item.form, item.expected);
        return;
    }
    auto& values = std::get<QueuedValues>(item.values);
    item.statement->runQueued(std::span(values.data(), static_cast<std::size_t>(values.size())), item.form,
                              item.expected);
}

// Runs the batch's writes in order up to the first failure, then ends the batch.
std::exception_ptr WriterThread::runBatch(std::vector<Item>& batch) {
    std::exception_ptr failure;
    for (Item& item : batch) {
        if (m_cancel.load(std::memory_order_relaxed)) {
            break;
        }
        failure = failureOf([&] { run(item); });
        std::visit(
            [](auto& values) { letGo(std::span(values.data(), static_cast<std::size_t>(values.size()))); },
            item.values);
        if (failure) {
            break;
        }
    }
    batch.clear();
    if (m_end) {
        const bool keep = !failure && !m_cancel.load(std::memory_order_relaxed);
        if (std::exception_ptr last = failureOf([&] { m_end(keep); }); !failure) {
            failure = std::move(last);
        }
    }
    return failure;
}

template <typename Work>
void WriterQueue::noteFailure(Work&& work) {
    try {
        work();
    } catch (const DeferredWriteError&) {
        m_broken = true;
        throw;
    }
}

void WriterQueue::refuseWhenBroken() const {
    if (m_broken) {
        throw DeferredWriteError(EngineError(
            errnum::kEngineFailure,
            QStringLiteral(
                "Una escritura anterior en la base de datos '%1' ha fallado: no se puede seguir ni "
                "confirmar nada de esta transacción.")
                .arg(m_path)));
    }
}

void WriterQueue::push(QueuedStatement& statement, std::vector<QVariant> values, const StoredForm* form,
                       RowId expected) {
    pushRow(statement, std::move(values), form, expected);
}

void WriterQueue::push(QueuedStatement& statement, PlainRow&& values, const StoredForm* form,
                       RowId expected) {
    pushRow(statement, std::move(values), form, expected);
}

template <typename Values>
void WriterQueue::pushRow(QueuedStatement& statement, Values&& values, const StoredForm* form,
                          RowId expected) {
    if (!m_thread) {
        m_thread = std::make_unique<WriterThread>(m_end);
    }
    refuseWhenBroken();
    m_queued = true;
    noteFailure([&] { m_thread->push(statement, std::move(values), form, expected); });
}

void WriterQueue::drain() {
    refuseWhenBroken();
    if (m_queued) {
        m_queued = false;
        noteFailure([this] { m_thread->drain(); });
    }
}

void WriterQueue::discard() {
    if (m_thread) {
        m_thread->discard();
    }
    m_queued = false;
    m_broken = false;
}

}  // namespace vexilo::engines
