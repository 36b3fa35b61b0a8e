#pragma once

#include <QString>

#include <functional>

class Dialogs;
class QTextStream;

// Asks where to save, writes the CSV whole or not at all, and says how it went: "<what> was
// exported to ..." under the dialog's title. What the History page's exports share.
void exportCsv(Dialogs& dialogs, const QString& title, const QString& suggestedPath, const QString& what,
               const std::function<void(QTextStream&)>& write);
