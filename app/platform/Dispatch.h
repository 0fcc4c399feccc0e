// SPDX-License-Identifier: GPL-3.0-or-later
// Work queues: hops to the GUI thread, the global work queue, named serial queues,
// concurrent queues with groups, counting semaphores and delayed GUI calls.
// Every function here may be called from any thread unless it says otherwise.
#pragma once

#include <QtGlobal>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class QObject;
class QThreadPool;

namespace platform {

using Task = std::function<void()>;
using Timeout = std::optional<std::chrono::milliseconds>; // none: wait for ever

// True on the thread that runs the QApplication's event loop.
bool IsGuiThread();

// Queues the task to the GUI thread's event loop and returns at once.
void AsyncOnGui(Task task);

// Runs the task at once when called on the GUI thread, else queues it there.
void RunOnGui(Task task);

// Runs the task on the GUI thread and returns when it has run: at once when called
// on the GUI thread, else by waiting for the GUI thread (which must not be waiting
// for the caller).
void SyncOnGui(const Task& task);

// The process-wide pool of worker threads.
void AsyncGlobal(Task task);

// Runs the task on the GUI thread after the delay, unless the receiver has been
// destroyed by then (the task is dropped). Call on the GUI thread.
void CallLater(QObject* receiver, std::chrono::milliseconds delay, Task task);

// A counting semaphore (GCD-like): Wait takes one unit, Signal adds one.
class Semaphore {
public:
    explicit Semaphore(int value = 0);
    void Signal();
    // False when the time-out passed first (no unit was taken).
    [[nodiscard]] bool Wait(Timeout timeout = std::nullopt);

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_value;
};

// Counts work in flight; Wait returns once every Enter has been matched by a Leave.
class DispatchGroup {
public:
    void Enter();
    void Leave();
    // False when the time-out passed while work was still in flight.
    [[nodiscard]] bool Wait(Timeout timeout = std::nullopt);

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_count = 0;
};

// Tasks run one after another, in the order queued, on one thread of the queue's
// own. The destructor runs what is queued, then joins the thread.
class SerialQueue {
public:
    explicit SerialQueue(std::string name);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& Name() const { return m_name; }
    void Async(Task task);
    // Queues the task and waits for it; must not be called from the queue's own task.
    void Sync(const Task& task);

private:
    void Run();

    std::string m_name;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Task> m_tasks;
    bool m_stopping = false;
    std::thread m_thread;
};

// Tasks run in parallel on a pool of the queue's own; a group, when given, counts them.
class ConcurrentQueue {
public:
    explicit ConcurrentQueue(int maxThreads = 0); // 0: one per core
    ~ConcurrentQueue();                           // waits for every task
    ConcurrentQueue(const ConcurrentQueue&) = delete;
    ConcurrentQueue& operator=(const ConcurrentQueue&) = delete;

    void Async(Task task, DispatchGroup* group = nullptr);

private:
    std::unique_ptr<QThreadPool> m_pool;
};

} // namespace platform
