#pragma once
// One piece of work at a time on a thread of its own, while the caller goes on: the drawing's reader
// reads the next part of its file there while the walk reads the part before, and its writer writes
// the buffer it filled last while the walk fills the other (copying a megabyte in or out of the system's
// cache took the walk's thread about as long as making it); SQLite steps the next rows of an index's
// table there while the job builds the index from the rows before. The work hands its outcome back
// through state of the caller's that the caller reads only once it has waited.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace vexilo::core {

class SideThread {
  public:
    SideThread();
    // Waits for the work under way.
    ~SideThread();
    SideThread(const SideThread&) = delete;
    SideThread& operator=(const SideThread&) = delete;

    // Starts `work`, which must not throw. The work before it must have been waited for.
    void start(std::function<void()> work);
    // Waits until no work is under way.
    void wait();

  private:
    void loop();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::function<void()> m_work;
    bool m_pending = false;  // m_work is to run or running
    bool m_stop = false;
    std::thread m_thread;  // last: starts once everything above is made
};

}  // namespace vexilo::core
