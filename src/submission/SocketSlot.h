#pragma once

#include "TransferSlot.h"

#include <QString>

// One of the five transfer slots of a run: its caption (the site it carries), its status word,
// its lamp, and the transfer that does the work.
class SocketSlot
{
public:
    static inline const QString listening = QStringLiteral("Listening");
    static inline const QString working = QStringLiteral("Working");
    static inline const QString successful = QStringLiteral("Submission Successful");
    static inline const QString connectionError = QStringLiteral("Connection Error");

    SocketSlot(int number, TransferSlot& transfer);

    int number() const { return m_number; }
    QString caption() const { return m_caption; }
    QString status() const { return m_status; }
    bool lampGreen() const { return m_lampGreen; }
    TransferSlot& transfer() const { return m_transfer; }

    // Not working: what the end of a run waits for.
    bool isIdle() const { return m_status != working; }
    // May take the next site: a failed slot only once its transfer has really stopped.
    bool isFree() const;

    void startWorking(const QString& siteName);
    void finish(Outcome outcome);
    // Back to its first caption and "Listening"; the lamp stays as it is.
    void reset();

private:
    int m_number;
    TransferSlot& m_transfer;
    QString m_caption;
    QString m_status = listening;
    bool m_lampGreen = false;
};
