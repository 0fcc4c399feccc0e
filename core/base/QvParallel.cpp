// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/base/QvParallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>
#include <vector>

void QvParallelFor(std::size_t count, unsigned threads, const std::function<void(std::size_t)>& work)
{
    if (count == 0)
        return;
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    threads = static_cast<unsigned>(std::min<std::size_t>(threads, count));

    std::atomic<std::size_t> next{0};
    std::vector<std::exception_ptr> failures(threads);
    const auto run = [&](unsigned worker) {
        try
        {
            for (std::size_t i = next++; i < count; i = next++)
                work(i);
        }
        catch (...)
        {
            failures[worker] = std::current_exception();
        }
    };
    std::vector<std::thread> pool;
    try
    {
        for (unsigned t = 1; t < threads; ++t)
            pool.emplace_back(run, t);
    }
    catch (...)
    {
        // Fewer threads than asked: the ones started and this one do the work.
    }
    run(0);
    for (std::thread& t : pool)
        t.join();
    for (const std::exception_ptr& failure : failures)
        if (failure)
            std::rethrow_exception(failure);
}
