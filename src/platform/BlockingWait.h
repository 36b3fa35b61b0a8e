#pragma once

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <utility>

// For the command line, which has no window to go back to, and for a thread of its own that has
// nothing else to do; never on the window's thread. Starts asynchronous work with `start(done)`
// and runs a local event loop until the work calls `done`, or until `patience` has passed when
// one is given (false then; `done` must not be called after that). What the work reports on the
// way is delivered meanwhile, so whoever listens sees everything before this returns.
template <typename Start>
bool waitFor(Start&& start, std::chrono::milliseconds patience = std::chrono::milliseconds::zero())
{
    QEventLoop loop;
    bool ended = false;
    const std::function<void()> done = [&ended, &loop] {
        ended = true;
        loop.quit();
    };
    if (patience > std::chrono::milliseconds::zero())
        QTimer::singleShot(patience, &loop, &QEventLoop::quit);
    std::forward<Start>(start)(done);
    if (!ended)
        loop.exec();
    return ended;
}

// The same for work that reports its end through `signal` of `sender`.
template <typename Sender, typename Signal, typename Start>
bool waitFor(Sender* sender, Signal signal, Start&& start,
             std::chrono::milliseconds patience = std::chrono::milliseconds::zero())
{
    QMetaObject::Connection ending;
    const bool ended = waitFor(
        [&](const std::function<void()>& done) {
            ending = QObject::connect(sender, signal, [done] { done(); });
            std::forward<Start>(start)();
        },
        patience);
    QObject::disconnect(ending);
    return ended;
}
