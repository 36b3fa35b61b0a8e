#pragma once

#include <QObject>
#include <QString>

class TransferSlot;

// One of the five transfer slots of a run: its caption (the site it carries), its status word
// (the slot's state), its lamp, and the transfer that does the work.
class SocketSlot final : public QObject
{
    Q_OBJECT

public:
    static inline const QString listening = QStringLiteral("Listening");
    static inline const QString working = QStringLiteral("Working");
    static inline const QString successful = QStringLiteral("Submission Successful");
    static inline const QString connectionError = QStringLiteral("Connection Error");

    SocketSlot(int number, TransferSlot& transfer, QObject* parent = nullptr);

    int number() const { return m_number; }
    QString caption() const { return m_caption; }
    QString status() const { return m_status; }
    bool lampGreen() const { return m_lampGreen; }
    TransferSlot& transfer() const { return m_transfer; }

    // Not working: what the end of a run waits for.
    bool isIdle() const;
    // May take the next site: a failed slot only once its transfer has really stopped.
    bool isFree() const;

    void startWorking(const QString& siteName);
    void finish(bool success);
    void reset();

signals:
    void changed();
    void transferEnded(SocketSlot* slot, int state);

private:
    const int m_number;
    TransferSlot& m_transfer;
    QString m_caption;
    QString m_status;
    bool m_lampGreen = false;
};
