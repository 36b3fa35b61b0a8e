#pragma once

#include "SubmissionRequest.h"

#include <QList>
#include <QString>
#include <QStringList>

class ProfileSource;
class SiteDatabase;

// What a run would send, site by site, composed by the very code that sends it.
namespace RequestPreview {

struct Entry
{
    QString siteName;
    TransferRequest transfer;
    QStringList emptyPlaceholders;   // placeholders whose profile field is empty
    QStringList unknownPlaceholders; // bracketed words that are not placeholders at all
};

QList<Entry> build(SiteDatabase& catalogue, const QStringList& sites, const ProfileSource& profile);

// One block per site: name, method, the exact target and body, and what looks wrong.
QString format(const QList<Entry>& entries);

} // namespace RequestPreview
