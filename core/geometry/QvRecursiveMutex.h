// SPDX-License-Identifier: GPL-3.0-or-later
// The one lock of the core: the process-wide caches keyed by mesh hold one each.
#pragma once

#include <pthread.h>

// The holding thread may lock again and must unlock as many times.
class QvRecursiveMutex
{
public:
    QvRecursiveMutex();
    ~QvRecursiveMutex();
    QvRecursiveMutex(const QvRecursiveMutex&) = delete;
    QvRecursiveMutex& operator=(const QvRecursiveMutex&) = delete;

    void Lock();
    void Unlock();

private:
    pthread_mutex_t m_mutex;
};
