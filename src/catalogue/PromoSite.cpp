#include "PromoSite.h"

std::optional<QList<int>> PromoSite::acceptedStatuses() const
{
    QList<int> statuses;
    for (const QString& item : accept.split(u',', Qt::SkipEmptyParts)) {
        bool isNumber = false;
        const int status = item.trimmed().toInt(&isNumber);
        if (!isNumber || status < 100 || status > 599)
            return std::nullopt;
        statuses << status;
    }
    return statuses;
}
