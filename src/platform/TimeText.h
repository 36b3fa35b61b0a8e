#pragma once

#include <QString>

// The program's two ways of writing a moment (milliseconds since the epoch; 0 writes nothing):
// for people at the window, in their own time and their locale's short form with the zone; for files, the
// command line and the tools that read them, ISO 8601 in UTC with its "Z", which reads the same
// everywhere and sorts as text.
namespace TimeText {

QString shown(qint64 msecs);
QString shownDate(qint64 msecs);
QString written(qint64 msecs);
QString writtenDate(qint64 msecs);
// written(), appended as bytes: for exports of a million moments.
void appendWritten(QByteArray& text, qint64 msecs);
// A length of time as people say it roughly: "40 s", "12 min", "1 h 20 min".
QString duration(qint64 msecs);

} // namespace TimeText
