#include "ScheduleKeeper.h"

#include "ExternalProgram.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

// A word of an ExecStart= line: quoted where it holds a blank or a quote, and with systemd's
// specifiers (%) and variables ($) doubled, so a site's or a home's name is taken as written.
QString systemdWord(QString word)
{
    word.replace(u"%"_s, u"%%"_s).replace(u"$"_s, u"$$"_s);
    static const QRegularExpression plain(u"^[A-Za-z0-9_@%+=:,./$-]+$"_s);
    if (plain.match(word).hasMatch())
        return word;
    return u'"' + word.replace(u"\\"_s, u"\\\\"_s).replace(u"\""_s, u"\\\""_s) + u'"';
}

QStringList systemdWords(const QString& line)
{
    QStringList words;
    QString word;
    bool inWord = false;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted && c == u'\\' && i + 1 < line.size()) {
            word += line.at(++i);
        } else if (c == u'"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && c.isSpace()) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words << word;
    for (QString& each : words)
        each.replace(u"%%"_s, u"%"_s).replace(u"$$"_s, u"$"_s);
    return words;
}

// A word of a crontab line for the shell cron hands it to; cron itself takes % for a new line.
QString shellWord(const QString& word)
{
    static const QRegularExpression plain(u"^[A-Za-z0-9_@+=:,./-]+$"_s);
    QString quoted =
        plain.match(word).hasMatch() ? word : u"'"_s + QString(word).replace(u"'"_s, u"'\\''"_s) + u"'"_s;
    return quoted.replace(u"%"_s, u"\\%"_s);
}

QStringList shellWords(const QString& line)
{
    QStringList words;
    QString word;
    bool inWord = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == u'\'') {
            const qsizetype close = line.indexOf(u'\'', i + 1);
            word += line.mid(i + 1, (close < 0 ? line.size() : close) - i - 1);
            i = close < 0 ? line.size() : close;
            inWord = true;
        } else if (c == u'\\' && i + 1 < line.size()) {
            word += line.at(++i);
            inWord = true;
        } else if (c.isSpace()) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words << word;
    return words;
}

QString unitName(int slot, const QString& suffix)
{
    return u"orvanta-%1.%2"_s.arg(slot).arg(suffix);
}

QString valueOf(const QString& unit, const QString& key)
{
    for (const QString& line : unit.split(u'\n')) {
        if (line.startsWith(key + u'='))
            return line.mid(key.size() + 1).trimmed();
    }
    return {};
}

bool writeFile(const QString& path, const QString& text, QString& error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) >= 0 && file.commit())
        return true;
    error = u"\"%1\" could not be written: %2"_s.arg(QDir::toNativeSeparators(path), file.errorString());
    return false;
}

bool systemctl(const QStringList& arguments, QString& error)
{
    const ExternalProgram::Finished done =
        ExternalProgram::run(u"systemctl"_s, QStringList{u"--user"_s} + arguments);
    if (done.succeeded())
        return true;
    error = u"systemctl --user %1 failed: %2"_s.arg(arguments.join(u' '),
                                                    done.started ? done.complaint() : u"not installed"_s);
    return false;
}

bool userManagerRuns()
{
    return QFileInfo(u"/run/systemd/system"_s).isDir() &&
           ExternalProgram::run(u"systemctl"_s, {u"--user"_s, u"show-environment"_s}).succeeded();
}

QString commentOf(int slot)
{
    return u"# orvanta slot %1: "_s.arg(slot);
}

} // namespace

std::unique_ptr<ScheduleKeeper> ScheduleKeeper::forThisMachine()
{
    const QByteArray chosen = qgetenv("ORVANTA_SCHEDULER");
    if (chosen == "systemd" || (chosen != "crontab" && userManagerRuns()))
        return std::make_unique<SystemdTimers>();
    return std::make_unique<CrontabBlock>();
}

bool ScheduleKeeper::find(int slot, std::optional<Kept>& found, QString& error) const
{
    QList<Kept> kept;
    found.reset();
    if (!list(kept, error))
        return false;
    for (const Kept& each : std::as_const(kept)) {
        if (each.schedule.slot == slot)
            found = each;
    }
    return true;
}

QString SystemdTimers::unitDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/systemd/user"_s;
}

QString SystemdTimers::serviceText(const Schedule& schedule, const QString& program)
{
    QStringList command{systemdWord(program)};
    for (const QString& word : schedule.submitArguments())
        command << systemdWord(word);
    return u"[Unit]\n"
           u"Description=Orvanta: the scheduled run of profile slot %1\n"
           u"\n"
           u"[Service]\n"
           u"Type=oneshot\n"
           u"ExecStart=%2\n"
           u"Nice=10\n"
           u"IOSchedulingClass=idle\n"_s.arg(schedule.slot)
               .arg(command.join(u' '));
}

