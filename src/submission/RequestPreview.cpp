#include "RequestPreview.h"

#include "RequestComposer.h"
#include "RequestTemplate.h"

using namespace Qt::StringLiterals;

QList<RequestPreview::Entry> RequestPreview::build(SiteDatabase& catalogue, const QStringList& sites,
                                                   const ProfileSource& profile)
{
    QList<Entry> entries;
    entries.reserve(sites.size());
    for (const QString& site : sites) {
        const SubmissionRequest request = RequestComposer::compose(catalogue, site, profile);
        entries.append({site, TransferRequest::from(request),
                        RequestComposer::emptyPlaceholders(request.requestTemplate, profile),
                        RequestTemplate::unknownPlaceholders(request.requestTemplate)});
    }
    return entries;
}

QString RequestPreview::format(const QList<Entry>& entries)
{
    QString text;
    int number = 0;
    for (const Entry& entry : entries) {
        text += u"%1. %2\n"_s.arg(++number).arg(entry.siteName);
        text += u"   Method: "_s + (entry.transfer.post ? u"POST"_s : u"GET"_s) + u'\n';
        text += u"   URL: "_s + QString::fromUtf8(entry.transfer.url) + u'\n';
        if (entry.transfer.post)
            text += u"   Body: "_s + QString::fromUtf8(entry.transfer.body) + u'\n';
        if (!entry.emptyPlaceholders.isEmpty())
            text += u"   Empty profile fields: "_s + entry.emptyPlaceholders.join(u", "_s) + u'\n';
        if (!entry.unknownPlaceholders.isEmpty())
            text += u"   Not placeholders, sent as they stand: "_s + entry.unknownPlaceholders.join(u", "_s) +
                    u'\n';
        text += u'\n';
    }
    if (entries.isEmpty())
        text = u"No sites are selected.\n"_s;
    return text;
}
