#pragma once

#include <QThread>

#include <functional>

class SiteFarm;

// The site farm in a thread of its own, listening: it sends as fast as the connection takes,
// whatever the measured code does meanwhile in the main thread.
class FarmThread
{
public:
    FarmThread();
    ~FarmThread();
    FarmThread(const FarmThread&) = delete;
    FarmThread& operator=(const FarmThread&) = delete;

    SiteFarm& farm() { return *m_farm; }
    // Runs `work` in the farm's thread (routes are set there) and waits for it.
    void run(const std::function<void(SiteFarm&)>& work);

private:
    QThread m_thread;
    SiteFarm* m_farm;
};
