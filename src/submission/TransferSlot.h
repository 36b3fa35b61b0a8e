#pragma once

#include <QObject>
#include <QString>

struct TransferRequest;

enum class Outcome { Succeeded, Failed };

/// One HTTP transfer at a time. execute() returns at once; every transfer that is not cancelled
/// ends with exactly one finished(), from the event loop: Succeeded, perhaps with a note on what
/// the site said, or Failed with a detail that says why. A cancelled transfer reports nothing. The real slot
/// is HttpTransferSlot; scheduling tests may use a scripted one.
class TransferSlot : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    Q_DISABLE_COPY_MOVE(TransferSlot)

    virtual void execute(const TransferRequest& request) = 0;
    /// True from execute() until the transfer has ended or has been cancelled.
    virtual bool stillExecuting() const = 0;
    virtual void cancel() = 0;

signals:
    void finished(Outcome outcome, const QString& detail);
};
