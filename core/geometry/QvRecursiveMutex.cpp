// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/geometry/QvRecursiveMutex.h"

QvRecursiveMutex::QvRecursiveMutex()
{
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&m_mutex, &attr);
    pthread_mutexattr_destroy(&attr);
}

QvRecursiveMutex::~QvRecursiveMutex()
{
    pthread_mutex_destroy(&m_mutex);
}

void QvRecursiveMutex::Lock()
{
    pthread_mutex_lock(&m_mutex);
}

void QvRecursiveMutex::Unlock()
{
    pthread_mutex_unlock(&m_mutex);
}
