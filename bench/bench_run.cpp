// The submission engine against the site farm on 127.0.0.1, all in one run:
//   ticks:  a run of N sites that answer at once, against its budget of ceil(N / 5) + 2 ticks;
//   memory: the rise in peak resident memory while one transfer receives a huge body;
//   idle:   the processor time used while five transfers wait on sites that never answer.
//
//   bench_run            N = 100, a 1 GB body, 10 s of waiting
//   bench_run --short    N = 20, a 20 MB body, 2 s of waiting (what CI runs)

#include "CatalogueTool.h"
#include "DesktopOpener.h"
#include "Dispatcher.h"
#include "HttpTransferSlot.h"
#include "MainWindow.h"
#include "ProfileStore.h"
#include "QtDialogs.h"
#include "SettingsStore.h"
#include "SiteDatabase.h"
#include "SiteFarm.h"
#include "SocketSlot.h"
#include "SubmissionRequest.h"
#include "SubmissionRun.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

class AnsweringDialogs final : public Dialogs
{
public:
    void inform(const QString&, const QString&, Icon) override {}
    bool askYesNo(const QString&, const QString&, Icon) override { return false; }
    QString inputText(const QString&, const QString&) override { return QString(); }
};

class NoDesktop final : public DesktopOpener
{
public:
    bool open(const QUrl&) override { return true; }
};

qint64 peakResidentKiB()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

double processorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void waitFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int ticksForRun(SiteFarm& farm, int sites)
{
    QTemporaryDir home;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.filePath(u"config"_s));
    SettingsStore settings;
    ProfileStore profiles(settings);
    profiles.create(1, u"Bench"_s);
    Profile profile;
    for (QString& value : profile.fields)
        value = u"x"_s;
    profiles.save(1, profile);

    QString csv = u"sitename,sitetype,data,method,action,referer\r\n"_s;
    for (int i = 0; i < sites; ++i)
        csv += u"Site %1,engine,u=[url],GET,%2,\r\n"_s.arg(i).arg(farm.url(u"/ok"_s));
    QFile file(home.filePath(u"sites.csv"_s));
    file.open(QIODevice::WriteOnly);
    file.write(csv.toUtf8());
    file.close();
    QString error;
    if (!CatalogueTool::build(file.fileName(), home.filePath(u"orvd.dll"_s), error))
        qFatal("%s", qPrintable(error));
    auto catalogue = SiteDatabase::open(home.filePath(u"orvd.dll"_s), error);

    AnsweringDialogs dialogs;
    NoDesktop desktop;
    MainWindow window(AppContext{AppPaths(home.path()), dialogs, settings, desktop}, *catalogue);
    window.run().timer()->setInterval(24 * 3600 * 1000); // ticked by hand below
    window.findChild<QToolButton*>(u"Bsubmission"_s)->click();
    window.findChild<QCheckBox*>(u"Check4"_s)->setChecked(true);
    window.findChild<QPushButton*>(u"Command15"_s)->click();

    // Each tick comes a second after the last, as Timer1 would send it; by then sites that
    // answer at once have answered.
    int ticks = 0;
    while (window.run().timer()->isActive() && ticks < 10 * sites) {
        ++ticks;
        window.dispatcher().Timer1_Timer();
        QElapsedTimer settle;
        settle.start();
        const auto working = [&] {
            for (const SocketSlot* slot : window.run().socketSlots()) {
                if (slot->status() == SocketSlot::working)
                    return true;
            }
            return false;
        };
        while (working() && settle.elapsed() < 1000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return ticks;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool isShort = app.arguments().contains(u"--short"_s);
    const int sites = isShort ? 20 : 100;
    const qint64 bodyBytes = isShort ? 20LL << 20 : 1LL << 30;
    const int idleMs = isShort ? 2000 : 10000;

    SiteFarm farm;
    if (!farm.listen())
        qFatal("the farm cannot listen");
    farm.route(u"/huge"_s, SiteFarm::Route{SiteFarm::Behaviour::HugeBody, {}, bodyBytes, 0});
    farm.route(u"/hang"_s, SiteFarm::Behaviour::Hang);

    // Memory first, before anything else has raised the peak.
    QNetworkAccessManager network;
    {
        HttpTransferSlot slot(network, std::chrono::minutes(10));
        QEventLoop loop;
        int state = 0;
        QObject::connect(&slot, &TransferSlot::stateChanged, &loop, [&](int ended) {
            state = ended;
            loop.quit();
        });
        const qint64 before = peakResidentKiB();
        QElapsedTimer timer;
        timer.start();
        slot.execute(
            TransferRequest::from({u"huge"_s, u"get"_s, farm.url(u"/huge"_s), QString(), QString()}));
        loop.exec();
        if (state != TransferSlot::icResponseCompleted)
            qFatal("the huge body did not arrive: %s", qPrintable(slot.errorDetail()));
        const double risenMiB = double(peakResidentKiB() - before) / 1024.0;
        std::printf("memory: a %lld MB body raised peak memory by %.1f MB in %.1f s (budget < 20 MB): %s\n",
                    bodyBytes >> 20, risenMiB, double(timer.elapsed()) / 1000.0,
                    risenMiB < 20 ? "met" : "MISSED");
    }

    const int ticks = ticksForRun(farm, sites);
    const int tickBudget = (sites + 4) / 5 + 2;
    std::printf("ticks:  a run of %d sites that answer at once took %d ticks (budget %d): %s\n", sites, ticks,
                tickBudget, ticks <= tickBudget ? "met" : "MISSED");

    {
        std::array<std::unique_ptr<HttpTransferSlot>, 5> hanging;
        for (auto& slot : hanging) {
            slot = std::make_unique<HttpTransferSlot>(network);
            slot->execute(
                TransferRequest::from({u"hang"_s, u"get"_s, farm.url(u"/hang"_s), QString(), QString()}));
        }
        waitFor(300); // connected and waiting
        const double cpuBefore = processorSeconds();
        waitFor(idleMs);
        const double share = (processorSeconds() - cpuBefore) / (idleMs / 1000.0) * 100.0;
        std::printf("idle:   five hanging transfers used %.2f %% of a core over %d s (budget < 1 %%): %s\n",
                    share, idleMs / 1000, share < 1.0 ? "met" : "MISSED");
        for (auto& slot : hanging)
            slot->cancel();
    }
    return 0;
}
