#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

class QIODevice;

// The documents --json prints and the lines --jsonl streams, for other tools to read. Each names
// its schema; within one schema number fields are only ever added.
namespace JsonOutput {

inline constexpr int schema = 1;

// One document: the fields and "schema", indented for a person who looks.
void printDocument(QIODevice& out, QJsonObject document);
QByteArray document(QJsonObject fields);
// One object on one line, at once.
void printLine(QIODevice& out, const QJsonObject& line);
// A moment as ISO 8601 in UTC with its "Z"; null for none (0).
QJsonValue moment(qint64 msecs);

} // namespace JsonOutput
