// SPDX-License-Identifier: GPL-3.0-or-later
// Waiting in tests for handlers posted to the GUI thread: its events keep flowing
// while the test waits, so replies delivered there arrive.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

namespace qtwait {

inline bool WaitFor(const std::function<bool()>& done, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

// Lets handlers that were going to run have run.
inline void Settle(int milliseconds = 300)
{
    WaitFor([] { return false; }, milliseconds);
}

} // namespace qtwait
