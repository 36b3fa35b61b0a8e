#pragma once

#include "TransferSlot.h"

#include <QPointer>

#include <chrono>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// A transfer slot on a shared QNetworkAccessManager. Every transfer has a hard deadline (not
// only an inactivity time-out), the response body is thrown away as it arrives so memory stays
// bounded whatever a site sends, and an HTTP status of 400 or above counts as a failure.
class HttpTransferSlot final : public TransferSlot
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds defaultDeadline{20000};

    explicit HttpTransferSlot(QNetworkAccessManager& network,
                              std::chrono::milliseconds deadline = defaultDeadline,
                              QObject* parent = nullptr);
    ~HttpTransferSlot() override;

    void execute(const TransferRequest& request) override;
    bool stillExecuting() const override;
    void cancel() override;
    QString errorDetail() const override { return m_errorDetail; }

private:
    void replyFinished();
    void failWithoutTransfer(const QString& detail);
    void end(int state, const QString& detail);
    void releaseReply();

    QNetworkAccessManager& m_network;
    std::chrono::milliseconds m_deadline;
    QPointer<QNetworkReply> m_reply;
    QTimer* m_deadlineTimer;
    bool m_executing = false;
    bool m_timedOut = false;
    quint64 m_generation = 0; // tells a stale queued failure from the current transfer
    QString m_errorDetail;
};
