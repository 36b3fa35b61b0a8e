#include "HeadlessSubmission.h"

#include "DesktopOpener.h"
#include "Dialogs.h"
#include "Dispatcher.h"
#include "EngineSelection.h"
#include "HttpTransferSlot.h"
#include "ProfileSource.h"
#include "ProfileStore.h"
#include "RequestPreview.h"
#include "RunHost.h"
#include "SiteDatabase.h"
#include "SubmissionRun.h"
#include "WorkList.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

class StoredProfile final : public ProfileSource
{
public:
    explicit StoredProfile(Profile profile) : m_profile(std::move(profile)) {}
    QString profileName() const override { return m_profile.title; }
    QString fieldText(ProfileField field) const override { return m_profile.value(field); }

private:
    Profile m_profile;
};

class ListWorkList final : public WorkList
{
public:
    explicit ListWorkList(QStringList sites) : m_sites(std::move(sites)) {}
    int count() const override { return int(m_sites.size()); }
    QString entry(int index) const override { return m_sites.value(index); }
    void removeEntry(int index) override { m_sites.removeAt(index); }
    void clear() override { m_sites.clear(); }
    void setCountCaption(const QString&) override {}

private:
    QStringList m_sites;
};

class NoWindow final : public RunHost
{
public:
    void setNavigationLocked(bool) override {}
    void showRunPanel() override {}
    void showSelectionPage() override {}
    void reopenSelectionPage() override {}
    void uncheckTypeFilters() override {}
};

// Nobody is there to answer: messages go to the error stream, and the question at the end of a
// run is answered so that the log is kept.
class ConsoleDialogs final : public Dialogs
{
public:
    explicit ConsoleDialogs(QTextStream& err) : m_err(err) {}
    void inform(const QString& text, const QString&, Icon) override { m_err << text << u'\n'; }
    bool askYesNo(const QString&, const QString&, Icon) override { return true; }
    QString inputText(const QString&, const QString&) override { return QString(); }

private:
    QTextStream& m_err;
};

class LogPathPrinter final : public DesktopOpener
{
public:
    explicit LogPathPrinter(QTextStream& out) : m_out(out) {}
    bool open(const QUrl& url) override
    {
        m_out << u"Run log: "_s << url.toLocalFile() << u'\n';
        return true;
    }

private:
    QTextStream& m_out;
};

QStringList missingFields(const Profile& profile)
{
    QStringList missing;
    for (const ProfileFieldKey& field : profileFieldKeys) {
        if (profile.value(field.field).isEmpty())
            missing << QString::fromUtf16(field.key);
    }
    return missing;
}

bool chooseSites(const HeadlessSubmission::Options& options, SiteDatabase& catalogue, QStringList& sites,
                 QTextStream& err)
{
    using HeadlessSubmission::Selection;
    EngineSelection selection(catalogue);
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
            if (!catalogue.findFirst(site)) {
                err << u"Unknown site \"%1\": it is not in the catalogue %2.\n"_s.arg(site, catalogue.path());
                return false;
            }
        }
        selection.setSelected(options.sites);
        break;
    }
    sites = selection.selected();
    if (sites.isEmpty()) {
        err << u"Nothing to submit: the selection is empty.\n"_s;
        return false;
    }
    return true;
}

} // namespace

int HeadlessSubmission::run(const Options& options, SettingsStore& settings, QTextStream& out,
                            QTextStream& err)
{
    QString error;
    const std::unique_ptr<SiteDatabase> catalogue = SiteDatabase::open(options.catalogueFile, error);
    if (!catalogue) {
        err << error << u'\n';
        return badUsage;
    }

    ProfileStore store(settings);
    const std::optional<int> slot = store.findByTitle(options.profileTitle);
    if (!slot) {
        QStringList known;
        for (const ProfileStore::TitledSlot& titled : store.scanTitles())
            known << u"\"%1\""_s.arg(titled.title);
        err << u"Unknown profile \"%1\". Known profiles: %2.\n"_s.arg(
            options.profileTitle, known.isEmpty() ? u"none"_s : known.join(u", "_s));
        return badUsage;
    }
    const Profile profile = store.read(*slot);
    const QStringList missing = missingFields(profile);
    if (!missing.isEmpty()) {
        err << u"The profile \"%1\" is incomplete; these fields are empty: %2.\n"_s.arg(
            profile.title, missing.join(u", "_s));
        return badUsage;
    }
    const StoredProfile source(profile);

    QStringList sites;
    if (!chooseSites(options, *catalogue, sites, err))
        return badUsage;

    if (options.dryRun) {
        out << RequestPreview::format(RequestPreview::build(*catalogue, sites, source));
        return allSucceeded;
    }

    QNetworkAccessManager network;
    std::array<std::unique_ptr<HttpTransferSlot>, SubmissionRun::slotCount> transferSlots;
    std::array<TransferSlot*, SubmissionRun::slotCount> transfers{};
    for (size_t k = 0; k < transferSlots.size(); ++k) {
        transferSlots[k] = std::make_unique<HttpTransferSlot>(network, options.transferDeadline);
        transfers[k] = transferSlots[k].get();
    }
    ListWorkList workList(sites);
    ConsoleDialogs dialogs(err);
    LogPathPrinter logPrinter(out);
    NoWindow host;
    SubmissionRun run({*catalogue, source, workList, dialogs, logPrinter, host}, transfers, options.logFile,
                      options.clock);
    const Dispatcher dispatcher(run);

    QObject::connect(&run, &SubmissionRun::siteFinished, &run,
                     [&out](const QString& site, bool success, const QString& detail) {
                         if (success)
                             out << u"OK      "_s << site << u'\n';
                         else
                             out << u"FAILED  "_s << site << u": "_s << detail << u'\n';
                         out.flush();
                     });
    QEventLoop loop;
    QObject::connect(&run, &SubmissionRun::completed, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    run.Submit();
    loop.exec();
    return run.lastRunFailures().isEmpty() ? allSucceeded : someFailed;
}
