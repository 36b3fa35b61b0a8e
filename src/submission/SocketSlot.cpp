#include "SocketSlot.h"

#include "TransferSlot.h"

using namespace Qt::StringLiterals;

SocketSlot::SocketSlot(int number, TransferSlot& transfer, QObject* parent)
    : QObject(parent), m_number(number), m_transfer(transfer), m_caption(u"Socket %1"_s.arg(number)),
      m_status(listening)
{
    connect(&m_transfer, &TransferSlot::stateChanged, this,
            [this](int state) { emit transferEnded(this, state); });
}

bool SocketSlot::isIdle() const
{
    return m_status == listening || m_status == successful || m_status == connectionError;
}

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
    emit changed();
}

void SocketSlot::finish(bool success)
{
    m_status = success ? successful : connectionError;
    m_lampGreen = false;
    emit changed();
}

void SocketSlot::reset()
{
    m_caption = u"Socket %1"_s.arg(m_number);
    m_status = listening;
    emit changed();
}
