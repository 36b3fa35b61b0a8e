#include "ProgressBars.h"

#include <QLocale>
#include <QProgressBar>

using namespace Qt::StringLiterals;

void ProgressBars::show(QProgressBar& bar, const QString& what, qint64 done, qint64 total,
                        const QString& more)
{
    const QLocale locale;
    QString text = total > 0 ? u"%1: %2 of %3"_s.arg(what, locale.toString(done), locale.toString(total))
                             : what + u"…"_s;
    if (!more.isEmpty())
        text += u", "_s + more;
    bar.setRange(0, total > 0 ? 1000 : 0);
    bar.setValue(total > 0 ? int(1000 * done / total) : 0);
    bar.setFormat(QString(text).replace(u'%', u"%%"_s)); // the text as it stands, not a format
    bar.setTextVisible(total > 0);
    bar.setToolTip(text);
    bar.setAccessibleDescription(text);
    bar.setVisible(true);
}
