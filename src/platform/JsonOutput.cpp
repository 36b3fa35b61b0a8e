#include "JsonOutput.h"

#include "TimeText.h"

#include <QIODevice>
#include <QJsonDocument>

using namespace Qt::StringLiterals;

void JsonOutput::printDocument(QIODevice& out, QJsonObject fields)
{
    out.write(document(std::move(fields)));
}

QByteArray JsonOutput::document(QJsonObject fields)
{
    fields.insert(u"schema"_s, schema);
    return QJsonDocument(fields).toJson(QJsonDocument::Indented);
}

void JsonOutput::printLine(QIODevice& out, const QJsonObject& line)
{
    out.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');
}

QJsonValue JsonOutput::moment(qint64 msecs)
{
    return msecs == 0 ? QJsonValue() : QJsonValue(TimeText::written(msecs));
}