QString SystemdTimers::timerText(const Schedule& schedule)
{
    return u"[Unit]\n"
           u"Description=Orvanta: when profile slot %1 runs\n"
           u"\n"
           u"[Timer]\n"
           u"OnCalendar=%2\n"
           u"Persistent=true\n"
           u"RandomizedDelaySec=5min\n"
           u"\n"
           u"[Install]\n"
           u"WantedBy=timers.target\n"_s.arg(schedule.slot)
               .arg(schedule.calendar);
}

bool SystemdTimers::list(QList<Kept>& kept, QString& error) const
{
    const QDir directory(unitDirectory());
    for (const QFileInfo& timer : directory.entryInfoList({u"orvanta-*.timer"_s}, QDir::Files, QDir::Name)) {
        QFile timerFile(timer.filePath());
        QFile serviceFile(directory.filePath(timer.completeBaseName() + u".service"_s));
        if (!timerFile.open(QIODevice::ReadOnly) || !serviceFile.open(QIODevice::ReadOnly)) {
            error =
                u"\"%1\" or its service cannot be read."_s.arg(QDir::toNativeSeparators(timer.filePath()));
            return false;
        }
        const QStringList command =
            systemdWords(valueOf(QString::fromUtf8(serviceFile.readAll()), u"ExecStart"_s));
        std::optional<Schedule> schedule = Schedule::fromSubmitArguments(command.mid(1));
        if (!schedule)
            continue; // not ours, for all its name
        schedule->calendar = valueOf(QString::fromUtf8(timerFile.readAll()), u"OnCalendar"_s);
        kept << Kept{*schedule, command.first(), kind() + u' ' + timer.fileName()};
    }
    std::sort(kept.begin(), kept.end(),
              [](const Kept& a, const Kept& b) { return a.schedule.slot < b.schedule.slot; });
    return true;
}

bool SystemdTimers::set(const Schedule& schedule, const QString& program, QString& error)
{
    const QDir directory(unitDirectory());
    if (!directory.mkpath(u"."_s)) {
        error = u"\"%1\" could not be made."_s.arg(QDir::toNativeSeparators(directory.path()));
        return false;
    }
    // The units as they were, put back when the user manager does not take the new ones up, so
    // that a schedule that never runs is never listed as kept.
    QHash<QString, QByteArray> before;
    for (const QString& suffix : {u"service"_s, u"timer"_s}) {
        QFile unit(directory.filePath(unitName(schedule.slot, suffix)));
        if (unit.open(QIODevice::ReadOnly))
            before.insert(unit.fileName(), unit.readAll());
    }
    if (writeFile(directory.filePath(unitName(schedule.slot, u"service"_s)), serviceText(schedule, program),
                  error) &&
        writeFile(directory.filePath(unitName(schedule.slot, u"timer"_s)), timerText(schedule), error) &&
        systemctl({u"daemon-reload"_s}, error) &&
        systemctl({u"enable"_s, u"--now"_s, unitName(schedule.slot, u"timer"_s)}, error))
        return true;
    for (const QString& suffix : {u"service"_s, u"timer"_s}) {
        const QString path = directory.filePath(unitName(schedule.slot, suffix));
        QString ignored;
        if (before.contains(path))
            writeFile(path, QString::fromUtf8(before.value(path)), ignored);
        else
            QFile::remove(path);
    }
    QString ignored;
    systemctl({u"daemon-reload"_s}, ignored);
    return false;
}

bool SystemdTimers::remove(int slot, bool& found, QString& error)
{
    const QDir directory(unitDirectory());
    found = directory.exists(unitName(slot, u"timer"_s));
    if (!found)
        return true;
    if (!systemctl({u"disable"_s, u"--now"_s, unitName(slot, u"timer"_s)}, error))
        return false;
    for (const QString& suffix : {u"timer"_s, u"service"_s}) {
        if (directory.exists(unitName(slot, suffix)) &&
            !QFile::remove(directory.filePath(unitName(slot, suffix)))) {
            error = u"\"%1\" could not be removed."_s.arg(
                QDir::toNativeSeparators(directory.filePath(unitName(slot, suffix))));
            return false;
        }
    }
    return systemctl({u"daemon-reload"_s}, error);
}

QString SystemdTimers::outputNote(int slot) const
{
    return u"and in the journal: journalctl --user -u %1"_s.arg(unitName(slot, u"service"_s));
}

