// Work off the window's thread: what the task hands back is done on the window's thread, in order,
// while the window's thread goes on handling its events; and the window's request to end a job holds
// the job while the user is asked.
#include "gui/taskthread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "gui/interruption.h"

namespace vexilo::gui {
namespace {

TEST(TaskThread, HandedCallsAreMadeOnTheWindowsThreadInOrderBeforeRunReturns) {
    TaskThread tasks;
    const std::thread::id window = std::this_thread::get_id();
    std::vector<int> made;  // touched on the window's thread only
    bool allOnWindow = true;
    bool taskSawItsThread = false;
    int seenAfterInvoke = -1;
    tasks.run([&] {
        taskSawItsThread = tasks.onTaskThread() && std::this_thread::get_id() != window;
        for (int i = 0; i < 50; ++i) {
            tasks.post([&, i] {
                allOnWindow = allOnWindow && std::this_thread::get_id() == window;
                made.push_back(i);
            });
        }
        // invoke() returns once its call, and every call before it, has been made.
        int count = 0;
        tasks.invoke([&] { count = int(made.size()); });
        seenAfterInvoke = count;
        tasks.post([&] { made.push_back(50); });
    });
    EXPECT_FALSE(tasks.onTaskThread());
    EXPECT_TRUE(taskSawItsThread);
    EXPECT_TRUE(allOnWindow);
    EXPECT_EQ(seenAfterInvoke, 50);
    ASSERT_EQ(made.size(), 51u);
    for (int i = 0; i <= 50; ++i) {
        EXPECT_EQ(made[std::size_t(i)], i);
    }
}

TEST(TaskThread, TheWindowsThreadHandlesItsEventsWhileTheTaskRuns) {
    TaskThread tasks;
    std::atomic<bool> timerFired{false};
    QTimer::singleShot(20, [&] { timerFired = true; });
    bool sawIt = false;
    tasks.run([&] {
        // The task waits for something only the window's event loop can do.
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!timerFired && std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        sawIt = timerFired;
    });
    EXPECT_TRUE(sawIt);
}

TEST(TaskThread, AnExceptionThatLeavesTheTaskIsThrownOnTheWindowsThreadAndTheNextTaskRuns) {
    TaskThread tasks;
    int made = 0;
    EXPECT_THROW(tasks.run([&] {
        tasks.post([&] { ++made; });
        throw std::runtime_error("fallo");
    }),
                 std::runtime_error);
    EXPECT_EQ(made, 1) << "what was handed over before the failure is still made";
    bool ran = false;
    tasks.run([&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST(Interruption, NothingAskedCostsNoWaitAndAnAnswerReleasesTheJob) {
    Interruption interruption;
    EXPECT_FALSE(interruption.consult());
    EXPECT_FALSE(interruption.requested());

    for (bool end : {false, true}) {
        SCOPED_TRACE(end);
        interruption.reset();
        interruption.beginAsking();
        std::atomic<bool> consulted{false};
        bool result = !end;
        std::thread job([&] {
            result = interruption.consult();
            consulted = true;
        });
        // The job stays at its check while the question is open.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(consulted);
        interruption.answer(end);
        job.join();
        EXPECT_TRUE(consulted);
        EXPECT_EQ(result, end);
        EXPECT_EQ(interruption.requested(), end);
        EXPECT_EQ(interruption.consult(), end) << "the answer stands for the rest of the job";
    }
    interruption.reset();
    EXPECT_FALSE(interruption.consult());
}

}  // namespace
}  // namespace vexilo::gui
