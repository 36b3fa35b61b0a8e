#include "RequestComposer.h"

#include "Profile.h"
#include "ProfileSource.h"
#include "PromoSite.h"
#include "RequestTemplate.h"
#include "SiteDatabase.h"

#include <QUrl>

#include <array>

using namespace Qt::StringLiterals;

namespace {

// The profile field behind each placeholder, in the order of RequestTemplate::placeholderKeywords().
constexpr std::array<ProfileField, 17> placeholderFields = {
    ProfileField::State,        ProfileField::Name,     ProfileField::MajorCategory,
    ProfileField::Description,  ProfileField::City,     ProfileField::FfaCategory,
    ProfileField::Email,        ProfileField::Url,      ProfileField::Company,
    ProfileField::Phone,        ProfileField::Country,  ProfileField::Address,
    ProfileField::WebsiteTitle, ProfileField::Zip,      ProfileField::Fax,
    ProfileField::Keywords,     ProfileField::SiteType,
};

} // namespace

QString RequestComposer::formUrlEncode(const QString& value)
{
    static const char hex[] = "0123456789ABCDEF";
    QString encoded;
    const QByteArray utf8 = value.toUtf8();
    encoded.reserve(utf8.size() * 3);
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
            byte == '*' || byte == '-' || byte == '.' || byte == '_') {
            encoded += QLatin1Char(c);
        } else if (byte == ' ') {
            encoded += u'+';
        } else {
            encoded += u'%';
            encoded += QLatin1Char(hex[byte >> 4]);
            encoded += QLatin1Char(hex[byte & 0xF]);
        }
    }
    return encoded;
}

QStringList RequestComposer::emptyPlaceholders(const QString& requestTemplate, const ProfileSource& profile)
{
    const QStringList& keywords = RequestTemplate::placeholderKeywords();
    QStringList empty;
    for (size_t i = 0; i < placeholderFields.size(); ++i) {
        const QString placeholder = RequestTemplate::placeholder(keywords.at(qsizetype(i)));
        if (requestTemplate.contains(placeholder) && profile.fieldText(placeholderFields[i]).isEmpty())
            empty << placeholder;
    }
    return empty;
}

QString RequestComposer::fillTemplate(const QString& requestTemplate, const ProfileSource& profile)
{
    const QStringList& keywords = RequestTemplate::placeholderKeywords();
    QString text = requestTemplate;
    for (size_t i = 0; i < placeholderFields.size(); ++i) {
        const QString placeholder = RequestTemplate::placeholder(keywords.at(qsizetype(i)));
        const qsizetype at = text.indexOf(placeholder);
        if (at >= 0)
            text.replace(at, placeholder.size(), formUrlEncode(profile.fieldText(placeholderFields[i])));
    }
    return text;
}

SubmissionRequest RequestComposer::compose(SiteDatabase& catalogue, const QString& siteName,
                                           const ProfileSource& profile)
{
    SubmissionRequest request;
    request.siteName = siteName;
    catalogue.findFirst(siteName);
    request.method = catalogue.field(PromoSiteColumns::method).toLower();
    request.url = catalogue.field(PromoSiteColumns::action);
    request.requestTemplate = catalogue.field(PromoSiteColumns::data);
    request.data = fillTemplate(request.requestTemplate, profile);
    return request;
}

namespace {

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Escapes only what a request target cannot carry as it stands: blanks, "#", control and
// non-ASCII bytes, and a "%" that does not begin an escape. Everything else goes out unchanged.
QByteArray requestTarget(const QByteArray& raw)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray target;
    target.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const auto byte = static_cast<unsigned char>(raw.at(i));
        const bool strayPercent =
            byte == '%' && !(i + 2 < raw.size() && isHexDigit(raw.at(i + 1)) && isHexDigit(raw.at(i + 2)));
        if (byte <= 0x20 || byte >= 0x7F || byte == '#' || byte == '"' || byte == '<' || byte == '>' ||
            byte == '\\' || byte == '^' || byte == '`' || byte == '{' || byte == '|' || byte == '}' ||
            strayPercent) {
            target += '%';
            target += hex[byte >> 4];
            target += hex[byte & 0xF];
        } else {
            target += char(byte);
        }
    }
    return target;
}

// The target as the network layer will send it: QUrl writes escaped unreserved characters
// ("%7E", "%41") as the characters themselves, which servers take as the same.
QByteArray wireForm(const QByteArray& target)
{
    const QUrl url = QUrl::fromEncoded(target, QUrl::StrictMode);
    return url.isValid() ? url.toEncoded() : target;
}

} // namespace

TransferRequest TransferRequest::from(const SubmissionRequest& request)
{
    TransferRequest transfer;
    transfer.post = request.isPost();
    if (transfer.post) {
        transfer.url = wireForm(requestTarget(request.url.toUtf8()));
        transfer.body = request.data.toUtf8();
    } else {
        transfer.url = wireForm(requestTarget((request.url + u'?' + request.data).toUtf8()));
    }
    return transfer;
}
