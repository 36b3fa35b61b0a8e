#include "AppFixture.h"

#include "SubmissionRun.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QLabel>
#include <QListView>
#include <QTest>

using namespace Qt::StringLiterals;

AppFixture::~AppFixture()
{
    m_window.reset();
    m_catalogue.reset();
}

MainWindow& AppFixture::openWindow(const QList<PromoSite>& sites)
{
    m_window.reset();
    m_catalogue.reset();
    TestData::writeCatalogue(m_home.filePath(u"orvd.dll"_s), sites);
    QString error;
    m_catalogue = SiteDatabase::open(m_home.filePath(u"orvd.dll"_s), error);
    if (!m_catalogue)
        qFatal("cannot open the test catalogue: %s", qPrintable(error));
    AppContext context{AppPaths(m_home.path()), dialogs, *m_settings, desktop, m_home.path()};
    context.transferDeadline = std::chrono::milliseconds(1500);
    context.clock = [] { return moment; };
    m_window = std::make_unique<MainWindow>(context, *m_catalogue);
    m_window->run().setTickInterval(std::chrono::hours(24));
    m_window->show();
    return *m_window;
}

QString AppFixture::text(const QString& labelName) const
{
    return get<QLabel>(labelName)->text();
}

QStringList AppFixture::entries(const QString& listName) const
{
    const QAbstractItemModel* model = get<QListView>(listName)->model();
    QStringList entries;
    for (int row = 0; row < model->rowCount(); ++row)
        entries << model->index(row, 0).data().toString();
    return entries;
}

void AppFixture::click(const QString& buttonName) const
{
    get<QAbstractButton>(buttonName)->click();
}

void AppFixture::tick()
{
    m_window->run().onTick();
}

bool AppFixture::settle(int timeoutMs)
{
    const auto working = [this] {
        for (int k = 0; k < SubmissionRun::laneCount; ++k) {
            if (m_window->run().lane(k).isWorking())
                return true;
        }
        return false;
    };
    QElapsedTimer waited;
    waited.start();
    while (working() && waited.elapsed() < timeoutMs)
        QTest::qWait(10);
    return !working();
}

int AppFixture::runToEnd(int maxTicks)
{
    // A run over changed pages starts once its plan is made, off the window's thread.
    if (!QTest::qWaitFor([this] { return !m_window->session().isPreparing(); }, 10000))
        return -1;
    for (int ticks = 1; ticks <= maxTicks; ++ticks) {
        tick();
        if (!m_window->run().isBusy()) // then the records are written, as the window goes on
            return QTest::qWaitFor([this] { return !m_window->session().isBusy(); }, 10000) ? ticks : -1;
        if (!settle())
            return -1;
    }
    return -1;
}
