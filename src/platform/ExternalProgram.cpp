#include "ExternalProgram.h"

#include <QProcess>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

QString ExternalProgram::Finished::complaint() const
{
    const QByteArray said = err.trimmed().isEmpty() ? out.trimmed() : err.trimmed();
    return QString::fromLocal8Bit(said);
}

bool ExternalProgram::installed(const QString& program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

ExternalProgram::Finished ExternalProgram::run(const QString& program, const QStringList& arguments,
                                               const QByteArray& input, std::chrono::milliseconds patience)
{
    Finished finished;
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        return finished;
    QProcess process;
    process.start(path, arguments);
    if (!process.waitForStarted())
        return finished;
    finished.started = true;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(int(patience.count()))) {
        process.kill();
        process.waitForFinished();
    }
    finished.out = process.readAllStandardOutput();
    finished.err = process.readAllStandardError();
    if (process.exitStatus() == QProcess::NormalExit)
        finished.exitCode = process.exitCode();
    return finished;
}
