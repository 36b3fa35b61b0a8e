#pragma once

#include "RequestTemplate.h"
#include "SubmissionRequest.h"
#include "WorkItem.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <array>

struct Profile;
struct PromoSite;

// Composes each site's request from its catalogue row and one profile, whose values are made
// ready once for all the sites of a run. It keeps what it found in the templates it has filled,
// so one composer serves one thread at a time.
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
    // The settings keys of the values the profile lacks for the site's request (its inspection's
    // lackingKeys), without composing the request.
    QStringList lackingKeys(const PromoSite& site) const;
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
    Filled inspectAnew(const QString& requestTemplate, Encoding encoding, bool normalAddress) const;
    // The site's template, with the address in its normal form for IndexNow.
    Filled inspect(const PromoSite& site, Encoding encoding) const;

    // Templates filled before, with what was found in them. A catalogue's sites share few
    // templates (directories run the same few scripts), so a preview of many fills each once.
    struct Variant
    {
        QString requestTemplate;
        int how = 0; // the encoding, and whether the address goes in its normal form
        friend bool operator==(const Variant&, const Variant&) = default;
        friend size_t qHash(const Variant& variant, size_t seed = 0)
        {
            return qHashMulti(seed, variant.requestTemplate, variant.how);
        }
    };
    static constexpr qsizetype filledKept = 256;
    mutable QHash<Variant, Filled> m_filled;
    // The last of them: the sites read one after the other from a catalogue share the very text.
    mutable Variant m_lastVariant{QString(), -1};
    mutable Filled m_lastFilled;

    std::array<std::array<QString, placeholderCount>, encodingCount> m_values; // by encoding
    std::array<bool, placeholderCount> m_empty{};
    std::array<QString, encodingCount> m_normalAddress; // by encoding
    bool m_keyInvalid = false; // a key edited by hand that breaks the protocol's rules
    QString m_keyFile;         // where the key should be served, as a site's answer explains it
};
