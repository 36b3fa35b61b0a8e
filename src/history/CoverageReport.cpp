#include "CoverageReport.h"

#include "Csv.h"
#include "JsonOutput.h"
#include "PageVerdict.h"
#include "TimeText.h"
#include "Wording.h"

#include <QHash>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonObject>
#include <QTextStream>

using namespace Qt::StringLiterals;

QString CoverageReport::pagesText(const Coverage& coverage, QString (*time)(qint64))
{
    const QString website = QString::fromUtf8(coverage.website());
    if (coverage.listedAt() == 0)
        return u"No run has listed the pages of %1 yet."_s.arg(website);
    QString text = u"%1: %2 listed by its sitemaps at the last run (%3)"_s.arg(
        website, counted(coverage.pageCount() - coverage.removedSince(), u"%1 page"_s, u"%1 pages"_s),
        time(coverage.listedAt()));
    if (coverage.removedSince() > 0)
        text += u", and %1 since"_s.arg(
            counted(coverage.removedSince(), u"%1 page removed"_s, u"%1 pages removed"_s));
    return text + u'.';
}

QString CoverageReport::countsText(const Coverage::Counts& counts)
{
    // A baseline's pages are counted apart, where there are any: nothing was sent for them.
    const int recorded = counts[size_t(Coverage::State::Recorded)];
    return u"%1 accepted, %2%3 refused, %4 left out, %5 removed, %6 never announced"_s
        .arg(counts[size_t(Coverage::State::Accepted)])
        .arg(recorded == 0 ? QString() : u"%1 recorded as announced, "_s.arg(recorded))
        .arg(counts[size_t(Coverage::State::Refused)])
        .arg(counts[size_t(Coverage::State::LeftOut)])
        .arg(counts[size_t(Coverage::State::Removed)])
        .arg(counts[size_t(Coverage::State::Never)]);
}

void CoverageReport::writeText(const Coverage& coverage, const QStringList& names, QTextStream& out)
{
    out << u"Coverage of "_s << pagesText(coverage) << u'\n';
    if (coverage.listedAt() == 0)
        return;
    if (!coverage.changeSignal().isEmpty())
        out << u"Changed pages are told by %1; content read for %2.\n"_s.arg(
            coverage.changeSignal(), counted(coverage.contentRead(), u"%1 page"_s, u"%1 pages"_s));
    if (coverage.endpoints().isEmpty())
        out << u"None of them has been announced to a site yet.\n"_s;
    for (int endpoint = 0; endpoint < coverage.endpoints().size(); ++endpoint) {
        out << names.value(endpoint) << u": "_s << countsText(coverage.counts(endpoint)) << u".\n"_s;
        for (qsizetype page = 0; page < coverage.pageCount(); ++page) {
            const Coverage::Entry& entry = coverage.entry(endpoint, page);
            if (entry.state == Coverage::State::Accepted || entry.state == Coverage::State::Recorded ||
                entry.state == Coverage::State::Never)
                continue; // the ones that need a look
            out << u"   "_s << Coverage::stateName(entry.state).leftJustified(9) << u' '
                << QString::fromUtf8(coverage.url(page));
            if (const QString& reason = coverage.reason(entry); !reason.isEmpty())
                out << u" \u2014 "_s << reason;
            out << u'\n';
        }
    }
    if (!coverage.hasGoogle())
        return;
    // URL Inspection's answers: what Google made of the pages announced to any engine.
    const QMap<QString, int> google = coverage.googleCounts();
    QStringList counts;
    for (auto it = google.cbegin(); it != google.cend(); ++it)
        counts << u"%1 %2"_s.arg(it.value()).arg(it.key());
    out << u"Google (URL Inspection): "_s
        << (counts.isEmpty() ? u"no page inspected yet"_s : counts.join(u", "_s)) << u".\n"_s;
    for (qsizetype page = 0; page < coverage.pageCount(); ++page) {
        if (!coverage.googleText(page).isEmpty())
            out << u"   "_s << QString::fromUtf8(coverage.url(page)) << u" \u2014 "_s
                << coverage.googleText(page) << u'\n';
    }
}

int CoverageReport::writeCsvHeader(QTextStream& out)
{
    out << Csv::formatRecord({u"page"_s, u"site"_s, u"state"_s, u"reason"_s, u"last_accepted"_s, u"google"_s,
                              u"content_changed"_s});
    return 0;
}

