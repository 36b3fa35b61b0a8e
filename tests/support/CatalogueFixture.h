#pragma once

#include "PromoSite.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace CatalogueFixture {

// A site with a simple GET template; enough for tests that care about names and types.
PromoSite site(const QString& name, const QString& type = QStringLiteral("engine"));

// Writes an SQLite catalogue with the standard promosites table holding the rows, in order.
void write(const QString& path, const QList<PromoSite>& rows);

// Runs raw SQL statements against a new SQLite file, for catalogues of unusual shape.
void writeSql(const QString& path, const QStringList& statements);

} // namespace CatalogueFixture
