#include "gui/taskthread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cassert>
#include <chrono>
#include <utility>

namespace vexilo::gui {

namespace {

// How often the window's thread looks for calls handed over: well under what the eye notices, and a
// desktop's liveness check waits seconds.
constexpr std::chrono::milliseconds kLookEvery{10};

// The TaskThread whose task runs on this thread, if any.
thread_local const TaskThread* t_runningHere = nullptr;

}  // namespace

TaskThread::~TaskThread() {
    assert(!m_thread.joinable() && "a window goes away only between two tasks");
}

bool TaskThread::onTaskThread() const {
    return t_runningHere == this;
}

void TaskThread::run(const std::function<void()>& task) {
    assert(!m_thread.joinable() && !onTaskThread());
    {
        std::lock_guard lock(m_mutex);
        m_ended = false;
        m_failure = nullptr;
    }
    QEventLoop loop;
    QTimer look;
    look.setInterval(kLookEvery);
    QObject::connect(&look, &QTimer::timeout, &loop, [this, &loop] {
        makeHandedCalls();
        if (ended()) {
            loop.quit();
        }
    });
    look.start();

    m_thread = std::thread([this, &task] {
        t_runningHere = this;
        std::exception_ptr failure;
        try {
            task();
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard lock(m_mutex);
        m_ended = true;
        m_failure = failure;
    });

    while (!ended()) {
        loop.exec();
        if (!ended()) {
            // The application is quitting and leaves every event loop at once: keep answering until the
            // task has ended, without a loop of its own.
            QCoreApplication::processEvents(QEventLoop::AllEvents, int(kLookEvery.count()));
            makeHandedCalls();
            std::this_thread::sleep_for(kLookEvery);
        }
    }
    look.stop();
    m_thread.join();
    makeHandedCalls();  // none is left once the task has ended, but a look costs nothing

    std::exception_ptr failure;
    {
        std::lock_guard lock(m_mutex);
        failure = std::exchange(m_failure, nullptr);
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

bool TaskThread::ended() {
    std::lock_guard lock(m_mutex);
    return m_ended && m_calls.empty();
}

void TaskThread::post(std::function<void()> call) {
    std::lock_guard lock(m_mutex);
    m_calls.push_back(std::move(call));
    ++m_handed;
}

void TaskThread::invoke(std::function<void()> call) {
    std::unique_lock lock(m_mutex);
    m_calls.push_back(std::move(call));
    const unsigned long long mine = ++m_handed;
    m_made.wait(lock, [&] { return m_done >= mine; });
}

void TaskThread::makeHandedCalls() {
    if (m_making) {
        return;
    }
    m_making = true;
    struct Done {
        bool& making;
        ~Done() { making = false; }
    } done{m_making};
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard lock(m_mutex);
            if (m_calls.empty()) {
                break;
            }
            call = std::move(m_calls.front());
            m_calls.pop_front();
        }
        call();
        {
            std::lock_guard lock(m_mutex);
            ++m_done;
        }
        m_made.notify_all();
    }
}

}  // namespace vexilo::gui
