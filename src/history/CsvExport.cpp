#include "CsvExport.h"

#include "Dialogs.h"

#include <QDir>
#include <QSaveFile>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {
const QString cancelled = u"cancelled"_s;
}

QString CsvExport::askPath(Dialogs& dialogs, const QString& title, const QString& suggestedPath)
{
    return dialogs.saveFileName(title, suggestedPath, u"CSV files (*.csv)"_s);
}

QString CsvExport::write(const QString& path, const std::function<bool(QTextStream&)>& write)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    QTextStream out(&file);
    if (!write(out)) {
        file.cancelWriting();
        return cancelled;
    }
    out.flush();
    if (out.status() != QTextStream::Ok || !file.commit())
        return file.errorString();
    return QString();
}

void CsvExport::tell(Dialogs& dialogs, const QString& title, const QString& what, const QString& path,
                     const QString& error)
{
    const QString where = QDir::toNativeSeparators(path);
    if (error == cancelled)
        dialogs.inform(u"The export was cancelled; \"%1\" was not written."_s.arg(where), title,
                       Dialogs::Icon::Information);
    else if (error.isEmpty())
        dialogs.inform(u"Exported %1 to \"%2\"."_s.arg(what, where), title, Dialogs::Icon::Information);
    else
        dialogs.inform(u"Could not export %1 to \"%2\": %3."_s.arg(what, where, error), title,
                       Dialogs::Icon::Critical);
}

void CsvExport::exportNow(Dialogs& dialogs, const QString& title, const QString& suggestedPath,
                          const QString& what, const std::function<void(QTextStream&)>& write)
{
    const QString path = askPath(dialogs, title, suggestedPath);
    if (path.isEmpty())
        return;
    tell(dialogs, title, what, path, CsvExport::write(path, [&write](QTextStream& out) {
             write(out);
             return true;
         }));
}
