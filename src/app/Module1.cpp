#include "Module1.h"

#include "Dialogs.h"
#include "MainWindow.h"
#include "SiteDatabase.h"
#include "SplashScreen.h"

using namespace Qt::StringLiterals;

Module1::Module1(AppContext context, QObject* parent) : QObject(parent), m_context(std::move(context)) {}

Module1::~Module1()
{
    delete m_splash;
}

SplashScreen* Module1::splash() const
{
    return m_splash;
}

bool Module1::Main()
{
    m_splash = new SplashScreen;
    connect(m_splash, &SplashScreen::mainWindowDue, this, &Module1::showMainWindow);
    m_splash->show();

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

void Module1::showMainWindow()
{
    m_mainWindow = std::make_unique<MainWindow>(m_context, *m_database);
    m_mainWindow->show();
    emit mainWindowShown();
}
