#include "RunPlan.h"

#include "ContentFingerprint.h"
#include "HistoryDatabase.h"
#include "PageLedger.h"
#include "PageList.h"
#include "WebAddress.h"
#include "Wording.h"

#include <QDateTime>
#include <QMap>
#include <QSet>
#include <QTimeZone>

using namespace Qt::StringLiterals;

namespace {

const QString excludedReason = u"excluded by the profile"_s;

// What stays back for one site, as its summary line counts it.
struct Outcome
{
    int toSend = 0;
    int removals = 0;
    int batches = 0;
    QMap<QString, int> leftOut; // by reason
    int listedButGone = 0;
    int listedStillGone = 0; // announced as removed by an earlier run
    int goneRemoved = 0;
    int stillServed = 0;
    int deferred = 0;                     // not checked yet: neither sent nor left out
    QMap<QString, int> notForEveryEngine; // sent, but some crawlers may not index them: by why
    // Of the pages judged by their content: changed and going out, unchanged (answered 304 among
    // them), changed within the cool-down, and not read at all (the check is off).
    int byContent = 0;
    int unchangedContent = 0;
    int notModified = 0;
    int coolingDown = 0;
    int notRead = 0;
};

QString siteLine(const QString& site, const PagePlan& plan, const Outcome& outcome, ChangeSignal signal)
{
    // Pages that all stay back are no "nothing changed": say how many there were.
    int heldBack = outcome.stillServed + outcome.listedStillGone;
    for (const int count : outcome.leftOut)
        heldBack += count;
    QString line = outcome.toSend + outcome.removals > 0 ? QString()
                   : outcome.deferred > 0 ? u"%1: nothing to send yet: %2 not checked yet"_s.arg(
                                                site, counted(outcome.deferred, u"%1 page"_s, u"%1 pages"_s))
                   : heldBack == 0
                       ? u"%1: no page changed since the last run, nothing to send"_s.arg(site)
                       : u"%1: nothing to send: %2 left out"_s.arg(
                             site, heldBack == 1 ? u"the 1 page to announce was"_s
                                                 : u"all %1 pages to announce were"_s.arg(heldBack));
    if (line.isEmpty())
        line = u"%1: %2%3 to send in %4"_s.arg(
            site, counted(outcome.toSend, u"%1 new or changed page"_s, u"%1 new or changed pages"_s),
            outcome.removals == 0
                ? QString()
                : u" and %1"_s.arg(counted(outcome.removals, u"%1 removed page"_s, u"%1 removed pages"_s)),
            counted(outcome.batches, u"%1 request"_s, u"%1 requests"_s));
    line += u" (%1 unchanged"_s.arg(plan.unchanged + outcome.unchangedContent);
    if (const int coolingDown = plan.coolingDown + outcome.coolingDown; coolingDown > 0)
        line += u", %1 changed but sent within the cool-down"_s.arg(coolingDown);
    line += u')';
    if (signal != ChangeSignal::LastModified) {
        const int changed = outcome.byContent + plan.changedByLastmod;
        if (changed > 0)
            line += u"; %1 changed (%2 by content, %3 by lastmod)"_s.arg(changed)
                        .arg(outcome.byContent)
                        .arg(plan.changedByLastmod);
        if (outcome.notModified > 0)
            line += (changed > 0 ? u", "_s : u"; "_s) + u"%1 answered 304"_s.arg(outcome.notModified);
        if (outcome.notRead > 0)
            line += u"; %1 judged by content not read, since pages are not checked"_s.arg(outcome.notRead);
    }
    QStringList reasons;
    for (auto reason = outcome.leftOut.cbegin(); reason != outcome.leftOut.cend(); ++reason)
        reasons << u"%1 %2"_s.arg(reason.value()).arg(reason.key());
    if (!reasons.isEmpty())
        line += u"; left out: "_s + reasons.join(u", "_s);
    if (outcome.listedButGone > 0)
        line += u"; %1 listed but gone, announced as removed"_s.arg(outcome.listedButGone);
    if (outcome.listedStillGone > 0)
        line += u"; %1 listed but still gone, announced as removed before"_s.arg(outcome.listedStillGone);
    if (outcome.goneRemoved > 0)
        line += u"; %1 gone from the sitemaps, announced as removed"_s.arg(outcome.goneRemoved);
    if (outcome.stillServed > 0)
        line += u"; %1 left the sitemaps but still served"_s.arg(outcome.stillServed);
    for (auto partly = outcome.notForEveryEngine.cbegin(); partly != outcome.notForEveryEngine.cend();
         ++partly)
        line += u"; %1 for the engines that may index %2 (%3)"_s.arg(
            counted(partly.value(), u"%1 page sent"_s, u"%1 pages sent"_s),
            partly.value() == 1 ? u"it"_s : u"them"_s, partly.key());
    return line + u'.';
}

void appendBatches(QList<WorkItem>& items, const RunPlan::Site& site, const QList<QList<qsizetype>>& pieces,
                   const std::shared_ptr<const PageList>& pages,
                   const std::shared_ptr<std::vector<qint64>>& ids, bool removal, int& number, int count,
                   const std::shared_ptr<const std::vector<qint64>>& fingerprints = nullptr)
{
    for (const QList<qsizetype>& piece : pieces) {
        items.append(
            WorkItem{site.name,
                     std::make_shared<const PageBatch>(PageBatch{
                         pages, ids, piece, ++number, count, site.indexNowEndpoint, removal, fingerprints}),
                     site.row});
    }
}

} // namespace

