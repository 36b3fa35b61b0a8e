#include "CsvExport.h"

#include "Dialogs.h"

#include <QDir>
#include <QSaveFile>
#include <QTextStream>

using namespace Qt::StringLiterals;

void exportCsv(Dialogs& dialogs, const QString& title, const QString& suggestedPath, const QString& what,
               const std::function<void(QTextStream&)>& write)
{
    const QString path = dialogs.saveFileName(title, suggestedPath);
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    bool written = file.open(QIODevice::WriteOnly);
    if (written) {
        QTextStream out(&file);
        write(out);
        out.flush();
        written = out.status() == QTextStream::Ok && file.commit();
    }
    if (written)
        dialogs.inform(u"%1 was exported to \"%2\"."_s.arg(what, QDir::toNativeSeparators(path)), title,
                       Dialogs::Icon::Information);
    else
        dialogs.inform(u"%1 could not be exported to \"%2\": %3."_s.arg(what, path, file.errorString()),
                       title, Dialogs::Icon::Critical);
}
