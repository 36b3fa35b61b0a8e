#include "HeadlessSubmission.h"

#include "EngineSelection.h"
#include "HttpTransferSlot.h"
#include "ProfileStore.h"
#include "RequestPreview.h"
#include "SettingsStore.h"
#include "SiteDatabase.h"
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

    if (options.dryRun) {
        out.flush();
        RequestPreview::write(*catalogue, selection.selectedRows(), profile, outDevice);
        return allSucceeded;
    }

    QNetworkAccessManager network;
    std::array<std::unique_ptr<HttpTransferSlot>, SubmissionRun::slotCount> transferSlots;
    std::array<TransferSlot*, SubmissionRun::slotCount> transfers{};
    for (size_t k = 0; k < transferSlots.size(); ++k) {
        transferSlots[k] = std::make_unique<HttpTransferSlot>(network, options.transferDeadline);
        transfers[k] = transferSlots[k].get();
    }
    SubmissionRun run(*catalogue, transfers, options.logFile, options.clock);
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
    run.start(selection.selected(), profile);
    loop.exec();
    return failed == 0 ? allSucceeded : someFailed;
}
