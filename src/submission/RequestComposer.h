#pragma once

#include "RequestTemplate.h"
#include "SubmissionRequest.h"
#include "WorkItem.h"

#include <QString>
#include <QStringList>

#include <array>

struct Profile;
struct PromoSite;

// Composes each site's request from its catalogue row and one profile, whose values are made
// ready once for all the sites of a run.
class RequestComposer
{
public:
    using Encoding = RequestTemplate::Encoding;

    explicit RequestComposer(const Profile& profile);

    struct Filled
    {
        QString text;
        QStringList emptyPlaceholders;   // whose profile field is empty, in placeholder order
        QStringList unknownPlaceholders; // bracketed words that are no placeholder, as they appear
        QString missingValue;            // a value the profile lacks and the template needs, in words
        QStringList lackingKeys;         // the settings keys of the values the profile lacks for it
    };

    // The site's request; `inspected`, when given, receives what inspect() says of its template.
    SubmissionRequest compose(const PromoSite& site, Filled* inspected = nullptr) const;
    // A batch of pages for an IndexNow site, in the protocol's JSON form for many pages, whatever
    // the row's own template.
    SubmissionRequest composeBatch(const PromoSite& site, const PageBatch& batch) const;

    // The template with each placeholder replaced by the profile's value, encoded for the
    // template's kind of text so that a value such as "R&D Ltd" stays one value. A form fills
    // each placeholder at its first occurrence only; the other encodings fill every occurrence.
    // The template's own text is kept as it stands, and an inserted value is never taken for a
    // placeholder.
    QString fill(const QString& requestTemplate, Encoding encoding = Encoding::Form) const
    {
        return inspect(requestTemplate, encoding).text;
    }
    // The filled template, and what looks wrong in it, in one pass.
    Filled inspect(const QString& requestTemplate, Encoding encoding = Encoding::Form) const;

    // UTF-8; ASCII letters, digits and *-._ unchanged; space as +; every other byte as %XX.
    static QString formUrlEncode(const QString& value);
    // The content of a JSON string: quotes, backslashes and control characters escaped.
    static QString jsonEscape(const QString& value);
    // XML character data: markup characters as entities, a carriage return as a reference so
    // that it survives parsing, and characters XML cannot hold as U+FFFD.
    static QString xmlEscape(const QString& value);

private:
    static constexpr size_t encodingCount = 4;
    static constexpr size_t placeholderCount = RequestTemplate::placeholderCount;

    // `normalAddress`: the website's address goes in its normal form (see WebAddress).
    Filled inspect(const QString& requestTemplate, Encoding encoding, bool normalAddress) const;

    std::array<std::array<QString, placeholderCount>, encodingCount> m_values; // by encoding
    std::array<bool, placeholderCount> m_empty{};
    std::array<QString, encodingCount> m_normalAddress; // by encoding
    bool m_keyInvalid = false; // a key edited by hand that breaks the protocol's rules
    QString m_keyFile;         // where the key should be served, as a site's answer explains it
};
