#include "RequestPreview.h"

#include "RequestComposer.h"
#include "SiteDatabase.h"

#include <QIODevice>

using namespace Qt::StringLiterals;

namespace {

void writeEntry(QIODevice& out, QByteArray& entry, int number, const QString& caption, const PromoSite& site,
                const SubmissionRequest& request, const RequestComposer::Filled& filled)
{
    const TransferRequest transfer = TransferRequest::from(request);
    entry = QByteArray::number(number) + ". " + caption.toUtf8() +
            "\n   Method: " + (transfer.post ? "POST" : "GET") + "\n   URL: " + transfer.url + '\n';
    if (request.encoding != RequestTemplate::Encoding::Form)
        entry += "   Content-Type: " + transfer.contentType + '\n';
    if (transfer.post)
        entry += "   Body: " + transfer.body + '\n';
    if (!site.accept.isEmpty())
        entry += "   Accepted statuses: " + site.accept.toUtf8() + '\n';
    if (!site.reject.isEmpty())
        entry += "   Rejected when the answer matches: " + site.reject.toUtf8() + '\n';
    if (!request.unsendable.isEmpty())
        entry += "   Cannot be sent: " + request.unsendable.toUtf8() + '\n';
    if (!filled.emptyPlaceholders.isEmpty())
        entry += "   Empty profile fields: " + filled.emptyPlaceholders.join(u", "_s).toUtf8() + '\n';
    if (!filled.unknownPlaceholders.isEmpty())
        entry +=
            "   Not placeholders, sent as they stand: " + filled.unknownPlaceholders.join(u", "_s).toUtf8() +
            '\n';
    entry += '\n';
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
    const RequestComposer composer(profile);
    int number = 0;
    QByteArray entry;
    catalogue.readSites(sites, [&](const PromoSite& site) {
        RequestComposer::Filled filled;
        const SubmissionRequest request = composer.compose(site, &filled);
        writeEntry(out, entry, ++number, site.sitename, site, request, filled);
    });
}

void RequestPreview::writeItems(SiteDatabase& catalogue, const QList<WorkItem>& items, const Profile& profile,
                                QIODevice& out)
{
    if (items.isEmpty()) {
        out.write("Nothing to send.\n");
        return;
    }
    const RequestComposer composer(profile);
    int number = 0;
    QByteArray entry;
    for (const WorkItem& item : items) {
        const PromoSite site = catalogue.site(item.site);
        RequestComposer::Filled filled;
        const SubmissionRequest request =
            item.batch ? composer.composeBatch(site, *item.batch) : composer.compose(site, &filled);
        writeEntry(out, entry, ++number, item.caption(), site, request, filled);
    }
}
