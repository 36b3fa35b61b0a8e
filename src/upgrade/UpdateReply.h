#pragma once

#include <QString>

// The update server's reply: only the status code and two bracketed fields matter, wherever
// they stand. "0001" (current) is looked for before "0011" (newer), and the download address
// is cut out of the text before the version is looked up.
struct UpdateReply
{
    enum class Kind { Current, NewerAvailable, Unrecognised };

    Kind kind = Kind::Unrecognised;
    // With NewerAvailable: both fields found, each with its closing bracket.
    bool complete = false;
    QString path;
    QString version;

    static UpdateReply parse(const QString& text);
};
