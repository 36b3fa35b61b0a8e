#include "RequestPreview.h"

#include "GoogleEndpoints.h"
#include "Profile.h"
#include "RequestComposer.h"
#include "SearchConsoleAddress.h"
#include "SiteDatabase.h"

#include <QIODevice>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// An entry is made in one buffer that keeps its room from site to site: a preview of a whole
// catalogue makes a million of them.
void writeEntry(QIODevice& out, QByteArray& entry, int number, const QString& caption, const PromoSite& site,
                const SubmissionRequest& request, const RequestComposer::Filled& filled)
{
    entry.resize(0);
    entry.append(QByteArray::number(number)).append(". ").append(caption.toUtf8());
    if (isSearchConsoleAddress(site.action)) {
        // Its requests are made at the run, one per sitemap, with the profile's Google sign-in.
        entry
            .append("\n   Method: PUT, one request per sitemap of the website, with the profile's Google "
                    "sign-in\n   URL: ")
            .append(site.action.toUtf8())
            .append("webmasters/v3/sites/{property}/sitemaps/{sitemap}\n\n");
        out.write(entry);
        return;
    }
    const TransferRequest transfer = TransferRequest::from(request);
    entry.append("\n   Method: ")
        .append(transfer.post ? "POST" : "GET")
        .append("\n   URL: ")
        .append(transfer.url)
        .append('\n');
    const auto line = [&entry](const char* label, const QByteArray& value) {
        entry.append(label).append(value).append('\n');
    };
    if (request.encoding != RequestTemplate::Encoding::Form)
        line("   Content-Type: ", transfer.contentType);
    if (transfer.post)
        line("   Body: ", transfer.body);
    if (!site.accept.isEmpty())
        line("   Accepted statuses: ", site.accept.toUtf8());
    if (!site.reject.isEmpty())
        line("   Rejected when the answer matches: ", site.reject.toUtf8());
    if (!request.unsendable.isEmpty())
        line("   Cannot be sent: ", request.unsendable.toUtf8());
    if (!filled.emptyPlaceholders.isEmpty())
        line("   Empty profile fields: ", filled.emptyPlaceholders.join(u", "_s).toUtf8());
    if (!filled.unknownPlaceholders.isEmpty())
        line("   Not placeholders, sent as they stand: ", filled.unknownPlaceholders.join(u", "_s).toUtf8());
    entry.append('\n');
    out.write(entry);
}

} // namespace

void RequestPreview::write(SiteDatabase& catalogue, const QList<qsizetype>& sites, const Profile& profile,
                           QIODevice& out)
{
    if (sites.isEmpty()) {
        out.write("No sites are selected.\n");
        return;
    }
    // Rows are read here and composed on a second thread, a chunk at a time, so the catalogue's
    // reading and the composing of what was read go side by side; the output keeps the order.
    constexpr qsizetype chunkSize = 1024;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::vector<PromoSite>> ready; // at most two chunks wait: memory stays small
    bool done = false;
    std::thread composer([&] {
        const RequestComposer composer(profile);
        int number = 0;
        QByteArray entry;
        for (;;) {
            std::vector<PromoSite> chunk;
            {
                std::unique_lock<std::mutex> waiting(lock);
                changed.wait(waiting, [&] { return !ready.empty() || done; });
                if (ready.empty())
                    return;
                chunk = std::move(ready.front());
                ready.pop_front();
            }
            changed.notify_all();
            for (const PromoSite& site : chunk) {
                RequestComposer::Filled filled;
                const SubmissionRequest request = composer.compose(site, &filled);
                writeEntry(out, entry, ++number, site.sitename, site, request, filled);
            }
        }
    });
    std::vector<PromoSite> chunk;
    const auto handOn = [&] {
        std::unique_lock<std::mutex> waiting(lock);
        changed.wait(waiting, [&] { return ready.size() < 2; });
        ready.push_back(std::move(chunk));
        changed.notify_all();
        chunk = {};
        chunk.reserve(size_t(chunkSize));
    };
    // One reading of them all: the catalogue is read in one transaction, through one mapping.
    catalogue.readSites(sites, [&](const PromoSite& site) {
        chunk.push_back(site);
        if (qsizetype(chunk.size()) == chunkSize)
            handOn();
    });
    if (!chunk.empty())
        handOn();
    {
        const std::lock_guard<std::mutex> ending(lock);
        done = true;
    }
    changed.notify_all();
    composer.join();
}

void RequestPreview::writeItems(SiteDatabase& catalogue, const QList<WorkItem>& items, const Profile& profile,
                                QIODevice& out, int first)
{
    if (items.isEmpty()) {
        out.write("Nothing to send.\n");
        return;
    }
    const RequestComposer composer(profile);
    int number = first - 1;
    QByteArray entry;
    QString unused;
    const GoogleEndpoints google = GoogleEndpoints::fromEnvironment(unused);
    for (const WorkItem& item : items) {
        if (!item.sitemap.isEmpty()) {
            const QString property =
                profile.googleProperty.isEmpty() ? u"{property}"_s : profile.googleProperty;
            entry = QByteArray::number(++number) + ". " + item.caption().toUtf8() +
                    "\n   Method: PUT, with the profile's Google sign-in\n   URL: " +
                    google.sitemap(property, item.sitemap).toEncoded() + "\n\n";
            out.write(entry);
            continue;
        }
        const PromoSite site = catalogue.site(item.site);
        RequestComposer::Filled filled;
        const SubmissionRequest request =
            item.batch ? composer.composeBatch(site, *item.batch) : composer.compose(site, &filled);
        writeEntry(out, entry, ++number, item.caption(), site, request, filled);
    }
}

void RequestPreview::writePageNotes(const RunPlan& plan, QIODevice& out)
{
    const auto list = [&out](const QString& heading, const QList<RunPlan::PageNote>& pages) {
        if (pages.isEmpty())
            return;
        out.write(u"%1 (%2):\n"_s.arg(heading).arg(pages.size()).toUtf8());
        for (const RunPlan::PageNote& page : pages)
            out.write((u"   "_s + page.address + u" \u2014 "_s + page.reason +
                       (page.detail.isEmpty() ? QString() : u": "_s + page.detail) + u'\n')
                          .toUtf8());
    };
    list(u"Not announced"_s, plan.leftOut);
    list(u"Announced as removed"_s, plan.removed);
}
