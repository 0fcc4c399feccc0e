// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/Dispatch.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Runs the GUI thread's events until the flag is set or a second has passed.
bool PumpUntil(const std::atomic<bool>& flag)
{
    QElapsedTimer t;
    t.start();
    while (!flag && t.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    return flag;
}

TEST(Dispatch, SerialQueueRunsInOrderOnOneThread)
{
    std::vector<int> order;
    std::set<std::thread::id> threads;
    {
        platform::SerialQueue queue("rivela.test.serial");
        for (int i = 0; i < 200; ++i)
            queue.Async([&, i] {
                order.push_back(i);
                threads.insert(std::this_thread::get_id());
            });
        int seen = -1;
        queue.Sync([&] { seen = static_cast<int>(order.size()); });
        EXPECT_EQ(seen, 200); // Sync runs after everything queued before it
        queue.Async([&] { order.push_back(200); });
    } // the destructor drains the queue
    ASSERT_EQ(order.size(), 201u);
    for (int i = 0; i <= 200; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_EQ(threads.count(std::this_thread::get_id()), 0u);
}

TEST(Dispatch, SyncOnGuiRunsAtOnceOnTheGuiThreadAndWaitsFromAWorker)
{
    ASSERT_TRUE(platform::IsGuiThread());
    bool ran = false;
    platform::SyncOnGui([&] { ran = true; });
    EXPECT_TRUE(ran); // no event loop turn needed

    std::atomic<bool> done{false};
    std::atomic<bool> onGui{false};
    std::atomic<int> valueAfterHop{0};
    int guiValue = 0;
    platform::AsyncGlobal([&] {
        EXPECT_FALSE(platform::IsGuiThread());
        platform::SyncOnGui([&] {
            onGui = platform::IsGuiThread();
            guiValue = 42;
        });
        valueAfterHop = guiValue; // visible once SyncOnGui has returned
        done = true;
    });
    ASSERT_TRUE(PumpUntil(done));
    EXPECT_TRUE(onGui);
    EXPECT_EQ(valueAfterHop, 42);

    std::atomic<bool> asyncRan{false};
    platform::AsyncGlobal([&] { platform::AsyncOnGui([&] { asyncRan = platform::IsGuiThread(); }); });
    EXPECT_TRUE(PumpUntil(asyncRan));
}

TEST(Dispatch, SemaphoreTimesOutAndCounts)
{
    platform::Semaphore semaphore(0);
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(semaphore.Wait(40ms));
    EXPECT_GE(t.elapsed(), 35);

    semaphore.Signal();
    semaphore.Signal();
    EXPECT_TRUE(semaphore.Wait(0ms));
    EXPECT_TRUE(semaphore.Wait(std::nullopt));
    EXPECT_FALSE(semaphore.Wait(0ms));

    // A signal from another thread wakes a waiter without a time-out.
    std::thread signaller([&] {
        std::this_thread::sleep_for(10ms);
        semaphore.Signal();
    });
    EXPECT_TRUE(semaphore.Wait());
    signaller.join();
}

TEST(Dispatch, GroupWaitsForEveryTaskOfAConcurrentQueue)
{
    platform::ConcurrentQueue queue(4);
    platform::DispatchGroup group;
    std::atomic<int> finished{0};
    platform::Semaphore gate(0);
    for (int i = 0; i < 8; ++i)
        queue.Async(
            [&] {
                EXPECT_TRUE(gate.Wait(5s));
                ++finished;
            },
            &group);
    EXPECT_FALSE(group.Wait(30ms)); // held at the gate
    for (int i = 0; i < 8; ++i)
        gate.Signal();
    EXPECT_TRUE(group.Wait(5s));
    EXPECT_EQ(finished, 8);
    EXPECT_TRUE(group.Wait(0ms)); // nothing in flight
}

TEST(Dispatch, DelayedCallIsDroppedWithItsReceiver)
{
    std::atomic<bool> kept{false};
    bool dropped = false;
    QObject alive;
    auto* gone = new QObject;
    platform::CallLater(gone, 10ms, [&] { dropped = true; });
    platform::CallLater(&alive, 20ms, [&] { kept = true; });
    delete gone;
    ASSERT_TRUE(PumpUntil(kept));
    EXPECT_FALSE(dropped);
}

} // namespace
