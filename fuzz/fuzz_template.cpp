// Template substitution with arbitrary templates and profile values: the first line of the
// input is the template, the next seventeen the profile's values.
#include "Profile.h"
#include "RequestComposer.h"

#include <cstdlib>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QStringList lines =
        QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)).split(u'\n');
    Profile profile;
    for (int i = 0; i < profileFieldCount; ++i)
        profile.fields[size_t(i)] = lines.value(i + 1);
    const QString filled = RequestComposer(profile).fill(lines.value(0));

    // Every value goes in form-encoded: only these characters can come out of the encoder.
    for (int i = 0; i < profileFieldCount; ++i) {
        for (const QChar c : RequestComposer::formUrlEncode(profile.fields[size_t(i)])) {
            const bool allowed = c.isLetterOrNumber() || QStringView(u"*-._+%").contains(c);
            if (!allowed || c.unicode() > 0x7F)
                std::abort();
        }
    }
    // Without placeholders in the template, nothing changes.
    if (!lines.value(0).contains(u'[') && filled != lines.value(0))
        std::abort();

    for (const QString& method : {u"post"_s, u"get"_s}) {
        const TransferRequest transfer =
            TransferRequest::from({u"site"_s, method, u"http://127.0.0.1/"_s + lines.value(1), filled, {}});
        if (transfer.post != (method == u"post"_s))
            std::abort();
    }
    return 0;
}
