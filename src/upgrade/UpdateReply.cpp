#include "UpdateReply.h"

using namespace Qt::StringLiterals;

namespace {

// The text between the first `marker` and the first "]" after it; false when either is missing.
bool bracketedField(const QString& text, const QString& marker, qsizetype& start, qsizetype& length)
{
    const qsizetype at = text.indexOf(marker);
    if (at < 0)
        return false;
    start = at + marker.size();
    const qsizetype close = text.indexOf(u']', start);
    if (close < 0)
        return false;
    length = close - start;
    return true;
}

} // namespace

UpdateReply UpdateReply::parse(const QString& text)
{
    UpdateReply reply;
    if (text.contains(u"0001"_s)) {
        reply.kind = Kind::Current;
        return reply;
    }
    if (!text.contains(u"0011"_s))
        return reply;

    reply.kind = Kind::NewerAvailable;
    QString rest = text;
    qsizetype start = 0;
    qsizetype length = 0;
    if (!bracketedField(rest, u"path["_s, start, length))
        return reply;
    reply.path = rest.mid(start, length);
    rest.remove(start, length);
    if (!bracketedField(rest, u"version["_s, start, length))
        return reply;
    reply.version = rest.mid(start, length);
    reply.complete = true;
    return reply;
}
