#pragma once

#include <QString>

class QSqlDatabase;

namespace CatalogueSchema {

// Empty when the open database holds a table `promosites` with the six columns the program
// reads; otherwise a sentence that says what is wrong, naming the file at `path`.
QString verify(QSqlDatabase& database, const QString& path);

} // namespace CatalogueSchema
