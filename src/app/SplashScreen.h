#pragma once

#include <QTimer>
#include <QWidget>

#include <memory>

namespace Ui {
class SplashScreen;
}

// The first window: product picture, name, maker and a legal notice. One second after it is
// shown, and never before start-up has given the event loop back, it hands over to the main
// window, once, and goes away.
class SplashScreen final : public QWidget
{
    Q_OBJECT

public:
    explicit SplashScreen(QWidget* parent = nullptr);
    ~SplashScreen() override;

    // Withdraws the splash without handing over, when start-up has failed.
    void dismiss();

    // The hand-over, on the first tick of the splash's one-second timer.
    void onTick();

signals:
    void mainWindowDue();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::SplashScreen> ui;
    QTimer* m_handOverTimer;
    bool m_shownOnce = false;
    bool m_handedOver = false;
};
