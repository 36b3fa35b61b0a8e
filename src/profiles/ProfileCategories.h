#pragma once

#include <QString>
#include <QStringList>

// The suggestion lists and initial texts of the three category fields. The user may type any
// other text; whatever the field holds is stored.
namespace ProfileCategories {

const QStringList& siteTypes();
const QStringList& ffaCategories();
const QStringList& majorCategories();

QString initialSiteType();
QString initialFfaCategory();
QString initialMajorCategory();

} // namespace ProfileCategories
