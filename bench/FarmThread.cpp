#include "FarmThread.h"

#include "SiteFarm.h"

FarmThread::FarmThread() : m_farm(new SiteFarm)
{
    m_farm->moveToThread(&m_thread);
    m_thread.start();
    run([](SiteFarm& farm) {
        if (!farm.listen())
            qFatal("the farm cannot listen");
    });
}

FarmThread::~FarmThread()
{
    QMetaObject::invokeMethod(
        m_farm, [farm = m_farm] { delete farm; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void FarmThread::run(const std::function<void(SiteFarm&)>& work)
{
    QMetaObject::invokeMethod(
        m_farm, [this, &work] { work(*m_farm); }, Qt::BlockingQueuedConnection);
}
