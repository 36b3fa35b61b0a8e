#pragma once

#include <QObject>
#include <QString>

struct TransferRequest;

/// One HTTP transfer at a time. execute() returns at once; every transfer that is not cancelled
/// ends with exactly one stateChanged(): icError with an errorDetail(), or icResponseCompleted.
/// A cancelled transfer reports nothing. The real slot is HttpTransferSlot; scheduling tests may
/// use a scripted one.
class TransferSlot : public QObject
{
    Q_OBJECT

public:
    static constexpr int icError = 11;
    static constexpr int icResponseCompleted = 12;

    using QObject::QObject;

    virtual void execute(const TransferRequest& request) = 0;
    /// True from execute() until the transfer has ended or has been cancelled.
    virtual bool stillExecuting() const = 0;
    virtual void cancel() = 0;
    /// What went wrong with the last transfer that ended in icError.
    virtual QString errorDetail() const = 0;

signals:
    void stateChanged(int state);
};
