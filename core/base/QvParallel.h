// SPDX-License-Identifier: GPL-3.0-or-later
// Independent pieces of one job run side by side on short-lived threads.
#pragma once

#include <cstddef>
#include <functional>

// Calls work(i) once for every i in [0, count) on up to threads threads, the calling
// thread among them (0: one per hardware thread); indices are handed out in rising
// order. A thread that throws takes no further index; the others go on, and once all
// have finished the exception of the lowest-numbered failing thread propagates. When
// no further thread can be started, the ones running do the work.
void QvParallelFor(std::size_t count, unsigned threads, const std::function<void(std::size_t)>& work);