int CoverageReport::writeCsv(const Coverage& coverage, const QStringList& names, const Filter& filter,
                             QTextStream& out, const std::function<bool(qint64 rows)>& goOn)
{
    writeCsvHeader(out);
    // The rows go out as UTF-8 in blocks, past the stream's character by character encoding:
    // a million of them are the export's whole cost.
    QByteArray block;
    const auto flush = [&out, &block] {
        out.flush();
        if (QIODevice* device = out.device())
            device->write(block);
        else
            out << QString::fromUtf8(block);
        block.clear();
    };
    std::array<QByteArray, Coverage::stateCount> stateNames;
    for (int state = 0; state < Coverage::stateCount; ++state)
        stateNames[size_t(state)] = Coverage::stateName(Coverage::State(state)).toUtf8();
    QHash<quint32, QByteArray> reasons;
    int rows = 0;
    for (int endpoint = 0; endpoint < coverage.endpoints().size(); ++endpoint) {
        if (filter.endpoint >= 0 && endpoint != filter.endpoint)
            continue;
        const QByteArray site = names.value(endpoint).toUtf8();
        for (qsizetype page = 0; page < coverage.pageCount(); ++page) {
            const Coverage::Entry& entry = coverage.entry(endpoint, page);
            if (filter.state && entry.state != *filter.state)
                continue;
            auto reason = reasons.constFind(entry.reason);
            if (reason == reasons.cend())
                reason = reasons.insert(entry.reason, coverage.reason(entry).toUtf8());
            Csv::appendSpreadsheetField(block, coverage.url(page));
            block += ',';
            Csv::appendSpreadsheetField(block, site);
            block += ',';
            block += stateNames[size_t(entry.state)];
            block += ',';
            Csv::appendSpreadsheetField(block, *reason);
            block += ',';
            TimeText::appendWritten(block, entry.lastAccepted);
            block += ',';
            if (const QString& google = coverage.googleText(page); !google.isEmpty())
                Csv::appendSpreadsheetField(block, google.toUtf8());
            block += ',';
            TimeText::appendWritten(block, coverage.contentChangedAt(page));
            block += "\r\n";
            if (block.size() >= 65536)
                flush();
            if (++rows % 4096 == 0 && goOn && !goOn(rows)) {
                block.clear();
                return -1;
            }
        }
    }
    flush();
    return rows;
}

QJsonObject CoverageReport::json(const Coverage& coverage, const QStringList& names, JsonPages detail)
{
    const qsizetype listed = coverage.listedAt() == 0 ? 0 : coverage.pageCount() - coverage.removedSince();
    QJsonObject document{{u"website"_s, QString::fromUtf8(coverage.website())},
                         {u"listed_at"_s, JsonOutput::moment(coverage.listedAt())},
                         {u"pages"_s, double(listed)},
                         {u"removed_since"_s, double(coverage.removedSince())},
                         {u"change_signal"_s, coverage.changeSignal()},
                         {u"content_read"_s, double(coverage.contentRead())}};
    QJsonArray sites;
    for (int endpoint = 0; endpoint < coverage.endpoints().size(); ++endpoint) {
        const Coverage::Counts counts = coverage.counts(endpoint);
        QJsonObject countsObject;
        for (int state = 0; state < Coverage::stateCount; ++state)
            countsObject.insert(Coverage::stateName(Coverage::State(state)), counts[size_t(state)]);
        QJsonObject site{{u"site"_s, names.value(endpoint)},
                         {u"endpoint"_s, coverage.endpoints().at(endpoint)},
                         {u"counts"_s, countsObject}};
        if (detail == JsonPages::Counts) {
            sites << site;
            continue;
        }
        // As the text: the pages that need a look.
        QJsonArray pages;
        for (qsizetype page = 0; page < coverage.pageCount(); ++page) {
            const Coverage::Entry& entry = coverage.entry(endpoint, page);
            if (entry.state != Coverage::State::Refused && entry.state != Coverage::State::LeftOut &&
                entry.state != Coverage::State::Removed)
                continue;
            const QString& reason = coverage.reason(entry);
            pages << QJsonObject{{u"page"_s, QString::fromUtf8(coverage.url(page))},
                                 {u"state"_s, Coverage::stateName(entry.state)},
                                 {u"reason"_s, reason},
                                 {u"code"_s, entry.state == Coverage::State::Refused ? u"refused"_s
                                             : entry.state == Coverage::State::Removed
                                                 ? u"gone"_s
                                                 : PageVerdict::reasonCode(reason)},
                                 {u"content_changed"_s, JsonOutput::moment(coverage.contentChangedAt(page))}};
        }
        site.insert(u"pages"_s, pages);
        sites << site;
    }
    document.insert(u"sites"_s, sites);
    if (detail == JsonPages::Counts)
        return document;
    QJsonValue google;
    if (coverage.hasGoogle()) {
        QJsonObject counts;
        const QMap<QString, int> byState = coverage.googleCounts();
        for (auto it = byState.cbegin(); it != byState.cend(); ++it)
            counts.insert(it.key(), it.value());
        QJsonArray pages;
        for (qsizetype page = 0; page < coverage.pageCount(); ++page) {
            if (!coverage.googleText(page).isEmpty())
                pages << QJsonObject{{u"page"_s, QString::fromUtf8(coverage.url(page))},
                                     {u"state"_s, coverage.googleState(page)},
                                     {u"text"_s, coverage.googleText(page)}};
        }
        google = QJsonObject{{u"counts"_s, counts}, {u"pages"_s, pages}};
    }
    document.insert(u"google"_s, google);
    return document;
}
