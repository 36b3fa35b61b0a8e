#pragma once

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <utility>

// For the command line, which has no window to go back to: starts asynchronous work and runs
// a local event loop until the object reports the end through `signal`, or until `patience` has
// passed when one is given (false then). The work's own signals are delivered meanwhile, so
// whoever listens to them sees everything before this returns.
template <typename Sender, typename Signal, typename Start>
bool waitFor(Sender* sender, Signal signal, Start&& start,
             std::chrono::milliseconds patience = std::chrono::milliseconds::zero())
{
    QEventLoop loop;
    bool ended = false;
    QObject::connect(sender, signal, &loop, [&] {
        ended = true;
        loop.quit();
    });
    if (patience > std::chrono::milliseconds::zero())
        QTimer::singleShot(patience, &loop, &QEventLoop::quit);
    std::forward<Start>(start)();
    if (!ended)
        loop.exec();
    return ended;
}
