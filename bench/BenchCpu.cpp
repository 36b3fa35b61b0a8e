#include "BenchCpu.h"

#include "PageList.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryFile>

#include <algorithm>
#include <pthread.h>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

double milliseconds(const rusage& usage)
{
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

} // namespace

double BenchCpu::processMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return milliseconds(usage);
}

double BenchCpu::childrenMs()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return milliseconds(usage);
}

double BenchCpu::threadMs(clockid_t clock)
{
    timespec spent{};
    clock_gettime(clock, &spent);
    return double(spent.tv_sec) * 1e3 + double(spent.tv_nsec) / 1e6;
}

clockid_t BenchCpu::currentThreadClock()
{
    clockid_t clock{};
    pthread_getcpuclockid(pthread_self(), &clock);
    return clock;
}

BenchCpu::Spent BenchCpu::curlFetch(const PageList& pages, int atATime, const QString& sink)
{
    QTemporaryFile urls;
    if (!urls.open())
        qFatal("no temporary file");
    for (qsizetype page = 0; page < pages.size(); ++page)
        urls.write("url = \"" + pages.url(page).toByteArray() + "\"\n");
    urls.flush();
    Spent fastest;
    for (int round = 0; round < 3; ++round) {
        const double before = childrenMs();
        QElapsedTimer wall;
        wall.start();
        QProcess curl;
        curl.start(u"sh"_s,
                   {u"-c"_s,
                    u"curl -s --parallel --parallel-immediate --parallel-max \"$2\" -K \"$1\" | "_s + sink,
                    u"sh"_s, urls.fileName(), QString::number(atATime)});
        // The farm answers on its own thread meanwhile.
        if (!curl.waitForFinished(600000) || curl.exitCode() != 0)
            qFatal("curl did not fetch the pages: %s", curl.readAllStandardError().constData());
        const double cpuMs = childrenMs() - before;
        const double wallMs = double(wall.nsecsElapsed()) / 1e6;
        fastest.cpuMs = round == 0 ? cpuMs : std::min(fastest.cpuMs, cpuMs);
        fastest.wallMs = round == 0 ? wallMs : std::min(fastest.wallMs, wallMs);
    }
    return fastest;
}
