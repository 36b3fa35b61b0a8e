#pragma once

#include <QFile>
#include <QIODevice>
#include <QString>

// schedule.log in the home: what every scheduled run printed, each beginning with its time line.
// It stays small on a machine nobody looks after: past 2 MB it is cut to its last 1 MB, from the
// start of a line.
namespace ScheduleLog {

inline constexpr qint64 cutAbove = 2 * 1024 * 1024;
inline constexpr qint64 keptWhenCut = 1024 * 1024;

// Opens the log for appending, cut first when it has grown too long.
bool open(QFile& log, QString& error);

} // namespace ScheduleLog

// Everything written goes to both devices: a run's output to its terminal and to the log.
class CopiedOutput final : public QIODevice
{
public:
    CopiedOutput(QIODevice& first, QIODevice& second);

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    QIODevice& m_first;
    QIODevice& m_second;
};
