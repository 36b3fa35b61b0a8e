#pragma once

#include "SubmissionRequest.h"

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
    explicit RequestComposer(const Profile& profile);

    struct Filled
    {
        QString text;
        QStringList emptyPlaceholders;   // whose profile field is empty, in placeholder order
        QStringList unknownPlaceholders; // bracketed words that are no placeholder, as they appear
    };

    SubmissionRequest compose(const PromoSite& site) const;

    // The template with each of the seventeen placeholders replaced at its first occurrence by
    // the profile's value, form-urlencoded so that a value such as "R&D Ltd" stays one field. The
    // template's own text is kept as it stands, and an inserted value is never taken for a
    // placeholder: the encoding leaves no bracket in it.
    QString fill(const QString& requestTemplate) const { return inspect(requestTemplate).text; }
    // The filled template, and what looks wrong in it, in one pass.
    Filled inspect(const QString& requestTemplate) const;

    // UTF-8; ASCII letters, digits and *-._ unchanged; space as +; every other byte as %XX.
    static QString formUrlEncode(const QString& value);

private:
    std::array<QString, 17> m_values; // encoded, in placeholder order
    std::array<bool, 17> m_empty{};
};