QString CrontabBlock::withBlock(const QString& crontab, const QStringList& entries)
{
    QStringList lines = crontab.split(u'\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    const qsizetype first = lines.indexOf(begin);
    const qsizetype last = first < 0 ? -1 : lines.indexOf(end, first);
    QStringList block;
    if (!entries.isEmpty())
        block << begin << entries << end;
    if (first < 0 || last < 0) {
        lines << block;
    } else {
        lines.remove(first, last - first + 1);
        for (qsizetype i = 0; i < block.size(); ++i)
            lines.insert(first + i, block.at(i));
    }
    return lines.isEmpty() ? QString() : lines.join(u'\n') + u'\n';
}

QStringList CrontabBlock::blockOf(const QString& crontab)
{
    const QStringList lines = crontab.split(u'\n');
    const qsizetype first = lines.indexOf(begin);
    const qsizetype last = first < 0 ? -1 : lines.indexOf(end, first);
    return last < 0 ? QStringList() : lines.mid(first + 1, last - first - 1);
}

QString CrontabBlock::entryText(const Schedule& schedule, const QString& program, const QString& fields)
{
    QStringList command{shellWord(program)};
    for (const QString& word : schedule.submitArguments())
        command << shellWord(word);
    return commentOf(schedule.slot) + schedule.calendar + u'\n' + fields + u' ' + command.join(u' ');
}

QString CrontabBlock::refusalOf(const Calendar::Reading& reading) const
{
    QString reason;
    Calendar::cronFields(reading.normalized, reason);
    return reason;
}

bool CrontabBlock::list(QList<Kept>& kept, QString& error) const
{
    QString crontab;
    if (!read(crontab, error))
        return false;
    const QStringList block = blockOf(crontab);
    for (qsizetype i = 0; i + 1 < block.size(); ++i) {
        static const QRegularExpression comment(u"^# orvanta slot (\\d+): (.*)$"_s);
        const QRegularExpressionMatch match = comment.match(block.at(i));
        if (!match.hasMatch())
            continue;
        // Cron turns \% back into % before the shell reads the line.
        const QStringList command = shellWords(QString(block.at(i + 1)).replace(u"\\%"_s, u"%"_s)).mid(5);
        std::optional<Schedule> schedule = Schedule::fromSubmitArguments(command.mid(1));
        if (!schedule)
            continue;
        schedule->calendar = match.captured(2);
        kept << Kept{*schedule, command.first(), kind()};
    }
    return true;
}

bool CrontabBlock::set(const Schedule& schedule, const QString& program, QString& error)
{
    QString crontab;
    if (!read(crontab, error))
        return false;
    const Calendar::Reading reading = Calendar::read(schedule.calendar, 1);
    const std::optional<QString> fields = Calendar::cronFields(reading.normalized, error);
    if (!fields)
        return false;
    QStringList entries;
    bool replaced = false;
    const QStringList block = blockOf(crontab);
    for (qsizetype i = 0; i < block.size(); ++i) {
        if (block.at(i).startsWith(commentOf(schedule.slot))) {
            entries << entryText(schedule, program, *fields);
            replaced = true;
            ++i; // its command line
        } else {
            entries << block.at(i);
        }
    }
    if (!replaced)
        entries << entryText(schedule, program, *fields);
    return write(withBlock(crontab, entries), error);
}

bool CrontabBlock::remove(int slot, bool& found, QString& error)
{
    QString crontab;
    if (!read(crontab, error))
        return false;
    QStringList entries;
    const QStringList block = blockOf(crontab);
    found = false;
    for (qsizetype i = 0; i < block.size(); ++i) {
        if (block.at(i).startsWith(commentOf(slot))) {
            found = true;
            ++i;
        } else {
            entries << block.at(i);
        }
    }
    return !found || write(withBlock(crontab, entries), error);
}

bool CrontabBlock::read(QString& crontab, QString& error) const
{
    const ExternalProgram::Finished listed = ExternalProgram::run(u"crontab"_s, {u"-l"_s});
    if (!listed.started) {
        error = u"Neither a systemd user manager nor crontab is here to start a schedule's runs."_s;
        return false;
    }
    // A user without a crontab yet: crontab says so and fails.
    if (!listed.succeeded() && !listed.err.contains("no crontab")) {
        error = u"crontab -l failed: %1"_s.arg(listed.complaint());
        return false;
    }
    crontab = listed.succeeded() ? QString::fromLocal8Bit(listed.out) : QString();
    return true;
}

bool CrontabBlock::write(const QString& crontab, QString& error)
{
    const ExternalProgram::Finished written =
        ExternalProgram::run(u"crontab"_s, {u"-"_s}, crontab.toLocal8Bit());
    if (written.succeeded())
        return true;
    error = u"crontab - failed: %1"_s.arg(written.complaint());
    return false;
}
