#pragma once

#include "SubmissionRequest.h"

#include <QString>
#include <QStringList>

class ProfileSource;
class SiteDatabase;

// Composes a site's request from its catalogue row and the profile on the profile page.
namespace RequestComposer {

// The template with each of the seventeen placeholders, in their fixed order, replaced at its
// first occurrence in the text built so far by the profile's value, form-urlencoded so that a
// value such as "R&D Ltd" stays one field. The template's own text is kept as it stands.
QString fillTemplate(const QString& requestTemplate, const ProfileSource& profile);

// The placeholders of the template whose profile field is empty, in placeholder order.
QStringList emptyPlaceholders(const QString& requestTemplate, const ProfileSource& profile);

// Reads the site's row (found by exact name) and fills its template.
SubmissionRequest compose(SiteDatabase& catalogue, const QString& siteName, const ProfileSource& profile);

// UTF-8; ASCII letters, digits and *-._ unchanged; space as +; every other byte as %XX.
QString formUrlEncode(const QString& value);

} // namespace RequestComposer
