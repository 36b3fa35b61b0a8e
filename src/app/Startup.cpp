#include "Startup.h"

#include "Dialogs.h"
#include "MainWindow.h"
#include "SiteDatabase.h"
#include "SplashScreen.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QWindow>

using namespace Qt::StringLiterals;

Startup::Startup(AppContext context, QObject* parent) : QObject(parent), m_context(std::move(context)) {}

Startup::~Startup()
{
    delete m_splash;
}

SplashScreen* Startup::splash() const
{
    return m_splash;
}

bool Startup::run()
{
    m_splash = new SplashScreen;
    connect(m_splash, &SplashScreen::mainWindowDue, this, &Startup::showMainWindow);
    m_splash->show();
    // The splash is on screen, painted, before the catalogue is read, however long that takes.
    // The wait is bounded and shorter than the splash's own second.
    const QDeadlineTimer exposure(300);
    while (m_splash->windowHandle() && !m_splash->windowHandle()->isExposed() && !exposure.hasExpired())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    m_splash->repaint();

    QString error;
    m_database = SiteDatabase::open(m_context.paths.catalogueFile(), error);
    if (!m_database) {
        // The message box runs an event loop: the splash must not hand over behind it.
        m_splash->dismiss();
        m_context.dialogs.inform(error +
                                     u"\n\nOrvanta cannot run without its site catalogue and will close."_s,
                                 u"Orvanta"_s, Dialogs::Icon::Critical);
        return false;
    }
    return true;
}

void Startup::showMainWindow()
{
    m_mainWindow = std::make_unique<MainWindow>(m_context, *m_database);
    m_mainWindow->show();
    emit mainWindowShown();
}
