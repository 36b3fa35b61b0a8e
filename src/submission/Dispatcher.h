#pragma once

#include <QObject>

class SocketSlot;
class SubmissionRun;

// The run's one-second tick: shows how many sites are left, honours a stop request, hands the
// next sites to the free slots in slot order, and completes the run once the list is empty and
// every slot is idle. Ticks that fall due while its own question is open are held back.
class Dispatcher final : public QObject
{
    Q_OBJECT

public:
    explicit Dispatcher(SubmissionRun& run, QObject* parent = nullptr);

    void Timer1_Timer();

private:
    void dispatch(SocketSlot& slot);
    void cancelSequence();
    void completionSequence();
    void resetSlots();

    SubmissionRun& m_run;
    bool m_inTick = false;
};
