#include "SplashScreen.h"

#include "ui_SplashScreen.h"

#include <QIcon>
#include <QScreen>

using namespace Qt::StringLiterals;

SplashScreen::SplashScreen(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), ui(std::make_unique<Ui::SplashScreen>()),
      m_timer1(new QTimer(this))
{
    ui->setupUi(this);
    setWindowIcon(QIcon(u":/images/orvanta.png"_s));
    m_timer1->setObjectName(u"Timer1"_s);
    m_timer1->setInterval(1000);
    connect(m_timer1, &QTimer::timeout, this, &SplashScreen::Timer1_Timer);
}

SplashScreen::~SplashScreen() = default;

void SplashScreen::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The load: the hand-over clock starts when the splash first appears.
    if (!m_loaded) {
        m_loaded = true;
        if (const QScreen* shown = screen())
            move(shown->availableGeometry().center() - rect().center());
        m_timer1->start();
    }
}

void SplashScreen::Timer1_Timer()
{
    if (m_handedOver)
        return;
    m_handedOver = true;
    hide();
    emit mainWindowDue();
    m_timer1->stop();
    deleteLater();
}

void SplashScreen::dismiss()
{
    m_handedOver = true;
    m_timer1->stop();
    hide();
}
