#pragma once

#include "TransferSlot.h"

// One of the run's five lanes: the transfer that does the work, which of the run's requests it
// carries, and how that request stands. How a lane looks (its caption, its words, its lamp) is
// the run panel's business.
class TransferLane
{
public:
    enum class State { Idle, Working, Succeeded, Failed };

    explicit TransferLane(TransferSlot& transfer) : m_transfer(transfer) {}

    TransferSlot& transfer() const { return m_transfer; }
    State state() const { return m_state; }
    // The request it carries or carried last, by its place in the run; -1 before the first.
    int request() const { return m_request; }

    bool isWorking() const { return m_state == State::Working; }
    // May take the next request: a failed lane only once its transfer has really stopped.
    bool isReady() const
    {
        return m_state == State::Idle || m_state == State::Succeeded ||
               (m_state == State::Failed && !m_transfer.isBusy());
    }

    void startWorking(int request)
    {
        m_request = request;
        m_state = State::Working;
    }
    void finish(Outcome outcome)
    {
        m_state = outcome == Outcome::Succeeded ? State::Succeeded : State::Failed;
    }
    void reset()
    {
        m_request = -1;
        m_state = State::Idle;
    }

private:
    TransferSlot& m_transfer;
    int m_request = -1;
    State m_state = State::Idle;
};