RunPlan RunPlanner::compare(const Input& input)
{
    RunPlan plan;
    plan.changedPages = true;
    plan.changeSignal = input.changeSignal;
    plan.pages = input.pages;
    plan.website = input.website;
    plan.summary << input.sitemapSummary;
    QString error;
    const std::unique_ptr<HistoryDatabase> history =
        HistoryDatabase::open(input.historyFile, HistoryDatabase::Mode::OpenExisting, error);
    if (!error.isEmpty()) {
        plan.error = error + u" Without it, what changed is not known."_s;
        return plan;
    }
    std::optional<PageLedger> ledger;
    if (history)
        ledger.emplace(*history);
    plan.pageIds = std::make_shared<std::vector<qint64>>(size_t(input.pages->size()), 0);
    plan.checkedPages = std::make_shared<PageList>();
    plan.checkedIds = std::make_shared<std::vector<qint64>>();
    // Unchecked (--no-check), the pages are never fetched: no second list of them is made, which
    // for a million new pages is a second copy of every address.
    const auto toCheck = [&plan, &input](QByteArrayView url, qint64 lastModified, qint64 id) {
        if (input.checkPages && plan.checkedPages->add(url, lastModified))
            plan.checkedIds->push_back(id);
    };
    if (!input.patterns.isEmpty()) {
        for (qsizetype page = 0; page < input.pages->size(); ++page) {
            const QByteArrayView url = input.pages->url(page);
            if (!input.patterns.admits(url.sliced(WebAddress::originOf(url).size())))
                plan.excluded << page;
        }
    }
    int sentInTheFuture = 0;
    for (RunPlan::Site site : input.sites) {
        if (!site.indexNowEndpoint.isEmpty()) {
            if (ledger) {
                site.pages =
                    ChangedPages::plan(*input.pages, *ledger, input.website, site.indexNowEndpoint, input.now,
                                       input.coolDown, *plan.pageIds, input.changeSignal, &input.patterns);
            } else { // no history yet: every page is new
                for (qsizetype page = 0; page < input.pages->size(); ++page)
                    site.pages.pages.append(page);
                site.pages.found = site.pages.changed = int(input.pages->size());
            }
            if (!site.pages.error.isEmpty()) {
                plan.error =
                    u"The history \"%1\" cannot be read: %2. Without it, what changed is not known."_s.arg(
                        input.historyFile, site.pages.error);
                return plan;
            }
            sentInTheFuture += site.pages.sentInTheFuture;
            for (const qsizetype page : std::as_const(site.pages.pages))
                toCheck(input.pages->url(page), input.pages->lastModified(page),
                        (*plan.pageIds)[size_t(page)]);
            for (const PagePlan::Candidate& candidate : std::as_const(site.pages.byContent))
                toCheck(input.pages->url(candidate.page), input.pages->lastModified(candidate.page),
                        (*plan.pageIds)[size_t(candidate.page)]);
            for (qsizetype gone = 0; gone < site.pages.gone.size(); ++gone)
                toCheck(site.pages.gone.at(gone), PageList::unknownTime, site.pages.goneIds.at(gone));
        }
        plan.sites.append(site);
    }
    // Pages never checked go first (those a bounded check did not come to last time among
    // them), before pages checked on an earlier run that are still to announce.
    if (ledger && input.checkPages)
        plan.checkedBefore = ledger->lastChecks(*plan.checkedIds);
    if (const ChangedPages::FutureDates future = ChangedPages::datesInTheFuture(*input.pages, input.now);
        future.pages > 0)
        plan.summary << u"Suspect dates: %1 in the future (as late as %2), taken as changed now."_s.arg(
            counted(future.pages, u"%1 page has a last change"_s, u"%1 pages have a last change"_s),
            QDateTime::fromMSecsSinceEpoch(future.latest, QTimeZone::utc()).toString(u"yyyy-MM-dd"_s));
    if (sentInTheFuture > 0)
        plan.summary
            << u"Suspect dates: %1 recorded as sent at a time still to come (a clock that was ahead); "
               u"they are not held back by the cool-down."_s.arg(
                   counted(sentInTheFuture, u"%1 page was"_s, u"%1 pages were"_s));
    return plan;
}

