#pragma once
// The window's request that the job end, made while the job runs on a thread of its own. While the
// user is being asked, the job is held at its next check, so that nothing more is written while the
// question is open and a Yes can still undo all of it.

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace vexilo::gui {

class Interruption {
  public:
    // Window's thread, before a job: nothing asked.
    void reset();
    // Window's thread: the user is being asked; the job waits at its next check.
    void beginAsking();
    // Window's thread: the user's answer; true asks the job to end. The job goes on either way.
    void answer(bool end);

    // Job's thread: false at once while nothing is asked; waits while the user is asked; then true
    // when the user asked the job to end.
    bool consult();
    // Any thread, never waiting: the end has been asked.
    bool requested();

  private:
    std::atomic<bool> m_pending{false};  // asking, or the end asked: consult() must look
    std::mutex m_mutex;
    std::condition_variable m_answered;
    bool m_asking = false;
    bool m_end = false;
};

}  // namespace vexilo::gui
