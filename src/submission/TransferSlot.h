#pragma once

#include <QObject>
#include <QString>

struct TransferRequest;

enum class Outcome { Succeeded, Failed };

// How a transfer ended, as the site's answer rule reads it.
struct Verdict
{
    Outcome outcome = Outcome::Failed;
    QString detail{};     // why it failed, or a note on a success; empty for a plain success
    int status = 0;       // the HTTP status; 0 when no complete answer came
    QString retryAfter{}; // the answer's Retry-After, when it asks to slow down
    QByteArray answer{};  // the answer's body, where a record is made of it (Google's sitemap status)
};

/// One HTTP transfer at a time. execute() returns at once; every transfer that is not cancelled
/// ends with exactly one finished(), from the event loop, with its verdict: Succeeded, perhaps with
/// a note on what the site said, or Failed with a detail that says why. A cancelled transfer reports nothing.
/// The real slot is HttpTransferSlot; scheduling tests may use a scripted one.
class TransferSlot : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    Q_DISABLE_COPY_MOVE(TransferSlot)

    virtual void execute(const TransferRequest& request) = 0;
    /// True from execute() until the transfer has ended or has been cancelled.
    virtual bool isBusy() const = 0;
    virtual void cancel() = 0;

signals:
    void finished(const Verdict& verdict);
};
