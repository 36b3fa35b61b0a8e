#include "HeadlessSubmission.h"

#include "ChangedPagesRun.h"
#include "EngineSelection.h"
#include "HistoryStore.h"
#include "HttpTransferSlot.h"
#include "ProfileStore.h"
#include "RequestPreview.h"
#include "RunRecorder.h"
#include "SettingsStore.h"
#include "SiteDatabase.h"
#include "SitemapReader.h"
#include "SubmissionRun.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

bool chooseSites(const HeadlessSubmission::Options& options, SiteDatabase& catalogue,
                 EngineSelection& selection, QTextStream& err)
{
    using HeadlessSubmission::Selection;
    switch (options.selection) {
    case Selection::All:
        selection.addAll();
        break;
    case Selection::Type:
        if (options.type != u"engine"_s && options.type != u"list"_s) {
            err << u"Unknown site type \"%1\": use engine or list.\n"_s.arg(options.type);
            return false;
        }
        selection.addType(options.type);
        break;
    case Selection::Sites:
        for (const QString& site : options.sites) {
            if (!catalogue.find(site)) {
                err << u"Unknown site \"%1\": it is not in the catalogue %2.\n"_s.arg(site, catalogue.path());
                return false;
            }
        }
        selection.setSelected(options.sites);
        break;
    }
    if (selection.selected().isEmpty()) {
        err << u"Nothing to submit: the selection is empty.\n"_s;
        return false;
    }
    return true;
}

bool findProfile(const QString& title, SettingsStore& settings, Profile& profile, QTextStream& err)
{
    const ProfileStore store(settings);
    QString error;
    const std::optional<int> slot = store.findNamed(title, error);
    if (!slot) {
        err << error << u'\n';
        return false;
    }
    profile = store.read(*slot);
    if (!profile.isComplete()) {
        err << u"The profile \"%1\" is incomplete; these fields are empty: %2.\n"_s.arg(
            profile.title, profile.emptyFields().join(u", "_s));
        return false;
    }
    return true;
}

} // namespace

namespace {

// The sitemap's pages, read with the network the run will use; none, with the reason on `err`,
// when they cannot be read.
std::shared_ptr<SitemapReader::Result> readSitemap(QNetworkAccessManager& network, const QString& address,
                                                   const QString& sitemap, QTextStream& out, QTextStream& err)
{
    const std::shared_ptr<SitemapReader::Result> result =
        SitemapReader::readNow(network, address, sitemap, SitemapReader::Limits());
    if (!result->error.isEmpty()) {
        err << result->error << u'\n';
        return nullptr;
    }
    out << result->summary() << u'\n';
    return result;
}

} // namespace

int HeadlessSubmission::run(const Options& options, SettingsStore& settings, QIODevice& outDevice,
                            QIODevice& errDevice)
{
    QTextStream out(&outDevice);
    QTextStream err(&errDevice);
    QString error;
    const std::unique_ptr<SiteDatabase> catalogue = SiteDatabase::open(options.catalogueFile, error);
    if (!catalogue) {
        err << error << u'\n';
        return badUsage;
    }
    Profile profile;
    EngineSelection selection(*catalogue);
    if (!findProfile(options.profileTitle, settings, profile, err) ||
        !chooseSites(options, *catalogue, selection, err))
        return badUsage;
    std::unique_ptr<HistoryStore> history;
    if (!options.historyFile.isEmpty()) {
        history = HistoryStore::open(options.historyFile, error);
        if (!history && options.changedPages) {
            err << error << u" Without it, what changed is not known.\n"_s;
            return badUsage;
        }
        if (!history)
            err << error << u" The run is not recorded.\n"_s;
    }

    QNetworkAccessManager network;
    QList<WorkItem> items;
    if (options.changedPages) {
        const std::shared_ptr<SitemapReader::Result> read =
            readSitemap(network, profile.value(ProfileField::Url), options.sitemap, out, err);
        if (!read)
            return someFailed;
        const auto pages = std::shared_ptr<const PageList>(read, &read->pages);
        const ChangedPagesRun plan =
            ChangedPagesRun::make(*catalogue, selection.selectedRows(), pages, *history, profile.title,
                                  options.clock().toMSecsSinceEpoch(), options.coolDown);
        for (const QString& line : plan.summary())
            out << line << u'\n';
        items = plan.items;
        if (items.isEmpty()) {
            out << u"Nothing to send.\n"_s;
            return allSucceeded;
        }
    }

    if (options.dryRun) {
        out.flush();
        if (options.changedPages)
            RequestPreview::writeItems(*catalogue, items, profile, outDevice);
        else
            RequestPreview::write(*catalogue, selection.selectedRows(), profile, outDevice);
        return allSucceeded;
    }

    std::array<std::unique_ptr<HttpTransferSlot>, SubmissionRun::slotCount> transferSlots;
    std::array<TransferSlot*, SubmissionRun::slotCount> transfers{};
    for (size_t k = 0; k < transferSlots.size(); ++k) {
        transferSlots[k] = std::make_unique<HttpTransferSlot>(network, options.transferDeadline);
        transfers[k] = transferSlots[k].get();
    }
    SubmissionRun run(*catalogue, transfers, options.logFile, options.clock);
    std::unique_ptr<RunRecorder> recorder;
    if (history)
        recorder = std::make_unique<RunRecorder>(run, *history, u"command line"_s, options.clock);
    int failed = 0;
    QEventLoop loop;
    QObject::connect(&run, &SubmissionRun::siteEnded, &run,
                     [&out](int, const QString& site, Outcome outcome, const QString& detail) {
                         if (outcome == Outcome::Succeeded)
                             out << u"OK      "_s << site << (detail.isEmpty() ? QString() : u": "_s + detail)
                                 << u'\n';
                         else
                             out << u"FAILED  "_s << site << u": "_s << detail << u'\n';
                         out.flush();
                     });
    QObject::connect(&run, &SubmissionRun::completed, &loop, [&](int succeeded, int failedCount) {
        failed = failedCount;
        out << u"Run log: "_s << run.logFile() << u'\n';
        out << u"%1 succeeded, %2 failed.\n"_s.arg(succeeded).arg(failedCount);
        loop.quit();
    });
    if (options.changedPages)
        run.start(items, profile);
    else
        run.start(selection.selected(), profile);
    loop.exec();
    if (recorder && !recorder->failure().isEmpty())
        err << u"The run could not be recorded in the history: %1.\n"_s.arg(recorder->failure());
    return failed == 0 ? allSucceeded : someFailed;
}
