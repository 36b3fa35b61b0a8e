#include "SocketSlot.h"

using namespace Qt::StringLiterals;

SocketSlot::SocketSlot(int number, TransferSlot& transfer)
    : m_number(number), m_transfer(transfer), m_caption(u"Socket %1"_s.arg(number))
{}

bool SocketSlot::isFree() const
{
    return m_status == listening || m_status == successful ||
           (m_status == connectionError && !m_transfer.stillExecuting());
}

void SocketSlot::startWorking(const QString& siteName)
{
    m_caption = siteName;
    m_status = working;
    m_lampGreen = true;
}

void SocketSlot::finish(Outcome outcome)
{
    m_status = outcome == Outcome::Succeeded ? successful : connectionError;
    m_lampGreen = false;
}

void SocketSlot::reset()
{
    m_caption = u"Socket %1"_s.arg(m_number);
    m_status = listening;
}
