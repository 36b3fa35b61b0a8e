#include "AppFixture.h"

#include "CatalogueFixture.h"
#include "Dispatcher.h"
#include "SocketSlot.h"
#include "SubmissionRun.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

AppFixture::AppFixture() : m_settings(std::make_unique<SettingsStore>()) {}

AppFixture::~AppFixture()
{
    m_window.reset();
    m_catalogue.reset();
}

MainWindow& AppFixture::openWindow(const QList<PromoSite>& sites, std::chrono::milliseconds transferDeadline,
                                   std::function<QDateTime()> clock)
{
    m_window.reset();
    m_catalogue.reset();
    const QString file = m_home.filePath(u"orvd.dll"_s);
    QFile::remove(file);
    CatalogueFixture::write(file, sites);
    QString error;
    m_catalogue = SiteDatabase::open(file, error);
    if (!m_catalogue)
        qFatal("cannot open the test catalogue: %s", qPrintable(error));
    AppContext context{AppPaths(m_home.path()), m_dialogs, *m_settings, m_desktop};
    context.transferDeadline = transferDeadline;
    context.clock = std::move(clock);
    m_window = std::make_unique<MainWindow>(context, *m_catalogue);
    m_window->run().timer()->setInterval(int(std::chrono::milliseconds(std::chrono::hours(24)).count()));
    m_window->show();
    return *m_window;
}

QString AppFixture::labelText(const QString& name) const
{
    return get<QLabel>(name)->text();
}

QStringList AppFixture::listEntries(const QString& name) const
{
    const QAbstractItemModel* model = get<QListView>(name)->model();
    QStringList entries;
    for (int row = 0; row < model->rowCount(); ++row)
        entries << model->index(row, 0).data().toString();
    return entries;
}

bool AppFixture::settle(int timeoutMs)
{
    const auto working = [this] {
        const auto& all = m_window->run().socketSlots();
        return std::any_of(all.cbegin(), all.cend(),
                           [](const SocketSlot* slot) { return slot->status() == SocketSlot::working; });
    };
    QElapsedTimer waited;
    waited.start();
    while (working() && waited.elapsed() < timeoutMs)
        QTest::qWait(10);
    return !working();
}

int AppFixture::runToEnd(int maxTicks)
{
    for (int ticks = 1; ticks <= maxTicks; ++ticks) {
        m_window->dispatcher().Timer1_Timer();
        if (!m_window->run().timer()->isActive())
            return ticks;
        if (!settle())
            return -1;
    }
    return -1;
}

QByteArray AppFixture::readHomeFile(const QString& name) const
{
    QFile file(m_home.filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
