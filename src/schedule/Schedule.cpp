#include "Schedule.h"

using namespace Qt::StringLiterals;

QStringList Schedule::submitArguments() const
{
    QStringList words{u"submit"_s, u"--profile-slot"_s, QString::number(slot)};
    switch (sites) {
    case Sites::All:
        words << u"--all"_s;
        break;
    case Sites::Type:
        words << u"--type"_s << type;
        break;
    case Sites::Named:
        for (const QString& name : names)
            words << u"--site"_s << name;
        break;
    }
    if (changedPages)
        words << u"--changed-pages"_s;
    words << u"--quiet"_s << u"--schedule-log"_s;
    if (!home.isEmpty())
        words << u"--home"_s << home;
    return words;
}

std::optional<Schedule> Schedule::fromSubmitArguments(const QStringList& arguments)
{
    if (arguments.value(0) != u"submit"_s)
        return std::nullopt;
    Schedule schedule;
    bool sitesGiven = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& word = arguments.at(i);
        const bool valued =
            word == u"--profile-slot"_s || word == u"--type"_s || word == u"--site"_s || word == u"--home"_s;
        if (valued && i + 1 >= arguments.size())
            return std::nullopt;
        if (word == u"--profile-slot"_s) {
            schedule.slot = arguments.at(++i).toInt();
        } else if (word == u"--all"_s && !sitesGiven) {
            sitesGiven = true;
        } else if (word == u"--type"_s && !sitesGiven) {
            schedule.sites = Sites::Type;
            schedule.type = arguments.at(++i);
            sitesGiven = true;
        } else if (word == u"--site"_s && schedule.sites == Sites::Named) {
            schedule.names << arguments.at(++i);
        } else if (word == u"--site"_s && !sitesGiven) {
            schedule.sites = Sites::Named;
            schedule.names << arguments.at(++i);
            sitesGiven = true;
        } else if (word == u"--changed-pages"_s) {
            schedule.changedPages = true;
        } else if (word == u"--home"_s) {
            schedule.home = arguments.at(++i);
        } else if (word != u"--quiet"_s && word != u"--schedule-log"_s) {
            return std::nullopt;
        }
    }
    if (schedule.slot < 1 || !sitesGiven)
        return std::nullopt;
    return schedule;
}

QString Schedule::sitesText() const
{
    switch (sites) {
    case Sites::All:
        return u"every site"_s;
    case Sites::Type:
        return type == u"engine"_s ? u"the engines"_s : type == u"list"_s ? u"the lists"_s : type;
    case Sites::Named:
        break;
    }
    return names.join(u", "_s);
}

QString Schedule::modeText() const
{
    return changedPages ? u"changed pages"_s : u"the profile's address"_s;
}
