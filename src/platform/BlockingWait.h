#pragma once

#include <QEventLoop>
#include <QObject>

#include <utility>

// For the command line, which has no window to go back to: starts asynchronous work and runs
// a local event loop until the object reports the end through `signal`. The work's own signals
// are delivered meanwhile, so whoever listens to them sees everything before this returns.
template <typename Sender, typename Signal, typename Start>
void waitFor(Sender* sender, Signal signal, Start&& start)
{
    QEventLoop loop;
    bool ended = false;
    QObject::connect(sender, signal, &loop, [&] {
        ended = true;
        loop.quit();
    });
    std::forward<Start>(start)();
    if (!ended)
        loop.exec();
}
