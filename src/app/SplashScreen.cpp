#include "SplashScreen.h"

#include "ui_SplashScreen.h"

#include <QIcon>
#include <QScreen>

using namespace Qt::StringLiterals;

SplashScreen::SplashScreen(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), ui(std::make_unique<Ui::SplashScreen>()),
      m_handOverTimer(new QTimer(this))
{
    ui->setupUi(this);
    setWindowIcon(QIcon(u":/images/orvanta.png"_s));
    // Through QIcon, which takes the picture drawn for the screen's scale (splash@2x.jpg at 2x).
    ui->Image1->setPixmap(QIcon(u":/images/splash.jpg"_s).pixmap(ui->Image1->size(), devicePixelRatioF()));
    m_handOverTimer->setInterval(1000);
    connect(m_handOverTimer, &QTimer::timeout, this, &SplashScreen::onTick);
}

SplashScreen::~SplashScreen() = default;

void SplashScreen::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The hand-over clock starts when the splash first appears.
    if (!m_shownOnce) {
        m_shownOnce = true;
        if (const QScreen* shown = screen())
            move(shown->availableGeometry().center() - rect().center());
        m_handOverTimer->start();
    }
}

void SplashScreen::onTick()
{
    if (m_handedOver)
        return;
    m_handedOver = true;
    hide();
    emit mainWindowDue();
    m_handOverTimer->stop();
    deleteLater();
}

void SplashScreen::dismiss()
{
    m_handedOver = true;
    m_handOverTimer->stop();
    hide();
}
