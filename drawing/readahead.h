#pragma once
// Reads a file's next part on a thread of its own while the caller walks the part before: copying a
// megabyte out of the system's cache took the walk's thread a tenth of its time. The thread starts
// reading as soon as the file is opened, so the first part is ready when the walk begins. A failure is
// met by the caller when it waits for the part.

#include <QString>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace vexilo::drawing {

class ReadAhead {
  public:
    // Runs on the thread: reads up to `n` bytes into `data` (fewer only at the end of the file) and
    // returns how many, or a negative count with the reason in `failure`.
    using Read = std::function<std::int64_t(std::uint8_t* data, std::size_t n, QString& failure)>;

    explicit ReadAhead(Read read);
    // Waits for the read under way.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Starts reading into `data`, which the caller leaves alone until it waits. The read before it must
    // have been waited for.
    void start(std::uint8_t* data, std::size_t n);
    bool busy() const { return m_started; }
    // Waits for the read started last; the bytes it read, or a negative count with the reason in
    // `failure`.
    std::int64_t wait(QString& failure);

  private:
    void loop();

    Read m_read;
    bool m_started = false;  // the caller's own: a read was started and not yet waited for
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::uint8_t* m_data = nullptr;  // the part to fill; null when idle
    std::size_t m_size = 0;
    std::int64_t m_got = 0;
    QString m_failure;
    bool m_stop = false;
    std::thread m_thread;  // last: starts once everything above is made
};

}  // namespace vexilo::drawing
