// The upgrade reply parser on arbitrary replies.
#include "UpdateReply.h"

#include <cstdlib>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const UpdateReply reply = UpdateReply::parse(text);
    const UpdateReply::Kind expected = text.contains(u"0001"_s)   ? UpdateReply::Kind::Current
                                       : text.contains(u"0011"_s) ? UpdateReply::Kind::NewerAvailable
                                                                  : UpdateReply::Kind::Unrecognised;
    if (reply.kind != expected || reply.path.contains(u']') || reply.version.contains(u']'))
        std::abort();
    if (reply.complete && !text.contains(u"path["_s + reply.path + u']'))
        std::abort();
    return 0;
}
