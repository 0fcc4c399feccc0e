// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "core/geometry/QvCommand.h"
#include "core/geometry/QvGDI.h"
#include "core/geometry/QvRecursiveMutex.h"

namespace {

TEST(GDIPoint, ConstructSetCompareOffset)
{
    QvGDIPoint p;
    EXPECT_EQ(p, QvGDIPoint(0, 0));
    p.Set(3, -4);
    EXPECT_EQ(p, QvGDIPoint(3, -4));
    EXPECT_FALSE(p == QvGDIPoint(3, 4));
    EXPECT_FALSE(p == QvGDIPoint(-3, -4));
    const QvGDIPoint moved = p.Offset(10, 20);
    EXPECT_EQ(moved, QvGDIPoint(13, 16));
    EXPECT_EQ(p, QvGDIPoint(3, -4));
}

TEST(GDIRect, ContainsOnEveryEdgeOnly)
{
    const QvGDIRect r(10, 20, 30, 40);
    struct Case
    {
        int x, y;
        bool inside;
    } cases[] = {
        {10, 20, true}, {30, 40, true}, {10, 40, true}, {30, 20, true}, {20, 20, true}, {20, 40, true},
        {10, 30, true}, {30, 30, true}, {9, 30, false}, {31, 30, false}, {20, 19, false}, {20, 41, false},
        {9, 19, false}, {31, 41, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(r.Contains(QvGDIPoint(c.x, c.y)), c.inside) << c.x << "," << c.y;

    // Edges in the wrong order contain nothing.
    EXPECT_FALSE(QvGDIRect(30, 40, 10, 20).Contains(QvGDIPoint(20, 30)));
}

TEST(GDIRect, EmptinessAndDegenerateRectangles)
{
    EXPECT_TRUE(QvGDIRect().IsEmpty());
    EXPECT_TRUE(QvGDIRect(0, 0, 0, 0).IsEmpty());

    const QvGDIRect dot(5, 5, 5, 5);
    EXPECT_FALSE(dot.IsEmpty());
    EXPECT_TRUE(dot.Contains(QvGDIPoint(5, 5)));
    for (const QvGDIPoint& q : {QvGDIPoint(4, 5), QvGDIPoint(6, 5), QvGDIPoint(5, 4), QvGDIPoint(5, 6)})
        EXPECT_FALSE(dot.Contains(q));

    // Zero width away from the origin is not empty by this test.
    EXPECT_FALSE(QvGDIRect(0, 0, 0, 7).IsEmpty());
    EXPECT_FALSE(QvGDIRect(1, 0, 0, 0).IsEmpty());
}

TEST(GDIRect, ConstructionSetAndDeflate)
{
    const QvGDIRect fromPoint(QvGDIPoint(4, 6), 10, 20);
    EXPECT_EQ(fromPoint.m_topLeft, QvGDIPoint(4, 6));
    EXPECT_EQ(fromPoint.m_bottomRight, QvGDIPoint(14, 26));

    QvGDIRect r(0, 0, 10, 10);
    r.Deflate(2, 3);
    EXPECT_EQ(r.m_topLeft, QvGDIPoint(2, 3));
    EXPECT_EQ(r.m_bottomRight, QvGDIPoint(8, 7));
    r.Deflate(-2, -3);
    EXPECT_EQ(r.m_topLeft, QvGDIPoint(0, 0));
    EXPECT_EQ(r.m_bottomRight, QvGDIPoint(10, 10));

    r.Set(-1, -2, 3, 4);
    EXPECT_EQ(r.m_topLeft, QvGDIPoint(-1, -2));
    EXPECT_EQ(r.m_bottomRight, QvGDIPoint(3, 4));
}

bool WaitFor(const std::atomic<bool>& flag, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!flag.load())
    {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// One thread locks twice; another can take the mutex only after the second unlock.
TEST(RecursiveMutex, ReentryThenReleaseToAnotherThread)
{
    // Shared with the threads, so that a thread stuck after a failure keeps it alive.
    struct State
    {
        QvRecursiveMutex mutex;
        std::atomic<bool> heldTwice{false}, releaseOnce{false}, releasedOnce{false}, releaseAll{false};
        std::atomic<bool> contenderHolds{false};
    };
    const auto s = std::make_shared<State>();

    std::thread owner([s] {
        s->mutex.Lock();
        s->mutex.Lock();
        s->heldTwice = true;
        WaitFor(s->releaseOnce, std::chrono::seconds(10));
        s->mutex.Unlock();
        s->releasedOnce = true;
        WaitFor(s->releaseAll, std::chrono::seconds(10));
        s->mutex.Unlock();
    });
    if (!WaitFor(s->heldTwice, std::chrono::seconds(5)))
    {
        owner.detach();
        FAIL() << "the holding thread could not lock a second time";
    }

    s->releaseOnce = true;
    ASSERT_TRUE(WaitFor(s->releasedOnce, std::chrono::seconds(5)));
    std::thread contender([s] {
        s->mutex.Lock();
        s->contenderHolds = true;
        s->mutex.Unlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(s->contenderHolds.load()) << "one unlock of two released the mutex";

    s->releaseAll = true;
    const bool acquired = WaitFor(s->contenderHolds, std::chrono::seconds(5));
    EXPECT_TRUE(acquired) << "the mutex was not released to another thread";
    owner.join();
    if (!acquired)
    {
        contender.detach();
        return;
    }
    contender.join();

    // Free again for this thread too.
    s->mutex.Lock();
    s->mutex.Unlock();
}

class SumCommand : public QvCommand
{
public:
    SumCommand(std::vector<int> values, bool* destroyed) : m_values(std::move(values)), m_destroyed(destroyed) {}
    ~SumCommand() override { *m_destroyed = true; }
    bool Execute() override
    {
        if (m_values.empty())
            return false;
        m_sum = 0;
        for (int v : m_values)
            m_sum += v;
        return true;
    }
    int m_sum = -1;

private:
    std::vector<int> m_values;
    bool* m_destroyed;
};

// Construct, execute through the base, read the result, destroy through the base.
TEST(Command, ExecutesAndIsDestroyedThroughTheBase)
{
    bool destroyed = false;
    {
        std::unique_ptr<QvCommand> command = std::make_unique<SumCommand>(std::vector<int>{1, 2, 3}, &destroyed);
        ASSERT_TRUE(command->Execute());
        EXPECT_EQ(static_cast<SumCommand*>(command.get())->m_sum, 6);
    }
    EXPECT_TRUE(destroyed);

    destroyed = false;
    {
        std::unique_ptr<QvCommand> failing = std::make_unique<SumCommand>(std::vector<int>{}, &destroyed);
        EXPECT_FALSE(failing->Execute());
    }
    EXPECT_TRUE(destroyed);
}

} // namespace
