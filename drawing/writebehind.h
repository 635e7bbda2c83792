#pragma once
// Writes a file's buffers on a thread of its own, one at a time and in order, while the caller fills
// the next: copying a megabyte into the system's cache took the walk's thread about as long as making
// it. A failure is met by the caller at its next hand-over or wait.

#include <QString>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace vexilo::drawing {

class WriteBehind {
  public:
    // Runs on the thread: writes `n` bytes that go at offset `at` of the file, and tells why it could
    // not (an empty text when every byte was written).
    using Write = std::function<QString(const std::uint8_t* data, std::size_t n, std::int64_t at)>;

    explicit WriteBehind(Write write);
    // Waits for the write under way (its failure is dropped: the caller reports failures by waiting).
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Starts writing `data`, which the caller leaves untouched until the next wait. The write before it
    // must have been waited for.
    void start(const std::uint8_t* data, std::size_t n, std::int64_t at);
    // Waits until nothing is being written; why the last write failed (empty when it did not, or when
    // nothing was started since the last wait).
    QString wait();

  private:
    void loop();

    Write m_write;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    const std::uint8_t* m_data = nullptr;  // the buffer to write; null when idle
    std::size_t m_size = 0;
    std::int64_t m_at = 0;
    QString m_failure;
    bool m_stop = false;
    std::thread m_thread;  // last: starts once everything above is made
};

}  // namespace vexilo::drawing
