#pragma once

#include "AnswerRule.h"
#include "RequestTemplate.h"

#include <QByteArray>
#include <QPointer>
#include <QString>

class SearchConsole;

// The request composed for one site of a run: what the run hands to a transfer slot.
struct SubmissionRequest
{
    QString siteName;
    QString method;          // the catalogue's method, lower-cased
    QString url;             // the catalogue's target URL, unchanged
    QString data;            // the template with the profile's values filled in
    QString requestTemplate; // the catalogue's template, as stored
    RequestTemplate::Encoding encoding = RequestTemplate::Encoding::Form;
    AnswerRule answerRule{};
    QString unsendable{}; // why the request cannot be made at all; empty when it can

    bool isPost() const { return method == QStringLiteral("post"); }
};

// What goes over the wire for a request: a POST of the data to the target URL, or a GET of the
// target URL followed by "?" and the data, with the content type of the row's encoding.
struct TransferRequest
{
    bool post = false;
    QByteArray url;  // exactly the bytes of the request target, as sent
    QByteArray body; // empty for a GET
    QByteArray contentType = RequestTemplate::contentType(RequestTemplate::Encoding::Form);
    AnswerRule answerRule{};

    // Search Console: the sitemap submitted through the profile's Google client (which renews an
    // expired token once, as for every other request to Google), and once it is taken, what
    // Google now says of it, which the verdict is made from.
    struct SitemapSubmission
    {
        QPointer<SearchConsole> console;
        QString property;
        QString sitemap;
    };
    SitemapSubmission sitemapSubmission{};

    static TransferRequest from(const SubmissionRequest& request);
};
