#pragma once
// Work off the window's thread. The window hands a task (a job, the check of a server) to a thread of
// its own and goes on handling its events meanwhile (paint, the desktop's liveness checks, a close
// request), so it never stops answering the desktop however long the task takes. What the task shows
// is handed back and done on the window's thread, in the order the task gave it.
//
// The window's thread looks for handed-over calls every few milliseconds instead of being woken: all
// that passes between the two threads then goes through one standard mutex, which a thread checker
// sees, and the task never touches an object of the window's thread.

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace vexilo::gui {

class TaskThread {
  public:
    TaskThread() = default;
    ~TaskThread();
    TaskThread(const TaskThread&) = delete;
    TaskThread& operator=(const TaskThread&) = delete;

    // Runs `task` on a thread of its own and returns once it has ended and every call it handed over
    // has been made; an exception that left the task is thrown again here. Meanwhile this thread runs
    // an event loop. Call it from the window's thread, one task at a time.
    void run(const std::function<void()>& task);

    // True on the thread of the task that is running.
    bool onTaskThread() const;

    // From the task's thread: `call` is made on the window's thread, after every call handed over
    // before it; the task goes on at once.
    void post(std::function<void()> call);
    // From the task's thread: as post(), and the task waits until the call has been made (a message
    // the user must read before the task goes on).
    void invoke(std::function<void()> call);

  private:
    // Window's thread: makes the calls handed over so far, one at a time. A call that opens an event
    // loop of its own (a message box) lets the next look happen inside it; that look makes nothing,
    // so the calls stay in order.
    void makeHandedCalls();
    bool ended();

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_made;
    std::deque<std::function<void()>> m_calls;
    unsigned long long m_handed = 0;  // calls handed over so far
    unsigned long long m_done = 0;    // calls made so far
    bool m_ended = false;
    std::exception_ptr m_failure;
    bool m_making = false;  // window's thread only
};

}  // namespace vexilo::gui