QString RunPlanner::deferredLine(const RunPlan& plan)
{
    return u"%1 not checked yet: %2; they are checked first next run."_s.arg(
        counted(plan.deferred, u"%L1 page"_s, u"%L1 pages"_s), plan.deferredBecause);
}

QString RunPlanner::roundLine(const RunPlan& plan)
{
    // Each run reads those read longest ago first, so the round ends after the runs the rest take.
    const qsizetype left = plan.contentPages - plan.contentRead;
    return u"Content checked for %L1 of "_s.arg(plan.contentRead) +
           u"%1; %2."_s.arg(counted(plan.contentPages, u"%L1 page"_s, u"%L1 pages"_s),
                            plan.contentRead == 0 ? u"the round goes on next run"_s
                                                  : u"the round completes in about %1"_s.arg(counted(
                                                        (left + plan.contentRead - 1) / plan.contentRead,
                                                        u"%1 more run"_s, u"%1 more runs"_s)));
}

void RunPlanner::decide(RunPlan& plan, std::shared_ptr<const std::vector<PageVerdict>> verdicts)
{
    plan.verdicts = std::move(verdicts);
    plan.items.clear();
    plan.leftOut.clear();
    plan.removed.clear();
    QStringList lines;
    QSet<qsizetype> reported;          // a page is listed once, however many sites it was for
    QMap<qsizetype, QString> deferred; // checked pages the check did not come to, with why
    QSet<qsizetype> contentPages;      // checked pages judged by their content
    if (plan.verdicts && plan.changeSignal != ChangeSignal::LastModified)
        plan.pageFingerprints = std::make_shared<std::vector<qint64>>(size_t(plan.pages->size()), 0);
    const auto verdictOf = [&plan](QByteArrayView url) -> const PageVerdict& {
        return (*plan.verdicts)[size_t(plan.checkedPages->find(url))];
    };
    const auto report = [&](qsizetype checked, const QString& reason, const QString& detail,
                            QList<RunPlan::PageNote>& list) {
        if (!reported.contains(checked)) {
            reported.insert(checked);
            const bool asBefore = size_t(checked) < plan.checkedBefore.size() &&
                                  plan.checkedBefore[size_t(checked)].checked &&
                                  plan.checkedBefore[size_t(checked)].leftOut == reason;
            list.append({plan.checkedPages->urlText(checked), reason, detail, asBefore});
        }
    };
    // The user's own choice is never news: a quiet run counts these pages without listing them.
    for (const qsizetype page : std::as_const(plan.excluded))
        plan.leftOut.append({plan.pages->urlText(page), excludedReason, {}, true});
    bool indexNow = false;
    for (const RunPlan::Site& site : std::as_const(plan.sites)) {
        if (site.indexNowEndpoint.isEmpty()) {
            plan.items.append(WorkItem{site.name, nullptr, site.row});
            continue;
        }
        indexNow = true;
        Outcome outcome;
        if (site.pages.excluded > 0)
            outcome.leftOut[excludedReason] = site.pages.excluded;
        QList<qsizetype> send;     // in the sitemaps' pages
        QList<qsizetype> removals; // in the checked pages
        const auto sendChecked = [&](qsizetype page, const PageVerdict& verdict) {
            send << page;
            if (!verdict.exceptFor.isEmpty())
                ++outcome.notForEveryEngine[verdict.exceptFor];
            if (plan.pageFingerprints)
                (*plan.pageFingerprints)[size_t(page)] = ContentFingerprint::shortForm(verdict.fingerprint);
        };
        // A listed page that is not sent as it stands: why, as its check found.
        const auto holdBack = [&](qsizetype page, qsizetype checked, const PageVerdict& verdict) {
            if (verdict.kind == PageVerdict::Kind::Gone) {
                // The engine was told so already: once is enough.
                const bool told = site.pages.announcedRemoved.contains(page);
                if (told) {
                    ++outcome.listedStillGone;
                    report(checked, u"listed but gone"_s, verdict.detail + u", announced as removed before"_s,
                           plan.leftOut);
                } else {
                    removals << checked;
                    ++outcome.listedButGone;
                    report(checked, u"listed but gone"_s, verdict.detail, plan.removed);
                }
            } else if (verdict.kind == PageVerdict::Kind::Deferred) {
                ++outcome.deferred;
                deferred.insert(checked, verdict.detail);
            } else {
                ++outcome.leftOut[verdict.reason];
                report(checked, verdict.reason, verdict.detail, plan.leftOut);
            }
        };
        for (const qsizetype page : site.pages.pages) {
            if (!plan.verdicts) {
                send << page;
                continue;
            }
            const qsizetype checked = plan.checkedPages->find(plan.pages->url(page));
            const PageVerdict& verdict = (*plan.verdicts)[size_t(checked)];
            if (verdict.kind == PageVerdict::Kind::Indexable)
                sendChecked(page, verdict);
            else
                holdBack(page, checked, verdict);
        }
        // Sent when what it holds now is not what the engine was told: the version it accepted,
        // else (accepted before its content was read) the version read last. Read for the first
        // time, it is taken as what the engine holds.
        for (const PagePlan::Candidate& candidate : site.pages.byContent) {
            if (!plan.verdicts) {
                ++outcome.notRead;
                continue;
            }
            const qsizetype checked = plan.checkedPages->find(plan.pages->url(candidate.page));
            const PageVerdict& verdict = (*plan.verdicts)[size_t(checked)];
            contentPages.insert(checked);
            if (verdict.kind != PageVerdict::Kind::Indexable) {
                holdBack(candidate.page, checked, verdict);
                continue;
            }
            const qint64 now = ContentFingerprint::shortForm(verdict.fingerprint);
            const qint64 told =
                candidate.accepted != 0 || size_t(checked) >= plan.checkedBefore.size()
                    ? candidate.accepted
                    : ContentFingerprint::shortForm(plan.checkedBefore[size_t(checked)].fingerprint);
            if (now == 0 || told == 0 || now == told) {
                ++outcome.unchangedContent;
                outcome.notModified += verdict.notModified ? 1 : 0;
            } else if (candidate.coolingDown) {
                ++outcome.coolingDown;
            } else {
                ++outcome.byContent;
                sendChecked(candidate.page, verdict);
            }
        }
        for (const QByteArray& gone : std::as_const(site.pages.gone)) {
            if (!plan.verdicts)
                break; // unchecked, nothing is known to be gone
            const qsizetype checked = plan.checkedPages->find(gone);
            const PageVerdict& verdict = verdictOf(gone);
            if (verdict.kind == PageVerdict::Kind::Gone) {
                removals << checked;
                ++outcome.goneRemoved;
                report(checked, u"gone from the sitemaps"_s, verdict.detail, plan.removed);
            } else if (verdict.kind == PageVerdict::Kind::Deferred) {
                ++outcome.deferred;
                deferred.insert(checked, verdict.detail);
            } else if (verdict.kind == PageVerdict::Kind::Indexable) {
                ++outcome.stillServed;
                report(checked, u"left the sitemaps but still served"_s, verdict.detail, plan.leftOut);
            } else { // neither there nor gone for sure (a redirect, a 503): nothing to announce yet
                ++outcome.leftOut[verdict.reason];
                report(checked, verdict.reason, verdict.detail, plan.leftOut);
            }
        }
        const QList<QList<qsizetype>> sendPieces = ChangedPages::batches(send);
        const QList<QList<qsizetype>> removalPieces = ChangedPages::batches(removals);
        outcome.toSend = int(send.size());
        outcome.removals = int(removals.size());
        outcome.batches = int(sendPieces.size() + removalPieces.size());
        int number = 0;
        appendBatches(plan.items, site, sendPieces, plan.pages, plan.pageIds, false, number, outcome.batches,
                      plan.pageFingerprints);
        appendBatches(plan.items, site, removalPieces, plan.checkedPages, plan.checkedIds, true, number,
                      outcome.batches);
        lines << siteLine(site.name, site.pages, outcome, plan.changeSignal);
    }
    if (!indexNow)
        lines << u"Select an IndexNow site: only IndexNow sites take the pages."_s;
    plan.contentPages = contentPages.size();
    plan.contentRead = std::count_if(contentPages.cbegin(), contentPages.cend(),
                                     [&deferred](qsizetype checked) { return !deferred.contains(checked); });
    plan.deferred = deferred.size();
    if (!deferred.isEmpty()) {
        // Why, as the first of them says it: the budget, or the host that stopped answering.
        plan.deferredBecause = deferred.cbegin().value();
        lines << RunPlanner::deferredLine(plan);
    }
    if (plan.contentRead < plan.contentPages)
        lines << RunPlanner::roundLine(plan);
    // The sitemaps' line first, then the sites', then any suspect dates.
    plan.summary =
        QStringList{plan.summary.value(0)} + lines + plan.summary.mid(1).filter(u"Suspect dates"_s);
}
