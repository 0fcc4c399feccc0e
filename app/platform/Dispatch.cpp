// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/platform/Dispatch.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <pthread.h>

#include <cassert>
#include <future>

namespace platform {

bool IsGuiThread()
{
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void AsyncOnGui(Task task)
{
    auto* app = QCoreApplication::instance();
    assert(app && "AsyncOnGui needs a running application");
    QMetaObject::invokeMethod(app, std::move(task), Qt::QueuedConnection);
}

void RunOnGui(Task task)
{
    if (IsGuiThread())
        task();
    else
        AsyncOnGui(std::move(task));
}

void SyncOnGui(const Task& task)
{
    if (IsGuiThread()) {
        task();
        return;
    }
    auto* app = QCoreApplication::instance();
    assert(app && "SyncOnGui needs a running application");
    QMetaObject::invokeMethod(app, [&task] { task(); }, Qt::BlockingQueuedConnection);
}

void AsyncGlobal(Task task)
{
    QThreadPool::globalInstance()->start(std::move(task));
}

void CallLater(QObject* receiver, std::chrono::milliseconds delay, Task task)
{
    // A single-shot timer with a context object is cancelled with its context.
    QTimer::singleShot(delay, receiver, std::move(task));
}

Semaphore::Semaphore(int value) : m_value(value) {}

void Semaphore::Signal()
{
    {
        std::lock_guard lock(m_mutex);
        ++m_value;
    }
    m_cv.notify_one();
}

bool Semaphore::Wait(Timeout timeout)
{
    std::unique_lock lock(m_mutex);
    const auto ready = [this] { return m_value > 0; };
    if (!timeout)
        m_cv.wait(lock, ready);
    else if (!m_cv.wait_for(lock, *timeout, ready))
        return false;
    --m_value;
    return true;
}

void DispatchGroup::Enter()
{
    std::lock_guard lock(m_mutex);
    ++m_count;
}

void DispatchGroup::Leave()
{
    {
        std::lock_guard lock(m_mutex);
        assert(m_count > 0 && "DispatchGroup::Leave without Enter");
        --m_count;
    }
    m_cv.notify_all();
}

bool DispatchGroup::Wait(Timeout timeout)
{
    std::unique_lock lock(m_mutex);
    const auto done = [this] { return m_count == 0; };
    if (!timeout) {
        m_cv.wait(lock, done);
        return true;
    }
    return m_cv.wait_for(lock, *timeout, done);
}

SerialQueue::SerialQueue(std::string name) : m_name(std::move(name))
{
    m_thread = std::thread([this] { Run(); });
    // Thread names are cut to 15 bytes by the kernel.
    pthread_setname_np(m_thread.native_handle(), m_name.substr(0, 15).c_str());
}

SerialQueue::~SerialQueue()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_cv.notify_all();
    m_thread.join();
}

void SerialQueue::Async(Task task)
{
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back(std::move(task));
    }
    m_cv.notify_all();
}

void SerialQueue::Sync(const Task& task)
{
    assert(std::this_thread::get_id() != m_thread.get_id() && "SerialQueue::Sync from its own task deadlocks");
    std::promise<void> done;
    Async([&] {
        task();
        done.set_value();
    });
    done.get_future().wait();
}

void SerialQueue::Run()
{
    for (;;) {
        Task task;
        {
            std::unique_lock lock(m_mutex);
            m_cv.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
            if (m_tasks.empty())
                return; // stopping with nothing left
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
    }
}

ConcurrentQueue::ConcurrentQueue(int maxThreads) : m_pool(std::make_unique<QThreadPool>())
{
    if (maxThreads > 0)
        m_pool->setMaxThreadCount(maxThreads);
}

ConcurrentQueue::~ConcurrentQueue()
{
    m_pool->waitForDone();
}

void ConcurrentQueue::Async(Task task, DispatchGroup* group)
{
    if (group)
        group->Enter();
    m_pool->start([task = std::move(task), group] {
        task();
        if (group)
            group->Leave();
    });
}

} // namespace platform
