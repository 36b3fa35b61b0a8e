#pragma once

#include <QString>

#include <functional>

class Dialogs;
class QTextStream;

// Saving a CSV file from the History page, in three steps its exports share: ask where (CSV files
// offered), write it whole or not at all (on any thread), and say how it went.
namespace CsvExport {

// The path the user picked; empty when they cancelled.
QString askPath(Dialogs& dialogs, const QString& title, const QString& suggestedPath);
// Writes the file: `write` returns false to give up, and then nothing is written. Empty when
// written, else why not ("cancelled" when given up).
QString write(const QString& path, const std::function<bool(QTextStream&)>& write);
// "Exported the pages to …", or why not, under the dialog's title.
void tell(Dialogs& dialogs, const QString& title, const QString& what, const QString& path,
          const QString& error);

// The three in one go, for a small export.
void exportNow(Dialogs& dialogs, const QString& title, const QString& suggestedPath, const QString& what,
               const std::function<void(QTextStream&)>& write);

} // namespace CsvExport
